// Loading a model plug-in: a shared library whose only entry point is Main.
#ifndef PLMHOST_PLUGINLOADER_H
#define PLMHOST_PLUGINLOADER_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "host/PluginRecords.h"

typedef int32_t (*PluginMainProc)(IFFType theCommand, int32_t theCommandRecSize,
                                  void* theCommandRec);

struct LoadedPlugin {
  std::string path;
  void* handle = nullptr;
  PluginMainProc main = nullptr;
};

// Opens the library and finds Main; throws a usage error naming the path and
// the loader's reason when either fails.
LoadedPlugin LoadPlugin(const std::string& thePath);
void UnloadPlugin(LoadedPlugin& thePlugin);

// The Particle.plm built beside this executable.
std::string DefaultPluginPath();
// The plug-in a scene without one uses.
constexpr char kDefaultPluginName[] = "Particle.plm";

// The plug-in search path.  A scene names its plug-in by file name only and
// plmhost loads it only from these folders, so opening a scene never runs a
// library the user did not install.  In order, first match wins: the folders
// given with --plugin-path (theFlagFolders, made absolute), the absolute
// folders of PLMHOST_PLUGIN_PATH (colon-separated; empty and relative
// entries are skipped, as they would depend on the current folder), then the
// folder holding plmhost.
std::vector<std::string> PluginSearchFolders(const std::vector<std::string>& theFlagFolders);
// A bare file name: not empty, no '/', not "." or "..".
bool IsPluginFileName(const std::string& theName);
// The path of the first regular file theName in theFolders; none when no
// folder holds one.
std::optional<std::string> FindPlugin(const std::string& theName, const std::vector<std::string>& theFolders);
// The directory holding this executable.
std::string ExecutableDirectory();

#endif
