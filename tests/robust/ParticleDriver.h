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

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// One step of a session.  The selectors a..d pick entries of the driver's
// tables modulo their size; the entry just past a value table reads a raw
// value from `bytes` instead.
enum class DriverOpKind : uint8_t {
  kCommand,      // a command, b size mode, c size offset; bytes: the record after its head
  kSetup,        // "SETM": a frame move or index, b time, c step, d matrices (+128: "GENM")
  kSetField,     // a the settings field at byte 4a, b its value
  kSetLinks,     // a slots to change (1-4); bytes: per slot a slot and a value choice
  kSnapshot,     // a snapshot slot: keeps a copy of the settings block
  kRestore,      // a snapshot slot: puts that copy back in place of the settings block
  kSwapData,     // a block size, b fill, c size offset; bytes: garbage
  kSwapControl,  // a form of the new settings block; bytes: garbage
  kHostMode,     // a progress throttle, b fill of the bytes a reallocation adds, c how a
                 // refused "ALOC" answers (blocks written back, request left or zeroed, success)
  kFailNext,     // a callback, b result code, c calls to let through first
  kCount
};

struct DriverOp {
  DriverOpKind kind = DriverOpKind::kCommand;
  uint8_t a = 0, b = 0, c = 0, d = 0;
  std::vector<uint8_t> bytes = {};  // at most 255
};
using DriverScenario = std::vector<DriverOp>;

constexpr size_t kDriverMaxOps = 64;  // the decoder reads no more steps

// The byte form: per step kind, a, b, c, d, the length of `bytes`, `bytes`.
// Every byte string decodes (missing bytes read as 0, kinds modulo kCount).
std::vector<uint8_t> EncodeScenario(const DriverScenario& scenario);
DriverScenario DecodeScenario(const uint8_t* data, size_t size);

// Runs a session on a fresh plug-in: empty when every check held, else what
// failed and the steps that led there.
std::string RunScenario(const DriverScenario& scenario);

// A random session from a seed: small pools and short windows with a sprinkle
// of damage; `extreme` adds costly values (huge windows and pools).
DriverScenario GenerateScenario(uint64_t seed, bool extreme);
// Named sessions for the fuzzer's seed corpus.
std::vector<std::pair<std::string, DriverScenario>> SeedScenarios();

// The pool check run after a successful "GENM", on the host's two blocks:
// empty when the lists partition the slots and the count matches, else why not.
std::string CheckPoolLists(const uint8_t* control, int32_t controlSize, const uint8_t* data,
                           int32_t dataSize);

// Sessions, commands, host cancels and the slowest command so far.
std::string FormatDriverStats();

#endif
