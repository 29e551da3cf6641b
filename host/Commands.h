// The subcommands of plmhost; each returns the exit code.
#ifndef PLMHOST_COMMANDS_H
#define PLMHOST_COMMANDS_H

#include <optional>
#include <string>

#include "Render.h"

int RunInfo(const std::string& thePluginPath);

struct NewOptions {
  std::string scenePath;
  std::optional<std::string> pluginPath;
  std::optional<double> fps;
  std::optional<std::string> frames;
  bool force = false;
};
int RunNew(const NewOptions& theOptions);

struct RenderCommandOptions {
  std::optional<std::string> scenePath;  // none: the built-in fountain
  std::optional<std::string> frames;
  RenderOptions render;
};
int RunRender(RenderCommandOptions theOptions);

#endif
