#include "render/Render.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <set>
#include <nlohmann/json.hpp>

#include "cli/HostError.h"
#include "cli/Interrupt.h"
#include "output/OutputFile.h"
#include "output/PlyReader.h"
#include "output/Preview.h"
#include "render/Pipeline.h"
#include "render/Stepper.h"
#include "scene/SceneMatrices.h"

using Json = nlohmann::ordered_json;
namespace fs = std::filesystem;

namespace {

struct FrameRecord {
  int32_t frame;
  size_t particles;
  int32_t result;
  double seconds;
};

enum class Outcome { kDone, kFailed, kCancelled };

const char* OutcomeText(Outcome o) {
  return o == Outcome::kDone ? "done" : o == Outcome::kFailed ? "failed" : "cancelled";
}

std::string OutPath(const std::string& theDir, const std::string& theName) {
  return (fs::path(theDir) / theName).string();
}

bool Exists(const std::string& thePath) {
  std::error_code ec;
  return fs::exists(thePath, ec);
}

// How the run reached its first written frame.
struct StartRecord {
  const char* route = "scene-start";
  std::optional<int32_t> frame;  // the first frame sent "GENM"
  std::optional<std::string> checkpoint;
};

struct Report {
  Outcome outcome = Outcome::kDone;
  std::vector<FrameRecord> frames;
  StartRecord start;
  std::vector<std::string> warnings;
  bool complete = false;
};

Json ReportJson(const FrameStepper& theStepper, const RenderOptions& theOptions, const Report& theReport,
                const Json& theEarlierFrames) {
  Json frames = theEarlierFrames.is_array() ? theEarlierFrames : Json::array();
  for (const FrameRecord& f : theReport.frames)
    frames.push_back({{"frame", f.frame}, {"particles", f.particles}, {"result", f.result},
                      {"seconds", f.seconds}});
  const Scene& scene = *theStepper.scene;
  return {
      {"plugin",
       {{"name", theStepper.info.name},
        {"version", theStepper.info.version},
        {"path", theStepper.pluginPath},
        {"sha256", HexDigest(theStepper.identity.pluginFile)}}},
      {"scene",
       {{"source", scene.label},
        {"sha256", HexDigest(theStepper.identity.scene)},
        {"content", Json::parse(theStepper.sceneContent)}}},
      {"frames", {{"first", theOptions.firstFrame}, {"last", theOptions.lastFrame}}},
      {"pictures", {{"width", theOptions.width}, {"height", theOptions.height}}},
      {"status", OutcomeText(theReport.outcome)},
      {"complete", theReport.complete},
      {"frameResults", frames},
      {"startedFrom",
       {{"route", theReport.start.route},
        {"frame", theReport.start.frame ? Json(*theReport.start.frame) : Json(nullptr)},
        {"checkpoint", theReport.start.checkpoint ? Json(*theReport.start.checkpoint) : Json(nullptr)}}},
      {"warnings", theReport.warnings},
  };
}

// The earlier run's report in the folder, when there is a readable one.
Json ReadReport(const std::string& thePath) {
  std::FILE* in = std::fopen(thePath.c_str(), "rb");
  if (in == nullptr) return nullptr;
  std::string text;
  char buffer[65536];
  for (size_t got; (got = std::fread(buffer, 1, sizeof buffer, in)) > 0;) text.append(buffer, got);
  std::fclose(in);
  Json report = Json::parse(text, nullptr, false);
  return report.is_object() ? report : Json(nullptr);
}

// The first frame of the range whose files are not all there.
int32_t FirstMissingFrame(const RenderOptions& theOptions) {
  for (int32_t f = theOptions.firstFrame; f <= theOptions.lastFrame; ++f) {
    if (!Exists(OutPath(theOptions.outDir, FrameFileName(f, "ply")))) return f;
    if (theOptions.framePictures && !Exists(OutPath(theOptions.outDir, FrameFileName(f, "png")))) return f;
  }
  return theOptions.lastFrame + 1;
}

void Warn(Report& theReport, const std::string& theText) {
  std::fflush(stdout);
  std::fprintf(stderr, "plmhost: warning: %s\n", theText.c_str());
  theReport.warnings.push_back(theText);
}

std::vector<std::string> DistinctFolders(std::vector<std::string> theDirs) {
  std::vector<std::string> out;
  std::vector<fs::path> seen;
  for (const std::string& dir : theDirs) {
    std::error_code ec;
    fs::path canonical = fs::weakly_canonical(dir, ec);
    if (ec) canonical = fs::absolute(dir, ec);
    if (std::find(seen.begin(), seen.end(), canonical) != seen.end()) continue;
    seen.push_back(canonical);
    out.push_back(dir);
  }
  return out;
}

}  // namespace

