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

// Output goes to files in theDir, read back once it has finished (at most two
// minutes).
HostRun RunHost(const std::vector<std::string>& args, const std::string& theDir, const Environment& env) {
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
  run.out = ReadFile(out);
  run.err = ReadFile(err);
  fs::remove(out);
  fs::remove(err);
  return run;
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

// The header is checked line by line against the format's fixed layout;
// only the comment and the count vary.
bool ReadPly(const std::string& thePath, std::vector<PlyPoint>* points) {
  std::string bytes = ReadFile(thePath);
  std::istringstream in(bytes);
  std::string line, header;
  long count = -1;
  while (std::getline(in, line) && line != "end_header") {
    if (line.rfind("comment ", 0) == 0) continue;
    if (line.rfind("element vertex ", 0) == 0) count = std::stol(line.substr(15));
    header += line + "\n";
  }
  const std::string expected =
      "ply\nformat binary_little_endian 1.0\nelement vertex " + std::to_string(count) +
      "\nproperty float x\nproperty float y\nproperty float z\nproperty float blur_x\nproperty float blur_y\n"
      "property float blur_z\nproperty uchar red\nproperty uchar green\nproperty uchar blue\nproperty uchar alpha\n";
  size_t body = in ? size_t(in.tellg()) : bytes.size();
  if (line != "end_header" || header != expected || bytes.size() - body != size_t(count) * 28) {
    ADD_FAILURE() << thePath << ": not the expected vertex layout:\n" << header;
    return false;
  }
  points->clear();
  for (long i = 0; i < count; ++i) {
    const char* p = bytes.data() + body + size_t(i) * 28;
    PlyPoint point;
    std::memcpy(&point, p, 24);  // the test machine is little-endian, like the file
    std::memcpy(&point.r, p + 24, 4);
    points->push_back(point);
  }
  return true;
}
