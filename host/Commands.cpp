#include "Commands.h"

#include <cmath>
#include <cstdio>
#include <filesystem>

#include "HostError.h"
#include "MacRoman.h"
#include "PluginInstance.h"

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
  theScene.settings = SettingsRecord(instance);
  if (int64_t(theScene.settings.size()) > kMaxSceneSettingsBytes)
    throw HostError(kExitPluginError, "the plug-in's settings record is too large for a scene");
  SaveScene(theScene, theOptions.scenePath);
  std::printf("created %s (%zu-byte settings record from %s)\n", theOptions.scenePath.c_str(),
              theScene.settings.size(), pluginPath.c_str());
  return kExitDone;
}

int RunRender(RenderCommandOptions theOptions) {
  Scene theScene = theOptions.scenePath ? LoadScene(*theOptions.scenePath) : BuiltinScene("fountain");
  theOptions.render.firstFrame = theScene.firstFrame;
  theOptions.render.lastFrame = theScene.lastFrame;
  if (theOptions.frames)
    ParseFrameRange(*theOptions.frames, "--frames", &theOptions.render.firstFrame, &theOptions.render.lastFrame);
  return RenderScene(theScene, theOptions.render);
}
