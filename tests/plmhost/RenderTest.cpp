// plmhost as a user runs it: with the real Particle.plm, and with a fake
// plug-in that misbehaves (it answers with the protocol's codes, says what
// went wrong and does not crash).
#include <gtest/gtest.h>

#include "HostRun.h"
#include "ParticleRecords.h"
#include "output/Checkpoint.h"
#include "scene/BuiltinScenes.h"

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

// Whether the files of frames first..last are the same in two folders.
void ExpectSameFrames(const std::string& a, const std::string& b, int first, int last,
                      std::initializer_list<const char*> extensions = {"ply"}) {
  for (int f = first; f <= last; ++f)
    for (const char* ext : extensions) {
      std::string mine = ReadFile(b + "/" + Frame(f, ext));
      ASSERT_FALSE(mine.empty()) << b << "/" << Frame(f, ext);
      ASSERT_EQ(mine, ReadFile(a + "/" + Frame(f, ext))) << b << "/" << Frame(f, ext) << " differs from " << a;
    }
}

Json Report(const std::string& theFolder) { return Json::parse(ReadFile(theFolder + "/render.json")); }

// Every frame written is the frame of one continuous run from the scene's
// first frame, whatever frame a range starts at: the scenes where the
// plug-in's replay reaches a different frame (the explosion's burst starts
// and ends on frame times, the waterfall's emission, a pool that fills up, a
// window opening and closing exactly on frames 15 and 30, a moving group).
TEST(PlmhostRender, ChunksEqualTheSameFramesOfOneContinuousRun) {
  TempDir dir;
  ASSERT_EQ(RunHost({"new", "edges.json", "--frames", "0-40", "--set", "maxParticles=40", "--set", "emitFrequency=600",
                     "--set", "emitErr=0", "--set", "emitStart=0.5", "--set", "emitEnd=1", "--set", "lifeTime=0.5",
                     "--set", "lifeTimeErr=0.2"}, dir.path).exitCode, 0);
  ASSERT_EQ(RunHost({"new", "moving.json", "--frames", "0-30", "--set", "emitFrequency=500"}, dir.path).exitCode, 0);
  Json moving = Json::parse(ReadFile(dir / "moving.json"));
  moving.merge_patch({{"group", {{"motion", {{"translation", {20, 5, 0}}, {"rotation", {0, 90, 10}}}}}}});
  WriteFile(dir / "moving.json", moving.dump());

  struct Case { const char* scene; const char* full; std::vector<std::pair<int, int>> chunks; };
  const Case cases[] = {{"explosion", "0-60", {{40, 60}}},
                        {"waterfall", "0-50", {{40, 50}}},
                        {"edges.json", "0-40", {{15, 16}, {16, 17}, {30, 31}, {31, 32}}},
                        {"moving.json", "0-30", {{20, 30}}}};
  for (const Case& c : cases) {
    std::string full = std::string("full-") + c.scene;
    HostRun run = RunHost({"render", c.scene, "--frames", c.full, "--out", full, "-q"}, dir.path);
    ASSERT_EQ(run.exitCode, 0) << c.scene << run.err;
    for (auto [first, last] : c.chunks) {
      std::string chunk = full + "-" + std::to_string(first), range = std::to_string(first) + "-" + std::to_string(last);
      run = RunHost({"render", c.scene, "--frames", range, "--out", chunk, "-q"}, dir.path);
      ASSERT_EQ(run.exitCode, 0) << c.scene << run.err;
      ExpectSameFrames(dir / full, dir / chunk, first, last);
      EXPECT_EQ(Report(dir / chunk)["startedFrom"], Json({{"route", "scene-start"}, {"frame", 0}, {"checkpoint", nullptr}}));
      EXPECT_EQ(Report(dir / chunk)["frameResults"].size(), size_t(last - first + 1)) << "warm-up frames are not listed";
    }
  }
  EXPECT_GT(Report(dir / "full-edges.json")["frameResults"][20]["particles"].get<int>(), 0);

  // The replay window reaches the explosion's frames differently: this is
  // what the test above would catch.
  ASSERT_EQ(RunHost({"render", "explosion", "--frames", "40-60", "--out", "replayed", "-q", "--replay-window"}, dir.path).exitCode, 0);
  EXPECT_NE(ReadFile(dir / ("replayed/" + Frame(50, "ply"))), ReadFile(dir / ("full-explosion/" + Frame(50, "ply"))));
  EXPECT_EQ(Report(dir / "replayed")["startedFrom"]["route"], "replay-window");
  EXPECT_FALSE(std::filesystem::exists(dir / "replayed/checkpoints"));
}

