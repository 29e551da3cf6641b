// Running the real plmhost binary from the tests, and reading back what it
// wrote.
#ifndef PLMHOST_TESTS_HOSTRUN_H
#define PLMHOST_TESTS_HOSTRUN_H

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

struct HostRun {
  int exitCode;  // 128 + signal when it died of one
  std::string out;
  std::string err;
};

typedef std::vector<std::pair<std::string, std::string>> Environment;

// A fresh folder under the system's temporary folder, removed at the end.
struct TempDir {
  TempDir();
  ~TempDir();
  std::string path;
  std::string operator/(const std::string& name) const { return path + "/" + name; }
};

// Runs plmhost with args in theDir and waits (at most two minutes).
HostRun RunHost(const std::vector<std::string>& args, const std::string& theDir,
                const Environment& env = {});

std::string ReadFile(const std::string& thePath);
void WriteFile(const std::string& thePath, const std::string& theText);
bool FileExists(const std::string& thePath);
std::vector<std::string> ListDir(const std::string& thePath);

struct PlyPoint {
  float x, y, z, bx, by, bz;
  uint8_t r, g, b, a;
};
// Parses a file in the format plmhost writes; fails the current test and
// returns false when it is not one.
bool ReadPly(const std::string& thePath, std::vector<PlyPoint>* points);

#endif
