// plmhost as a user runs it, with the real Particle.plm.
#include <gtest/gtest.h>

#include <cstddef>
#include <nlohmann/json.hpp>

#include "Base64.h"
#include "BuiltinScenes.h"
#include "HostRun.h"
#include "ParticleRecords.h"

namespace {

using Json = nlohmann::json;

std::string Frame(int f, const char* ext) {
  char name[32];
  std::snprintf(name, sizeof name, "frame_%04d.%s", f, ext);
  return name;
}

bool IsPng(const std::string& bytes, int width, int height) {
  if (bytes.size() < 24 || bytes.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0 || bytes.compare(12, 4, "IHDR") != 0)
    return false;
  auto word = [&](size_t at) {
    return (uint32_t(uint8_t(bytes[at])) << 24) | (uint32_t(uint8_t(bytes[at + 1])) << 16) |
           (uint32_t(uint8_t(bytes[at + 2])) << 8) | uint32_t(uint8_t(bytes[at + 3]));
  };
  return word(16) == uint32_t(width) && word(20) == uint32_t(height);
}

TEST(PlmhostInfo, DescribesThePluginBesideIt) {
  TempDir dir;
  HostRun run = RunHost({"info"}, dir.path);
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.out.find("Corvexa\u2122 Particle"), std::string::npos) << run.out;  // Mac OS Roman 0xAA
  EXPECT_NE(run.out.find("Commands     INIT FINI INFO CHEK DESC INTF SETM GINF GATR GBLR TMAP BMAP RMAP GENM\n"),
            std::string::npos);
  EXPECT_EQ(run.out.find("\nUnsupported "), std::string::npos);
  EXPECT_NE(run.out.find("  3  Incompatible plug-in parameter record was received\n"), std::string::npos);
}

TEST(PlmhostRender, FramesParseBackAndMatchTheReport) {
  TempDir dir;
  HostRun run = RunHost({"render", "--frames", "0-11", "--out", "o"}, dir.path);
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.out.find("o/preview.png"), std::string::npos);
  Json report = Json::parse(ReadFile(dir / "o/render.json"));
  EXPECT_EQ(report["status"], "done");
  EXPECT_EQ(report["plugin"]["version"], 3);
  ASSERT_EQ(report["frameResults"].size(), 12u);
  bool moving = false;
  for (int f = 0; f <= 11; ++f) {
    const Json& entry = report["frameResults"][size_t(f)];
    EXPECT_EQ(entry["frame"], f);
    EXPECT_EQ(entry["result"], 0);
    std::vector<PlyPoint> points;
    ASSERT_TRUE(ReadPly(dir / ("o/" + Frame(f, "ply")), &points));
    EXPECT_EQ(points.size(), entry["particles"].get<size_t>()) << f;
    for (const PlyPoint& p : points) {
      EXPECT_EQ(p.a, 255);
      EXPECT_GE(p.y, 0.0f);  // above the default ground
      moving = moving || p.y != p.by;
    }
  }
  EXPECT_GT(report["frameResults"][11]["particles"].get<int>(), 0);
  EXPECT_TRUE(moving) << "blur positions equal positions everywhere";
  EXPECT_TRUE(IsPng(ReadFile(dir / "o/preview.png"), 960, 540));
  EXPECT_FALSE(FileExists(dir / ("o/" + Frame(0, "png"))));
}

// The plug-in replays its bounded window, so a chunk of a range renders
// exactly as the same frames of the whole range (and so runs repeat).
TEST(PlmhostRender, ChunkEqualsTheSameFramesOfTheFullRun) {
  TempDir dir;
  ASSERT_EQ(RunHost({"render", "--frames", "0-299", "--png", "--size", "48x27", "--out", "full", "-q"}, dir.path).exitCode, 0);
  ASSERT_EQ(RunHost({"render", "--frames", "100-199", "--png", "--size", "48x27", "--out", "chunk", "-q"}, dir.path).exitCode, 0);
  EXPECT_EQ(ListDir(dir / "chunk").size(), 100u * 2 + 2);
  size_t particles = 0;
  for (int f = 100; f <= 199; ++f)
    for (const char* ext : {"ply", "png"}) {
      std::string name = Frame(f, ext);
      std::string chunk = ReadFile(dir / ("chunk/" + name));
      ASSERT_FALSE(chunk.empty()) << name;
      ASSERT_EQ(chunk, ReadFile(dir / ("full/" + name))) << name;
      particles += chunk.size();
    }
  EXPECT_GT(particles, 100u * 1000) << "frames without particles prove nothing";
  EXPECT_TRUE(IsPng(ReadFile(dir / ("chunk/" + Frame(100, "png"))), 48, 27));
}

TEST(PlmhostScenes, BuiltInFountainIsTheDefaultsWithAFixedSeed) {
  TempDir dir;
  HostRun made = RunHost({"new", "s.json"}, dir.path);
  ASSERT_EQ(made.exitCode, 0) << made.err;
  auto settingsOf = [](const std::string& text) {
    return *DecodeBase64(Json::parse(text)["settings"]["base64"].get<std::string>());
  };
  std::vector<uint8_t> fresh = settingsOf(ReadFile(dir / "s.json"));
  std::vector<uint8_t> builtin = settingsOf(BuiltinSceneText("fountain"));
  ASSERT_EQ(fresh.size(), sizeof(ControlDataRec));
  ASSERT_EQ(builtin.size(), sizeof(ControlDataRec));
  const size_t seed = offsetof(ControlDataRec, particleSeed);
  EXPECT_TRUE(std::equal(fresh.begin(), fresh.begin() + seed, builtin.begin()));

  HostRun again = RunHost({"new", "s.json"}, dir.path);
  EXPECT_EQ(again.exitCode, 2);
  EXPECT_NE(again.err.find("already exists"), std::string::npos);
  HostRun render = RunHost({"render", "s.json", "--frames", "0-2", "--out", "o", "-q"}, dir.path);
  EXPECT_EQ(render.exitCode, 0) << render.err;
}

TEST(PlmhostScenes, BadSceneFilesExitWith2NamingTheProblem) {
  TempDir dir;
  Json good = Json::parse(BuiltinSceneText("fountain"));
  auto with = [&](const char* key, Json value) {
    Json doc = good;
    doc[key] = value;
    return doc.dump();
  };
  struct Case {
    const char* file;
    std::string text;
    const char* expected;
  } cases[] = {
      {"missing.json", "", "missing.json: cannot read the scene"},
      {"text.json", "fountain, please", "text.json: not a JSON document"},
      {"fps.json", with("fps", "fast"), "fps.json: field \"fps\": must be a number"},
      {"plugin.json", with("plugin", "nowhere.plm"), "nowhere.plm: no plug-in file there"},
  };
  for (const Case& c : cases) {
    if (!c.text.empty()) WriteFile(dir / c.file, c.text);
    HostRun run = RunHost({"render", c.file, "--out", "o"}, dir.path);
    EXPECT_EQ(run.exitCode, 2) << c.file;
    EXPECT_NE(run.err.find(c.expected), std::string::npos) << run.err;
    if (!c.text.empty()) {
      EXPECT_EQ(ReadFile(dir / c.file), c.text);  // never rewritten
    }
  }
  for (std::vector<std::string> args : {std::vector<std::string>{"render", "--frames", "9-3"},
                                        {"render", "--size", "10x10"}, {"render", "--bogus"}, {}})
    EXPECT_EQ(RunHost(args, dir.path).exitCode, 2);
}

}  // namespace
