#include "cli/Commands.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <optional>
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

enum class EditEnd { kChanged, kUnchanged, kCancelled, kNoDialog };

std::string ValueOf(const std::vector<std::pair<std::string, std::string>>& theFields, const std::string& theLabel,
                    const std::string& theMissing) {
  for (const auto& field : theFields)
    if (field.first == theLabel) return field.second;
  return theMissing;
}

// Runs "INTF" in one dialog session and returns its report.
DialogReport RunInterface(PluginInstance& theInstance, const DialogSession& theSession, int32_t* theResult) {
  BeginDialogSession(theSession);
  try {
    *theResult = SendInterface(theInstance);
  } catch (...) {
    EndDialogSession();
    throw;
  }
  return EndDialogSession();
}

// Sends "INTF" to an initialised instance and says what the dialog changed:
// for each field the value before, the value the plug-in kept and, when it
// kept something else, what was typed.  What the plug-in kept is what its
// dialog shows when opened again (cancelled, unseen), so the host reads it
// without looking inside the record.
EditEnd EditSettings(PluginInstance& theInstance, const DialogSession& theSession) {
  int resetsBefore = theInstance.modelResets;
  int32_t theResult;
  DialogReport report = RunInterface(theInstance, theSession, &theResult);
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
  bool reset = theInstance.modelResets > resetsBefore;
  const char* resetText = reset ? "the plug-in reset its model: the simulation replays from the start\n"
                                : "the plug-in kept its model (no reset)\n";
  if (report.changes.empty()) {
    std::printf("no field changed\n%s", resetText);
    return EditEnd::kUnchanged;
  }

  int32_t readResult;
  DialogReport reread = RunInterface(theInstance, {DialogFrontEnd::kScript, {{}, true}}, &readResult);
  bool haveKept = readResult == kPluginUserCanceled && reread.dialogsShown > 0;
  size_t valuesChanged = 0;
  for (const auto& [label, before] : report.opened) {
    std::string typed = before;
    for (const DialogChange& c : report.changes)
      if (c.control == label) typed = c.after;
    std::string kept = haveKept ? ValueOf(reread.opened, label, typed) : typed;
    if (kept == before && typed == before) continue;
    valuesChanged += kept != before;
    std::printf("  %-16s %s -> %s%s\n", label.c_str(), before.c_str(), kept.c_str(),
                kept == typed ? "" : (" (typed " + typed + ")").c_str());
  }
  if (!haveKept) std::printf("(the plug-in's dialog could not be read back: the values are as typed)\n");
  if (valuesChanged == 0) std::printf("no value changed\n");
  std::printf("%s", resetText);
  return valuesChanged == 0 ? EditEnd::kUnchanged : EditEnd::kChanged;
}

// Says when the scene's plug-in name will not find thePluginPath through the
// search path, so the user knows the scene needs --plugin to open.
void WarnUnlessFound(const std::string& thePluginPath, const std::vector<std::string>& theFolders) {
  std::string name = fs::path(thePluginPath).filename().string();
  std::vector<std::string> folders = PluginSearchFolders(theFolders);
  std::optional<std::string> found = FindPlugin(name, folders);
  std::error_code ec;
  if (found && fs::equivalent(*found, thePluginPath, ec)) return;
  std::fflush(stdout);
  if (found)
    std::fprintf(stderr, "plmhost: warning: the scene names %s, which the plug-in search path finds as %s, "
                 "not %s; open it with --plugin %s to use that one\n", name.c_str(), found->c_str(),
                 thePluginPath.c_str(), thePluginPath.c_str());
  else
    std::fprintf(stderr, "plmhost: warning: the scene names %s, which is in no folder of the plug-in search path; "
                 "open it with --plugin %s, or add %s with --plugin-path or PLMHOST_PLUGIN_PATH\n", name.c_str(),
                 thePluginPath.c_str(), fs::absolute(thePluginPath, ec).parent_path().c_str());
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


std::string DefaultPlugin(const std::vector<std::string>& theFolders) {
  std::vector<std::string> folders = PluginSearchFolders(theFolders);
  std::optional<std::string> found = FindPlugin(kDefaultPluginName, folders);
  if (found) return *found;
  std::string searched;
  for (const std::string& folder : folders) searched += (searched.empty() ? "" : ", ") + folder;
  throw UsageError(std::string("no ") + kDefaultPluginName + " in the plug-in search path (" + searched + ")");
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
  if (theOptions.pluginPath) {
    std::string name = fs::path(*theOptions.pluginPath).filename().string();
    if (!IsPluginFileName(name)) throw UsageError("--plugin: \"" + *theOptions.pluginPath + "\" names no file");
    theScene.plugin = name;
  }
  if (theOptions.fps) {
    if (!(std::isfinite(*theOptions.fps) && *theOptions.fps > 0 && *theOptions.fps <= kMaxFps))
      throw UsageError("--fps: must be greater than 0 and at most " + std::to_string(int(kMaxFps)));
    theScene.fps = *theOptions.fps;
  }
  if (theOptions.frames) ParseFrameRange(*theOptions.frames, "--frames", &theScene.firstFrame, &theScene.lastFrame);

  std::string pluginPath = theOptions.pluginPath ? *theOptions.pluginPath : DefaultPlugin(theOptions.searchFolders);
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
  if (theOptions.pluginPath) WarnUnlessFound(*theOptions.pluginPath, theOptions.searchFolders);
  return kExitDone;
}

int RunEdit(const EditOptions& theOptions) {
  DialogSession session;
  session.script = ParseSets(theOptions.sets, theOptions.cancel);
  bool scripted = !theOptions.sets.empty() || theOptions.cancel;
  bool terminal = !scripted && isatty(STDIN_FILENO) && isatty(STDOUT_FILENO);
  session.frontEnd = terminal ? DialogFrontEnd::kTerminal : DialogFrontEnd::kScript;

  Scene theScene = LoadScene(theOptions.scenePath);
  ResolveScenePlugin(theScene, theOptions.plugin);
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
  // An untouched dialog leaves the file as it is, even where the plug-in
  // wrote the same values back in another form (a -0 read back as 0).
  std::vector<uint8_t> settings = SettingsRecord(instance);
  if (end != EditEnd::kChanged || settings == theScene.settings) {
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
  // Before anything is loaded or written.
  ResolveScenePlugin(theScene, theOptions.plugin);
  theOptions.render.firstFrame = theScene.firstFrame;
  theOptions.render.lastFrame = theScene.lastFrame;
  if (theOptions.frames)
    ParseFrameRange(*theOptions.frames, "--frames", &theOptions.render.firstFrame, &theOptions.render.lastFrame);
  return RenderScene(theScene, theOptions.render);
}
