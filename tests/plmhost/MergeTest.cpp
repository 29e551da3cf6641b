// plmhost merge on chunks rendered by the real plug-in: the merged folder is
// the render of the whole range, and every chunk that is no part of it is
// refused with its name, before anything is written.
#include <gtest/gtest.h>

#include "HostRun.h"

namespace {

using Json = nlohmann::json;
namespace fs = std::filesystem;

// Rendered once for all cases: the whole range and its chunks, pictures
// included.
struct Shot {
  TempDir dir;
  Shot() {
    for (const char* range : {"0-29", "0-9", "10-19", "20-29", "5-14"}) {
      HostRun run = RunHost({"render", "--frames", range, "--png", "--size", "48x27", "--out", range, "-q"}, dir.path);
      EXPECT_EQ(run.exitCode, 0) << range << ": " << run.err;
    }
    HostRun run = RunHost({"render", "--frames", "0-3", "--png", "--size", "64x36", "--out", "larger", "-q"}, dir.path);
    EXPECT_EQ(run.exitCode, 0) << run.err;
  }
};
const Shot& TheShot() {
  static Shot shot;
  return shot;
}

// A fresh copy of some chunks, to damage.
struct Chunks {
  TempDir dir;
  explicit Chunks(std::initializer_list<const char*> ranges) {
    for (const char* r : ranges) fs::copy(TheShot().dir / r, dir / r, fs::copy_options::recursive);
  }
  void Edit(const char* chunk, void (*change)(Json&)) {
    Json report = Json::parse(ReadFile(dir / (std::string(chunk) + "/render.json")));
    change(report);
    WriteFile(dir / (std::string(chunk) + "/render.json"), report.dump(2));
  }
  HostRun Merge(std::vector<std::string> chunks) {
    chunks.insert(chunks.begin(), {"merge", "out"});  // the pictures' size is the sheet's
    return RunHost(chunks, dir.path);
  }
};

Json WithoutTimes(Json report) {
  for (Json& r : report["frameResults"]) r.erase("seconds");
  return report;
}

TEST(PlmhostMerge, ChunksInAnyOrderWithAMatchingOverlapGiveTheWholeRenderAndMergeAgain) {
  Chunks shot({"0-9", "10-19", "20-29", "5-14"});
  for (int pass = 0; pass < 2; ++pass) {  // the second into the folder the first filled
    HostRun run = shot.Merge({"20-29", "5-14", "0-9", "10-19"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::string& full = TheShot().dir / "0-29";
    std::vector<std::string> names = ListDir(full);
    names.erase(std::remove(names.begin(), names.end(), "render.json"), names.end());
    names.erase(std::remove(names.begin(), names.end(), "checkpoints"), names.end());
    ASSERT_EQ(names.size(), 30u * 2 + 1);  // frames, pictures, contact sheet
    for (const std::string& name : names)
      ASSERT_TRUE(ReadFile(shot.dir / ("out/" + name)) == ReadFile(full + "/" + name)) << name;
    Json merged = WithoutTimes(Json::parse(ReadFile(shot.dir / "out/render.json")));
    Json whole = WithoutTimes(Json::parse(ReadFile(full + "/render.json")));
    for (const char* key : {"plugin", "scene", "frames", "status", "complete", "frameResults"})
      EXPECT_EQ(merged[key], whole[key]) << key;
    EXPECT_EQ(merged["mergedFrom"].size(), 4u);
  }
}

TEST(PlmhostMerge, RefusesWhatIsNoPartOfOneRenderNamingTheChunkAndWritesNothing) {
  struct Case {
    const char* what;
    std::vector<std::string> chunks;
    void (*damage)(Chunks&);
    const char* message;
  };
  const Case cases[] = {
      {"gap", {"0-9", "20-29"}, [](Chunks&) {}, "frames 10-19 are in no chunk: 0-9 ends at 9, 20-29 starts at 20"},
      {"cancelled", {"0-9", "10-19"},
       [](Chunks& c) {
         c.Edit("10-19", [](Json& r) { r["status"] = "cancelled", r["complete"] = false; });
       },
       "10-19: incomplete: its render cancelled with 10 of 10 frames"},
      {"other scene", {"0-9", "10-19", "20-29"},
       [](Chunks& c) { c.Edit("10-19", [](Json& r) { r["scene"]["sha256"] = std::string(64, 'e'); }); },
       "chunks of another scene (the others have"},
      {"other plug-in", {"0-9", "10-19", "20-29"},
       [](Chunks& c) { c.Edit("20-29", [](Json& r) { r["plugin"]["version"] = 99; }); },
       "\n  20-29: "},
      {"overlap that differs", {"0-9", "5-14"},
       [](Chunks& c) { WriteFile(c.dir / "5-14/frame_0007.ply", "ply\nnot this frame\n"); },
       "5-14 and 0-9 overlap on frames 5-9, but their frame_0007.ply differ"},
      {"frame missing", {"0-9", "10-19"},
       [](Chunks& c) { fs::remove(c.dir / "10-19/frame_0013.ply"); },
       "10-19: frame_0013.ply is missing, though its render.json says the chunk is complete"},
      {"pictures missing", {"0-9", "10-19"},
       [](Chunks& c) { fs::remove(c.dir / "10-19/frame_0012.png"), fs::remove(c.dir / "10-19/frame_0013.png"); },
       "no picture for frames 12-13 (in 10-19)"},
      {"pictures of another size", {"0-9", "10-19"},
       [](Chunks& c) { fs::copy_file(TheShot().dir / "larger/frame_0003.png", c.dir / "0-9/frame_0003.png",
                                     fs::copy_options::overwrite_existing); },
       "0-9/frame_0003.png: 64x36, but the pictures before it are 48x27; draw all frames at one size"},
      {"not a report", {"0-9", "10-19"},
       [](Chunks& c) { WriteFile(c.dir / "0-9/render.json", "{\"frames\": "); },
       "0-9/render.json: not a render report"},
      {"results short", {"0-9"},
       [](Chunks& c) { c.Edit("0-9", [](Json& r) { r["frameResults"].erase(3); }); },
       "0-9/render.json: lists 9 frame results for frames 0-9"},
  };
  for (const Case& c : cases) {
    Chunks shot(std::initializer_list<const char*>{});
    for (const std::string& chunk : c.chunks)
      fs::copy(TheShot().dir / chunk, shot.dir / chunk, fs::copy_options::recursive);
    c.damage(shot);
    HostRun run = shot.Merge(c.chunks);
    EXPECT_EQ(run.exitCode, 2) << c.what;
    ExpectHas(run.err, {c.message});
    EXPECT_FALSE(fs::exists(shot.dir / "out")) << c.what;
  }
}

// A job redone after a failure: merge refuses until the chunk is complete,
// then succeeds; an output folder holding other frames is never mixed in.
TEST(PlmhostMerge, SucceedsOnceTheFailedChunkIsRedoneAndKeepsOtherFramesOut) {
  Chunks shot({"0-9", "10-19"});
  shot.Edit("10-19", [](Json& r) { r["status"] = "failed", r["complete"] = false; });
  EXPECT_EQ(shot.Merge({"0-9", "10-19"}).exitCode, 2);
  fs::remove_all(shot.dir / "10-19");
  fs::copy(TheShot().dir / "10-19", shot.dir / "10-19", fs::copy_options::recursive);
  HostRun run = shot.Merge({"0-9", "10-19"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(ReadFile(shot.dir / "out/frame_0015.ply"), ReadFile(TheShot().dir / "0-29/frame_0015.ply"));

  run = shot.Merge({"0-9"});  // the folder still holds frames 10-19
  EXPECT_EQ(run.exitCode, 2);
  ExpectHas(run.err, {"out: already holds frame_0010.ply and 19 more files outside the merged frames 0-9"});
  EXPECT_EQ(shot.Merge({"0-9", "out"}).exitCode, 2);  // the output folder as a chunk of itself
  EXPECT_EQ(RunHost({"merge", "out"}, shot.dir.path).exitCode, 2);
}

}  // namespace
