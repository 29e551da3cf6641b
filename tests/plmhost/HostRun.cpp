#include "HostRun.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

namespace fs = std::filesystem;

TempDir::TempDir() {
  std::string pattern = (fs::temp_directory_path() / "plmhost-test-XXXXXX").string();
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back(0);
  if (mkdtemp(buffer.data()) == nullptr) std::abort();
  path = buffer.data();
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::remove_all(path, ec);
}

pid_t StartHost(const std::vector<std::string>& args, const std::string& theDir, const Environment& env) {
  std::string out = theDir + "/.stdout", err = theDir + "/.stderr";
  pid_t pid = fork();
  if (pid == 0) {
    if (chdir(theDir.c_str()) != 0) _exit(126);
    int fo = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int fe = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int fi = open("/dev/null", O_RDONLY);
    if (fo < 0 || fe < 0 || fi < 0) _exit(126);
    dup2(fi, 0);
    dup2(fo, 1);
    dup2(fe, 2);
    for (const auto& e : env) setenv(e.first.c_str(), e.second.c_str(), 1);
    std::vector<char*> argv;
    std::string program = PLMHOST_PATH;
    argv.push_back(program.data());
    std::vector<std::string> copies(args);
    for (auto& a : copies) argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  return pid;
}

HostRun WaitHost(pid_t pid, const std::string& theDir) {
  int status = 0;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(2);
  while (waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      ADD_FAILURE() << "plmhost did not finish within two minutes";
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  HostRun run;
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  run.out = ReadFile(theDir + "/.stdout");
  run.err = ReadFile(theDir + "/.stderr");
  fs::remove(theDir + "/.stdout");
  fs::remove(theDir + "/.stderr");
  return run;
}

HostRun RunHost(const std::vector<std::string>& args, const std::string& theDir, const Environment& env) {
  return WaitHost(StartHost(args, theDir, env), theDir);
}

std::string ReadFile(const std::string& thePath) {
  std::ifstream in(thePath, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteFile(const std::string& thePath, const std::string& theText) {
  std::ofstream(thePath, std::ios::binary) << theText;
}

bool FileExists(const std::string& thePath) { return fs::exists(thePath); }

std::vector<std::string> ListDir(const std::string& thePath) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(thePath)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

bool ReadPly(const std::string& thePath, std::vector<PlyPoint>* points) {
  std::string bytes = ReadFile(thePath);
  const std::string end = "end_header\n";
  size_t bodyAt = bytes.find(end);
  if (bodyAt == std::string::npos) {
    ADD_FAILURE() << thePath << ": no end_header";
    return false;
  }
  std::istringstream header(bytes.substr(0, bodyAt));
  std::string line;
  std::vector<std::string> properties;
  long count = -1;
  bool little = false;
  std::getline(header, line);
  if (line != "ply") {
    ADD_FAILURE() << thePath << ": no ply magic";
    return false;
  }
  while (std::getline(header, line)) {
    if (line == "format binary_little_endian 1.0") little = true;
    else if (line.rfind("element vertex ", 0) == 0) count = std::stol(line.substr(15));
    else if (line.rfind("property ", 0) == 0) properties.push_back(line.substr(9));
    else if (line.rfind("comment ", 0) != 0) {
      ADD_FAILURE() << thePath << ": unexpected header line " << line;
      return false;
    }
  }
  const std::vector<std::string> expected = {"float x", "float y", "float z", "float blur_x", "float blur_y",
                                             "float blur_z", "uchar red", "uchar green", "uchar blue",
                                             "uchar alpha"};
  if (!little || count < 0 || properties != expected) {
    ADD_FAILURE() << thePath << ": not the expected vertex layout";
    return false;
  }
  size_t body = bodyAt + end.size();
  if (bytes.size() - body != size_t(count) * 28) {
    ADD_FAILURE() << thePath << ": " << bytes.size() - body << " body bytes for " << count << " vertices";
    return false;
  }
  points->clear();
  for (long i = 0; i < count; ++i) {
    const char* p = bytes.data() + body + size_t(i) * 28;
    // The test machine is little-endian, like the file.
    float f[6];
    std::memcpy(f, p, sizeof f);
    PlyPoint point{f[0], f[1], f[2], f[3], f[4], f[5], 0, 0, 0, 0};
    point.r = uint8_t(p[24]);
    point.g = uint8_t(p[25]);
    point.b = uint8_t(p[26]);
    point.a = uint8_t(p[27]);
    points->push_back(point);
  }
  return true;
}
