// plmhost as a user runs it: with the real Particle.plm, and with a fake
// plug-in that misbehaves (it answers with the protocol's codes, says what
// went wrong and does not crash).
#include <gtest/gtest.h>

#include "scene/BuiltinScenes.h"
#include "HostRun.h"

namespace {

using Json = nlohmann::json;

// The PNG signature and a header of width x height.
bool IsPng(const std::string& bytes, uint32_t width, uint32_t height) {
  std::string head("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR", 16);
  for (uint32_t side : {width, height})
    for (int shift = 24; shift >= 0; shift -= 8) head += char(side >> shift);
  return bytes.compare(0, 24, head) == 0;
}

TEST(PlmhostInfo, ListsWhatThePluginSupportsAndRefusesWhatIsNoPlugin) {
  TempDir dir;
  HostRun run = RunHost({"info"}, dir.path);  // the Particle.plm beside plmhost
  ExpectHas(run.out, {"Corvexa\u2122 Particle",  // Mac OS Roman 0xAA
                      "Commands     INIT FINI INFO CHEK DESC INTF SETM GINF GATR GBLR TMAP BMAP RMAP GENM\nResults\n",
                      "  3  Incompatible plug-in parameter record was received\n"});
  ExpectHas(RunHost({"info", FAKE_PLUGIN_PATH}, dir.path).out, {"Plug-in      Fake \u2022 Points\n", "Type         FAKE\n",
            "Commands     GENM\nUnsupported  INIT FINI INFO CHEK DESC INTF SETM GINF GATR GBLR TMAP BMAP RMAP\n"});
  run = RunHost({"info", NO_ENTRY_PATH}, dir.path);
  EXPECT_EQ(run.exitCode, 2);
  ExpectHas(run.err, {"exports no Main"});
  EXPECT_EQ(RunHost({"info", "nothing.plm"}, dir.path).exitCode, 2);
}

// The plug-in replays its bounded window, so a chunk of a range renders
// exactly as the same frames of the whole range (and so runs repeat).
TEST(PlmhostRender, FramesParseBackAndAChunkEqualsTheSameFramesOfTheFullRun) {
  TempDir dir;
  HostRun run = RunHost({"render", "--frames", "0-299", "--png", "--size", "48x27", "--out", "full"}, dir.path);
  ASSERT_EQ(run.exitCode, 0) << run.err;
  Json report = Json::parse(ReadFile(dir / "full/render.json"));
  EXPECT_EQ(report["status"], "done");
  ASSERT_EQ(report["frameResults"].size(), 300u);
  for (int f = 0; f < 300; ++f) {
    const Json& entry = report["frameResults"][size_t(f)];
    EXPECT_EQ(std::make_pair(entry["frame"].get<int>(), entry["result"].get<int>()), std::make_pair(f, 0));
    std::vector<PlyPoint> points = ReadPly(dir / ("full/" + Frame(f, "ply")));
    ASSERT_EQ(points.size(), entry["particles"].get<size_t>()) << f;
    for (const PlyPoint& p : points) ASSERT_TRUE(p.a == 255 && p.y >= 0.0f) << f;  // above the default ground
  }
  EXPECT_GT(report["frameResults"][100]["particles"].get<int>(), 0) << "frames without particles prove nothing";
  EXPECT_TRUE(IsPng(ReadFile(dir / "full/preview.png"), 3 * 24, 3 * 13));  // nine tiles of half the size

  ASSERT_EQ(RunHost({"render", "--frames", "100-199", "--png", "--size", "48x27", "--out", "chunk", "-q"}, dir.path).exitCode, 0);
  EXPECT_EQ(ListDir(dir / "chunk").size(), 100u * 2 + 2);
  for (int f = 100; f <= 199; ++f)
    for (const char* ext : {"ply", "png"})
      ASSERT_EQ(ReadFile(dir / ("chunk/" + Frame(f, ext))), ReadFile(dir / ("full/" + Frame(f, ext)))) << Frame(f, ext);
  EXPECT_TRUE(IsPng(ReadFile(dir / ("chunk/" + Frame(100, "png"))), 48, 27));
}

// Each field's own message is checked on the parser; here, that the binary
// names the file, exits with 2 and never rewrites the scene.
TEST(PlmhostScenes, BadSceneFilesAndArgumentsExitWith2NamingTheProblem) {
  TempDir dir;
  Json plugin = Json::parse(BuiltinSceneText("fountain"));
  plugin["plugin"] = "nowhere.plm";
  WriteFile(dir / "plugin.json", plugin.dump());
  const std::string before = ReadFile(dir / "plugin.json");
  for (auto [file, expected] : {std::pair{"missing.json", "missing.json: cannot read the scene"},
                                {"plugin.json", "nowhere.plm: no plug-in file there"}}) {
    HostRun run = RunHost({"render", file, "--out", "o"}, dir.path);
    EXPECT_EQ(run.exitCode, 2) << file;
    ExpectHas(run.err, {expected});
  }
  EXPECT_EQ(ReadFile(dir / "plugin.json"), before);
  for (std::vector<std::string> args : {std::vector<std::string>{"render", "--frames", "9-3"},
                                        {"render", "--size", "10x10"}, {"render", "--bogus"}, {}})
    EXPECT_EQ(RunHost(args, dir.path).exitCode, 2);
}

struct PlmhostFake : ::testing::Test {
  TempDir dir;
  void SetUp() override {
    HostRun made = RunHost({"new", "fake.json", "--plugin", FAKE_PLUGIN_PATH, "--frames", "0-5"}, dir.path);
    ASSERT_EQ(made.exitCode, 0) << made.err;
  }
  HostRun Render(const std::string& mode, std::vector<std::string> more = {}) {
    return more.insert(more.begin(), {"render", "fake.json", "--out", "o"}), RunHost(more, dir.path, "PLMHOST_FAKE_MODE=" + mode);
  }
};

TEST_F(PlmhostFake, PointsAndFrameSetupsArriveAsThePluginSentThem) {
  Json scene = Json::parse(ReadFile(dir / "fake.json"));
  scene.merge_patch({{"fps", 10}, {"group", {{"translation", {1, 2, 3}}, {"motion", {{"translation", {10, 0, 0}}}}}}});
  WriteFile(dir / "fake.json", scene.dump());
  HostRun run = Render("", {"--frames", "4-5"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(ListDir(dir / "o"), (std::vector<std::string>{"frame_0004.ply", "frame_0005.ply", "preview.png", "render.json"}));
  // The group at this frame and, for the blur, at the previous one.
  ExpectHas(run.err, {"fake: SETM frame 4 time 0.4 step 0.1 group 5 2 3 blur 4 2 3\n",
                      "fake: SETM frame 5 time 0.5 step 0.1 group 6 2 3 blur 5 2 3\n", "Placing Points: Point 0 of 3"});
  std::vector<float> got;  // per point x, y, z, blur y, r, g, b, a
  for (const PlyPoint& p : ReadPly(dir / "o/frame_0005.ply"))
    got.insert(got.end(), {p.x, p.y, p.z, p.by, 1.f * p.r, 1.f * p.g, 1.f * p.b, 1.f * p.a});
  EXPECT_EQ(got, std::vector<float>({0, 0, 0, -1, 0, 20, 30, 255, 1, 2, -1, 1, 10, 20, 30, 254, 2, 4, -2, 3, 20, 20, 30, 253}));
  EXPECT_EQ(Render("", {"--quiet"}).err.find("Placing Points"), std::string::npos);
}

// "bad": a selector the host must refuse, the plug-in answering 0 with the
// refusal in its latch; "head": records the host did not give handed back;
// "initfail": "INIT" fails, and "new" writes no scene; "cancel": Ctrl-C.
TEST_F(PlmhostFake, RefusalsFailuresAndCtrlCEndTheCommandWithTheirCodes) {
  HostRun run = Render("bad");
  EXPECT_EQ(run.exitCode, 1);
  ExpectHas(run.err, {"fake: XXXX -> 2\n", "plmhost: frame 0: the host refused \"XXXX\" with 2 (no description)"});
  EXPECT_FALSE(std::filesystem::exists(dir / "o/frame_0000.ply"));
  EXPECT_EQ(Json::parse(ReadFile(dir / "o/render.json"))["status"], "failed");
  run = Render("head");
  EXPECT_EQ(run.exitCode, 1);
  ExpectHas(run.err, {"frame 0: the plug-in failed with 3 (no description)"});
  const std::string before = ReadFile(dir / "fake.json");
  run = RunHost({"new", "fake.json", "--force", "--plugin", FAKE_PLUGIN_PATH}, dir.path, "PLMHOST_FAKE_MODE=initfail");
  EXPECT_EQ(run.exitCode, 1);
  ExpectHas(run.err, {"plmhost: \"INIT\" failed with 6 (no description)"});
  EXPECT_EQ(ReadFile(dir / "fake.json"), before);

  // Ctrl-C during frame 2 stops with 130 after the whole frames before it.
  std::filesystem::remove_all(dir / "o");
  run = Render("cancel");
  EXPECT_EQ(run.exitCode, 130) << run.err;
  ExpectHas(run.err, {"fake: STAT -> 4\n"});
  EXPECT_EQ(ListDir(dir / "o"), (std::vector<std::string>{"frame_0000.ply", "frame_0001.ply", "preview.png", "render.json"}));
  EXPECT_EQ(ReadPly(dir / "o/frame_0001.ply").size(), 3u);
  EXPECT_EQ(Json::parse(ReadFile(dir / "o/render.json"))["status"], "cancelled");
}

}  // namespace
