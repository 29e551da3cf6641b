// validate/: `plmhost validate`, a conformance checker for any model
// plug-in.  A table of named checks (Checks.h) drives the plug-in through
// an instrumented host of its own (TestHost.h) that guards every record,
// fails callbacks on demand and traces every call; each check runs in a
// child process with a time limit (ChildRunner.h), so a crash or a hang is a
// finding; the results go out as a table, JSON or JUnit XML (Report.h).
#ifndef PLMHOST_VALIDATE_VALIDATE_H
#define PLMHOST_VALIDATE_VALIDATE_H

#include <cstdint>
#include <string>

struct ValidateOptions {
  std::string pluginPath;
  bool list = false;
  std::string filter;  // a check's name, a group, or a pattern with * and ?
  bool inProcess = false;
  int strictness = 5;
  uint32_t seed = 1;
  bool trace = false;
  std::string jsonPath, junitPath;
  double timeLimit = 20;  // seconds per check in its child
  int reportFd = -1;      // set in a child: where its findings go
};

// What the strictness levels mean, for --help and --list.
extern const char* const kStrictnessHelp;

// Runs the checks and returns the exit code: 0 all pass, 1 any fails, 2 bad
// usage or a file that is not a plug-in.
int RunValidate(const ValidateOptions& theOptions);

#endif
