// The validator's own host: it answers a plug-in's callbacks like plmhost
// does, but keeps every record it hands out between guard bytes, can fail a
// callback on demand, refuse or shorten "ALOC", move the records between
// commands and answer "STAT" with cancel, and it notes every rule the plug-in
// breaks as a violation of one kind, for the checks to report.
#ifndef PLMHOST_VALIDATE_TESTHOST_H
#define PLMHOST_VALIDATE_TESTHOST_H

#include <chrono>
#include <functional>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "host/PluginRecords.h"
#include "protocol/PluginLoader.h"

// Bytes the host hands out, with a guard zone on either side; a plug-in
// that writes outside them changes a guard.  The zone after the bytes is
// as long as any record, so that a plug-in writing a whole record into a
// short one writes into the guard and not into the host's heap.
class GuardedBlock {
 public:
  explicit GuardedBlock(size_t theSize);
  uint8_t* data() { return storage_.get() + kGuard; }
  const uint8_t* data() const { return storage_.get() + kGuard; }
  static constexpr size_t kTail = 4096;
  size_t size() const { return size_; }
  bool GuardsIntact() const;
  // Fills the block with a pattern; PoisonIntact tells whether its bytes
  // were written since.
  void Poison();
  bool PoisonIntact() const;

  static constexpr size_t kGuard = 64;

 private:
  std::unique_ptr<uint8_t[]> storage_;
  size_t size_;
};

enum class ViolationKind {
  kOutside,    // a write outside a record or block, or into one moved away
  kHead,       // a command's head came back naming records the host did not give
  kReference,  // a callback record with the wrong reference, too short, or unknown
  kSilence,    // a callback the error latch forbids
  kFacet,      // a facet naming a vertex outside its group
  kCount,      // model calls out of order or out of range
  kNonFinite,  // a vertex coordinate that is not finite
  kBadFree,    // "MFRE" of a block the host did not give, or freed twice
  kLeak,       // an "MMAL" block still held at the end
};

struct Violation {
  ViolationKind kind;
  std::string text;
};

// What one "GENM" built: counts and a digest of every model call's values,
// so two frames compare exactly.
struct FrameOutput {
  int32_t result = 0;
  int32_t setupResult = 0;
  int64_t groups = 0, vertices = 0, facets = 0;
  uint64_t digest = 0;
  bool operator==(const FrameOutput& o) const {
    return groups == o.groups && vertices == o.vertices && facets == o.facets &&
           digest == o.digest;
  }
  bool operator!=(const FrameOutput& o) const { return !(*this == o); }
};
std::string Describe(const FrameOutput& theOutput);

struct HostInstance {
  std::unique_ptr<GuardedBlock> control, data;
  int32_t controlSize = 0, dataSize = 0;
  std::map<void*, std::unique_ptr<GuardedBlock>> blocks;  // "MMAL" blocks held
  std::map<void*, std::string> blockOrigin;               // the command that asked
  std::vector<std::unique_ptr<GuardedBlock>> movedAway;   // poisoned, checked after the next command
  // Kept to the end, so that a plug-in writing through an old address
  // writes into the host's memory rather than freed memory.
  std::vector<std::unique_ptr<GuardedBlock>> retired;
  // The model of the frame in progress.
  FrameOutput frame;
  int32_t groupVertices = -1;  // vertices of the open group, -1 before any
  bool generating = false;
};

// A callback failure to stage: the nth call (from 1) of selector answers
// code, once.
struct FailPlan {
  IFFType selector = 0;
  int64_t nth = 0;
  int32_t code = kPluginMemoryError;
  bool fired = false;
};

// The geometry-record commands point at a host record; the host lends a
// zeroed one of this size.
constexpr size_t kGeometryRecordBytes = 4096;

// Where the host tells, as it goes, what it is doing, so that a parent can
// name the last call of a child it had to stop.
struct ProgressSlot {
  uint32_t magic;
  uint32_t finished;
  uint64_t calls;
  char command[96];
  char callback[96];
  uint32_t reportBytes;
  char report[60000];
};
constexpr uint32_t kProgressMagic = 0x504C4D56;

class TestHost {
 public:
  // Loads the plug-in; throws a usage error when it cannot.
  explicit TestHost(const std::string& thePluginPath);
  ~TestHost();
  TestHost(const TestHost&) = delete;
  TestHost& operator=(const TestHost&) = delete;

  // Instances live until the host ends; their address is the reference.
  HostInstance& NewInstance(const std::vector<uint8_t>& theSettings = {});
  std::vector<uint8_t> Settings(const HostInstance& theInstance) const;

