// The page's files, built into the binary: the page, its script and style,
// and three.js from web/node_modules (pinned by web/package-lock.json).
// Nothing else is served, so no request path reaches the file system.
#ifndef PLMHOST_ASSETS_H
#define PLMHOST_ASSETS_H

#include <cstddef>
#include <string>

struct Asset {
  const char* name;  // "index.html", "three.module.min.js"
  std::string mime;  // with the charset: every asset is UTF-8 text
  const char* data;
  size_t size;
};

// Null for any name that is not one of the assets.
const Asset* FindAsset(const std::string& theName);

#endif
