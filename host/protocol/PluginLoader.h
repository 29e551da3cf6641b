// Loading a model plug-in: a shared library whose only entry point is Main.
#ifndef PLMHOST_PLUGINLOADER_H
#define PLMHOST_PLUGINLOADER_H

#include <cstdint>
#include <string>

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
// The directory holding this executable.
std::string ExecutableDirectory();

#endif
