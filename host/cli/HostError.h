// Failures of plmhost, each carrying the exit code the user sees.  Only the
// host uses exceptions; they never cross into the plug-in (the callback
// procedure catches everything before returning to it).
#ifndef PLMHOST_HOSTERROR_H
#define PLMHOST_HOSTERROR_H

#include <stdexcept>
#include <string>

enum ExitCode : int {
  kExitDone = 0,
  kExitPluginError = 1,
  kExitUsage = 2,
  kExitCancelled = 130,
};

struct HostError : std::runtime_error {
  int exitCode;
  HostError(int theExitCode, const std::string& message)
      : std::runtime_error(message), exitCode(theExitCode) {}
};

// Bad usage, a bad scene file, a plug-in that cannot be loaded.
inline HostError UsageError(const std::string& message) { return HostError(kExitUsage, message); }

#endif
