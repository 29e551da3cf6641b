#include "render/Stepper.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "cli/HostError.h"
#include "cli/Interrupt.h"
#include "protocol/MacRoman.h"
#include "render/FrameSetup.h"

namespace fs = std::filesystem;

namespace {

std::string Describe(PluginInstance& theInstance, int32_t theResult) {
  std::string text = DescribeResult(theInstance, theResult);
  return text.empty() ? "no description" : text;
}

void* CopyBlock(const std::vector<uint8_t>& theBytes) {
  if (theBytes.empty()) return nullptr;
  void* block = std::malloc(theBytes.size());
  if (block == nullptr) throw std::bad_alloc();
  std::memcpy(block, theBytes.data(), theBytes.size());
  return block;
}

// The settings record a plug-in makes when it has none: its defaults.
std::vector<uint8_t> DefaultSettings(const std::string& thePluginPath) {
  PluginInstance fresh;
  OpenInstance(fresh, LoadPlugin(thePluginPath));
  std::vector<uint8_t> record;
  if (SendInitialize(fresh) == kPluginNoError) record = SettingsRecord(fresh);
  CloseInstance(fresh, true);
  return record;
}

}  // namespace

FrameStepper::~FrameStepper() {
  if (instance.plugin.main != nullptr) CloseInstance(instance, started);
}

std::string SceneContent(const Scene& theScene) { return SceneToJson(theScene); }

void OpenStepper(FrameStepper& theStepper, const Scene& theScene, const std::string& thePluginPath) {
  theStepper.scene = &theScene;
  theStepper.pluginPath = thePluginPath;
  OpenInstance(theStepper.instance, LoadPlugin(thePluginPath));
  SendInformation(theStepper.instance, &theStepper.info);
  theStepper.sceneContent = SceneContent(theScene);
  theStepper.identity.scene = Sha256Of(theStepper.sceneContent.data(), theStepper.sceneContent.size());
  theStepper.identity.pluginName = theStepper.info.name;
  theStepper.identity.pluginVersion = theStepper.info.version;
  theStepper.identity.pluginFile = Sha256OfFile(thePluginPath);
  theStepper.nextFrame = theScene.firstFrame;
}

int32_t StartStepper(FrameStepper& theStepper) {
  PluginInstance& instance = theStepper.instance;
  const std::vector<uint8_t>& stored = theStepper.scene->settings;
  SetSettingsRecord(instance, stored);
  int32_t theResult = SendInitialize(instance);
  if (theResult != kPluginNoError) {
    theStepper.failure = "the plug-in could not start (\"INIT\" answered " + std::to_string(theResult) + ": " +
                         Describe(instance, theResult) + ")";
    return theResult;
  }
  theStepper.started = true;
  // A record the plug-in could not read comes back as its defaults; one it
  // converted or clamped comes back changed but is no default.
  std::vector<uint8_t> kept = SettingsRecord(instance);
  // The plug-in leaves a few bytes of its records unset (their contents vary
  // from run to run), so records within 8 bytes of each other count as the
  // same.  Kept as the defaults but stored as something else: replaced;
  // otherwise a record not kept was converted or corrected.
  if (!stored.empty() && kept != stored) {
    std::vector<uint8_t> defaults = DefaultSettings(theStepper.pluginPath);
    auto near = [](const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
      if (a.size() != b.size()) return false;
      size_t differing = 0;
      for (size_t k = 0; k < a.size(); ++k) differing += a[k] != b[k];
      return differing <= 8;
    };
    theStepper.settingsReplaced = !defaults.empty() && near(kept, defaults) && !near(stored, defaults);
    theStepper.settingsChanged = !theStepper.settingsReplaced;
  }
  return theResult;
}

void RestoreCheckpoint(FrameStepper& theStepper, const Checkpoint& theCheckpoint) {
  HostRecords& held = theStepper.instance.records;
  void* control = CopyBlock(theCheckpoint.control);
  void* data;
  try {
    data = CopyBlock(theCheckpoint.data);
  } catch (...) {
    std::free(control);
    throw;
  }
  std::free(held.control);
  std::free(held.data);
  held = {control, int32_t(theCheckpoint.control.size()), data, int32_t(theCheckpoint.data.size())};
  theStepper.nextFrame = theCheckpoint.frame + 1;
}

int32_t StepFrame(FrameStepper& theStepper, int32_t theFrame, bool keepVertices) {
  PluginInstance& instance = theStepper.instance;
  instance.refused = RefusedCallback();
  instance.cancelled = false;
  ResetModel(instance.model);
  instance.model.countOnly = !keepVertices;
  int32_t theResult = SendSetup(instance, MakeFrameSetup(*theStepper.scene, theFrame));
  if (theResult == kPluginNoError) theResult = SendGenerate(instance, 0);
  theStepper.nextFrame = theFrame + 1;
  if (instance.cancelled || InterruptRequested()) {
    theStepper.failure = "cancelled";
    return kPluginUserCanceled;
  }
  // The plug-in holds a refused callback in its error latch and may still
  // answer 0; the frame is incomplete all the same.
  if (theResult == kPluginNoError && instance.refused.code != kPluginNoError) {
    theResult = instance.refused.code;
    theStepper.failure = "frame " + std::to_string(theFrame) + ": the host refused \"" +
                         FourCharText(instance.refused.selector) + "\" with " + std::to_string(theResult) + " (" +
                         Describe(instance, theResult) + ")";
  } else if (theResult != kPluginNoError) {
    theStepper.failure = "frame " + std::to_string(theFrame) + ": the plug-in failed with " +
                         std::to_string(theResult) + " (" + Describe(instance, theResult) + ")";
  }
  return theResult;
}

std::string WriteStepperCheckpoint(FrameStepper& theStepper, const std::string& theDir) {
  const HostRecords& held = theStepper.instance.records;
  std::string path = (fs::path(theDir) / CheckpointFileName(theStepper.nextFrame - 1)).string();
  WriteCheckpointFile(path, theStepper.nextFrame - 1, theStepper.identity, held.control,
                      uint32_t(held.controlSize), held.data, uint32_t(held.dataSize));
  return path;
}

bool FindCheckpoint(const std::vector<std::string>& theDirs, const CheckpointIdentity& theIdentity,
                    int32_t lowest, int32_t highest, Checkpoint* theCheckpoint, std::string* thePath,
                    std::vector<std::string>* theWarnings) {
  std::vector<std::pair<int32_t, std::string>> candidates;
  for (const std::string& dir : theDirs) {
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
      int32_t frame = CheckpointFrameOfName(it->path().filename().string());
      if (frame >= lowest && frame <= highest) candidates.push_back({frame, it->path().string()});
    }
  }
  // Highest frame first; the same frame in two folders in the order given.
  std::stable_sort(candidates.begin(), candidates.end(),
                   [](const auto& a, const auto& b) { return a.first > b.first; });
  for (const auto& [frame, path] : candidates) {
    std::string why;
    if (!ReadCheckpointFile(path, theCheckpoint, &why)) {
    } else if (theCheckpoint->frame != frame) {
      why = "damaged (it holds frame " + std::to_string(theCheckpoint->frame) + ")";
    } else {
      why = CheckpointMismatch(*theCheckpoint, theIdentity);
    }
    if (why.empty()) {
      *thePath = path;
      return true;
    }
    theWarnings->push_back("ignoring checkpoint " + path + ": " + why);
  }
  return false;
}