// A checkpoint is trusted only when it is sound and of this scene and
// plug-in; the chunk then continues from it to the same files.
TEST(PlmhostRender, ChunksStartFromTheNearestSoundCheckpointAndRefuseOthers) {
  TempDir dir;
  HostRun run = RunHost({"render", "waterfall", "--frames", "0-45", "--out", "full", "--checkpoint-every", "10", "-q"}, dir.path);
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(ListDir(dir / "full/checkpoints"), (std::vector<std::string>{"checkpoint_0009.plmck", "checkpoint_0019.plmck",
            "checkpoint_0029.plmck", "checkpoint_0039.plmck", "checkpoint_0045.plmck"}));
  ASSERT_EQ(RunHost({"render", "explosion", "--frames", "0-19", "--out", "other", "--checkpoint-every", "10", "-q"}, dir.path).exitCode, 0);

  std::filesystem::create_directory(dir / "shared");
  for (const char* name : {"checkpoint_0009.plmck", "checkpoint_0029.plmck", "checkpoint_0039.plmck"})
    std::filesystem::copy_file(dir / ("full/checkpoints/" + std::string(name)), dir / ("shared/" + std::string(name)));
  std::filesystem::copy_file(dir / "other/checkpoints/checkpoint_0019.plmck", dir / "shared/checkpoint_0019.plmck");
  // 39: one byte of the working block changed.
  std::string damaged = ReadFile(dir / "shared/checkpoint_0039.plmck");
  damaged[damaged.size() - 100] ^= 1;
  WriteFile(dir / "shared/checkpoint_0039.plmck", damaged);
  // 29: as another version of the plug-in would write it, checksum and all.
  Checkpoint theCheckpoint;
  std::string why;
  ASSERT_TRUE(ParseCheckpoint(ReadFile(dir / "shared/checkpoint_0029.plmck"), &theCheckpoint, &why)) << why;
  theCheckpoint.identity.pluginVersion += 1;
  WriteFile(dir / "shared/checkpoint_0029.plmck",
            CheckpointBytes(29, theCheckpoint.identity, theCheckpoint.control.data(), uint32_t(theCheckpoint.control.size()),
                            theCheckpoint.data.data(), uint32_t(theCheckpoint.data.size())));

  run = RunHost({"render", "waterfall", "--frames", "40-45", "--out", "chunk", "--checkpoints", "shared", "-q"}, dir.path);
  ASSERT_EQ(run.exitCode, 0) << run.err;
  ExpectHas(run.err, {"warning: ignoring checkpoint shared/checkpoint_0039.plmck: damaged (its checksum does not match)",
                      "checkpoint_0029.plmck: written by version 4 of the plug-in, not 3",
                      "checkpoint_0019.plmck: written for another scene",
                      "plmhost: starting from checkpoint shared/checkpoint_0009.plmck (frame 9)\n"});
  ExpectSameFrames(dir / "full", dir / "chunk", 40, 45);
  Json report = Report(dir / "chunk");
  EXPECT_EQ(report["startedFrom"], Json({{"route", "checkpoint"}, {"frame", 10}, {"checkpoint", "shared/checkpoint_0009.plmck"}}));
  EXPECT_EQ(report["warnings"].size(), 3u);
  EXPECT_EQ(report["scene"]["sha256"], Report(dir / "full")["scene"]["sha256"]);

  // The end checkpoint of the full run is found in the chunk's own folder.
  std::filesystem::create_directory(dir / "late");
  std::filesystem::copy(dir / "full/checkpoints", dir / "late/checkpoints");
  run = RunHost({"render", "waterfall", "--frames", "46-47", "--out", "late"}, dir.path);
  ExpectHas(run.err, {"starting from checkpoint late/checkpoints/checkpoint_0045.plmck (frame 45)"});
}

