// The example plug-in through the real plmhost: what "info" shows, frames of
// the example scene against the spiral's formula, settings typed with
// "edit --set", renders that repeat to the byte, and "validate".
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>

#include "HostRun.h"
#include "Spiral.h"

namespace {

namespace fs = std::filesystem;

SpiralSettingsRec SettingsOf(const std::string& theScene) {
  const std::vector<uint8_t> bytes = SettingsBytes(ReadFile(theScene));
  SpiralSettingsRec s{};
  EXPECT_EQ(bytes.size(), sizeof s);
  return std::memcpy(&s, bytes.data(), std::min(bytes.size(), sizeof s)), s;
}

// A copy of the example scene, with the plug-in and its resource beside it.
struct SpiralScene : ::testing::Test {
  TempDir dir;
  void SetUp() override {
    for (const char* name : {"Spiral.plm", "Spiral.rsc"})
      fs::copy_file(fs::path(SPIRAL_PLUGIN_PATH).parent_path() / name, dir / name);
    fs::copy_file(SPIRAL_SCENE_PATH, dir / "spiral.scene.json");
  }
  HostRun Run(std::vector<std::string> args) { return RunHost(args, dir.path); }
  HostRun Edit(std::vector<std::string> sets) {
    sets.insert(sets.begin(), {"edit", "spiral.scene.json"});
    return Run(sets);
  }
};

TEST_F(SpiralScene, InfoNamesTheCommandsItAnswers) {
  HostRun run = Run({"info", SPIRAL_PLUGIN_PATH});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  ExpectHas(run.out, {"Plug-in      Spiral (example)\n", "Version      1\n", "Type         SPIR\n",
                      "Commands     INIT FINI INFO CHEK DESC INTF SETM GENM\n",
                      "Unsupported  GINF GATR GBLR TMAP BMAP RMAP\n",
                      "  3  Incompatible plug-in parameter record was received\n"});
}

// Frames of the example scene (identity group, 24 frames a second) hold the
// points of the formula, written out here again, in the colours typed in.
TEST_F(SpiralScene, FramesAreTheFormulasPoints) {
  HostRun run = Edit({"--set", "pointCount=50", "--set", "arms=2", "--set", "turns=1.5", "--set", "radius=30",
                      "--set", "height=-10", "--set", "spin=0.75", "--set", "innerColor=#FF102030",
                      "--set", "outerColor=1,2,3,4"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  ExpectHas(run.out, {"the plug-in reset its model", "saved spiral.scene.json"});
  run = Run({"render", "spiral.scene.json", "--frames", "0-3", "--out", "o", "-q"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  for (int frame = 0; frame <= 3; ++frame) {
    std::vector<PlyPoint> points = ReadPly(dir / ("o/" + Frame(frame, "ply")));
    ASSERT_EQ(points.size(), 50u);
    for (int i = 0; i < 50; ++i) {
      double f = i / 49.0, now = frame * 0.75 / 24, before = (frame - 1) * 0.75 / 24;
      double base = 1.5 * f + (i % 2) / 2.0;
      double turn = base + (now - std::floor(now)), turnBefore = base + (before - std::floor(before));
      const PlyPoint& p = points[i];
      const double expected[6] = {30 * f * std::cos(2 * M_PI * turn), -10 * f, 30 * f * std::sin(2 * M_PI * turn),
                                  30 * f * std::cos(2 * M_PI * turnBefore), -10 * f,
                                  30 * f * std::sin(2 * M_PI * turnBefore)};
      const float got[6] = {p.x, p.y, p.z, p.bx, p.by, p.bz};
      for (int k = 0; k < 6; ++k) EXPECT_NEAR(got[k], expected[k], 1e-4) << frame << " " << i << " " << k;
      const uint8_t rgba[4] = {uint8_t(std::lround(16 + (2 - 16) * f)), uint8_t(std::lround(32 + (3 - 32) * f)),
                               uint8_t(std::lround(48 + (4 - 48) * f)), uint8_t(std::lround(255 + (1 - 255) * f))};
      EXPECT_TRUE(p.r == rgba[0] && p.g == rgba[1] && p.b == rgba[2] && p.a == rgba[3]) << i;
    }
  }
}

// Typed values out of range are stored repaired; a bad name changes nothing
// and lists the names; Cancel leaves the scene as it was.
TEST_F(SpiralScene, EditStoresRepairedSettings) {
  const std::string before = ReadFile(dir / "spiral.scene.json");
  HostRun run = Edit({"--set", "bogus=1"});
  EXPECT_EQ(run.exitCode, 2);
  ExpectHas(run.err, {"the names are pointCount (3), arms (4), turns (5), radius (6), height (7), spin (8), "
                      "innerColor (9), outerColor (10)"});
  run = Edit({"--set", "pointCount=5", "--cancel"});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(ReadFile(dir / "spiral.scene.json"), before);

  run = Edit({"--set", "pointCount=0", "--set", "arms=abc", "--set", "radius=-4", "--set", "spin=1e9"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  SpiralSettingsRec s = SettingsOf(dir / "spiral.scene.json");
  EXPECT_TRUE(s.ownerType == kSpiralOwner && s.pointCount == 1 && s.arms == 1 && s.radius == 0 &&
              s.spin == kMaxTurns)
      << s.pointCount << " " << s.arms << " " << s.radius << " " << s.spin;
  run = Run({"render", "spiral.scene.json", "--frames", "5-5", "--out", "o", "-q"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(ReadPly(dir / "o/frame_0005.ply").size(), 1u);
}

// The same frames rendered twice, and one frame rendered alone, are the same
// bytes.
TEST_F(SpiralScene, RendersRepeatToTheByte) {
  for (const char* out : {"a", "b"})
    ASSERT_EQ(Run({"render", "spiral.scene.json", "--frames", "10-13", "--out", out, "-q"}).exitCode, 0);
  ASSERT_EQ(Run({"render", "spiral.scene.json", "--frames", "12-12", "--out", "c", "-q"}).exitCode, 0);
  for (int f = 10; f <= 13; ++f) {
    std::string a = ReadFile(dir / ("a/" + Frame(f, "ply")));
    EXPECT_GT(a.size(), 600u * 28);
    EXPECT_EQ(a, ReadFile(dir / ("b/" + Frame(f, "ply")))) << f;
  }
  EXPECT_EQ(ReadFile(dir / ("c/" + Frame(12, "ply"))), ReadFile(dir / ("a/" + Frame(12, "ply"))));
}

// The validator at its highest strictness passes every check, none skipped:
// the spiral takes host memory, so the memory checks have something to see.
TEST_F(SpiralScene, PassesValidateAtTheHighestStrictness) {
  HostRun run = Run({"validate", SPIRAL_PLUGIN_PATH, "--strictness", "5", "--json", "v.json"});
  EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
  const nlohmann::json report = nlohmann::json::parse(ReadFile(dir / "v.json"));
  EXPECT_GE(report["checks"].size(), 36u);
  for (const nlohmann::json& check : report["checks"])
    EXPECT_EQ(check["result"], "pass") << check.dump(2);
}

}  // namespace
