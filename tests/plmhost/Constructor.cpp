// A library that runs code as soon as it is loaded: its constructor writes
// the file "constructor-ran" in the current folder.  A scene that names it
// must be refused before it is loaded.
#include <cstdio>

__attribute__((constructor)) static void WriteOnLoad() {
  if (FILE* f = std::fopen("constructor-ran", "w")) std::fclose(f);
}
