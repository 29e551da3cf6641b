// plmhost with plug-ins that misbehave: it answers with the protocol's
// codes, says what went wrong and does not crash.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>

#include "HostRun.h"

namespace {

struct PlmhostFake : ::testing::Test {
  TempDir dir;
  void SetUp() override {
    HostRun made = RunHost({"new", "fake.json", "--plugin", FAKE_PLUGIN_PATH, "--frames", "0-5"}, dir.path);
    ASSERT_EQ(made.exitCode, 0) << made.err;
  }
  HostRun Render(const std::string& mode, std::vector<std::string> more = {}) {
    std::vector<std::string> args = {"render", "fake.json", "--out", "o"};
    args.insert(args.end(), more.begin(), more.end());
    return RunHost(args, dir.path, {{"PLMHOST_FAKE_MODE", mode}});
  }
};

void ExpectLines(const HostRun& run, std::initializer_list<const char*> lines) {
  for (const char* line : lines) EXPECT_NE(run.err.find(std::string(line) + "\n"), std::string::npos) << line << " in\n" << run.err;
}

TEST_F(PlmhostFake, PointsArriveInThePlyWithTheirFacetColours) {
  HostRun run = Render("");
  ASSERT_EQ(run.exitCode, 0) << run.err;
  std::vector<PlyPoint> points;
  ASSERT_TRUE(ReadPly(dir / "o/frame_0005.ply", &points));
  ASSERT_EQ(points.size(), 3u);
  for (int k = 0; k < 3; ++k) {
    const PlyPoint& p = points[size_t(k)];
    EXPECT_EQ(p.x, k);
    EXPECT_EQ(p.y, 2 * k);
    EXPECT_EQ(p.z, -k);
    EXPECT_EQ(p.by, 2 * k - 1);
    EXPECT_EQ(p.r, 10 * k);
    EXPECT_EQ(p.g, 20);
    EXPECT_EQ(p.b, 30);
    EXPECT_EQ(p.a, 255 - k);
  }
  EXPECT_NE(run.err.find("Placing Points: Point 0 of 3"), std::string::npos) << run.err;
  HostRun quiet = Render("", {"--quiet"});
  EXPECT_EQ(quiet.err.find("Placing Points"), std::string::npos);
}

TEST_F(PlmhostFake, SetupCarriesTimesAndTheGroupAtThisAndThePreviousFrame) {
  nlohmann::json scene = nlohmann::json::parse(ReadFile(dir / "fake.json"));
  scene["fps"] = 10;
  scene["group"]["translation"] = {1, 2, 3};
  scene["group"]["motion"] = {{"translation", {10, 0, 0}}};
  WriteFile(dir / "fake.json", scene.dump());
  HostRun run = Render("", {"--frames", "4-5"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  ExpectLines(run, {"fake: SETM frame 4 time 0.4 step 0.1 group 5 2 3 blur 4 2 3",
                    "fake: SETM frame 5 time 0.5 step 0.1 group 6 2 3 blur 5 2 3"});
}

// The plug-in answers 0 with the refusal in its latch; the frame fails all the same.
TEST_F(PlmhostFake, ARefusedCallbackFailsTheFrame) {
  HostRun run = Render("badfacet");
  EXPECT_EQ(run.exitCode, 1);
  ExpectLines(run, {"fake: ADDV before ADDG -> 5",
                    "plmhost: frame 0: the host refused \"ADDV\" with 5 (A plug-in command was received out of sequence)"});
  EXPECT_FALSE(FileExists(dir / "o/frame_0000.ply"));
  EXPECT_EQ(nlohmann::json::parse(ReadFile(dir / "o/render.json"))["status"], "failed");
}

TEST_F(PlmhostFake, RecordsTheHostDidNotGiveAreNotTaken) {
  HostRun run = Render("head");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find("failed with 3"), std::string::npos) << run.err;
}

TEST_F(PlmhostFake, CtrlCDuringAFrameCancelsAfterIt) {
  HostRun run = Render("cancel");
  EXPECT_EQ(run.exitCode, 130) << run.err;
  ExpectLines(run, {"fake: STAT -> 4"});
  EXPECT_TRUE(FileExists(dir / "o/frame_0001.ply"));
  EXPECT_FALSE(FileExists(dir / "o/frame_0002.ply"));
  for (const std::string& name : ListDir(dir / "o")) EXPECT_NE(name[0], '.') << name;
  EXPECT_TRUE(FileExists(dir / "o/preview.png"));
  EXPECT_EQ(nlohmann::json::parse(ReadFile(dir / "o/render.json"))["status"], "cancelled");
}

TEST_F(PlmhostFake, InfoListsWhatThePluginSupportsAndRefusesWhatIsNoPlugin) {
  HostRun run = RunHost({"info", FAKE_PLUGIN_PATH}, dir.path);
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.out.find("Plug-in      Fake \u2022 Points\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("Type         FAKE\n"), std::string::npos);
  EXPECT_NE(run.out.find("Commands     GENM\n"), std::string::npos);
  EXPECT_NE(run.out.find("Unsupported  INIT FINI INFO CHEK DESC INTF SETM GINF GATR GBLR TMAP BMAP RMAP\n"),
            std::string::npos);
  HostRun noMain = RunHost({"info", NO_ENTRY_PATH}, dir.path);
  EXPECT_EQ(noMain.exitCode, 2);
  EXPECT_NE(noMain.err.find("exports no Main"), std::string::npos) << noMain.err;
  EXPECT_EQ(RunHost({"info", "nothing.plm"}, dir.path).exitCode, 2);
}

TEST_F(PlmhostFake, FailedInitWritesNoScene) {
  std::string before = ReadFile(dir / "fake.json");
  Environment fail = {{"PLMHOST_FAKE_MODE", "initfail"}};
  HostRun run = RunHost({"new", "fake.json", "--force", "--plugin", FAKE_PLUGIN_PATH}, dir.path, fail);
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find("Plug-in could not get a required resource"), std::string::npos) << run.err;
  EXPECT_EQ(ReadFile(dir / "fake.json"), before);
  EXPECT_EQ(RunHost({"new", "other.json", "--plugin", FAKE_PLUGIN_PATH}, dir.path, fail).exitCode, 1);
  EXPECT_FALSE(FileExists(dir / "other.json"));
}

}  // namespace
