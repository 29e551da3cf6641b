// plmhost edit with the real plug-in: the settings dialog typed by --set, and
// once through the terminal form in tmux.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <thread>

#include "scene/BuiltinScenes.h"
#include "HostRun.h"
#include "ParticleRecords.h"

namespace {

ControlDataRec SettingsOf(const std::string& theScene) {
  const std::vector<uint8_t> bytes = SettingsBytes(ReadFile(theScene));
  ControlDataRec c{};
  EXPECT_EQ(bytes.size(), sizeof c);
  return std::memcpy(&c, bytes.data(), std::min(bytes.size(), sizeof c)), c;
}

// The 26 doubles, then the particle limit and the colours: what the dialog edits.
std::string Edited(const ControlDataRec& c) {
  const char* bytes = reinterpret_cast<const char*>(&c);
  return std::string(bytes + offsetof(ControlDataRec, emitFrequency), 26 * sizeof(double)) +
         std::string(bytes + offsetof(ControlDataRec, maxParticles), 16);
}

std::string Argb(const ARGB& c) {
  return std::to_string(c.a) + "," + std::to_string(c.r) + "," + std::to_string(c.g) + "," + std::to_string(c.b);
}

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

struct PlmhostEdit : ::testing::Test {
  TempDir dir;
  std::string scene = dir / "s.json";
  void SetUp() override { ASSERT_EQ(RunHost({"new", "s.json"}, dir.path).exitCode, 0); }
  HostRun Edit(std::vector<std::string> more) { return more.insert(more.begin(), {"edit", "s.json"}), RunHost(more, dir.path); }
  size_t PointsIn(const std::string& theOut, int theFrame) { return ReadPly(dir / (theOut + "/" + Frame(theFrame, "ply"))).size(); }
};

// OK without edits, or with colour edits only, keeps every number and the
// model; a changed number resets the model and the render replays it.
TEST_F(PlmhostEdit, OnlyChangedNumbersResetTheModel) {
  ControlDataRec before = SettingsOf(scene);
  HostRun run = Edit({});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  ExpectHas(run.out, {"no terminal: the dialog is confirmed unchanged", "no field changed\nthe plug-in kept its model (no reset)\n"});
  EXPECT_EQ(Edited(SettingsOf(scene)), Edited(before));
  run = Edit({"--set", "colorBirth=#80102030", "--set", "colorDeath=1,2,3,4"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  ExpectHas(run.out, {"the plug-in kept its model (no reset)"});
  ControlDataRec c = SettingsOf(scene);
  EXPECT_EQ(Argb(c.energyColors[2]) + " " + Argb(c.energyColors[1]) + " " + Argb(c.energyColors[0]),
            "128,16,32,48 " + Argb(before.energyColors[1]) + " 1,2,3,4");
  EXPECT_EQ(Edited(c).substr(0, 26 * sizeof(double) + 4), Edited(before).substr(0, 26 * sizeof(double) + 4));

  ASSERT_EQ(RunHost({"render", "s.json", "--frames", "0-5", "--out", "a", "-q"}, dir.path).exitCode, 0);
  EXPECT_GT(PointsIn("a", 5), 0u);
  run = Edit({"--set", "emitFrequency=0", "--set", "15=0"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  ExpectHas(run.out, {"  emitFrequency    25 -> 0\n", "the plug-in reset its model", "saved s.json"});
  c = SettingsOf(scene);
  EXPECT_TRUE(c.emitFrequency == 0 && c.emitErr == 0) << c.emitFrequency << " " << c.emitErr;
  ASSERT_EQ(RunHost({"render", "s.json", "--frames", "0-5", "--out", "b", "-q"}, dir.path).exitCode, 0);
  for (int f = 0; f <= 5; ++f) EXPECT_EQ(PointsIn("b", f), 0u) << f;
}

// A new scene starts from the built-in fountain and takes letters as zero;
// one that exists is only replaced with --force.  Cancel, a bad name or a
// plug-in without its resource file leave the scene byte-identical.
TEST_F(PlmhostEdit, NewScenesAndEditsThatChangeNothing) {
  std::vector<uint8_t> fresh = SettingsBytes(ReadFile(scene)), builtin = SettingsBytes(BuiltinSceneText("fountain"));
  ASSERT_EQ(fresh.size(), builtin.size());
  EXPECT_TRUE(std::equal(fresh.begin(), fresh.begin() + offsetof(ControlDataRec, particleSeed), builtin.begin()));
  std::string before = ReadFile(scene);
  HostRun run = Edit({"--set", "emitFrequency=99", "--cancel"});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  ExpectHas(run.out, {"cancelled: s.json is unchanged"});
  run = Edit({"--set", "emitFrequency=99", "--set", "bogus=1"});
  EXPECT_EQ(run.exitCode, 2);
  // Every field of the dialog, by the name and ID the plug-in uses.
  ExpectHas(run.err, {"--set bogus: no such control in dialog 16001; the names are maxParticles (5), emitFrequency (6), "
      "emitErr (15), emitStart (8), emitEnd (17), lifeTime (7), lifeTimeErr (16), initVelocity (19), initVelocityErr (30), "
      "groundLevel (25), bounceFactor (26), bounceFriction (28), initXPos (9), initYPos (10), initZPos (11), initXPosErr (12), "
      "initYPosErr (13), initZPosErr (14), initXDir (20), initYDir (21), initZDir (23), initAngle (18), initAngleErr (29), "
      "airResistance (27), gravityXDir (22), gravityYDir (31), gravityZDir (24), colorBirth (37), colorHalfway (36), colorDeath (35)\n"});
  EXPECT_EQ(Edit({"--set", "emitFrequency"}).exitCode, 2);
  EXPECT_EQ(RunHost({"new", "u.json", "--set", "bogus=1"}, dir.path).exitCode, 2);
  EXPECT_FALSE(std::filesystem::exists(dir / "u.json"));
  run = RunHost({"new", "s.json", "--set", "maxParticles=abc", "--set", "lifeTime=xyz"}, dir.path);
  EXPECT_EQ(run.exitCode, 2);
  ExpectHas(run.err, {"already exists"});
  EXPECT_EQ(ReadFile(scene), before);

  run = RunHost({"new", "s.json", "--force", "--set", "maxParticles=abc", "--set", "lifeTime=xyz"}, dir.path);
  ASSERT_EQ(run.exitCode, 0) << run.err;
  ControlDataRec c = SettingsOf(scene);
  EXPECT_TRUE(c.maxParticles == 1 && c.lifeTime == 0) << c.maxParticles << " " << c.lifeTime;  // as the plug-in kept them
  EXPECT_EQ(RunHost({"render", "s.json", "--frames", "0-2", "--out", "o", "-q"}, dir.path).exitCode, 0);
  std::filesystem::create_directory(dir / "p");
  std::filesystem::copy_file(PARTICLE_PLUGIN_PATH, dir / "p/Particle.plm");
  ASSERT_EQ(RunHost({"new", "s.json", "--force", "--plugin", "p/Particle.plm"}, dir.path).exitCode, 0);
  before = ReadFile(scene);
  run = Edit({"--set", "emitFrequency=1", "--plugin", "p/Particle.plm"});
  EXPECT_EQ(run.exitCode, 1);
  ExpectHas(run.err, {"Particle.rsc: no resource file there\n", "\"INTF\" failed with 6 (Plug-in could not get a required resource)"});
  EXPECT_EQ(ReadFile(scene), before);
}

// Each changed field is listed with what the plug-in kept, and what was
// typed where that differs; the kept values are saved.  A dialog that
// changes no value leaves the file byte for byte, though the plug-in reads a
// -0 in the record back as +0.
TEST_F(PlmhostEdit, ListsWhatThePluginKeptAndWritesOnlyRealChanges) {
  HostRun run = Edit({"--set", "maxParticles=-5", "--set", "lifeTime=nan", "--set", "emitFrequency=1e12", "--set", "emitErr=abc"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  ExpectHas(run.out, {"  maxParticles     1000 -> 1 (typed -5)\n", "  lifeTime         10 -> 0 (typed nan)\n",
                      "  emitFrequency    25 -> 1000000000000 (typed 1e12)\n", "  emitErr          25 -> 0 (typed abc)\n",
                      "saved s.json"});
  ControlDataRec c = SettingsOf(scene);
  EXPECT_TRUE(c.maxParticles == 1 && c.lifeTime == 0 && c.emitFrequency == 1e12 && c.emitErr == 0) << c.maxParticles;

  c.initXPos = -0.0;
  std::vector<uint8_t> bytes = SettingsBytes(ReadFile(scene));
  std::memcpy(bytes.data(), &c, sizeof c);
  nlohmann::json doc = nlohmann::json::parse(ReadFile(scene));
  doc["settings"]["base64"] = EncodeBase64(bytes);
  WriteFile(scene, doc.dump(1));
  const std::string before = ReadFile(scene);
  for (std::vector<std::string> sets : {std::vector<std::string>{}, {"--set", "initXPos=0", "--set", "lifeTime=0.0"}}) {
    run = Edit(sets);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out.find("saved"), std::string::npos) << run.out;
    ExpectHas(run.out, {"s.json is unchanged\n"});
    EXPECT_EQ(ReadFile(scene), before);
  }
  ExpectHas(run.out, {"  lifeTime         0 -> 0 (typed 0.0)\nno value changed\n"});
}

// Polls theTest for up to a minute.
bool Eventually(const std::function<bool()>& theTest) {
  for (auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60); !theTest();
       std::this_thread::sleep_for(std::chrono::milliseconds(50)))
    if (std::chrono::steady_clock::now() > deadline) return false;
  return true;
}

TEST_F(PlmhostEdit, TerminalFormEditsAFieldAndSaves) {
  if (std::system("command -v tmux >/dev/null 2>&1") != 0) GTEST_SKIP() << "tmux is not installed";
  const std::string tmux = "tmux -L plmhost-test-" + std::to_string(getpid()) + " ";
  struct Server { std::string tmux; ~Server() { std::system((tmux + "kill-server >/dev/null 2>&1").c_str()); } } server{tmux};
  const auto screen = [&] {
    return std::system((tmux + "capture-pane -p >" + dir / "screen.txt").c_str()), ReadFile(dir / "screen.txt");
  };
  std::string command = "cd " + dir.path + " && " + PLMHOST_PATH + " edit s.json 2>err.txt; echo $? >rc.txt";
  ASSERT_EQ(std::system((tmux + "new-session -d -x 100 -y 30 '" + command + "'").c_str()), 0);
  std::string shown;
  ASSERT_TRUE(Eventually([&] { return Has(shown = screen(), "Particle Settings") && Has(shown, "[ OK ]"); })) << shown;
  EXPECT_TRUE(Has(shown, "Rate /s")) << shown;
  // The form opens on the first field; the next one is the rate, selected whole.
  ASSERT_EQ(std::system((tmux + "send-keys Tab 7 5 Enter").c_str()), 0);
  ASSERT_TRUE(Eventually([&] { return !ReadFile(dir / "rc.txt").empty(); })) << screen();
  EXPECT_EQ(ReadFile(dir / "rc.txt"), "0\n") << ReadFile(dir / "err.txt");
  EXPECT_EQ(SettingsOf(scene).emitFrequency, 75.0);
}

}  // namespace
