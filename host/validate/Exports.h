// The symbols a shared library exports, read from its ELF dynamic symbol
// table without loading it, so that a file can be judged before any of its
// code runs.
#ifndef PLMHOST_VALIDATE_EXPORTS_H
#define PLMHOST_VALIDATE_EXPORTS_H

#include <string>
#include <vector>

struct ExportList {
  bool readable = false;  // a 64-bit little-endian ELF shared object with a dynamic symbol table
  std::string problem;    // why not, when it is not
  std::vector<std::string> symbols;  // defined, global or weak, functions and data
};

ExportList ReadExports(const std::string& thePath);

#endif
