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
// The default plug-in, Particle.plm, found in the search path.
std::string DefaultPlugin(const std::vector<std::string>& theSearchFolders);

struct NewOptions {
  std::string scenePath;
  std::vector<std::string> sets;  // NAME=VALUE typed into the settings dialog
  // The scene stores this file's name, which must then be found in the
  // search path (a warning says when it is not); none: the default plug-in.
  std::optional<std::string> pluginPath;
  std::vector<std::string> searchFolders;  // --plugin-path
  std::optional<double> fps;
  std::optional<std::string> frames;
  bool force = false;
};
int RunNew(const NewOptions& theOptions);

// "INTF": the plug-in's settings dialog, full screen when standard input
// and output are a terminal and nothing is scripted; otherwise the --set
// values are typed in and the dialog is confirmed (or cancelled with
// --cancel).  OK saves the scene when a field changed and the plug-in's
// record with it; otherwise, and after Cancel, the file is not touched.
struct EditOptions {
  std::string scenePath;
  std::vector<std::string> sets;
  bool cancel = false;
  PluginChoice plugin;
};
int RunEdit(const EditOptions& theOptions);

struct RenderCommandOptions {
  std::optional<std::string> scenePath;  // a file or a built-in scene's name; none: the fountain
  std::optional<std::string> frames;
  RenderOptions render;
  PluginChoice plugin;
};
int RunRender(RenderCommandOptions theOptions);

#endif