std::string FrameFileName(int32_t theFrame, const char* theExtension) {
  char name[32];
  std::snprintf(name, sizeof name, "frame_%04d.%s", int(theFrame), theExtension);
  return name;
}

int RenderScene(const Scene& theScene, const RenderOptions& theOptions) {
  const int32_t origin = theScene.firstFrame;
  if (!theOptions.replayWindow && theOptions.firstFrame < origin)
    throw UsageError("--frames " + std::to_string(theOptions.firstFrame) + "-" +
                     std::to_string(theOptions.lastFrame) + " starts before the scene's first frame " +
                     std::to_string(origin) + ", where its run begins (--replay-window renders it anyway)");
  const std::string& out = theOptions.outDir;

  // The plug-in first: a render that cannot start leaves no folder behind.
  FrameStepper stepper;
  OpenStepper(stepper, theScene, ScenePluginPath(theScene));

  Json earlierFrames = Json::array();
  int32_t outputFirst = theOptions.firstFrame;
  if (theOptions.resume) {
    Json earlier = ReadReport(OutPath(out, "render.json"));
    if (earlier.is_object()) {
      const Json* hash = earlier.contains("scene") && earlier["scene"].is_object() && earlier["scene"].contains("sha256")
                             ? &earlier["scene"]["sha256"]
                             : nullptr;
      if (hash == nullptr || !hash->is_string() || hash->get<std::string>() != HexDigest(stepper.identity.scene))
        throw UsageError(OutPath(out, "render.json") +
                         ": that render was of another scene; --resume continues the same scene only");
    }
    // Frame files count as done only as far as the earlier report vouches
    // for them: a run killed before it wrote its report leaves files whose
    // scene and results nobody recorded, so they are rendered again.
    std::set<int64_t> reported;
    const bool listed = earlier.is_object() && earlier.contains("frameResults") && earlier["frameResults"].is_array();
    if (listed)
      for (const Json& entry : earlier["frameResults"])
        if (entry.is_object() && entry.contains("frame") && entry["frame"].is_number_integer() &&
            entry.contains("result") && entry["result"] == kPluginNoError)
          reported.insert(entry["frame"].get<int64_t>());
    int32_t vouched = theOptions.firstFrame;
    while (vouched <= theOptions.lastFrame && reported.count(vouched) != 0) ++vouched;
    outputFirst = std::min(FirstMissingFrame(theOptions), vouched);
    if (listed)
      for (const Json& entry : earlier["frameResults"])
        if (entry.is_object() && entry.contains("frame") && entry["frame"].is_number_integer() &&
            entry["frame"].get<int64_t>() >= theOptions.firstFrame && entry["frame"].get<int64_t>() < outputFirst)
          earlierFrames.push_back(entry);
  }

  std::error_code ec;
  fs::create_directories(out, ec);
  if (ec || !fs::is_directory(out))
    throw UsageError(out + ": cannot make the output folder" + (ec ? ": " + ec.message() : ""));
  const std::string checkpointDir = theOptions.checkpointDir.empty() ? OutPath(out, "checkpoints") : theOptions.checkpointDir;
  const bool useCheckpoints = !theOptions.replayWindow;

  Report report;
  ProgressDisplay progress = MakeProgressDisplay(theOptions.quiet, theOptions.firstFrame, theOptions.lastFrame);
  stepper.instance.progress = &progress;
  InstallInterruptHandler();

  int32_t initResult = StartStepper(stepper);
  if (initResult != kPluginNoError)
    report.outcome = initResult == kPluginUserCanceled ? Outcome::kCancelled : Outcome::kFailed;
  if (stepper.settingsReplaced)
    Warn(report, "the scene's settings record (" + std::to_string(theScene.settings.size()) +
                     " bytes) is not one the plug-in reads; it rendered with the plug-in's default settings");
  if (stepper.settingsChanged)
    Warn(report, "the plug-in changed the scene's settings record when it started (an older form converted or a "
                 "value corrected); the frames are those of the changed record");

  // Where the run starts.
  int32_t start = outputFirst;
  if (theOptions.replayWindow) {
    report.start.route = "replay-window";
  } else if (outputFirst > origin && report.outcome == Outcome::kDone && outputFirst <= theOptions.lastFrame) {
    Checkpoint found;
    std::string path;
    std::vector<std::string> dirs = DistinctFolders({OutPath(out, "checkpoints"), checkpointDir});
    if (FindCheckpoint(dirs, stepper.identity, origin, outputFirst - 1, &found, &path, &report.warnings)) {
      for (const std::string& w : report.warnings) {
        std::fflush(stdout);
        std::fprintf(stderr, "plmhost: warning: %s\n", w.c_str());
      }
      RestoreCheckpoint(stepper, found);
      start = found.frame + 1;
      report.start.route = "checkpoint";
      report.start.checkpoint = path;
      std::fprintf(stderr, "plmhost: starting from checkpoint %s (frame %d)\n", path.c_str(), int(found.frame));
    } else {
      for (const std::string& w : report.warnings) std::fprintf(stderr, "plmhost: warning: %s\n", w.c_str());
      start = origin;
    }
    if (start < outputFirst && !theOptions.quiet)
      std::fprintf(stderr, "plmhost: running frames %d-%d to reach frame %d (not written)\n", int(start),
                   int(outputFirst - 1), int(outputFirst));
  } else if (!theOptions.replayWindow && outputFirst > origin) {
    start = outputFirst;  // nothing will run
  }
  if (start <= theOptions.lastFrame && report.outcome == Outcome::kDone) report.start.frame = start;
  progress.firstFrame = std::min(start, theOptions.firstFrame);  // frames run to reach the range count too

  // The output stage.
  std::vector<int32_t> sheetFrames =
      theOptions.contactSheet ? ContactSheetFrames(theOptions.firstFrame, theOptions.lastFrame) : std::vector<int32_t>();
  const int tileWidth = std::max(1, theOptions.width / 2), tileHeight = std::max(1, theOptions.height / 2);
  const PreviewCamera frameCamera = MakePreviewCamera(theScene.camera, theOptions.width, theOptions.height);
  const PreviewCamera tileCamera = MakePreviewCamera(theScene.camera, tileWidth, tileHeight);
  std::vector<std::optional<RgbImage>> tiles(sheetFrames.size());
  auto work = [&](FrameJob& job) {
    WritePly(OutPath(out, FrameFileName(job.frame, "ply")), job.points, "plmhost frame " + std::to_string(job.frame));
    auto tile = std::find(sheetFrames.begin(), sheetFrames.end(), job.frame);
    if (!theOptions.framePictures && tile == sheetFrames.end()) return;
    Matrix4 group = GroupMatrixAt(theScene.group, job.frame / theScene.fps);
    if (theOptions.framePictures)
      WritePng(OutPath(out, FrameFileName(job.frame, "png")), DrawFrame(job.points, frameCamera, group, theScene.camera));
    if (tile != sheetFrames.end())
      tiles[size_t(tile - sheetFrames.begin())] = DrawFrame(job.points, tileCamera, group, theScene.camera);
  };
  const int jobs = theOptions.jobs > 0 ? theOptions.jobs : DefaultJobs();

  std::string failure = stepper.failure;
  int failureExit = kExitPluginError;
  bool wholeRecords = false;  // the records hold a frame that ran to the end
  int32_t lastCheckpoint = -1;
  auto checkpoint = [&] {
    fs::create_directories(checkpointDir, ec);
    WriteStepperCheckpoint(stepper, checkpointDir);
    lastCheckpoint = stepper.nextFrame - 1;
  };
  try {
    FramePipeline pipeline(jobs, work);
    for (int32_t f = start; report.outcome == Outcome::kDone && f <= theOptions.lastFrame; ++f) {
      const bool keep = f >= outputFirst;
      ProgressBeginFrame(progress, f);
      auto began = std::chrono::steady_clock::now();
      wholeRecords = false;
      int32_t theResult = StepFrame(stepper, f, keep);
      double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
      if (theResult == kPluginUserCanceled) {
        report.outcome = Outcome::kCancelled;
        if (keep) report.frames.push_back({f, stepper.instance.model.vertices.size(), theResult, seconds});
        break;
      }
      if (theResult != kPluginNoError || pipeline.Failed()) {
        if (keep || theResult != kPluginNoError)
          report.frames.push_back({f, stepper.instance.model.vertexCount, theResult, seconds});
        report.outcome = Outcome::kFailed;
        failure = stepper.failure;
        break;
      }
      wholeRecords = true;
      if (keep) {
        FrameJob* job = pipeline.Acquire();
        if (job == nullptr) {
          report.outcome = Outcome::kFailed;
          break;
        }
        job->frame = f;
        PointsOfModel(stepper.instance.model, &job->points);
        pipeline.Submit(job);
        report.frames.push_back({f, stepper.instance.model.vertices.size(), theResult, seconds});
      }
      if (useCheckpoints && theOptions.checkpointEvery > 0 && (int64_t(f) - origin + 1) % theOptions.checkpointEvery == 0)
        checkpoint();
      if (InterruptRequested()) report.outcome = Outcome::kCancelled;
    }
    pipeline.Finish();
  } catch (const HostError& e) {
    report.outcome = Outcome::kFailed;
    failure = e.what();
    failureExit = e.exitCode;
  }
  stepper.instance.progress = nullptr;
  ProgressBreakLine(progress);

  try {
    // A run that ends on a whole frame leaves a checkpoint of it.
    if (useCheckpoints && wholeRecords && lastCheckpoint != stepper.nextFrame - 1) checkpoint();
    if (!sheetFrames.empty()) {
      // Tiles of frames an earlier run wrote come from their files.
      bool any = false;
      for (size_t k = 0; k < sheetFrames.size(); ++k) {
        std::string ply = OutPath(out, FrameFileName(sheetFrames[k], "ply"));
        if (!tiles[k] && Exists(ply)) {
          FramePoints points;
          ReadPlyFile(ply, &points);
          tiles[k] = DrawFrame(points, tileCamera, GroupMatrixAt(theScene.group, sheetFrames[k] / theScene.fps),
                               theScene.camera);
        }
        any = any || tiles[k];
      }
      if (any) {
        RgbImage sheet = MakeContactSheet(tileWidth, tileHeight);
        for (size_t k = 0; k < tiles.size(); ++k)
          if (tiles[k]) PlaceTile(sheet, *tiles[k], int(k));
        WritePng(OutPath(out, "preview.png"), sheet);
      }
    }
  } catch (const HostError& e) {
    if (report.outcome != Outcome::kFailed) {
      report.outcome = Outcome::kFailed;
      failure = e.what();
      failureExit = e.exitCode;
    }
  }

  report.complete = FirstMissingFrame(theOptions) > theOptions.lastFrame;
  WriteWholeFile(OutPath(out, "render.json"), ReportJson(stepper, theOptions, report, earlierFrames).dump(2) + "\n");

  // The summary names only what is there.
  int32_t written = 0, firstWritten = -1, lastWritten = -1;
  bool pictures = false;
  for (int32_t f = theOptions.firstFrame; f <= theOptions.lastFrame; ++f)
    if (Exists(OutPath(out, FrameFileName(f, "ply")))) {
      ++written;
      if (firstWritten < 0) firstWritten = f;
      lastWritten = f;
      pictures = pictures || Exists(OutPath(out, FrameFileName(f, "png")));
    }
  std::string range = written == 0 ? "no frames"
                                   : std::to_string(written) + " frame" + (written == 1 ? "" : "s") + " (" +
                                         FrameFileName(firstWritten, "ply") + " .. " +
                                         FrameFileName(lastWritten, "ply") + ")";
  std::printf("%s: %s of %s with %s %d\n", OutcomeText(report.outcome), range.c_str(), theScene.label.c_str(),
              stepper.info.name.c_str(), int(stepper.info.version));
  if (written > 0) std::printf("  point clouds  %s\n", OutPath(out, "frame_NNNN.ply").c_str());
  if (pictures) std::printf("  pictures      %s\n", OutPath(out, "frame_NNNN.png").c_str());
  if (!sheetFrames.empty() && Exists(OutPath(out, "preview.png")))
    std::printf("  preview       %s\n", OutPath(out, "preview.png").c_str());
  if (lastCheckpoint >= 0) std::printf("  checkpoints   %s\n", OutPath(checkpointDir, "checkpoint_NNNN.plmck").c_str());
  std::printf("  report        %s\n", OutPath(out, "render.json").c_str());
  std::fflush(stdout);

  if (report.outcome == Outcome::kCancelled) {
    std::fprintf(stderr, "plmhost: cancelled; the frames written so far are kept (--resume continues)\n");
    return kExitCancelled;
  }
  if (report.outcome == Outcome::kFailed) {
    std::fprintf(stderr, "plmhost: %s\n", failure.empty() ? "failed" : failure.c_str());
    return failureExit;
  }
  return kExitDone;
}