  // Commands with well-formed records; each returns the plug-in's result.
  int32_t Initialize(HostInstance& theInstance);
  int32_t Finish(HostInstance& theInstance);
  int32_t Setup(HostInstance& theInstance, int32_t theFrame);
  int32_t Generate(HostInstance& theInstance);
  // "SETM" then, when it succeeds, "GENM".
  FrameOutput Frame(HostInstance& theInstance, int32_t theFrame);
  std::vector<FrameOutput> Frames(HostInstance& theInstance, const std::vector<int32_t>& theFrames);
  // Any command with a record of its own size made by Template; fill may
  // change fields after the head, theRecordAfter receives the record as the
  // plug-in left it.
  int32_t Command(HostInstance& theInstance, IFFType theCommand,
                  const std::function<void(uint8_t*)>& fill = {},
                  std::vector<uint8_t>* theRecordAfter = nullptr);
  // A well-formed record for theCommand: the head, the frame last set up for
  // "SETM", a lent geometry record for the six geometry commands.
  std::vector<uint8_t> Template(HostInstance& theInstance, IFFType theCommand);
  // Main called as given, with no head filled in or taken back.
  int32_t Raw(HostInstance* theInstance, IFFType theCommand, int32_t theSize, void* theRecord);
  void FillHead(HostInstance& theInstance, PluginInfoRec& theInfo) const;

  // Staging.
  FailPlan fail;
  bool refuseAllocate = false;
  bool shortAllocate = false;    // "ALOC" hands out half of what was asked
  bool moveRecords = false;      // records move before every command
  int64_t cancelAfterStatus = -1;  // answer the (n+1)th "STAT" of a command with 4
  double patienceSeconds = 2.0;    // a command running longer is cancelled at its next "STAT"

  // Observations.
  std::vector<Violation> violations;
  std::map<IFFType, int64_t> callCounts;   // every callback, by selector
  std::vector<int32_t> resultsReturned;    // by commands, in order
  double longestQuiet = 0;                 // seconds without "STAT" inside a command
  std::string longestQuietWhere;
  double cancelLatency = -1;               // seconds from a cancel to the command's return
  bool cancelled = false;
  int64_t statusCalls = 0;
  bool trace = false;
  ProgressSlot* slot = nullptr;

  void Note(ViolationKind theKind, const std::string& theText);
  // Checks the "MMAL" blocks still held after the end of every instance.
  void NoteLeaks();
  const LoadedPlugin& plugin() const { return plugin_; }
  std::string CurrentCommand() const { return current_; }

  int32_t OnCallback(IFFType theSelector, int32_t theSize, void* theRecord);

 private:
  using Clock = std::chrono::steady_clock;
  void MoveRecords(HostInstance& theInstance);
  void CheckBlocks(HostInstance& theInstance, const std::string& where);
  HostInstance* InstanceOf(const void* theRecord);
  int32_t Allocate(HostInstance& theInstance, void* theRecord);
  int32_t Status(HostInstance& theInstance, void* theRecord);
  int32_t AddGroup(HostInstance& theInstance, void* theRecord);
  int32_t AddVertex(HostInstance& theInstance, void* theRecord);
  int32_t AddFacet(HostInstance& theInstance, void* theRecord);
  int32_t MemMalloc(HostInstance& theInstance, void* theRecord);
  int32_t MemFree(HostInstance& theInstance, void* theRecord);
  void Tell(const std::string& theCommand, const std::string& theCallback);
  // Prints a trace line; a callback line that only repeats the one or two
  // before it is counted instead, and the count printed when the run ends.
  void Trace(const std::string& theLine, bool isCallback);
  std::vector<std::string> recent_;  // callback lines printed last
  size_t cycle_ = 0, cyclePos_ = 0;  // length of the repeating run, and where in it
  int64_t folded_ = 0;

  LoadedPlugin plugin_;
  std::vector<std::unique_ptr<HostInstance>> instances_;
  HostInstance* active_ = nullptr;
  std::string current_;  // the command running, for messages
  int32_t frame_ = 0;    // the last frame set up
  bool latched_ = false;
  std::string latchCause_;
  Clock::time_point commandStart_, lastStatus_;
  Clock::time_point cancelAt_;
  int64_t commandStatus_ = 0;
  std::map<ViolationKind, int> noted_;
  GuardedBlock geometry_{kGeometryRecordBytes};
};

// The size of each command's record.
int32_t CommandRecordSize(IFFType theCommand);

#endif
