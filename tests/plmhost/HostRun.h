// Running the real plmhost binary from the tests, and reading back what it
// wrote.
#ifndef PLMHOST_TESTS_HOSTRUN_H
#define PLMHOST_TESTS_HOSTRUN_H

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <stdlib.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "scene/Base64.h"

inline std::string ReadFile(const std::string& thePath) {
  std::ifstream in(thePath, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}
inline void WriteFile(const std::string& thePath, const std::string& theText) { std::ofstream(thePath) << theText; }
inline std::vector<std::string> ListDir(const std::string& thePath) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(thePath)) names.push_back(entry.path().filename());
  return std::sort(names.begin(), names.end()), names;
}
inline std::string Frame(int f, const char* ext) { char name[32]; return std::snprintf(name, sizeof name, "frame_%04d.%s", f, ext), name; }
// The scene's settings record.
inline std::vector<uint8_t> SettingsBytes(const std::string& theSceneText) {
  return DecodeBase64(nlohmann::json::parse(theSceneText)["settings"]["base64"].get<std::string>()).value_or(std::vector<uint8_t>());
}

inline void ExpectHas(const std::string& text, std::initializer_list<const char*> parts) {
  for (const char* part : parts) EXPECT_NE(text.find(part), std::string::npos) << part << " in\n" << text;
}

// A fresh folder under the system's temporary folder, removed at the end.
struct TempDir {
  std::string path = (std::filesystem::temp_directory_path() / "plmhost-test-XXXXXX").string();
  TempDir() { EXPECT_NE(mkdtemp(path.data()), nullptr); }
  ~TempDir() { std::error_code ec; std::filesystem::remove_all(path, ec); }
  std::string operator/(const std::string& name) const { return path + "/" + name; }
};

struct HostRun { int exitCode; std::string out, err; };  // exitCode: 128 + signal when it died of one

// Runs plmhost with args in theDir, without a terminal, and waits (at most
// two minutes); theEnv is "NAME=VALUE ..." for its environment.
inline HostRun RunHost(const std::vector<std::string>& args, const std::string& theDir, const std::string& theEnv = "") {
  auto quote = [](const std::string& s) { return "'" + s + "'"; };  // no test path or argument holds a quote
  std::string command = "cd " + quote(theDir) + " && " + theEnv + " timeout -s KILL 120 " + quote(PLMHOST_PATH);
  for (const std::string& a : args) command += " " + quote(a);
  int status = std::system((command + " </dev/null >.stdout 2>.stderr").c_str());  // left in theDir
  return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), ReadFile(theDir + "/.stdout"), ReadFile(theDir + "/.stderr")};
}

struct PlyPoint { float x, y, z, bx, by, bz; uint8_t r, g, b, a; };
static_assert(sizeof(PlyPoint) == 28, "one vertex of the file");

// The points of a file in the format plmhost writes; fails the current test
// when it is not one.
inline std::vector<PlyPoint> ReadPly(const std::string& thePath) {
  static const std::regex layout(
      "ply\nformat binary_little_endian 1\\.0\n(comment [^\n]*\n)?element vertex ([0-9]+)\n"
      "property float x\nproperty float y\nproperty float z\nproperty float blur_x\nproperty float blur_y\n"
      "property float blur_z\nproperty uchar red\nproperty uchar green\nproperty uchar blue\nproperty uchar alpha\n"
      "end_header\n");
  const std::string bytes = ReadFile(thePath);
  std::smatch header;
  const bool ok = std::regex_search(bytes, header, layout, std::regex_constants::match_continuous) &&
                  bytes.size() - size_t(header.length()) == std::stoul(header[2]) * 28;
  EXPECT_TRUE(ok) << thePath << ": not the expected vertex layout:\n" << bytes.substr(0, 400);
  std::vector<PlyPoint> points(ok ? std::stoul(header[2]) : 0);
  if (!points.empty()) std::memcpy(points.data(), bytes.data() + header.length(), points.size() * 28);  // little-endian
  return points;
}

#endif