int DrawFolder(const DrawOptions& theOptions) {
  const std::string reportPath = OutPath(theOptions.folder, "render.json");
  if (!Exists(reportPath)) throw UsageError(reportPath + ": no render report there (draw reads a render's folder)");
  Json report = ReadReport(reportPath);
  auto bad = [&](const std::string& why) { return UsageError(reportPath + ": " + why); };
  if (!report.is_object()) throw bad("not a render report (not JSON)");
  if (!report.contains("scene") || !report["scene"].is_object() || !report["scene"].contains("content"))
    throw bad("no scene.content");
  Scene scene = ParseScene(report["scene"]["content"].dump(), reportPath + " (scene.content)", theOptions.folder);
  const Json& frames = report.contains("frames") ? report["frames"] : Json();
  if (!frames.is_object() || !frames.contains("first") || !frames.contains("last") ||
      !frames["first"].is_number_integer() || !frames["last"].is_number_integer() ||
      frames["first"].get<int64_t>() < 0 || frames["last"].get<int64_t>() > kMaxFrameIndex ||
      frames["first"].get<int64_t>() > frames["last"].get<int64_t>())
    throw bad("frames is not {first, last} with 0 <= first <= last <= " + std::to_string(kMaxFrameIndex));
  const int32_t first = int32_t(frames["first"].get<int64_t>()), last = int32_t(frames["last"].get<int64_t>());

  int width = 640, height = 360;
  if (theOptions.size) {
    width = theOptions.size->first;
    height = theOptions.size->second;
  } else if (report.contains("pictures") && report["pictures"].is_object()) {
    const Json& p = report["pictures"];
    if (p.contains("width") && p["width"].is_number_integer() && p.contains("height") && p["height"].is_number_integer()) {
      int64_t w = p["width"].get<int64_t>(), h = p["height"].get<int64_t>();
      if (w < 16 || h < 16 || w > 8192 || h > 8192) throw bad("pictures is not a size between 16 and 8192");
      width = int(w);
      height = int(h);
    }
  }
  const bool pictures = theOptions.frames || !theOptions.sheet;
  const bool sheet = theOptions.sheet || !theOptions.frames;
  const int32_t from = theOptions.frames ? theOptions.frames->first : first;
  const int32_t to = theOptions.frames ? theOptions.frames->second : last;
  const int jobs = theOptions.jobs > 0 ? theOptions.jobs : DefaultJobs();
  InstallInterruptHandler();

  auto draw = [&](int32_t f, const PreviewCamera& cam) {
    FramePoints points;
    ReadPlyFile(OutPath(theOptions.folder, FrameFileName(f, "ply")), &points);
    return DrawFrame(points, cam, GroupMatrixAt(scene.group, f / scene.fps), scene.camera);
  };
  size_t drawn = 0;
  if (pictures) {
    const PreviewCamera cam = MakePreviewCamera(scene.camera, width, height);
    ParallelFor(jobs, size_t(to - from + 1), [&](size_t k) {
      if (InterruptRequested()) throw HostError(kExitCancelled, "cancelled; the pictures drawn so far are kept");
      int32_t f = from + int32_t(k);
      WritePng(OutPath(theOptions.folder, FrameFileName(f, "png")), draw(f, cam));
    });
    drawn = size_t(to - from + 1);
    std::printf("drew %zu picture%s (%s .. %s)\n", drawn, drawn == 1 ? "" : "s", FrameFileName(from, "png").c_str(),
                FrameFileName(to, "png").c_str());
  }
  if (sheet) {
    std::vector<int32_t> sheetFrames = ContactSheetFrames(first, last);
    const int tileWidth = std::max(1, width / 2), tileHeight = std::max(1, height / 2);
    const PreviewCamera cam = MakePreviewCamera(scene.camera, tileWidth, tileHeight);
    std::vector<RgbImage> tiles(sheetFrames.size());
    ParallelFor(jobs, sheetFrames.size(), [&](size_t k) { tiles[k] = draw(sheetFrames[k], cam); });
    RgbImage theSheet = MakeContactSheet(tileWidth, tileHeight);
    for (size_t k = 0; k < tiles.size(); ++k) PlaceTile(theSheet, tiles[k], int(k));
    WritePng(OutPath(theOptions.folder, "preview.png"), theSheet);
    std::printf("drew the contact sheet %s\n", OutPath(theOptions.folder, "preview.png").c_str());
  }
  return kExitDone;
}
