#include "protocol/PluginLoader.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "cli/HostError.h"

LoadedPlugin LoadPlugin(const std::string& thePath) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(thePath, ec))
    throw UsageError(thePath + ": no plug-in file there");
  // dlopen searches the library path for names without a slash; a plug-in
  // is always a file, so make the name a path.
  std::string openPath = thePath.find('/') == std::string::npos ? "./" + thePath : thePath;
  LoadedPlugin thePlugin;
  thePlugin.path = thePath;
  thePlugin.handle = dlopen(openPath.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (thePlugin.handle == nullptr) {
    const char* why = dlerror();
    throw UsageError(thePath + ": cannot load the plug-in: " + (why ? why : "unknown reason"));
  }
  dlerror();
  void* entry = dlsym(thePlugin.handle, "Main");
  if (entry == nullptr) {
    dlclose(thePlugin.handle);
    throw UsageError(thePath + ": not a model plug-in (it exports no Main)");
  }
  thePlugin.main = reinterpret_cast<PluginMainProc>(entry);
  return thePlugin;
}

void UnloadPlugin(LoadedPlugin& thePlugin) {
  if (thePlugin.handle != nullptr) dlclose(thePlugin.handle);
  thePlugin.handle = nullptr;
  thePlugin.main = nullptr;
}

std::string ExecutableDirectory() {
  std::error_code ec;
  std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return ".";
  return self.parent_path().string();
}

std::string DefaultPluginPath() {
  return (std::filesystem::path(ExecutableDirectory()) / "Particle.plm").string();
}

std::vector<std::string> PluginSearchFolders(const std::vector<std::string>& theFlagFolders) {
  std::vector<std::string> folders;
  std::error_code ec;
  for (const std::string& folder : theFlagFolders) {
    std::filesystem::path absolute = std::filesystem::absolute(folder, ec);
    folders.push_back(ec ? folder : absolute.lexically_normal().string());
  }
  if (const char* list = std::getenv("PLMHOST_PLUGIN_PATH")) {
    std::string rest = list;
    for (size_t start = 0; start <= rest.size();) {
      size_t colon = rest.find(':', start);
      if (colon == std::string::npos) colon = rest.size();
      std::string entry = rest.substr(start, colon - start);
      if (!entry.empty() && entry[0] == '/') folders.push_back(entry);
      start = colon + 1;
    }
  }
  folders.push_back(ExecutableDirectory());
  return folders;
}

bool IsPluginFileName(const std::string& theName) {
  return !theName.empty() && theName.find('/') == std::string::npos && theName.find('\0') == std::string::npos &&
         theName != "." && theName != "..";
}

std::optional<std::string> FindPlugin(const std::string& theName, const std::vector<std::string>& theFolders) {
  if (!IsPluginFileName(theName)) return std::nullopt;
  std::error_code ec;
  for (const std::string& folder : theFolders) {
    std::filesystem::path candidate = std::filesystem::path(folder) / theName;
    if (std::filesystem::is_regular_file(candidate, ec)) return candidate.string();
  }
  return std::nullopt;
}
