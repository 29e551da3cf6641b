// The scenes shipped in the repository's scenes/ folder, compiled in so that
// plmhost renders them from anywhere.
#ifndef PLMHOST_BUILTINSCENES_H
#define PLMHOST_BUILTINSCENES_H

#include <string>
#include <vector>

// The JSON text of the built-in scene, or null when there is none.
const char* BuiltinSceneText(const std::string& theName);
std::vector<std::string> BuiltinSceneNames();

#endif
