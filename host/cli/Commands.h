// cli/: the command line.  One function per subcommand, the exit codes, the
// progress line and Ctrl-C.
//
// The subcommands of plmhost; each returns the exit code.
#ifndef PLMHOST_COMMANDS_H
#define PLMHOST_COMMANDS_H

#include <optional>
#include <string>
#include <vector>

#include "render/Render.h"

int RunInfo(const std::string& thePluginPath);

struct NewOptions {
  std::string scenePath;
  std::vector<std::string> sets;  // NAME=VALUE typed into the settings dialog
  std::optional<std::string> pluginPath;
  std::optional<double> fps;
  std::optional<std::string> frames;
  bool force = false;
};
int RunNew(const NewOptions& theOptions);

// "INTF": the plug-in's settings dialog, full screen when standard input
// and output are a terminal and nothing is scripted; otherwise the --set
// values are typed in and the dialog is confirmed (or cancelled with
// --cancel).  OK saves the scene; Cancel leaves it untouched and exits 0.
struct EditOptions {
  std::string scenePath;
  std::vector<std::string> sets;
  bool cancel = false;
};
int RunEdit(const EditOptions& theOptions);

struct RenderCommandOptions {
  std::optional<std::string> scenePath;  // a file or a built-in scene's name; none: the fountain
  std::optional<std::string> frames;
  RenderOptions render;
};
int RunRender(RenderCommandOptions theOptions);

#endif