// Ctrl-C keeps whole frames only; --resume finishes the range, and the
// files (pictures and contact sheet too) are those of one uninterrupted
// run, whatever the number of workers.
TEST(PlmhostRender, AnInterruptedRenderResumesToTheFilesOfAnUninterruptedOne) {
  TempDir dir;
  const std::vector<std::string> args = {"render", "--frames", "0-399", "--png", "--size", "32x18", "--checkpoint-every", "50", "-q"};
  std::vector<std::string> whole = args;
  whole.insert(whole.end(), {"--out", "whole", "--jobs", "3"});
  ASSERT_EQ(RunHost(whole, dir.path).exitCode, 0);

  std::string command = "cd '" + dir.path + "' && { '" PLMHOST_PATH "'";
  for (const std::string& a : args) command += " '" + a + "'";
  command += " --out cut --jobs 1 >/dev/null 2>cut.err & pid=$!; "
             "for i in $(seq 1200); do [ -e cut/frame_0060.ply ] && break; sleep 0.05; done; "
             "kill -INT $pid; wait $pid; echo $? >cut.code; }";
  ASSERT_EQ(std::system(command.c_str()), 0);
  ASSERT_EQ(ReadFile(dir / "cut.code"), "130\n") << ReadFile(dir / "cut.err");
  Json cut = Report(dir / "cut");
  EXPECT_EQ(cut["status"], "cancelled");
  EXPECT_FALSE(cut["complete"].get<bool>());
  // Whole frames only, each with its picture, none missing before the last.
  std::vector<std::string> files = ListDir(dir / "cut");
  int plys = int(std::count_if(files.begin(), files.end(), [](const std::string& n) { return n.rfind(".ply") == n.size() - 4; }));
  ASSERT_GT(plys, 60);
  ASSERT_LT(plys, 400) << "the render ended before Ctrl-C";
  ExpectSameFrames(dir / "whole", dir / "cut", 0, plys - 1, {"ply", "png"});

  // Stopped between two frames, the run leaves a checkpoint of its last one.
  const bool endCheckpoint = std::filesystem::exists(dir / ("cut/checkpoints/checkpoint_" + Frame(plys - 1, "plmck").substr(6)));
  HostRun run = RunHost({"render", "--frames", "0-399", "--png", "--size", "32x18", "--out", "cut", "--resume", "-q"}, dir.path);
  ASSERT_EQ(run.exitCode, 0) << run.err;
  ExpectSameFrames(dir / "whole", dir / "cut", 0, 399, {"ply", "png"});
  EXPECT_EQ(ReadFile(dir / "cut/preview.png"), ReadFile(dir / "whole/preview.png"));
  Json resumed = Report(dir / "cut");
  EXPECT_TRUE(resumed["complete"].get<bool>());
  EXPECT_EQ(resumed["frameResults"].size(), 400u);
  EXPECT_EQ(resumed["startedFrom"]["route"], "checkpoint");
  EXPECT_EQ(resumed["startedFrom"]["frame"], endCheckpoint ? plys : plys / 50 * 50) << "from the last checkpoint before the first missing frame";

  // A run killed before it wrote its report vouches for none of its files:
  // they are rendered again, and the report covers every frame.
  std::filesystem::remove(dir / "cut/render.json");
  std::filesystem::remove(dir / "cut/frame_0399.ply");
  run = RunHost({"render", "--frames", "0-399", "--png", "--size", "32x18", "--out", "cut", "--resume", "-q"}, dir.path);
  ASSERT_EQ(run.exitCode, 0) << run.err;
  ExpectSameFrames(dir / "whole", dir / "cut", 0, 399, {"ply", "png"});
  EXPECT_EQ(Report(dir / "cut")["frameResults"].size(), 400u);
  EXPECT_EQ(Report(dir / "cut")["frameResults"][0]["frame"], 0);

  // Another scene's folder is not resumed.
  run = RunHost({"render", "explosion", "--frames", "0-399", "--out", "cut", "--resume"}, dir.path);
  EXPECT_EQ(run.exitCode, 2);
  ExpectHas(run.err, {"render.json: that render was of another scene"});
}

