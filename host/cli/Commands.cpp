#include "cli/Commands.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <unistd.h>

#include "scene/BuiltinScenes.h"
#include "cli/HostError.h"
#include "protocol/MacRoman.h"
#include "protocol/PluginInstance.h"
#include "dialog/Services.h"

namespace fs = std::filesystem;

namespace {

struct InstanceCloser {
  PluginInstance& instance;
  ~InstanceCloser() { CloseInstance(instance, true); }
};

HostError PluginFailure(PluginInstance& theInstance, const char* theCommand, int32_t theResult) {
  std::string text = DescribeResult(theInstance, theResult);
  return HostError(kExitPluginError, std::string("\"") + theCommand + "\" failed with " +
                                         std::to_string(theResult) + " (" +
                                         (text.empty() ? "no description" : text) + ")");
}

DialogScript ParseSets(const std::vector<std::string>& theSets, bool theCancel) {
  DialogScript script;
  script.cancel = theCancel;
  for (const std::string& set : theSets) {
    size_t equals = set.find('=');
    if (equals == std::string::npos || equals == 0)
      throw UsageError("--set: \"" + set + "\" is not NAME=VALUE");
    script.values.push_back({set.substr(0, equals), set.substr(equals + 1)});
  }
  return script;
}

enum class EditEnd { kTaken, kCancelled, kNoDialog };

// Sends "INTF" to an initialised instance and says what the dialog changed.
EditEnd EditSettings(PluginInstance& theInstance, const DialogSession& theSession) {
  int resetsBefore = theInstance.modelResets;
  BeginDialogSession(theSession);
  int32_t theResult;
  try {
    theResult = SendInterface(theInstance);
  } catch (...) {
    EndDialogSession();
    throw;
  }
  DialogReport report = EndDialogSession();
  if (!report.scriptProblem.empty()) throw UsageError(report.scriptProblem);
  std::fflush(stdout);
  for (const std::string& note : report.notes) std::fprintf(stderr, "plmhost: %s\n", note.c_str());
  if (theResult == kPluginUserCanceled) return EditEnd::kCancelled;
  if (theResult != kPluginNoError) throw PluginFailure(theInstance, "INTF", theResult);
  if (report.dialogsShown == 0) {
    if (!theSession.script.values.empty())
      throw HostError(kExitPluginError, "the plug-in showed no dialog, so the --set values went nowhere");
    std::printf("the plug-in showed no dialog\n");
    return EditEnd::kNoDialog;
  }
  if (report.changes.empty()) std::printf("no field changed\n");
  for (const DialogChange& c : report.changes)
    std::printf("  %-16s %s -> %s\n", c.control.c_str(), c.before.c_str(), c.after.c_str());
  std::printf(theInstance.modelResets > resetsBefore
                  ? "the plug-in reset its model: the simulation replays from the start\n"
                  : "the plug-in kept its model (no reset)\n");
  return EditEnd::kTaken;
}

}  // namespace

int RunInfo(const std::string& thePluginPath) {
  PluginInstance instance;
  OpenInstance(instance, LoadPlugin(thePluginPath));
  InstanceCloser closer{instance};
  PluginInformation info;
  int32_t theResult = SendInformation(instance, &info);
  if (theResult != kPluginNoError) throw PluginFailure(instance, "INFO", theResult);

  std::printf("Plug-in      %s\n", info.name.c_str());
  std::printf("Version      %d\n", int(info.version));
  std::printf("Type         %s\n", FourCharText(info.type).c_str());
  std::printf("Description  %s\n", info.description.c_str());
  // The author text is a list of items joined by '|'.
  std::string author = info.author;
  for (size_t bar; (bar = author.find('|')) != std::string::npos;) author.replace(bar, 1, "\n             ");
  std::printf("Author       %s\n", author.c_str());
  std::printf("Copyright    %s\n", info.copyright.c_str());
  std::printf("File         %s\n", thePluginPath.c_str());

  std::string supported, unsupported;
  for (IFFType command : kProtocolCommands) {
    std::string& list = SendCheck(instance, command) == kPluginNoError ? supported : unsupported;
    list += (list.empty() ? "" : " ") + FourCharText(command);
  }
  std::printf("Commands     %s\n", supported.empty() ? "(none)" : supported.c_str());
  if (!unsupported.empty()) std::printf("Unsupported  %s\n", unsupported.c_str());
  std::printf("Results\n");
  for (int32_t code : kProtocolResults)
    std::printf("  %d  %s\n", int(code), DescribeResult(instance, code).c_str());
  return kExitDone;
}

