// Drives the particle plug-in through whole host sessions decoded from a
// byte string: commands with right and wrong record sizes, damaged or stale
// settings records, swapped working blocks, extreme frame set-ups, and a
// small in-process host that throttles progress, fails calls and cancels
// long commands.  Every command must come back in time, and after a "GENM"
// that succeeded the pool's two lists must still partition the slots.
//
// Shared by the property test and the fuzzing target: plain C++, no test
// framework.
#ifndef TESTS_ROBUST_PARTICLEDRIVER_H
#define TESTS_ROBUST_PARTICLEDRIVER_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// One step of a session.  The selectors a..d pick entries of the driver's
// tables (each taken modulo the table's size); `bytes` carries raw values.
enum class DriverOpKind : uint8_t {
  kCommand,      // a command, b record size mode, c size offset; bytes: record after the head
  kFrame,        // a frame move, b its amount, c frame step: "SETM" then "GENM"
  kSetup,        // a frame index, b time, c frame step, d matrices (+128: then "GENM"); bytes: raw
  kSetField,     // a settings field, b value (a table entry, or raw bytes past the table)
  kSetLinks,     // a slots to change (1-4); bytes: per slot a slot and a value choice
  kSnapshot,     // a snapshot slot: keeps a copy of the settings block
  kRestore,      // a snapshot slot: puts that copy back in place of the settings block
  kSwapData,     // a block size mode, b fill, c size offset; bytes: garbage
  kSwapControl,  // a form of the new settings block; bytes: garbage
  kHostMode,     // a progress throttle, b fill of the bytes a reallocation adds
  kFailNext,     // a selector, b result code, c calls to let through first
  kCount
};

struct DriverOp {
  DriverOpKind kind = DriverOpKind::kCommand;
  uint8_t a = 0, b = 0, c = 0, d = 0;
  std::vector<uint8_t> bytes;  // at most 255
};

struct DriverScenario {
  std::vector<DriverOp> ops;
};

struct DriverVerdict {
  bool ok = true;
  std::string failure;        // what went wrong, then the steps that led there
  int32_t commands = 0;       // calls of Main
  double longestSeconds = 0;  // the slowest of them
};

// Totals over every session run in this process.
struct DriverStatistics {
  uint64_t scenarios = 0, commands = 0, generates = 0, cancels = 0, failures = 0;
  double longestSeconds = 0;
  std::string longestCommand;
};

// Limits of the host and of the checks.
constexpr double kDriverCommandLimitSeconds = 5.0;  // a command that returns later fails
constexpr double kDriverHangSeconds = 8.0;          // one still running then aborts the process
constexpr double kDriverSessionSeconds = 4.0;       // no step of a session starts later
constexpr double kDriverCancelSeconds = 1.0;        // the host cancels after this long ...
constexpr int32_t kDriverCancelReports = 200;       // ... or after this many reports
constexpr int32_t kDriverBlockCap = 16 << 20;       // larger allocations are refused
constexpr size_t kDriverMaxOps = 64;                // the decoder reads no more steps

// The byte form: per step kind, a, b, c, d, the length of `bytes`, `bytes`.
// Every byte string decodes (missing bytes read as 0, kinds modulo kCount).
std::vector<uint8_t> EncodeScenario(const DriverScenario& scenario);
DriverScenario DecodeScenario(const uint8_t* data, size_t size);

DriverVerdict RunScenario(const DriverScenario& scenario);
DriverVerdict RunParticleScenario(const uint8_t* data, size_t size);

// A random session from a seed: small pools and short windows with a sprinkle
// of damage; `extreme` adds costly values (huge windows and pools).
DriverScenario GenerateScenario(uint64_t seed, bool extreme);
// Named sessions for the fuzzer's seed corpus.
std::vector<std::pair<std::string, DriverScenario>> SeedScenarios();

// The pool check run after a successful "GENM", on the host's two blocks:
// empty when the lists partition the slots and the count matches, else why not.
std::string CheckPoolLists(const uint8_t* control, int32_t controlSize, const uint8_t* data,
                           int32_t dataSize);

const DriverStatistics& DriverStats();
std::string FormatDriverStats();

#endif