// simulate writes what must run in order; draw makes the same pictures from
// the point clouds, and refuses a damaged one by name.
TEST(PlmhostRender, SimulateThenDrawGivesTheFilesOfARender) {
  TempDir dir;
  ASSERT_EQ(RunHost({"render", "--frames", "0-20", "--png", "--size", "48x27", "--out", "rendered", "-q"}, dir.path).exitCode, 0);
  HostRun run = RunHost({"simulate", "--frames", "0-20", "--out", "sim", "-q"}, dir.path);
  ASSERT_EQ(run.exitCode, 0) << run.err;
  std::vector<std::string> files = ListDir(dir / "sim");
  EXPECT_EQ(files.size(), 21u + 2);
  EXPECT_EQ(files.back(), "render.json");
  EXPECT_EQ(files.front(), "checkpoints");
  ExpectSameFrames(dir / "rendered", dir / "sim", 0, 20);

  run = RunHost({"draw", "sim", "--size", "48x27", "--jobs", "2"}, dir.path);
  ASSERT_EQ(run.exitCode, 0) << run.err;
  ExpectSameFrames(dir / "rendered", dir / "sim", 0, 20, {"png"});
  EXPECT_EQ(ReadFile(dir / "sim/preview.png"), ReadFile(dir / "rendered/preview.png"));
  EXPECT_TRUE(IsPng(ReadFile(dir / "sim/preview.png"), 3 * 24, 3 * 13));
  // The render's own size is the default.
  std::filesystem::remove(dir / "rendered/preview.png");
  ASSERT_EQ(RunHost({"draw", "rendered", "--sheet"}, dir.path).exitCode, 0);
  EXPECT_EQ(ReadFile(dir / "sim/preview.png"), ReadFile(dir / "rendered/preview.png"));

  const std::string ply = ReadFile(dir / "sim/frame_0006.ply");
  WriteFile(dir / "sim/frame_0006.ply", ply.substr(0, ply.size() - 5));
  run = RunHost({"draw", "sim", "--frames", "5-7"}, dir.path);
  EXPECT_EQ(run.exitCode, 2);
  ExpectHas(run.err, {"sim/frame_0006.ply: the header announces "});
  run = RunHost({"draw", "nothing"}, dir.path);
  EXPECT_EQ(run.exitCode, 2);
  ExpectHas(run.err, {"nothing/render.json: no render report there"});
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
                                {"plugin.json", "plugin.json: no plug-in nowhere.plm in the plug-in search path ("}}) {
    HostRun run = RunHost({"render", file, "--out", "o"}, dir.path);
    EXPECT_EQ(run.exitCode, 2) << file;
    ExpectHas(run.err, {expected});
  }
  EXPECT_EQ(ReadFile(dir / "plugin.json"), before);
  EXPECT_FALSE(std::filesystem::exists(dir / "o")) << "a render that cannot start leaves no folder";
  Json late = Json::parse(BuiltinSceneText("fountain"));
  late["frames"] = {{"first", 10}, {"last", 20}};
  WriteFile(dir / "late.json", late.dump());
  HostRun run = RunHost({"render", "late.json", "--frames", "5-12"}, dir.path);
  EXPECT_EQ(run.exitCode, 2);
  ExpectHas(run.err, {"--frames 5-12 starts before the scene's first frame 10"});
  for (std::vector<std::string> args : {std::vector<std::string>{"render", "--frames", "9-3"},
                                        {"render", "--size", "10x10"}, {"render", "--bogus"}, {},
                                        {"--memory-limit", "12X", "render"}})
    EXPECT_EQ(RunHost(args, dir.path).exitCode, 2);
  // A word that is no subcommand is named, with the closest one.
  for (auto [args, expected] : {std::pair<std::vector<std::string>, const char*>{
                                    {"-q", "rendr", "fountain"}, "\"rendr\" is not a subcommand; did you mean \"render\"?"},
                                {{"--plugin-path", "x", "zzzzzz"}, "\"zzzzzz\" is not a subcommand (the subcommands are info, new,"}}) {
    HostRun run = RunHost(args, dir.path);
    EXPECT_EQ(run.exitCode, 2);
    ExpectHas(run.err, {expected});
  }
}