int RunNew(const NewOptions& theOptions) {
  DialogSession session;
  session.script = ParseSets(theOptions.sets, false);
  std::error_code ec;
  if (fs::exists(theOptions.scenePath, ec) && !theOptions.force)
    throw UsageError(theOptions.scenePath + ": already exists (use --force to replace it)");
  fs::path parent = fs::path(theOptions.scenePath).parent_path();
  if (!parent.empty() && !fs::is_directory(parent, ec))
    throw UsageError(theOptions.scenePath + ": no folder " + parent.string());

  // A new scene starts from the built-in one's view and timing.
  Scene theScene = BuiltinScene("fountain");
  theScene.label = theOptions.scenePath;
  theScene.baseDir = parent.empty() ? "." : parent.string();
  theScene.plugin.reset();
  if (theOptions.pluginPath) theScene.plugin = PluginPathForScene(*theOptions.pluginPath, theOptions.scenePath);
  if (theOptions.fps) {
    if (!(std::isfinite(*theOptions.fps) && *theOptions.fps > 0 && *theOptions.fps <= kMaxFps))
      throw UsageError("--fps: must be greater than 0 and at most " + std::to_string(int(kMaxFps)));
    theScene.fps = *theOptions.fps;
  }
  if (theOptions.frames) ParseFrameRange(*theOptions.frames, "--frames", &theScene.firstFrame, &theScene.lastFrame);

  std::string pluginPath = theOptions.pluginPath ? *theOptions.pluginPath : DefaultPluginPath();
  PluginInstance instance;
  OpenInstance(instance, LoadPlugin(pluginPath));
  InstanceCloser closer{instance};
  int32_t theResult = SendInitialize(instance);
  if (theResult != kPluginNoError) throw PluginFailure(instance, "INIT", theResult);
  if (!theOptions.sets.empty()) EditSettings(instance, session);
  theScene.settings = SettingsRecord(instance);
  if (int64_t(theScene.settings.size()) > kMaxSceneSettingsBytes)
    throw HostError(kExitPluginError, "the plug-in's settings record is too large for a scene");
  SaveScene(theScene, theOptions.scenePath);
  std::printf("created %s (%zu-byte settings record from %s)\n", theOptions.scenePath.c_str(),
              theScene.settings.size(), pluginPath.c_str());
  return kExitDone;
}

int RunEdit(const EditOptions& theOptions) {
  DialogSession session;
  session.script = ParseSets(theOptions.sets, theOptions.cancel);
  bool scripted = !theOptions.sets.empty() || theOptions.cancel;
  bool terminal = !scripted && isatty(STDIN_FILENO) && isatty(STDOUT_FILENO);
  session.frontEnd = terminal ? DialogFrontEnd::kTerminal : DialogFrontEnd::kScript;

  Scene theScene = LoadScene(theOptions.scenePath);
  PluginInstance instance;
  OpenInstance(instance, LoadPlugin(ScenePluginPath(theScene)));
  InstanceCloser closer{instance};
  SetSettingsRecord(instance, theScene.settings);
  int32_t theResult = SendInitialize(instance);
  if (theResult != kPluginNoError) throw PluginFailure(instance, "INIT", theResult);

  if (!terminal && !scripted) std::printf("no terminal: the dialog is confirmed unchanged (--set NAME=VALUE types into a field)\n");
  EditEnd end = EditSettings(instance, session);
  if (end == EditEnd::kCancelled) {
    std::printf("cancelled: %s is unchanged\n", theOptions.scenePath.c_str());
    return kExitDone;
  }
  std::vector<uint8_t> settings = SettingsRecord(instance);
  if (end == EditEnd::kNoDialog || settings == theScene.settings) {
    std::printf("%s is unchanged\n", theOptions.scenePath.c_str());
    return kExitDone;
  }
  if (int64_t(settings.size()) > kMaxSceneSettingsBytes)
    throw HostError(kExitPluginError, "the plug-in's settings record is too large for a scene");
  theScene.settings = settings;
  SaveScene(theScene, theOptions.scenePath);
  std::printf("saved %s\n", theOptions.scenePath.c_str());
  return kExitDone;
}

int RunRender(RenderCommandOptions theOptions) {
  // A name that is no file but a built-in scene's means the built-in one.
  std::error_code ec;
  const std::string name = theOptions.scenePath.value_or("fountain");
  bool builtin = !theOptions.scenePath ||
                 (BuiltinSceneText(name) != nullptr && !fs::exists(name, ec));
  Scene theScene = builtin ? BuiltinScene(name) : LoadScene(name);
  theOptions.render.firstFrame = theScene.firstFrame;
  theOptions.render.lastFrame = theScene.lastFrame;
  if (theOptions.frames)
    ParseFrameRange(*theOptions.frames, "--frames", &theOptions.render.firstFrame, &theOptions.render.lastFrame);
  return RenderScene(theScene, theOptions.render);
}
