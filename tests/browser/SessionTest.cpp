// The frame session against `render`: every frame it hands out, in any
// order and with a cache and snapshots far too small to hold the run, is
// the frame render writes; editing saves the scene and the frames follow it.
// The PLY reader of `view` is checked on the same files.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <sstream>
#include <thread>

#include "output/PlyWriter.h"
#include "protocol/HostCallbacks.h"
#include "render/FrameSetup.h"
#include "render/Render.h"
#include "scene/BuiltinScenes.h"
#include "server/FrameSession.h"
#include "server/PlyFolder.h"

namespace fs = std::filesystem;

namespace {

struct TempDir {
  std::string path = (fs::temp_directory_path() / "plmhost-serve-XXXXXX").string();
  TempDir() { EXPECT_NE(mkdtemp(path.data()), nullptr); }
  ~TempDir() { fs::remove_all(path); }
  std::string operator/(const std::string& name) const { return path + "/" + name; }
};

std::string ReadAll(const std::string& thePath) {
  std::ifstream in(thePath, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

Scene ShortFountain(const std::string& thePath) {
  Scene s = BuiltinScene("fountain");
  s.label = thePath;
  s.baseDir = fs::path(thePath).parent_path().string();
  s.lastFrame = 59;
  SaveScene(s, thePath);
  Scene loaded = LoadScene(thePath);
  ResolveScenePlugin(loaded, {std::string(PARTICLE_PLUGIN_PATH), {}});  // as --plugin does
  return loaded;
}

void Render(Scene theScene, const std::string& theDir) {
  ResolveScenePlugin(theScene, {std::string(PARTICLE_PLUGIN_PATH), {}});
  RenderOptions options;
  options.outDir = theDir;
  options.firstFrame = theScene.firstFrame;
  options.lastFrame = theScene.lastFrame;
  options.quiet = true;
  ASSERT_EQ(RenderScene(theScene, options), 0);
}

FrameData Rendered(const std::string& theDir, int32_t theFrame) {
  FrameData f;
  std::string problem;
  EXPECT_TRUE(ParsePly(ReadAll(theDir + "/" + FrameFileName(theFrame, "ply")), theFrame, &f, &problem)) << problem;
  return f;
}

void ExpectSameFrame(const FrameReply& theReply, const FrameData& theRendered) {
  ASSERT_EQ(theReply.status, ReplyStatus::kOk) << theReply.message;
  EXPECT_EQ(theReply.frame->positions, theRendered.positions) << "frame " << theRendered.frame;
  EXPECT_EQ(theReply.frame->blur, theRendered.blur) << "frame " << theRendered.frame;
  EXPECT_EQ(theReply.frame->colors, theRendered.colors) << "frame " << theRendered.frame;
}

TEST(ServerSession, FramesInAnyOrderAreTheRenderedFrames) {
  TempDir dir;
  Scene scene = ShortFountain(dir / "s.json");
  Render(scene, dir / "r");

  SessionLimits limits;
  limits.cacheBytes = 40 << 10;      // about one frame
  limits.snapshotBytes = 200 << 10;  // three or four snapshots
  limits.snapshotEvery = 4;
  PluginSession session(scene, dir / "s.json", limits, nullptr);
  session.Open();
  for (int32_t f : {59, 10, 33, 2, 59, 0, 45, 44, 46})
    ExpectSameFrame(session.Frame(f), Rendered(dir / "r", f));
  // The snapshots thinned out instead of growing past their budget.
  EXPECT_GT(session.SnapshotEvery(), 4);
  EXPECT_LE(session.SnapshotCount(), 5u);
  EXPECT_EQ(session.Frame(60).status, ReplyStatus::kNotFound);
  EXPECT_EQ(session.Frame(-1).status, ReplyStatus::kNotFound);

  // The view command's reader gives the same points back.
  PlyFolder folder(dir / "r", 1 << 20);
  EXPECT_EQ(folder.Info().lastFrame, 59);
  EXPECT_EQ(folder.Info().camera.fov, scene.camera.fov);
  ExpectSameFrame(folder.Frame(33), Rendered(dir / "r", 33));
}

TEST(ServerSession, EditsSaveTheSceneAndTheFramesFollowIt) {
  SetPluginMemoryLimit(int64_t(256) << 20, "test");  // so that a large pool is refused
  TempDir dir;
  Scene scene = ShortFountain(dir / "s.json");
  PluginSession session(scene, dir / "s.json", SessionLimits(), nullptr);
  session.Open();
  size_t before = session.Frame(40).frame->Count();
  std::string savedText = ReadAll(dir / "s.json");

  // A field the plug-in's model depends on: saved, reset, replayed.
  EditReply r = session.Apply({{"emitFrequency", "60"}});
  ASSERT_EQ(r.status, ReplyStatus::kOk) << r.message;
  EXPECT_TRUE(r.body["saved"].get<bool>() && r.body["reset"].get<bool>());
  Scene saved = LoadScene(dir / "s.json");
  EXPECT_EQ(saved.settings, session.CurrentScene().settings);
  EXPECT_NE(saved.settings, scene.settings);
  Render(saved, dir / "after");
  FrameReply after = session.Frame(40);
  EXPECT_NE(after.frame->Count(), before);
  ExpectSameFrame(after, Rendered(dir / "after", 40));

  // A colour: saved, the model kept.
  r = session.Apply({{"colorBirth", "#00ff00"}});
  ASSERT_EQ(r.status, ReplyStatus::kOk) << r.message;
  EXPECT_TRUE(r.body["saved"].get<bool>());
  EXPECT_FALSE(r.body["reset"].get<bool>());
  EXPECT_EQ(session.Frame(40).frame->Count(), after.frame->Count());

  // What the plug-in kept of a typed value is reported, and the form shows it.
  savedText = ReadAll(dir / "s.json");
  r = session.Apply({{"emitFrequency", "60.0"}});
  ASSERT_EQ(r.status, ReplyStatus::kOk) << r.message;
  EXPECT_FALSE(r.body["saved"].get<bool>());
  ASSERT_EQ(r.body["adjusted"].size(), 1u);
  EXPECT_EQ(r.body["adjusted"][0]["kept"], "60");

  // Nothing is saved for a name the dialog lacks, or for settings the
  // plug-in cannot start from (a pool beyond what the host allocates).
  EXPECT_EQ(session.Apply({{"noSuchField", "1"}}).status, ReplyStatus::kBadRequest);
  r = session.Apply({{"maxParticles", "40000000"}});
  EXPECT_EQ(r.status, ReplyStatus::kBadRequest);
  EXPECT_NE(r.message.find("nothing saved"), std::string::npos) << r.message;
  EXPECT_EQ(ReadAll(dir / "s.json"), savedText);
  // The colour changed nothing but colours.
  EXPECT_EQ(session.Frame(40).frame->positions, Rendered(dir / "after", 40).positions);
  EditReply form = session.ReadForm();
  ASSERT_EQ(form.status, ReplyStatus::kOk);
  bool found = false;
  for (const auto& c : form.body["form"]["controls"])
    if (c.value("name", "") == "emitFrequency") found = c["value"] == "60";
  EXPECT_TRUE(found);
}

TEST(ServerSession, CancelReachesThePluginAndLeavesExactFrames) {
  // The flag is heard through "STAT" inside the command.
  Scene fountain = BuiltinScene("fountain");
  PluginInstance instance;
  OpenInstance(instance, LoadPlugin(PARTICLE_PLUGIN_PATH));
  std::atomic<bool> cancel{true};
  instance.cancelRequest = &cancel;
  SetSettingsRecord(instance, fountain.settings);
  ASSERT_EQ(SendInitialize(instance), kPluginNoError);
  ASSERT_EQ(SendSetup(instance, MakeFrameSetup(fountain, 5)), kPluginNoError);
  SendGenerate(instance, 0);  // the plug-in's answer keeps no latched result
  EXPECT_TRUE(instance.cancelled);
  EXPECT_TRUE(instance.model.vertices.empty());
  CloseInstance(instance, true);

  // A long replay stops, and the frames after it are still render's.
  TempDir dir;
  Scene scene = ShortFountain(dir / "s.json");
  scene.lastFrame = kMaxFrameIndex;
  SaveScene(scene, dir / "s.json");
  PluginSession session(scene, dir / "s.json", SessionLimits(), nullptr);
  session.Open();
  auto far = std::async(std::launch::async, [&] { return session.Frame(kMaxFrameIndex); });
  while (session.SnapshotCount() < 3) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  session.Cancel();
  ASSERT_EQ(far.wait_for(std::chrono::seconds(30)), std::future_status::ready);
  EXPECT_EQ(far.get().status, ReplyStatus::kCancelled);
  scene.lastFrame = 40;
  Render(scene, dir / "r");
  for (int32_t f : {37, 3}) ExpectSameFrame(session.Frame(f), Rendered(dir / "r", f));
}

TEST(ServerSession, PlyReaderRefusesDamagedFiles) {
  FrameModel model;
  model.vertices.push_back({{1, 2, 3}, {0, 0, 0}, {255, 10, 20, 30}, true});
  model.vertices.push_back({{4, 5, 6}, {1, 1, 1}, {128, 40, 50, 60}, true});
  const std::string good = PlyBytes(model, "plmhost frame 7");
  FrameData f;
  std::string problem;
  ASSERT_TRUE(ParsePly(good, 7, &f, &problem)) << problem;
  EXPECT_EQ(f.positions, (std::vector<float>{1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(f.colors, (std::vector<uint8_t>{10, 20, 30, 255, 40, 50, 60, 128}));

  auto replaced = [&](const std::string& from, const std::string& to) {
    std::string s = good;
    return s.replace(s.find(from), from.size(), to);
  };
  const std::string bad[] = {
      good.substr(0, good.size() - 1),                                    // one byte short
      good + "x",                                                          // one byte over
      replaced("element vertex 2", "element vertex 3"),                    // count beyond the data
      replaced("element vertex 2", "element vertex 99999999999"),         // absurd count
      replaced("element vertex 2", "element vertex -1"),
      replaced("property uchar alpha\n", ""),                             // another layout
      replaced("binary_little_endian", "ascii"),
      replaced("end_header", "end_headex"),
      "ply\nformat binary_little_endian 1.0\ncomment " + std::string(5000, 'x') + "\n",
      "",
  };
  for (const std::string& b : bad) EXPECT_FALSE(ParsePly(b, 7, &f, &problem)) << b.substr(0, 120);
}

}  // namespace
