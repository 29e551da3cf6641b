#include "render/Render.h"
#include "render/FrameSetup.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "cli/HostError.h"
#include "cli/Interrupt.h"
#include "protocol/MacRoman.h"
#include "output/OutputFile.h"
#include "output/PlyWriter.h"
#include "protocol/PluginInstance.h"
#include "output/Preview.h"
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

std::string DescribeOrSay(PluginInstance& theInstance, int32_t theResult) {
  std::string text = DescribeResult(theInstance, theResult);
  return text.empty() ? "no description" : text;
}

Json ReportJson(const Scene& theScene, const PluginInformation& theInfo, const std::string& thePluginPath,
                const RenderOptions& theOptions, Outcome theOutcome,
                const std::vector<FrameRecord>& theFrames) {
  Json frames = Json::array();
  for (const FrameRecord& f : theFrames)
    frames.push_back({{"frame", f.frame}, {"particles", f.particles}, {"result", f.result},
                      {"seconds", f.seconds}});
  return {
      {"plugin", {{"name", theInfo.name}, {"version", theInfo.version}, {"path", thePluginPath}}},
      {"scene", {{"source", theScene.label}, {"content", Json::parse(SceneToJson(theScene))}}},
      {"frames", {{"first", theOptions.firstFrame}, {"last", theOptions.lastFrame}}},
      {"status", OutcomeText(theOutcome)},
      {"frameResults", frames},
  };
}

// Closes the instance however the render ends.
struct InstanceCloser {
  PluginInstance& instance;
  ~InstanceCloser() { CloseInstance(instance, true); }
};

}  // namespace

std::string FrameFileName(int32_t theFrame, const char* theExtension) {
  char name[32];
  std::snprintf(name, sizeof name, "frame_%04d.%s", int(theFrame), theExtension);
  return name;
}

int RenderScene(const Scene& theScene, const RenderOptions& theOptions) {
  std::error_code ec;
  fs::create_directories(theOptions.outDir, ec);
  if (ec || !fs::is_directory(theOptions.outDir))
    throw UsageError(theOptions.outDir + ": cannot make the output folder" + (ec ? ": " + ec.message() : ""));
  auto outPath = [&](const std::string& name) { return (fs::path(theOptions.outDir) / name).string(); };

  std::string pluginPath = ScenePluginPath(theScene);
  PluginInstance instance;
  OpenInstance(instance, LoadPlugin(pluginPath));
  InstanceCloser closer{instance};

  PluginInformation info;
  SendInformation(instance, &info);
  SetSettingsRecord(instance, theScene.settings);

  ProgressDisplay progress = MakeProgressDisplay(theOptions.quiet, theOptions.firstFrame, theOptions.lastFrame);
  instance.progress = &progress;
  InstallInterruptHandler();

  std::vector<FrameRecord> frames;
  Outcome outcome = Outcome::kDone;
  std::string failure;

  int32_t initResult = SendInitialize(instance);
  if (initResult != kPluginNoError) {
    outcome = initResult == kPluginUserCanceled ? Outcome::kCancelled : Outcome::kFailed;
    failure = "the plug-in could not start (\"INIT\" answered " + std::to_string(initResult) + ": " +
              DescribeOrSay(instance, initResult) + ")";
  }

  std::vector<int32_t> sheetFrames = ContactSheetFrames(theOptions.firstFrame, theOptions.lastFrame);
  int tileWidth = std::max(1, theOptions.width / 2), tileHeight = std::max(1, theOptions.height / 2);
  RgbImage sheet = MakeContactSheet(tileWidth, tileHeight);
  PreviewCamera frameCamera = MakePreviewCamera(theScene.camera, theOptions.width, theOptions.height);
  PreviewCamera tileCamera = MakePreviewCamera(theScene.camera, tileWidth, tileHeight);

  for (int32_t f = theOptions.firstFrame; outcome == Outcome::kDone && f <= theOptions.lastFrame; ++f) {
    ProgressBeginFrame(progress, f);
    instance.refused = RefusedCallback();
    instance.cancelled = false;
    ResetModel(instance.model);
    FrameSetup setup = MakeFrameSetup(theScene, f);

    auto start = std::chrono::steady_clock::now();
    int32_t theResult = SendSetup(instance, setup);
    if (theResult == kPluginNoError) theResult = SendGenerate(instance, 0);
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    if (instance.cancelled || InterruptRequested()) {
      // The frame may be incomplete: it is not written.
      frames.push_back({f, instance.model.vertices.size(), kPluginUserCanceled, seconds});
      outcome = Outcome::kCancelled;
      break;
    }
    // The plug-in holds a refused callback in its error latch and may still
    // answer 0; the frame is incomplete all the same.
    if (theResult == kPluginNoError && instance.refused.code != kPluginNoError) {
      theResult = instance.refused.code;
      failure = "frame " + std::to_string(f) + ": the host refused \"" +
                FourCharText(instance.refused.selector) + "\" with " + std::to_string(theResult) +
                " (" + DescribeOrSay(instance, theResult) + ")";
    } else if (theResult != kPluginNoError) {
      failure = "frame " + std::to_string(f) + ": the plug-in failed with " + std::to_string(theResult) +
                " (" + DescribeOrSay(instance, theResult) + ")";
    }
    frames.push_back({f, instance.model.vertices.size(), theResult, seconds});
    if (theResult != kPluginNoError) {
      outcome = Outcome::kFailed;
      break;
    }

    WritePly(outPath(FrameFileName(f, "ply")), instance.model,
             "plmhost frame " + std::to_string(f));
    if (theOptions.framePictures)
      WritePng(outPath(FrameFileName(f, "png")), DrawFrame(instance.model, frameCamera, setup.group, theScene.camera));
    for (size_t k = 0; k < sheetFrames.size(); ++k)
      if (sheetFrames[k] == f)
        PlaceTile(sheet, DrawFrame(instance.model, tileCamera, setup.group, theScene.camera), int(k));
  }
  instance.progress = nullptr;
  ProgressBreakLine(progress);

  WritePng(outPath("preview.png"), sheet);
  WriteWholeFile(outPath("render.json"),
                 ReportJson(theScene, info, pluginPath, theOptions, outcome, frames).dump(2) + "\n");

  size_t written = 0;
  for (const FrameRecord& r : frames) written += r.result == kPluginNoError ? 1 : 0;
  std::string range = written == 0 ? "no frames"
                                   : std::to_string(written) + " frame" + (written == 1 ? "" : "s") + " (" +
                                         FrameFileName(theOptions.firstFrame, "ply") + " .. " +
                                         FrameFileName(theOptions.firstFrame + int32_t(written) - 1, "ply") + ")";
  std::printf("%s: %s of %s with %s %d\n", OutcomeText(outcome), range.c_str(), theScene.label.c_str(),
              info.name.c_str(), int(info.version));
  std::printf("  point clouds  %s\n", outPath("frame_NNNN.ply").c_str());
  if (theOptions.framePictures) std::printf("  pictures      %s\n", outPath("frame_NNNN.png").c_str());
  std::printf("  preview       %s\n", outPath("preview.png").c_str());
  std::printf("  report        %s\n", outPath("render.json").c_str());
  std::fflush(stdout);

  if (outcome == Outcome::kCancelled) {
    std::fprintf(stderr, "plmhost: cancelled; the frames written so far are kept\n");
    return kExitCancelled;
  }
  if (outcome == Outcome::kFailed) {
    std::fprintf(stderr, "plmhost: %s\n", failure.c_str());
    return kExitPluginError;
  }
  return kExitDone;
}
