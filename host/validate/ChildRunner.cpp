#include "validate/ChildRunner.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "protocol/PluginLoader.h"

extern char** environ;

namespace {

// A sanitizer in the child must let a deliberate crash be the signal it
// is, and end in a signal itself when it finds something.
std::string WithOption(const char* theVariable, const char* theOptions) {
  const char* current = std::getenv(theVariable);
  std::string value = current ? current : "";
  if (!value.empty()) value += ":";
  return std::string(theVariable) + "=" + value + theOptions;
}

std::vector<std::string> ChildEnvironment() {
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e)
    if (std::strncmp(*e, "ASAN_OPTIONS=", 13) != 0 && std::strncmp(*e, "UBSAN_OPTIONS=", 14) != 0)
      env.emplace_back(*e);
  env.push_back(WithOption("ASAN_OPTIONS", "handle_segv=0:handle_sigbus=0:handle_sigfpe=0:handle_sigill=0:abort_on_error=1"));
  env.push_back(WithOption("UBSAN_OPTIONS", "abort_on_error=1"));
  return env;
}

std::vector<char*> Pointers(std::vector<std::string>& theStrings) {
  std::vector<char*> p;
  for (std::string& s : theStrings) p.push_back(&s[0]);
  p.push_back(nullptr);
  return p;
}

std::string Where(const ProgressSlot& slot) {
  std::string command(slot.command, strnlen(slot.command, sizeof slot.command));
  std::string callback(slot.callback, strnlen(slot.callback, sizeof slot.callback));
  if (command.empty()) return "before its first command";
  return "in or after " + command + "; last host call: " + (callback.empty() ? "none" : callback);
}

}  // namespace

ProgressSlot* MapProgressSlot(int theFd) {
  void* p = mmap(nullptr, sizeof(ProgressSlot), PROT_READ | PROT_WRITE, MAP_SHARED, theFd, 0);
  if (p == MAP_FAILED) return nullptr;
  auto* slot = static_cast<ProgressSlot*>(p);
  return slot->magic == kProgressMagic ? slot : nullptr;
}

void LeaveFindings(ProgressSlot& theSlot, const std::vector<Finding>& theFindings) {
  std::string text;
  for (const Finding& f : theFindings) {
    std::string reason = f.reason;
    for (char& ch : reason)
      if (ch == '\n' || ch == '\t') ch = ' ';
    text += std::string(OutcomeName(f.outcome)) + "\t" + reason + "\n";
  }
  if (text.size() > sizeof theSlot.report) text.resize(sizeof theSlot.report);
  std::memcpy(theSlot.report, text.data(), text.size());
  theSlot.reportBytes = uint32_t(text.size());
  theSlot.finished = 1;
}

std::vector<Finding> RunCheckInChild(const CheckDefinition& theCheck, const ValidateOptions& o) {
  int fd = memfd_create("plmhost-validate", 0);
  if (fd < 0 || ftruncate(fd, sizeof(ProgressSlot)) != 0) {
    if (fd >= 0) close(fd);
    return {{Outcome::kFail, "cannot make the page shared with the check's process"}};
  }
  void* page = mmap(nullptr, sizeof(ProgressSlot), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (page == MAP_FAILED) {
    close(fd);
    return {{Outcome::kFail, "cannot map the page shared with the check's process"}};
  }
  auto* slot = static_cast<ProgressSlot*>(page);
  std::memset(slot, 0, sizeof *slot);
  slot->magic = kProgressMagic;

  std::string self = ExecutableDirectory() + "/plmhost";
  std::vector<std::string> args = {self, "validate", o.pluginPath, "--in-process", "--filter", theCheck.name,
                                   "--strictness", std::to_string(o.strictness), "--seed",
                                   std::to_string(o.seed), "--report-fd", std::to_string(fd)};
  if (o.trace) args.push_back("--trace");
  std::vector<std::string> env = ChildEnvironment();
  std::vector<char*> argv = Pointers(args), envp = Pointers(env);
  std::fflush(stdout);
  std::fflush(stderr);

  pid_t pid = fork();
  if (pid == 0) {
    int null = open("/dev/null", O_RDWR);
    if (null >= 0) {
      dup2(null, STDIN_FILENO);
      dup2(null, STDOUT_FILENO);
    }
    execve(argv[0], argv.data(), envp.data());
    _exit(127);
  }
  std::vector<Finding> findings;
  if (pid < 0) {
    findings.push_back({Outcome::kFail, "cannot start the check's process"});
  } else {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(o.timeLimit);
    int status = 0;
    bool timedOut = false;
    for (;;) {
      pid_t done = waitpid(pid, &status, WNOHANG);
      if (done == pid) break;
      if (std::chrono::steady_clock::now() > deadline) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        timedOut = true;
        break;
      }
      struct timespec pause = {0, 2000000};
      nanosleep(&pause, nullptr);
    }
    char limit[32];
    std::snprintf(limit, sizeof limit, "%g", o.timeLimit);
    if (timedOut) {
      findings.push_back({Outcome::kFail, std::string("no answer within ") + limit + " s (a hang?), " + Where(*slot)});
    } else if (WIFSIGNALED(status)) {
      int sig = WTERMSIG(status);
      const char* name = sigabbrev_np(sig);
      findings.push_back({Outcome::kFail, std::string("crashed with SIG") + (name ? name : "?") + " (" +
                                              strsignal(sig) + "), " + Where(*slot)});
    } else if (WEXITSTATUS(status) != 0 || !slot->finished) {
      findings.push_back({Outcome::kFail, "its process ended with status " + std::to_string(WEXITSTATUS(status)) +
                                              " and no report, " + Where(*slot)});
    } else {
      std::istringstream lines(std::string(slot->report, slot->reportBytes < sizeof slot->report
                                                               ? slot->reportBytes
                                                               : sizeof slot->report));
      std::string line;
      while (std::getline(lines, line)) {
        size_t tab = line.find('\t');
        if (tab == std::string::npos) continue;
        std::string kind = line.substr(0, tab);
        Outcome outcome = kind == "warn" ? Outcome::kWarn : kind == "skip" ? Outcome::kSkip : Outcome::kFail;
        findings.push_back({outcome, line.substr(tab + 1)});
      }
    }
  }
  munmap(page, sizeof(ProgressSlot));
  close(fd);
  return findings;
}