// A settings record the plug-in cannot read renders with its defaults, and
// says so.
TEST(PlmhostRender, ASettingsRecordReplacedByTheDefaultsIsReported) {
  TempDir dir;
  Json scene = Json::parse(BuiltinSceneText("fountain"));
  std::vector<uint8_t> noise(100);
  for (size_t k = 0; k < noise.size(); ++k) noise[k] = uint8_t(k * 37 + 11);
  scene["settings"] = {{"size", noise.size()}, {"base64", EncodeBase64(noise)}};
  WriteFile(dir / "noise.json", scene.dump());
  HostRun run = RunHost({"render", "noise.json", "--frames", "0-1", "--out", "o", "-q"}, dir.path);
  ASSERT_EQ(run.exitCode, 0) << run.err;
  ExpectHas(run.err, {"plmhost: warning: the scene's settings record (100 bytes) is not one the plug-in reads; it rendered with the plug-in's default settings\n"});
  EXPECT_EQ(Report(dir / "o")["warnings"].size(), 1u);
  // One it reads but corrects (no slot at all) is not called the defaults.
  std::vector<uint8_t> settings = SettingsBytes(BuiltinSceneText("fountain"));
  const int32_t none = 0;
  std::memcpy(settings.data() + offsetof(ControlDataRec, maxParticles), &none, sizeof none);
  scene["settings"] = {{"size", settings.size()}, {"base64", EncodeBase64(settings)}};
  WriteFile(dir / "empty.json", scene.dump());
  run = RunHost({"render", "empty.json", "--frames", "0-1", "--out", "q", "-q"}, dir.path);
  ASSERT_EQ(run.exitCode, 0) << run.err;
  ExpectHas(run.err, {"warning: the plug-in changed the scene's settings record when it started"});
  EXPECT_EQ(run.err.find("default settings"), std::string::npos) << run.err;
  // The built-in scene's record is read as it is.
  run = RunHost({"render", "--frames", "0-1", "--out", "p", "-q"}, dir.path);
  EXPECT_EQ(run.err.find("warning"), std::string::npos) << run.err;
  EXPECT_EQ(Report(dir / "p")["warnings"], Json::array());
}

// The limit counts what the plug-in holds; the message names it and the
// option that raises it.
TEST(PlmhostRender, TheMemoryLimitIsNamedWhenItRefusesAndCanBeRaised) {
  TempDir dir;
  ASSERT_EQ(RunHost({"new", "big.json", "--set", "maxParticles=100000"}, dir.path).exitCode, 0);
  HostRun run = RunHost({"render", "big.json", "--frames", "0-1", "--out", "o", "--memory-limit", "1M"}, dir.path);
  EXPECT_EQ(run.exitCode, 1);
  ExpectHas(run.err, {"more than plmhost's memory limit of 1 MiB (set by --memory-limit); raise it with --memory-limit SIZE"});
  run = RunHost({"--memory-limit", "64M", "render", "big.json", "--frames", "0-1", "--out", "o", "-q"}, dir.path);
  EXPECT_EQ(run.exitCode, 0) << run.err;
}

// The scene names the fake by file name; its folder is given with --plugin-path.
struct PlmhostFake : ::testing::Test {
  TempDir dir;
  const std::string fakeFolder = std::filesystem::path(FAKE_PLUGIN_PATH).parent_path();
  void SetUp() override {
    HostRun made = RunHost({"new", "fake.json", "--plugin", FAKE_PLUGIN_PATH, "--frames", "0-5"}, dir.path);
    ASSERT_EQ(made.exitCode, 0) << made.err;
    EXPECT_EQ(Json::parse(ReadFile(dir / "fake.json"))["plugin"], "plmhost_fake_plugin.plm");
    ExpectHas(made.err, {"warning: the scene names plmhost_fake_plugin.plm, which is in no folder of the plug-in search path"});
  }
  HostRun Render(const std::string& mode, std::vector<std::string> more = {}) {
    more.insert(more.begin(), {"render", "fake.json", "--out", "o", "--plugin-path", fakeFolder});
    return RunHost(more, dir.path, "PLMHOST_FAKE_MODE=" + mode);
  }
};

