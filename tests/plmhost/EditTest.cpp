// plmhost edit with the real plug-in: the settings dialog typed by --set, and
// once through the terminal form in tmux.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <nlohmann/json.hpp>
#include <thread>

#include "Base64.h"
#include "HostRun.h"
#include "ParticleRecords.h"

namespace {

using Json = nlohmann::json;

ControlDataRec SettingsOf(const std::string& theScene) {
  std::vector<uint8_t> bytes = *DecodeBase64(Json::parse(ReadFile(theScene))["settings"]["base64"].get<std::string>());
  ControlDataRec c{};
  EXPECT_EQ(bytes.size(), sizeof c);
  std::memcpy(&c, bytes.data(), std::min(bytes.size(), sizeof c));
  return c;
}

void SetSettings(const std::string& theScene, const ControlDataRec& c) {
  Json scene = Json::parse(ReadFile(theScene));
  const auto* bytes = reinterpret_cast<const uint8_t*>(&c);
  scene["settings"]["base64"] = EncodeBase64(std::vector<uint8_t>(bytes, bytes + sizeof c));
  WriteFile(theScene, scene.dump());
}

// The 26 doubles, the particle limit and the colours: what the dialog edits.
std::string Edited(const ControlDataRec& c) {
  const char* bytes = reinterpret_cast<const char*>(&c);
  return std::string(bytes + offsetof(ControlDataRec, emitFrequency), 26 * sizeof(double)) +
         std::string(bytes + offsetof(ControlDataRec, maxParticles), 16);
}

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

size_t PointsIn(const std::string& thePly) {
  std::vector<PlyPoint> points;
  EXPECT_TRUE(ReadPly(thePly, &points));
  return points.size();
}

struct PlmhostEdit : ::testing::Test {
  TempDir dir;
  std::string scene = dir / "s.json";
  void SetUp() override { ASSERT_EQ(RunHost({"new", "s.json"}, dir.path).exitCode, 0); }
  HostRun Edit(std::vector<std::string> more) {
    more.insert(more.begin(), {"edit", "s.json"});
    return RunHost(more, dir.path);
  }
};

TEST_F(PlmhostEdit, OkWithoutEditsKeepsEveryValueAndTheModel) {
  ControlDataRec before = SettingsOf(scene);
  HostRun run = Edit({});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_TRUE(Has(run.out, "no terminal: the dialog is confirmed unchanged")) << run.out;
  EXPECT_TRUE(Has(run.out, "no field changed\nthe plug-in kept its model (no reset)\n")) << run.out;
  EXPECT_EQ(Edited(SettingsOf(scene)), Edited(before));

  // One third has no 8-decimal text that reads back as itself.
  before.emitErr = 1.0 / 3.0;
  SetSettings(scene, before);
  run = Edit({});
  EXPECT_TRUE(Has(run.out, "the plug-in reset its model")) << run.out;
  EXPECT_EQ(SettingsOf(scene).emitErr, 0.33333333);
}

TEST_F(PlmhostEdit, ChangedNumberResetsAndTheRenderReplaysIt) {
  ASSERT_EQ(RunHost({"render", "s.json", "--frames", "0-5", "--out", "a", "-q"}, dir.path).exitCode, 0);
  EXPECT_GT(PointsIn(dir / "a/frame_0005.ply"), 0u);
  HostRun run = Edit({"--set", "emitFrequency=0", "--set", "15=0"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_TRUE(Has(run.out, "  emitFrequency    25 -> 0\n")) << run.out;
  EXPECT_TRUE(Has(run.out, "the plug-in reset its model")) << run.out;
  EXPECT_TRUE(Has(run.out, "saved s.json"));
  ControlDataRec c = SettingsOf(scene);
  EXPECT_EQ(c.emitFrequency, 0.0);
  EXPECT_EQ(c.emitErr, 0.0);
  ASSERT_EQ(RunHost({"render", "s.json", "--frames", "0-5", "--out", "b", "-q"}, dir.path).exitCode, 0);
  for (int f = 0; f <= 5; ++f) EXPECT_EQ(PointsIn(dir / ("b/frame_000" + std::to_string(f) + ".ply")), 0u) << f;
}

TEST_F(PlmhostEdit, ColourOnlyChangeResetsNothing) {
  ControlDataRec before = SettingsOf(scene);
  HostRun run = Edit({"--set", "colorBirth=#80102030", "--set", "colorDeath=1,2,3,4"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_TRUE(Has(run.out, "the plug-in kept its model (no reset)")) << run.out;
  ControlDataRec c = SettingsOf(scene);
  EXPECT_EQ(c.energyColors[2].a, 0x80);
  EXPECT_EQ(c.energyColors[2].r, 0x10);
  EXPECT_EQ(c.energyColors[2].b, 0x30);
  EXPECT_EQ(c.energyColors[0].a, 1);
  EXPECT_EQ(c.energyColors[0].b, 4);
  EXPECT_EQ(std::memcmp(&c.energyColors[1], &before.energyColors[1], sizeof(ARGB)), 0);
  EXPECT_EQ(Edited(c).substr(0, 26 * sizeof(double) + 4), Edited(before).substr(0, 26 * sizeof(double) + 4));
}

TEST_F(PlmhostEdit, NewWithLettersStoresZeroAndTheNextCommandClampsIt) {
  HostRun run = RunHost({"new", "t.json", "--set", "maxParticles=abc", "--set", "lifeTime=xyz"}, dir.path);
  ASSERT_EQ(run.exitCode, 0) << run.err;
  ControlDataRec c = SettingsOf(dir / "t.json");
  EXPECT_EQ(c.maxParticles, 0);
  EXPECT_EQ(c.lifeTime, 0.0);
  EXPECT_EQ(RunHost({"render", "t.json", "--frames", "0-2", "--out", "o", "-q"}, dir.path).exitCode, 0);
}

TEST_F(PlmhostEdit, CancelAndBadNamesLeaveTheSceneByteIdentical) {
  std::string before = ReadFile(scene);
  HostRun run = Edit({"--set", "emitFrequency=99", "--cancel"});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_TRUE(Has(run.out, "cancelled: s.json is unchanged")) << run.out;
  run = Edit({"--set", "emitFrequency=99", "--set", "bogus=1"});
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_TRUE(Has(run.err, "--set bogus: no such control")) << run.err;
  EXPECT_TRUE(Has(run.err, "emitFrequency (6)") && Has(run.err, "colorDeath (35)")) << run.err;
  EXPECT_EQ(Edit({"--set", "emitFrequency"}).exitCode, 2);
  EXPECT_EQ(Edit({"--set", "colorBirth=red"}).exitCode, 2);
  EXPECT_EQ(ReadFile(scene), before);
  EXPECT_EQ(RunHost({"new", "u.json", "--set", "bogus=1"}, dir.path).exitCode, 2);
  EXPECT_FALSE(FileExists(dir / "u.json"));
}

// A copy of the plug-in in a folder of its own, with or without a resource.
TEST_F(PlmhostEdit, MissingOrBrokenResourcesAndAMissingDialog) {
  std::filesystem::create_directory(dir / "p");
  std::filesystem::copy_file(PARTICLE_PLUGIN_PATH, dir / "p/Particle.plm");
  ASSERT_EQ(RunHost({"new", "s.json", "--force", "--plugin", "p/Particle.plm"}, dir.path).exitCode, 0);
  std::string before = ReadFile(scene);
  struct Case {
    const char* resource;  // null: none
    int exitCode;
    const char* err;
  } cases[] = {
      {nullptr, 1, "\"INTF\" failed with 6 (Plug-in could not get a required resource)"},
      {nullptr, 1, "Particle.rsc: no resource file there"},
      {"{\"format\": ", 1, "Particle.rsc: not a JSON document"},
      {R"({"format": "plmhost-resources", "version": 1, "dialogs": {"9000": {"size": [9, 9], "controls": []}}})", 0,
       "Particle.rsc: no dialog 16001"},
  };
  for (const Case& c : cases) {
    std::filesystem::remove(dir / "p/Particle.rsc");
    if (c.resource) WriteFile(dir / "p/Particle.rsc", c.resource);
    HostRun run = Edit({});
    EXPECT_EQ(run.exitCode, c.exitCode) << run.err;
    EXPECT_TRUE(Has(run.err, c.err)) << run.err;
    EXPECT_EQ(ReadFile(scene), before);
  }
  HostRun run = Edit({});
  EXPECT_TRUE(Has(run.out, "the plug-in showed no dialog\ns.json is unchanged")) << run.out;
  EXPECT_EQ(Edit({"--set", "emitFrequency=1"}).exitCode, 1);
}

bool Eventually(const std::function<bool()>& theTest) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!theTest()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return true;
}

std::string Output(const std::string& theCommand) {
  std::string out;
  if (FILE* pipe = popen(theCommand.c_str(), "r")) {
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
    pclose(pipe);
  }
  return out;
}

TEST_F(PlmhostEdit, TerminalFormEditsAFieldAndSaves) {
  if (std::system("command -v tmux >/dev/null 2>&1") != 0) GTEST_SKIP() << "tmux is not installed";
  const std::string tmux = "tmux -L plmhost-test-" + std::to_string(getpid()) + " ";
  struct Server {
    std::string tmux;
    ~Server() { std::system((tmux + "kill-server >/dev/null 2>&1").c_str()); }
  } server{tmux};
  std::string command = "cd " + dir.path + " && " + PLMHOST_PATH + " edit s.json 2>err.txt; echo $? >rc.txt";
  ASSERT_EQ(std::system((tmux + "new-session -d -x 100 -y 30 '" + command + "'").c_str()), 0);
  std::string screen;
  ASSERT_TRUE(Eventually([&] {
    screen = Output(tmux + "capture-pane -p");
    return Has(screen, "Particle Settings") && Has(screen, "[ OK ]");
  })) << screen;
  EXPECT_TRUE(Has(screen, "Rate /s")) << screen;
  // The form opens on the first field; the next one is the rate, selected whole.
  ASSERT_EQ(std::system((tmux + "send-keys Tab 7 5 Enter").c_str()), 0);
  ASSERT_TRUE(Eventually([&] { return FileExists(dir / "rc.txt") && !ReadFile(dir / "rc.txt").empty(); }))
      << Output(tmux + "capture-pane -p");
  EXPECT_EQ(ReadFile(dir / "rc.txt"), "0\n") << ReadFile(dir / "err.txt");
  EXPECT_EQ(SettingsOf(scene).emitFrequency, 75.0);
}

}  // namespace