TEST_F(PlmhostFake, PointsAndFrameSetupsArriveAsThePluginSentThem) {
  Json scene = Json::parse(ReadFile(dir / "fake.json"));
  scene.merge_patch({{"fps", 10}, {"group", {{"translation", {1, 2, 3}}, {"motion", {{"translation", {10, 0, 0}}}}}}});
  WriteFile(dir / "fake.json", scene.dump());
  HostRun run = Render("", {"--frames", "4-5"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(ListDir(dir / "o"), (std::vector<std::string>{"checkpoints", "frame_0004.ply", "frame_0005.ply", "preview.png", "render.json"}));
  // The group at this frame and, for the blur, at the previous one.
  ExpectHas(run.err, {"fake: SETM frame 4 time 0.4 step 0.1 group 5 2 3 blur 4 2 3\n",
                      "fake: SETM frame 5 time 0.5 step 0.1 group 6 2 3 blur 5 2 3\n", "Placing Points: Point 0 of 3"});
  std::vector<float> got;  // per point x, y, z, blur y, r, g, b, a
  for (const PlyPoint& p : ReadPly(dir / "o/frame_0005.ply"))
    got.insert(got.end(), {p.x, p.y, p.z, p.by, 1.f * p.r, 1.f * p.g, 1.f * p.b, 1.f * p.a});
  EXPECT_EQ(got, std::vector<float>({0, 0, 0, -1, 0, 20, 30, 255, 1, 2, -1, 1, 10, 20, 30, 254, 2, 4, -2, 3, 20, 20, 30, 253}));
  EXPECT_EQ(Render("", {"--quiet"}).err.find("Placing Points"), std::string::npos);
}

// Plain progress lines, about once a second, show what the plug-in was doing
// when the second ran out: its 0.4 s of quiet placing, not the quick aging
// report that opens each frame.
TEST_F(PlmhostFake, ProgressLinesShowThePhaseThePluginIsIn) {
  HostRun run = Render("phases", {"--frames", "0-5"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  std::string lines;
  for (size_t at = 0, end; (end = run.err.find('\n', at)) != std::string::npos; at = end + 1)
    if (run.err.compare(at, 6, "frame ") == 0) lines += run.err.substr(at, end + 1 - at);
  ExpectHas(lines, {"frame 0 (1/6)  Aging Points: Step 0 of 1\n", "  Placing Points: Point 0 of 3\n"});
  EXPECT_EQ(lines.find("Aging", lines.find('\n', lines.find("Aging")) + 1), std::string::npos) << lines;
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

// A scene names its plug-in by file name, found only in the search path;
// anything else is refused before it is loaded, so the library's constructor
// never runs and nothing is written.
TEST(PlmhostPluginSearch, AScenesPluginComesOnlyFromTheSearchPathOrTheCommandLine) {
  TempDir dir;
  namespace fs = std::filesystem;
  fs::copy_file(CONSTRUCTOR_PATH, dir / "evil.plm");
  Json scene = Json::parse(BuiltinSceneText("fountain"));
  for (auto [file, plugin] : {std::pair{"beside.json", "evil.plm"}, {"path.json", "./evil.plm"}, {"far.json", "/tmp/evil.plm"}}) {
    scene["plugin"] = plugin;
    WriteFile(dir / file, scene.dump());
  }
  const std::string ran = dir / "constructor-ran";
  const std::string clear = "PLMHOST_PLUGIN_PATH=";
  for (std::vector<std::string> args : {std::vector<std::string>{"render", "beside.json", "--out", "o"},
                                        {"render", "path.json", "--out", "o"}, {"render", "far.json", "--out", "o"},
                                        {"edit", "beside.json"}, {"edit", "path.json", "--set", "emitFrequency=1"}}) {
    HostRun run = RunHost(args, dir.path, clear);
    EXPECT_EQ(run.exitCode, 2) << args[1];
    ExpectHas(run.err, {"to use a plug-in from elsewhere, name its file with --plugin PATH"});
    EXPECT_FALSE(fs::exists(ran)) << args[0] << " " << args[1];
    EXPECT_FALSE(fs::exists(dir / "o")) << args[1];
  }
  ExpectHas(RunHost({"render", "beside.json"}, dir.path, clear).err, {"beside.json: no plug-in evil.plm in the plug-in search path"});
  ExpectHas(RunHost({"render", "path.json"}, dir.path, clear).err, {"path.json: the plug-in \"./evil.plm\" is a path"});
  // Relative and empty entries of the variable are skipped.
  EXPECT_EQ(RunHost({"render", "beside.json", "--out", "o"}, dir.path, "PLMHOST_PLUGIN_PATH=.::" + std::string("x")).exitCode, 2);
  EXPECT_FALSE(fs::exists(ran));

  // --plugin overrides the scene, whatever it names.
  HostRun run = RunHost({"render", "path.json", "--plugin", FAKE_PLUGIN_PATH, "--frames", "0-1", "--out", "o", "-q"}, dir.path, clear);
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_TRUE(fs::exists(dir / ("o/" + Frame(1, "ply"))));
  EXPECT_FALSE(fs::exists(ran));
  EXPECT_EQ(RunHost({"edit", "beside.json", "--plugin", PARTICLE_PLUGIN_PATH}, dir.path, clear).exitCode, 0);
  run = RunHost({"render", "beside.json", "--plugin", "evil.plm", "--out", "o2"}, dir.path, clear);  // the user's choice
  EXPECT_TRUE(run.exitCode == 2 && fs::exists(ran)) << run.err;
  ExpectHas(run.err, {"exports no Main"});
}

// The --plugin-path folders come first, then PLMHOST_PLUGIN_PATH in its
// order, then the folder beside plmhost.  The same name in two folders
// tells which one was loaded: the fake plug-in renders, the constructor
// library writes its file and is refused.
TEST(PlmhostPluginSearch, FoldersAreSearchedInOrder) {
  TempDir dir;
  namespace fs = std::filesystem;
  for (auto [folder, library] : {std::pair{"fake", FAKE_PLUGIN_PATH}, {"evil", CONSTRUCTOR_PATH}}) {
    fs::create_directory(dir / folder);
    fs::copy_file(library, dir / (std::string(folder) + "/x.plm"));
    fs::copy_file(library, dir / (std::string(folder) + "/Particle.plm"));
  }
  Json scene = Json::parse(BuiltinSceneText("fountain"));
  scene["plugin"] = "x.plm";
  scene["frames"] = {{"first", 0}, {"last", 0}};
  WriteFile(dir / "x.json", scene.dump());
  const std::string ran = dir / "constructor-ran", fake = dir / "fake", evil = dir / "evil";
  struct Case { std::vector<std::string> args; std::string env; bool evilLoaded; };
  const Case cases[] = {
      {{"render", "x.json", "--plugin-path", fake}, "PLMHOST_PLUGIN_PATH=" + evil, false},
      {{"render", "x.json", "--plugin-path", "fake"}, "PLMHOST_PLUGIN_PATH=" + evil, false},  // relative to the current folder
      {{"render", "x.json", "--plugin-path", evil, "--plugin-path", fake}, "", true},
      {{"render", "x.json"}, "PLMHOST_PLUGIN_PATH=" + fake + ":" + evil, false},
      {{"render", "x.json"}, "PLMHOST_PLUGIN_PATH=/nonexistent:" + evil + ":" + fake, true},
      {{"render", "--frames", "0-0"}, "PLMHOST_PLUGIN_PATH=" + fake, false},  // the built-in scene's Particle.plm
      {{"render", "--frames", "0-0"}, "PLMHOST_PLUGIN_PATH=" + evil, true},   // before the one beside plmhost
  };
  for (const Case& c : cases) {
    fs::remove(ran);
    std::vector<std::string> args = c.args;
    args.insert(args.end(), {"--out", "o", "-q"});
    HostRun run = RunHost(args, dir.path, c.env);
    EXPECT_EQ(fs::exists(ran), c.evilLoaded) << c.env << "\n" << run.err;
    EXPECT_EQ(run.exitCode, c.evilLoaded ? 2 : 0) << c.env << "\n" << run.err;
  }
  fs::remove(ran);
  HostRun run = RunHost({"new", "n.json", "--plugin", fake + "/x.plm"}, dir.path, "PLMHOST_PLUGIN_PATH=" + evil);
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const std::string warning = "warning: the scene names x.plm, which the plug-in search path finds as " + evil + "/x.plm";
  ExpectHas(run.err, {warning.c_str()});
  EXPECT_FALSE(fs::exists(ran));
  run = RunHost({"new", "n.json", "--force", "--plugin", "fake/x.plm", "--plugin-path", "fake"}, dir.path);
  EXPECT_TRUE(run.exitCode == 0 && run.err.find("warning") == std::string::npos) << run.err;
}

}  // namespace
