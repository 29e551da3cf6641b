#include "ParticleDriver.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cfloat>
#include <chrono>
#include <cinttypes>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <mutex>
#include <thread>

#include "Particle.h"
#include "ParticleEngine.h"
#include "geometry/geometry_records.h"
#include "host/PluginClient.h"
#include "text/System.h"

// Present under the sanitizers: the stack of a command that hangs.
extern "C" void __sanitizer_print_stack_trace() __attribute__((weak));

namespace {

using Clock = std::chrono::steady_clock;

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kDenormMin = std::numeric_limits<double>::denorm_min();
constexpr int32_t kHeadSize = int32_t(sizeof(PluginInfoRec));
constexpr int32_t kControlSize = int32_t(sizeof(ControlDataRec));
constexpr int32_t kFirstVertex = 1000;  // the host's vertex indices start here

DriverStatistics gStats;

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...) {
  char buffer[512];
  va_list args;
  va_start(args, format);
  vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  return buffer;
}

std::string FourCC(IFFType code) {
  std::string s;
  for (int shift = 24; shift >= 0; shift -= 8) {
    char ch = char((code >> shift) & 0xFF);
    if (ch < 0x20 || ch > 0x7E) return Format("0x%08" PRIX32, code);
    s += ch;
  }
  return s;
}

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// ------------------------------------------------------------------ tables

const double kExtremeDoubles[] = {
    0.0,     -0.0,     1.0,         -1.0,        0.5,    1e-300, -1e-300, 1e300,
    -1e300,  kInf,     -kInf,       kNaN,        -kNaN,  kDenormMin, -kDenormMin,
    2.2250738585072009e-308,        DBL_MAX,     -DBL_MAX, 1e-9, 1e9, -1e9,
    2147483648.0, -2147483649.0,    100.0};
constexpr size_t kDoubleCount = sizeof kExtremeDoubles / sizeof kExtremeDoubles[0];

const int32_t kExtremeInts[] = {
    0, 1, -1, 2, 3, 5, 17, 64, 1000, -2, INT32_MIN, INT32_MIN + 1, INT32_MAX, INT32_MAX - 1,
    kMaxParticleLimit, kMaxParticleLimit + 1, (kDriverBlockCap - kPluginDataSize) / kParticleRecSize,
    int32_t(MakeIFF("PART")), int32_t(MakeIFF("TRAP")), 0x03000000};
constexpr size_t kIntCount = sizeof kExtremeInts / sizeof kExtremeInts[0];

// The settings fields a session may overwrite.
#define PLM_DRIVER_DOUBLE_FIELDS(X)                                                      \
  X(emitFrequency) X(emitErr) X(emitStart) X(emitEnd) X(lifeTime) X(lifeTimeErr)        \
  X(initXPos) X(initYPos) X(initZPos) X(initXPosErr) X(initYPosErr) X(initZPosErr)      \
  X(initXDir) X(initYDir) X(initZDir) X(initAngle) X(initAngleErr) X(initVelocity)      \
  X(initVelocityErr) X(airResistance) X(gravityXDir) X(gravityYDir) X(gravityZDir)      \
  X(groundLevel) X(bounceFactor) X(bounceFriction) X(lastFrameTime) X(lastFrameTimeDelta)
#define PLM_DRIVER_INT_FIELDS(X)                                                        \
  X(maxParticles) X(lastFrameIndex) X(particleCount) X(firstActive) X(firstInactive)    \
  X(particleSeed) X(ownerType) X(ownerVersion) X(particleFlags)

struct SettingsField {
  const char* name;
  size_t offset;
  bool isDouble;
};
#define PLM_DOUBLE_ENTRY(f) {#f, offsetof(ControlDataRec, f), true},
#define PLM_INT_ENTRY(f) {#f, offsetof(ControlDataRec, f), false},
const SettingsField kFields[] = {PLM_DRIVER_DOUBLE_FIELDS(PLM_DOUBLE_ENTRY)
                                     PLM_DRIVER_INT_FIELDS(PLM_INT_ENTRY)};
#undef PLM_DOUBLE_ENTRY
#undef PLM_INT_ENTRY
constexpr size_t kFieldCount = sizeof kFields / sizeof kFields[0];

uint8_t FieldIndex(const char* name) {
  for (size_t i = 0; i < kFieldCount; ++i)
    if (std::strcmp(kFields[i].name, name) == 0) return uint8_t(i);
  std::abort();  // a misspelt name in this file
}

// What a command's answer must be when its record is whole.
enum class Expect { kAny, kZero, kCheck, kGeometry };
struct CommandEntry {
  IFFType code;
  int32_t size;
  Expect expect;
};
const CommandEntry kCommandTable[] = {
    {kCmdInitialize, sizeof(PluginInitializeRec), Expect::kAny},
    {kCmdFinish, sizeof(PluginFinishRec), Expect::kZero},
    {kCmdInformation, sizeof(PluginInformationRec), Expect::kZero},
    {kCmdCheck, sizeof(PluginCheckRec), Expect::kCheck},
    {kCmdDescribe, sizeof(PluginDescribeRec), Expect::kZero},
    {kCmdInterface, sizeof(PluginInterfaceRec), Expect::kAny},
    {kCmdSetup, sizeof(PluginModelSetupRec), Expect::kAny},
    {kCmdGenerate, sizeof(PluginModelGenerateRec), Expect::kAny},
    {kCmdGINF, sizeof(PluginModelGINFRec), Expect::kGeometry},
    {kCmdGATR, sizeof(PluginModelGATRRec), Expect::kGeometry},
    {kCmdGBLR, sizeof(PluginModelGBLRRec), Expect::kGeometry},
    {kCmdTMAP, sizeof(PluginModelTMAPRec), Expect::kGeometry},
    {kCmdBMAP, sizeof(PluginModelBMAPRec), Expect::kGeometry},
    {kCmdRMAP, sizeof(PluginModelRMAPRec), Expect::kGeometry},
    // Codes the plug-in does not know.
    {MakeIFF("QUIT"), kHeadSize, Expect::kAny},
    {MakeIFF("genm"), sizeof(PluginModelGenerateRec), Expect::kAny},
    {0, kHeadSize, Expect::kAny},
    {0xFFFFFFFFu, 64, Expect::kAny}};
constexpr size_t kCommandCount = sizeof kCommandTable / sizeof kCommandTable[0];
constexpr size_t kKnownCommands = 14;
constexpr uint8_t kGenerateIndex = 7, kSetupIndex = 6, kInitIndex = 0, kCheckIndex = 3;

enum class SizeMode { kRight, kShort, kOneShort, kZero, kNegative, kLarger, kNull };
// Mostly right; otherwise the ways a host can get the size wrong.
const SizeMode kSizeModes[] = {SizeMode::kRight, SizeMode::kRight, SizeMode::kRight,
                               SizeMode::kRight, SizeMode::kRight, SizeMode::kRight,
                               SizeMode::kShort, SizeMode::kOneShort, SizeMode::kZero,
                               SizeMode::kNegative, SizeMode::kLarger, SizeMode::kNull};
constexpr size_t kSizeModeCount = sizeof kSizeModes / sizeof kSizeModes[0];

struct CallbackEntry {
  IFFType selector;
  int32_t size;
};
const CallbackEntry kCallbacks[] = {
    {kHostAllocate, sizeof(HostAllocateRec)},  {kHostModelReset, sizeof(HostModelResetRec)},
    {kHostStatus, sizeof(HostStatusRec)},      {kHostAddGroup, sizeof(HostModelAddGroupRec)},
    {kHostAddVertex, sizeof(HostModelAddVertexRec)}, {kHostAddFacet, sizeof(HostModelAddFacetRec)}};
constexpr size_t kCallbackCount = sizeof kCallbacks / sizeof kCallbacks[0];
const int32_t kFailCodes[] = {kPluginUserCanceled, kPluginMemoryError, kPluginOutOfSequence,
                              kPluginUnsupportedFeature, -1};

// Frame steps of the ordinary render path, and the extreme ones of kSetup.
const double kFrameSteps[] = {1.0 / 30, 1.0 / 30, 1.0 / 30, 1.0 / 30,
                              1.0 / 24, 0.03333333, 0.1, 1.0};
const double kSetupSteps[] = {1.0 / 30, 0.03333333, 0.0,  -0.0,       -1.0 / 30, kNaN,
                              kInf,     -kInf,      1e-3, 1.0,        100.0,     1e300,
                              1e-6,     1e-300,     kDenormMin};  // then raw
constexpr size_t kSetupStepCount = sizeof kSetupSteps / sizeof kSetupSteps[0];
constexpr size_t kCheapSetupSteps = 11;  // the ones before give windows of a few frames at most
const double kSetupTimes[] = {0.0, -0.0, -1.0, kNaN, kInf, -kInf, 1e-300, 1e300, -1e300,
                              kDenormMin};  // after "index times step", before raw
constexpr size_t kSetupTimeCount = sizeof kSetupTimes / sizeof kSetupTimes[0];
constexpr size_t kSetupIndexCount = 13;  // see SetupIndex

const int32_t kThrottles[] = {0, 1, 6, 30};  // ticks ahead the host sets theStatusTick
const uint8_t kFills[] = {0xA5, 0x00, 0xFF};

// ------------------------------------------------------------------ bytes

struct ByteReader {
  const uint8_t* p;
  size_t n;
  uint8_t U8() {
    if (n == 0) return 0;
    --n;
    return *p++;
  }
  template <typename T>
  T Raw() {
    uint8_t b[sizeof(T)];
    for (uint8_t& x : b) x = U8();
    T v;
    std::memcpy(&v, b, sizeof v);
    return v;
  }
};

template <typename T>
std::vector<uint8_t> RawBytes(T v) {
  std::vector<uint8_t> out(sizeof v);
  std::memcpy(out.data(), &v, sizeof v);
  return out;
}

// Cycles through `bytes`, or a congruential sequence from seed when empty.
void FillGarbage(uint8_t* p, size_t n, const std::vector<uint8_t>& bytes, uint32_t seed) {
  for (size_t i = 0; i < n; ++i) {
    if (!bytes.empty()) {
      p[i] = bytes[i % bytes.size()];
    } else {
      seed = seed * 1103515245u + 12345u;
      p[i] = uint8_t(seed >> 24);
    }
  }
}

// A host-owned block of exactly `size` bytes, so that the sanitizer sees
// any access past it.  Size 0 is the null block.
struct Block {
  std::unique_ptr<uint8_t[]> bytes;
  int32_t size = 0;
  uint8_t* Data() const { return bytes.get(); }
};

Block NewBlock(int32_t size, uint8_t fill) {
  Block b;
  if (size > 0) {
    b.bytes.reset(new uint8_t[size_t(size)]);
    std::memset(b.bytes.get(), fill, size_t(size));
    b.size = size;
  }
  return b;
}

// Keeps the bytes that fit, as a reallocation does.
Block Resized(const Block& old, int32_t size, uint8_t fill) {
  Block b = NewBlock(size, fill);
  if (old.size > 0 && b.size > 0)
    std::memcpy(b.Data(), old.Data(), size_t(std::min(old.size, b.size)));
  return b;
}

// ------------------------------------------------------------------- host

int32_t HostProc(IFFType selector, int32_t size, void* record);

struct Host {
  Block control, data;
  uint8_t fill = kFills[0];
  int32_t throttleTicks = 0;
  // Failure injection: the call of failSelector after failAfter more answers failCode.
  IFFType failSelector = 0;
  int32_t failCode = 0, failAfter = 0;
  // The command in progress.
  Clock::time_point start;
  int32_t reports = 0, groups = 0, vertices = 0, facets = 0;
  bool canceled = false;
  std::string fault;  // the first protocol fault of the plug-in's callbacks

  PluginInfoRec Head() {
    return {control.Data(), control.size, data.Data(), data.size, &HostProc, this};
  }
  void BeginCommand() {
    start = Clock::now();
    reports = groups = vertices = facets = 0;
    canceled = false;
    fault.clear();
  }
  void Fault(const std::string& why) {
    if (fault.empty()) fault = why;
  }

  // The plug-in takes all four fields back whatever the answer, so they name
  // the blocks held, old or new.
  int32_t Allocate(HostAllocateRec& r, int32_t answer) {
    if (r.theControlDataSize < 0 || r.theControlDataSize > kDriverBlockCap ||
        r.thePluginDataSize < 0 || r.thePluginDataSize > kDriverBlockCap)
      answer = kPluginMemoryError;
    if (answer == kPluginNoError) {
      control = Resized(control, r.theControlDataSize, fill);
      data = Resized(data, r.thePluginDataSize, fill);
    }
    r.theControlData = control.Data();
    r.theControlDataSize = control.size;
    r.thePluginData = data.Data();
    r.thePluginDataSize = data.size;
    return answer;
  }

  // A user who waits a second, or two hundred reports, presses cancel.
  int32_t Status(HostStatusRec& r) {
    reports += 1;
    if (throttleTicks > 0) r.theStatusTick = int32_t(TickCount() + uint32_t(throttleTicks));
    if (reports > kDriverCancelReports || Seconds(Clock::now() - start) > kDriverCancelSeconds) {
      if (!canceled) gStats.cancels += 1;
      canceled = true;
      return kPluginUserCanceled;
    }
    return kPluginNoError;
  }

  int32_t AddFacet(const HostModelAddFacetRec& r) {
    int32_t count = r.theNumVertices;
    int32_t v[4];
    std::memcpy(v, r.theVertices, sizeof v);
    if (count < 1 || count > 4) {
      Fault(Format("ADDF with %d vertices", count));
      return kPluginBadParameters;
    }
    for (int32_t i = 0; i < count; ++i)
      if (v[i] < kFirstVertex || v[i] >= kFirstVertex + vertices) {
        Fault(Format("ADDF names vertex %d, but %d were handed out from %d", v[i], vertices,
                     kFirstVertex));
        return kPluginBadParameters;
      }
    facets += 1;
    return kPluginNoError;
  }
};

Host* gHost = nullptr;

int32_t HostProc(IFFType selector, int32_t size, void* record) {
  Host* host = gHost;
  if (host == nullptr) return kPluginOutOfSequence;
  if (record == nullptr || size < int32_t(sizeof(void*))) {
    host->Fault(Format("%s with a record of %d bytes at %p", FourCC(selector).c_str(), size, record));
    return kPluginBadParameters;
  }
  void* reference;
  std::memcpy(&reference, record, sizeof reference);
  if (reference != host) {
    host->Fault(Format("%s with host reference %p, not %p", FourCC(selector).c_str(), reference,
                       static_cast<void*>(host)));
    return kPluginBadParameters;
  }
  const CallbackEntry* entry = nullptr;
  for (const CallbackEntry& e : kCallbacks)
    if (e.selector == selector) entry = &e;
  if (entry == nullptr) return kPluginUnsupportedCommand;  // no memory services here
  if (size != entry->size) {
    host->Fault(Format("%s with %d bytes, not %d", FourCC(selector).c_str(), size, entry->size));
    return kPluginBadParameters;
  }
  int32_t answer = kPluginNoError;
  if (selector == host->failSelector && host->failAfter-- == 0) {
    host->failSelector = 0;
    answer = host->failCode;
  }
  if (selector == kHostAllocate)
    return host->Allocate(*static_cast<HostAllocateRec*>(record), answer);
  if (answer != kPluginNoError) return answer;
  switch (selector) {
    case kHostStatus: return host->Status(*static_cast<HostStatusRec*>(record));
    case kHostAddGroup: host->groups += 1; return kPluginNoError;
    case kHostAddVertex:
      static_cast<HostModelAddVertexRec*>(record)->theIndex = kFirstVertex + host->vertices++;
      return kPluginNoError;
    case kHostAddFacet: return host->AddFacet(*static_cast<HostModelAddFacetRec*>(record));
    default: return kPluginNoError;  // "RSET"
  }
}

// --------------------------------------------------------------- watchdog

// A command that never returns cannot be judged after the fact: a thread
// watches the clock and, past kDriverHangSeconds, interrupts the worker,
// which prints what it was doing and its stack, and aborts.
std::atomic<int64_t> gCommandStart{0};  // nanoseconds, 0 while no command runs
std::atomic<bool> gHangFired{false};
pthread_t gWorker;
char gHangReport[16384];

int64_t NowNanoseconds() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
      .count();
}

void OnHang(int) {
  ssize_t ignored = write(2, gHangReport, strnlen(gHangReport, sizeof gHangReport));
  (void)ignored;
  if (__sanitizer_print_stack_trace) __sanitizer_print_stack_trace();
  std::abort();
}

void WatchLoop() {
  const int64_t limit = int64_t(kDriverHangSeconds * 1e9);
  for (;;) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    int64_t start = gCommandStart.load(std::memory_order_acquire);
    if (start != 0 && NowNanoseconds() - start > limit && !gHangFired.exchange(true))
      pthread_kill(gWorker, SIGUSR2);
  }
}

void WatchBegin(const std::string& report) {
  static std::once_flag once;
  std::call_once(once, [] {
    struct sigaction action {};
    action.sa_handler = OnHang;
    sigemptyset(&action.sa_mask);
    sigaction(SIGUSR2, &action, nullptr);
    std::thread(WatchLoop).detach();
  });
  std::snprintf(gHangReport, sizeof gHangReport, "%s", report.c_str());
  gWorker = pthread_self();
  gCommandStart.store(NowNanoseconds(), std::memory_order_release);
}

void WatchEnd() { gCommandStart.store(0, std::memory_order_release); }

// ----------------------------------------------------------------- runner

// The plug-in as just loaded: no latch, no status record, globals to be
// set up by the first command.  Sessions must not depend on each other.
void ResetPlugin() {
  result = 0;
  theStatusRec = HostStatusRec{};
  globalValidation1 = globalValidation2 = 0;
  theControl = nullptr;
  theData = nullptr;
  particleData = nullptr;
  hostProc = nullptr;
  hostReference = nullptr;
}

struct Runner {
  Host host;
  DriverVerdict verdict;
  std::string trail;  // the steps so far, one a line
  int32_t frame = 0;  // the frame cursor of kFrame and kSetup
  Block snapshots[4];

  void Step(const std::string& line) { trail += "    " + line + "\n"; }
  bool Fail(const std::string& why) {
    verdict.ok = false;
    verdict.failure = why + "\n  steps:\n" + trail;
    return false;
  }

  ControlDataRec Control() const {  // the settings block, or the defaults' shape when absent
    ControlDataRec c{};
    c.maxParticles = 1000;
    if (host.control.size >= kControlSize) std::memcpy(&c, host.control.Data(), sizeof c);
    return c;
  }

  int32_t Call(IFFType code, int32_t claimed, void* record, const std::string& label) {
    host.BeginCommand();
    WatchBegin("particle driver: " + label + " still running after " +
               Format("%.0f s", kDriverHangSeconds) + "\n  steps:\n" + trail);
    Clock::time_point start = Clock::now();
    int32_t r = Main(code, claimed, record);
    double seconds = Seconds(Clock::now() - start);
    WatchEnd();
    gStats.commands += 1;
    gStats.generates += code == kCmdGenerate;
    if (seconds > gStats.longestSeconds) {
      gStats.longestSeconds = seconds;
      gStats.longestCommand = label;
    }
    verdict.commands += 1;
    verdict.longestSeconds = std::max(verdict.longestSeconds, seconds);
    if (seconds > kDriverCommandLimitSeconds)
      Fail(Format("%s took %.2f s (limit %.0f s)", label.c_str(), seconds,
                  kDriverCommandLimitSeconds));
    else if (!host.fault.empty())
      Fail(label + ": " + host.fault);
    return r;
  }

  // After a "GENM" that succeeded: sound lists, and with the latch clear one
  // vertex and one facet per live particle in one group.
  bool CheckGenerate() {
    std::string why =
        CheckPoolLists(host.control.Data(), host.control.size, host.data.Data(), host.data.size);
    if (!why.empty()) return Fail("after GENM returned 0: " + why);
    int32_t live = Control().particleCount;
    if (result == 0 && (host.vertices != live || host.facets != live || host.groups != (live > 0)))
      return Fail(Format("after GENM returned 0 with no failed call: %d live particles, but %d "
                         "groups, %d vertices and %d facets",
                         live, host.groups, host.vertices, host.facets));
    return true;
  }

  // Sends one command built from `record` (its type's size, head filled in)
  // with the size mode applied; false when a check failed.
  bool Send(const CommandEntry& entry, const std::vector<uint8_t>& record, SizeMode mode,
            uint8_t offset, const std::string& detail, int32_t* answer = nullptr) {
    const int32_t real = int32_t(record.size());
    int32_t claimed = real;
    size_t length = size_t(real);
    switch (mode) {
      case SizeMode::kRight: case SizeMode::kNull: break;
      case SizeMode::kShort: claimed = real - 1 - offset % real; length = size_t(claimed); break;
      case SizeMode::kOneShort: claimed = real - 1; length = size_t(claimed); break;
      case SizeMode::kZero: claimed = 0; length = 0; break;
      case SizeMode::kNegative: claimed = offset == 255 ? INT32_MIN : -1 - offset; break;
      case SizeMode::kLarger: claimed = real + 1 + offset; length = size_t(claimed); break;
    }
    // Exactly the bytes the size claims (all of them for a negative size).
    std::unique_ptr<uint8_t[]> buffer(new uint8_t[length]);
    std::memset(buffer.get(), 0x5A, length);
    std::memcpy(buffer.get(), record.data(), std::min(length, record.size()));
    const std::vector<uint8_t> before(buffer.get(), buffer.get() + length);
    void* pointer = mode == SizeMode::kNull ? nullptr : buffer.get();

    std::string label = Format("%s size %d%s%s", FourCC(entry.code).c_str(), claimed,
                               pointer ? "" : " (null record)", detail.c_str());
    int32_t r = Call(entry.code, claimed, pointer, label);
    Step(Format("%s -> %d", label.c_str(), r));
    if (answer) *answer = r;
    if (!verdict.ok) return false;

    const bool known = &entry < kCommandTable + kKnownCommands;
    const bool whole = mode == SizeMode::kRight || mode == SizeMode::kLarger;
    const bool untouched = length == 0 || std::memcmp(before.data(), buffer.get(), length) == 0;
    if (!known || !whole) {
      int32_t expected = known ? kPluginBadParameters : kPluginUnsupportedCommand;
      if (r != expected) return Fail(Format("%s answered %d, not %d", label.c_str(), r, expected));
      if (!untouched) return Fail(label + " wrote into the record it refused");
      return true;
    }
    PluginInfoRec head = host.Head();
    if (std::memcmp(buffer.get(), &head, sizeof head) != 0)
      return Fail(label + " left a head that names blocks the host does not hold");
    switch (entry.expect) {
      case Expect::kAny: break;
      case Expect::kZero:
        if (r != kPluginNoError) return Fail(Format("%s answered %d", label.c_str(), r));
        break;
      case Expect::kCheck: {
        IFFType asked;
        std::memcpy(&asked, buffer.get() + offsetof(PluginCheckRec, theCommand), sizeof asked);
        bool listed = std::any_of(kCommandTable, kCommandTable + kKnownCommands,
                                  [asked](const CommandEntry& e) { return e.code == asked; });
        if (r != (listed ? kPluginNoError : kPluginBadParameters))
          return Fail(Format("%s about %s answered %d", label.c_str(), FourCC(asked).c_str(), r));
        break;
      }
      case Expect::kGeometry: {
        std::vector<uint8_t> expected = before;
        expected[offsetof(PluginModelGINFRec, theChangeFlag)] = 0;
        if (r != kPluginNoError || std::memcmp(expected.data(), buffer.get(), length) != 0)
          return Fail(Format("%s answered %d and did not just clear the change flag",
                             label.c_str(), r));
        break;
      }
    }
    if (entry.code == kCmdGenerate && r == kPluginNoError) return CheckGenerate();
    return true;
  }

  std::vector<uint8_t> Record(const CommandEntry& entry) {
    std::vector<uint8_t> record(size_t(entry.size), 0);
    PluginInfoRec head = host.Head();
    std::memcpy(record.data(), &head, sizeof head);
    return record;
  }

  bool Setup(int32_t index, double time, double delta, const Matrix4& group, const Matrix4& blur,
             int32_t* answer) {
    PluginModelSetupRec rec{};
    rec.theFrameIndex = index;
    rec.theFrameTime = time;
    rec.theFrameTimeDelta = delta;
    std::memcpy(&rec.theGroupMatrix, &group, sizeof group);  // at even, not 8-byte, offsets
    std::memcpy(&rec.theGroupBlurMatrix, &blur, sizeof blur);
    std::vector<uint8_t> record = Record(kCommandTable[kSetupIndex]);
    std::memcpy(record.data() + kHeadSize, reinterpret_cast<uint8_t*>(&rec) + kHeadSize,
                record.size() - kHeadSize);
    frame = index;
    return Send(kCommandTable[kSetupIndex], record, SizeMode::kRight, 0,
                Format(" frame %d time %.17g step %.17g", index, time, delta), answer);
  }

  bool Generate() {
    return Send(kCommandTable[kGenerateIndex], Record(kCommandTable[kGenerateIndex]),
                SizeMode::kRight, 0, "");
  }

  bool RunCommand(const DriverOp& op) {
    const CommandEntry& entry = kCommandTable[op.a % kCommandCount];
    std::vector<uint8_t> record = Record(entry);
    size_t tail = std::min(op.bytes.size(), record.size() - kHeadSize);
    std::copy_n(op.bytes.begin(), tail, record.begin() + kHeadSize);
    return Send(entry, record, kSizeModes[op.b % kSizeModeCount], op.c, "");
  }

  bool RunFrame(const DriverOp& op) {
    int64_t next = frame;
    switch (op.a % 8) {
      case 3: break;                                       // the same frame again
      case 4: next -= 1 + op.b % 8; break;                 // backwards
      case 5: next += 2 + op.b; break;                     // ahead, maybe past the window
      case 6: next = op.b; break;                          // anywhere near the start
      case 7: next += 1000 * (1 + op.b % 4); break;        // far ahead
      default: next += 1; break;                           // the next frame
    }
    int32_t index = SaturateInt32(next);
    double delta = kFrameSteps[op.c % (sizeof kFrameSteps / sizeof kFrameSteps[0])];
    Matrix4 identity;
    InitMatrix4(&identity);
    int32_t answer = 0;
    if (!Setup(index, index * delta, delta, identity, identity, &answer)) return false;
    return answer != kPluginNoError || Generate();
  }

  int32_t SetupIndex(uint8_t selector, ByteReader& raw) {
    const int64_t choices[] = {int64_t(frame) + 1, frame, int64_t(frame) - 1, 0, 1, -1, 300,
                               100000, INT32_MIN, int64_t(INT32_MIN) + 1, INT32_MAX,
                               int64_t(INT32_MAX) - 1};
    static_assert(sizeof choices / sizeof choices[0] + 1 == kSetupIndexCount, "");
    size_t i = selector % kSetupIndexCount;
    return i < kSetupIndexCount - 1 ? SaturateInt32(choices[i]) : raw.Raw<int32_t>();
  }

  bool RunSetup(const DriverOp& op) {
    ByteReader raw{op.bytes.data(), op.bytes.size()};
    int32_t index = SetupIndex(op.a, raw);
    size_t s = op.c % (kSetupStepCount + 1);
    double delta = s < kSetupStepCount ? kSetupSteps[s] : raw.Raw<double>();
    size_t t = op.b % (kSetupTimeCount + 2);
    double time = t == 0                  ? index * delta
                  : t <= kSetupTimeCount ? kSetupTimes[t - 1]
                                          : raw.Raw<double>();
    Matrix4 m;
    InitMatrix4(&m);
    double* e = &m.m.m00;
    switch ((op.d & 127) % 6) {
      case 3: for (int i = 0; i < 16; ++i) e[i] *= 1e300; break;
      case 4: for (int i = 0; i < 16; ++i) e[i] = i % 5 == 0 ? kNaN : e[i]; break;
      case 5: {
        std::vector<uint8_t> rest(raw.p, raw.p + raw.n);
        FillGarbage(reinterpret_cast<uint8_t*>(e), sizeof m, rest, op.d);
        break;
      }
      default: break;  // identity
    }
    int32_t answer = 0;
    if (!Setup(index, time, delta, m, m, &answer)) return false;
    return !(op.d & 128) || answer != kPluginNoError || Generate();
  }

  void RunSetField(const DriverOp& op) {
    const SettingsField& f = kFields[op.a % kFieldCount];
    const size_t width = f.isDouble ? 8 : 4;
    if (f.offset + width > size_t(host.control.size)) {
      Step(Format("set %s: no room in a settings block of %d bytes", f.name, host.control.size));
      return;
    }
    ByteReader raw{op.bytes.data(), op.bytes.size()};
    uint8_t* at = host.control.Data() + f.offset;
    if (f.isDouble) {
      size_t i = op.b % (kDoubleCount + 1);
      double v = i < kDoubleCount ? kExtremeDoubles[i] : raw.Raw<double>();
      std::memcpy(at, &v, sizeof v);
      Step(Format("set %s = %.17g", f.name, v));
    } else {
      size_t i = op.b % (kIntCount + 1);
      int32_t v = i < kIntCount ? kExtremeInts[i] : raw.Raw<int32_t>();
      std::memcpy(at, &v, sizeof v);
      Step(Format("set %s = %d", f.name, v));
    }
  }

  void RunSetLinks(const DriverOp& op) {
    int32_t slots = host.data.size >= kPluginDataSize
                        ? (host.data.size - kPluginDataSize) / kParticleRecSize : 0;
    if (slots == 0) {
      Step(Format("links: no slot in a working block of %d bytes", host.data.size));
      return;
    }
    const ControlDataRec c = Control();
    ByteReader raw{op.bytes.data(), op.bytes.size()};
    for (int k = 0, n = 1 + op.a % 4; k < n; ++k) {
      uint8_t s = raw.U8(), v = raw.U8();
      int32_t slot = s % 4 == 0 ? c.firstActive : s % 4 == 1 ? c.firstInactive
                     : s % 4 == 2 ? slots - 1 : (s / 4) % slots;
      if (slot < 0 || slot >= slots) slot = (s / 4) % slots;
      const int64_t values[] = {-1, -2, 0, slot, int64_t(slot) + 1,
                                int64_t(c.maxParticles) - 1, c.maxParticles,
                                int64_t(c.maxParticles) + 1, c.firstActive, INT32_MIN, INT32_MAX};
      constexpr size_t kValueCount = sizeof values / sizeof values[0];
      size_t i = v % (kValueCount + 1);
      int32_t link = i < kValueCount ? SaturateInt32(values[i]) : raw.Raw<int32_t>();
      std::memcpy(host.data.Data() + kPluginDataSize + size_t(slot) * kParticleRecSize +
                      offsetof(ParticleRec, link),
                  &link, sizeof link);
      Step(Format("link of slot %d = %d", slot, link));
    }
  }

  void RunSnapshot(const DriverOp& op, bool restore) {
    Block& shot = snapshots[op.a % 4];
    Block& from = restore ? shot : host.control;
    Block copy = NewBlock(from.size, 0);
    if (from.size > 0) std::memcpy(copy.Data(), from.Data(), size_t(from.size));
    (restore ? host.control : shot) = std::move(copy);
    Step(Format("%s settings snapshot %d (%d bytes)", restore ? "restore" : "take", op.a % 4,
                shot.size));
  }

  void RunSwapData(const DriverOp& op) {
    int64_t right = int64_t(kPluginDataSize) +
                    int64_t(kParticleRecSize) * std::max<int32_t>(1, Control().maxParticles);
    const int64_t sizes[] = {right,     right + op.c % 8, right - 1,       right - kParticleRecSize,
                             right + kParticleRecSize,    kPluginDataSize - 1, kPluginDataSize,
                             0,         right * 2,        kPluginDataSize + 7 * int64_t(op.c)};
    int64_t size = std::max<int64_t>(0, sizes[op.a % 10]);
    if (size > kDriverBlockCap) {
      Step(Format("swap working block: %" PRId64 " bytes is over the cap", size));
      return;
    }
    uint8_t fill = kFills[op.b % 3];
    Block fresh = op.b % 5 == 4 ? Resized(host.data, int32_t(size), fill)
                                : NewBlock(int32_t(size), op.b % 5 == 3 ? 0 : fill);
    if (op.b % 5 == 3) FillGarbage(fresh.Data(), size_t(fresh.size), op.bytes, op.c);
    host.data = std::move(fresh);
    Step(Format("swap working block: %d bytes, fill mode %d", host.data.size, op.b % 5));
  }

  void RunSwapControl(const DriverOp& op) {
    const ControlDataRec c = Control();
    Block fresh;
    switch (op.a % 7) {
      case 0: break;  // none
      case 1: fresh = NewBlock(kControlSize, 0); break;
      case 2:
        fresh = NewBlock(kControlSize, 0);
        FillGarbage(fresh.Data(), kControlSize, op.bytes, op.c);
        break;
      case 3: {  // the older, 276-byte form of the same settings
        ControlDataV2Rec v2{};
        v2.ownerType = kParticleOwner;
        v2.ownerVersion = 2;
        v2.particleFlags = c.particleFlags;
        v2.maxParticles = c.maxParticles;
        std::memcpy(v2.settings, &c.emitFrequency, sizeof v2.settings);
        std::memcpy(v2.energyColors, c.energyColors, sizeof v2.energyColors);
        fresh = NewBlock(sizeof v2, 0);
        std::memcpy(fresh.Data(), &v2, sizeof v2);
        break;
      }
      case 4: {  // the same settings written by a machine of the other byte order
        fresh = NewBlock(kControlSize, 0);
        std::memcpy(fresh.Data(), &c, sizeof c);
        for (const SettingsField& f : kFields)
          ReverseField(fresh.Data() + f.offset, f.isDouble ? 8 : 4);
        break;
      }
      case 5:
        fresh = NewBlock(100, 0);
        FillGarbage(fresh.Data(), 100, op.bytes, op.c);
        break;
      default: {  // a version-2 head over garbage
        fresh = NewBlock(sizeof(ControlDataV2Rec), 0);
        FillGarbage(fresh.Data(), sizeof(ControlDataV2Rec), op.bytes, op.c);
        const int32_t v2Head[2] = {int32_t(kParticleOwner), 2};
        std::memcpy(fresh.Data(), v2Head, sizeof v2Head);
        break;
      }
    }
    host.control = std::move(fresh);
    Step(Format("swap settings block: form %d, %d bytes", op.a % 7, host.control.size));
  }

  bool Run(const DriverOp& op) {
    switch (op.kind) {
      case DriverOpKind::kCommand: return RunCommand(op);
      case DriverOpKind::kFrame: return RunFrame(op);
      case DriverOpKind::kSetup: return RunSetup(op);
      case DriverOpKind::kSetField: RunSetField(op); return true;
      case DriverOpKind::kSetLinks: RunSetLinks(op); return true;
      case DriverOpKind::kSnapshot: RunSnapshot(op, false); return true;
      case DriverOpKind::kRestore: RunSnapshot(op, true); return true;
      case DriverOpKind::kSwapData: RunSwapData(op); return true;
      case DriverOpKind::kSwapControl: RunSwapControl(op); return true;
      case DriverOpKind::kHostMode:
        host.throttleTicks = kThrottles[op.a % 4];
        host.fill = kFills[op.b % 3];
        Step(Format("host: throttle %d ticks, fill 0x%02X", host.throttleTicks, host.fill));
        return true;
      case DriverOpKind::kFailNext: {
        const CallbackEntry& cb = kCallbacks[op.a % kCallbackCount];
        host.failSelector = cb.selector;
        host.failCode = kFailCodes[op.b % 5];
        host.failAfter = op.c % 16;
        Step(Format("host: %s answers %d after %d more calls", FourCC(cb.selector).c_str(),
                    host.failCode, host.failAfter));
        return true;
      }
      case DriverOpKind::kCount: break;
    }
    return true;
  }
};

// ------------------------------------------------------------- generation

struct Rng {
  uint64_t s;
  uint64_t Next() {  // splitmix64
    uint64_t z = (s += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  uint8_t Byte() { return uint8_t(Next() >> 56); }
  uint32_t Below(uint32_t n) { return uint32_t(Next() % n); }
  bool Chance(double p) { return double(Next() >> 11) * 0x1.0p-53 < p; }
  double Uniform(double lo, double hi) { return lo + (hi - lo) * double(Next() >> 11) * 0x1.0p-53; }
  std::vector<uint8_t> Bytes(size_t maxCount) {
    std::vector<uint8_t> out(Below(uint32_t(maxCount) + 1));
    for (uint8_t& b : out) b = Byte();
    return out;
  }
};

DriverOp MakeOp(DriverOpKind kind, uint8_t a = 0, uint8_t b = 0, uint8_t c = 0, uint8_t d = 0,
                std::vector<uint8_t> bytes = {}) {
  DriverOp op;
  op.kind = kind;
  op.a = a, op.b = b, op.c = c, op.d = d;
  op.bytes = std::move(bytes);
  return op;
}
DriverOp Command(uint8_t index, uint8_t sizeMode = 0, uint8_t offset = 0,
                 std::vector<uint8_t> tail = {}) {
  return MakeOp(DriverOpKind::kCommand, index, sizeMode, offset, 0, std::move(tail));
}
DriverOp SetDouble(const char* field, double v) {
  return MakeOp(DriverOpKind::kSetField, FieldIndex(field), kDoubleCount, 0, 0, RawBytes(v));
}
DriverOp SetInt(const char* field, int32_t v) {
  return MakeOp(DriverOpKind::kSetField, FieldIndex(field), kIntCount, 0, 0, RawBytes(v));
}
DriverOp Frame(uint8_t move = 0, uint8_t amount = 0, uint8_t step = 0) {
  return MakeOp(DriverOpKind::kFrame, move, amount, step);
}

// Fields whose extreme values make a frame expensive (huge windows, pools or
// emission counts), and whether a value is one of those.
bool Costly(const SettingsField& f, double v) {
  std::string name = f.name;
  if (name == "maxParticles") return v > 256;
  if (name == "lifeTime" || name == "lifeTimeErr") return v > 100;
  if (name == "emitFrequency" || name == "emitErr") return std::fabs(v) > 1e4;
  return false;
}

DriverOp RandomSetField(Rng& rng, bool extreme) {
  for (;;) {
    uint8_t a = uint8_t(rng.Below(kFieldCount));
    const SettingsField& f = kFields[a];
    size_t count = f.isDouble ? kDoubleCount : kIntCount;
    if (extreme && rng.Chance(0.2))  // raw bytes: anything at all
      return MakeOp(DriverOpKind::kSetField, a, uint8_t(count), 0, 0, rng.Bytes(8));
    uint8_t b = uint8_t(rng.Below(uint32_t(count)));
    double v = f.isDouble ? kExtremeDoubles[b] : kExtremeInts[b];
    if (extreme || !Costly(f, v)) return MakeOp(DriverOpKind::kSetField, a, b);
  }
}

DriverOp RandomSetup(Rng& rng, bool extreme) {
  uint8_t step = uint8_t(extreme ? rng.Below(kSetupStepCount + 1) : rng.Below(kCheapSetupSteps));
  uint8_t time = uint8_t(rng.Below(kSetupTimeCount + (extreme ? 2 : 1)));
  uint8_t index = uint8_t(rng.Below(kSetupIndexCount));
  uint8_t matrices = uint8_t(rng.Below(6) | (rng.Chance(0.7) ? 128 : 0));
  return MakeOp(DriverOpKind::kSetup, index, time, step, matrices, rng.Bytes(24));
}

DriverOp RandomCommand(Rng& rng, bool extreme) {
  uint8_t index = uint8_t(rng.Below(kCommandCount));
  std::vector<uint8_t> tail = rng.Bytes(extreme ? 64 : 8);  // no raw frame step unless extreme
  if (index == kCheckIndex && rng.Chance(0.5))
    tail = RawBytes(kCommandTable[rng.Below(kCommandCount)].code);
  return Command(index, uint8_t(rng.Below(kSizeModeCount)), rng.Byte(), std::move(tail));
}

}  // namespace

// ------------------------------------------------------------------ public

std::string CheckPoolLists(const uint8_t* control, int32_t controlSize, const uint8_t* data,
                           int32_t dataSize) {
  if (control == nullptr || controlSize < kControlSize)
    return Format("the settings block holds %d bytes", controlSize);
  ControlDataRec c;
  std::memcpy(&c, control, sizeof c);
  if (c.maxParticles < 1) return Format("maxParticles is %d", c.maxParticles);
  int64_t need = kPluginDataSize + int64_t(kParticleRecSize) * c.maxParticles;
  if (data == nullptr || dataSize < need)
    return Format("the working block holds %d bytes, %" PRId64 " needed for %d slots", dataSize,
                  need, c.maxParticles);
  std::vector<uint8_t> owner(size_t(c.maxParticles), 0);
  struct {
    const char* name;
    int32_t head;
    int32_t length;
  } lists[2] = {{"active", c.firstActive, 0}, {"free", c.firstInactive, 0}};
  for (uint8_t mark = 1; mark <= 2; ++mark) {
    auto& list = lists[mark - 1];
    for (int32_t i = list.head; i != -1;) {
      if (i < 0 || i >= c.maxParticles)
        return Format("the %s list leaves the pool of %d slots: %s %d after %d slots", list.name,
                      c.maxParticles, list.length == 0 ? "head" : "link", i, list.length);
      if (owner[size_t(i)] != 0)
        return Format("slot %d is reached again on the %s list after %d slots", i, list.name,
                      list.length);
      owner[size_t(i)] = mark;
      list.length += 1;
      std::memcpy(&i, data + kPluginDataSize + size_t(i) * kParticleRecSize +
                          offsetof(ParticleRec, link), sizeof i);
    }
  }
  if (lists[0].length + lists[1].length != c.maxParticles)
    return Format("%d of %d slots are on neither list",
                  c.maxParticles - lists[0].length - lists[1].length, c.maxParticles);
  if (c.particleCount != lists[0].length)
    return Format("particleCount is %d, the active list holds %d", c.particleCount,
                  lists[0].length);
  return {};
}

std::vector<uint8_t> EncodeScenario(const DriverScenario& scenario) {
  std::vector<uint8_t> out;
  for (const DriverOp& op : scenario.ops) {
    size_t n = std::min<size_t>(op.bytes.size(), 255);
    out.insert(out.end(), {uint8_t(op.kind), op.a, op.b, op.c, op.d, uint8_t(n)});
    out.insert(out.end(), op.bytes.begin(), op.bytes.begin() + ptrdiff_t(n));
  }
  return out;
}

DriverScenario DecodeScenario(const uint8_t* data, size_t size) {
  DriverScenario scenario;
  ByteReader in{data, size};
  while (in.n > 0 && scenario.ops.size() < kDriverMaxOps) {
    DriverOp op;
    op.kind = DriverOpKind(in.U8() % uint8_t(DriverOpKind::kCount));
    op.a = in.U8(), op.b = in.U8(), op.c = in.U8(), op.d = in.U8();
    size_t n = in.U8();
    n = std::min(n, in.n);
    op.bytes.assign(in.p, in.p + n);
    in.p += n, in.n -= n;
    scenario.ops.push_back(std::move(op));
  }
  return scenario;
}

DriverVerdict RunScenario(const DriverScenario& scenario) {
  ResetPlugin();
  gHangFired = false;
  Runner runner;
  gHost = &runner.host;
  gStats.scenarios += 1;
  // Several commands that the host has to cancel add up; the budget keeps a
  // whole session well inside the fuzzer's time limit per input.
  const Clock::time_point start = Clock::now();
  for (const DriverOp& op : scenario.ops)
    if (Seconds(Clock::now() - start) > kDriverSessionSeconds || !runner.Run(op)) break;
  gHost = nullptr;
  ResetPlugin();  // nothing may point into the blocks freed with the runner
  gStats.failures += !runner.verdict.ok;
  return runner.verdict;
}

DriverVerdict RunParticleScenario(const uint8_t* data, size_t size) {
  return RunScenario(DecodeScenario(data, size));
}

DriverScenario GenerateScenario(uint64_t seed, bool extreme) {
  Rng rng{seed};
  DriverScenario s;
  auto& ops = s.ops;
  if (rng.Chance(0.9)) ops.push_back(Command(kInitIndex));
  if (rng.Chance(0.4))
    ops.push_back(MakeOp(DriverOpKind::kHostMode, rng.Byte(), rng.Byte()));
  // A small pool and a short life keep the replay window to a few frames.
  ops.push_back(SetInt("maxParticles", int32_t(1 + rng.Below(rng.Chance(0.2) ? 3 : 48))));
  ops.push_back(SetDouble("lifeTime", rng.Uniform(0.05, 1.5)));
  if (rng.Chance(0.5)) ops.push_back(SetDouble("emitFrequency", rng.Uniform(5, 300)));
  if (rng.Chance(0.3)) ops.push_back(SetDouble("lifeTimeErr", rng.Uniform(-0.5, 0.5)));
  if (rng.Chance(0.3)) ops.push_back(SetDouble("bounceFactor", rng.Uniform(-1, 1.5)));
  for (uint32_t i = 0, n = 4 + rng.Below(16); i < n; ++i) {
    uint32_t pick = rng.Below(100);
    if (pick < 45) {
      uint8_t move = uint8_t(rng.Chance(0.6) ? 0 : rng.Below(8));
      ops.push_back(Frame(move, rng.Byte(), uint8_t(rng.Chance(0.7) ? 0 : rng.Below(8))));
    } else if (pick < 53) {
      ops.push_back(RandomCommand(rng, extreme));
    } else if (pick < 60) {
      ops.push_back(RandomSetup(rng, extreme));
    } else if (pick < 70) {
      ops.push_back(RandomSetField(rng, extreme));
    } else if (pick < 76) {
      ops.push_back(MakeOp(DriverOpKind::kSetLinks, rng.Byte(), 0, 0, 0, rng.Bytes(12)));
    } else if (pick < 80) {
      ops.push_back(MakeOp(DriverOpKind::kSnapshot, rng.Byte()));
    } else if (pick < 85) {
      ops.push_back(MakeOp(DriverOpKind::kRestore, rng.Byte()));
    } else if (pick < 89) {
      ops.push_back(MakeOp(DriverOpKind::kSwapData, rng.Byte(), rng.Byte(), rng.Byte(), 0,
                           rng.Bytes(16)));
    } else if (pick < 92) {
      ops.push_back(MakeOp(DriverOpKind::kSwapControl, rng.Byte(), 0, rng.Byte(), 0,
                           extreme ? rng.Bytes(32) : std::vector<uint8_t>{}));
    } else if (pick < 96) {
      ops.push_back(MakeOp(DriverOpKind::kFailNext, rng.Byte(), rng.Byte(), rng.Byte()));
    } else if (pick < 98) {
      ops.push_back(MakeOp(DriverOpKind::kHostMode, rng.Byte(), rng.Byte()));
    } else {
      ops.push_back(Command(kGenerateIndex));
    }
  }
  return s;
}

std::vector<std::pair<std::string, DriverScenario>> SeedScenarios() {
  using K = DriverOpKind;
  const DriverOp init = Command(kInitIndex), generate = Command(kGenerateIndex);
  auto frames = [](int n, uint8_t step = 0) {
    return std::vector<DriverOp>(size_t(n), Frame(0, 0, step));
  };
  auto join = [](std::initializer_list<std::vector<DriverOp>> parts) {
    DriverScenario s;
    for (const auto& part : parts) s.ops.insert(s.ops.end(), part.begin(), part.end());
    return s;
  };
  auto setField = [](const char* name, uint8_t entry) {
    return MakeOp(K::kSetField, FieldIndex(name), entry);
  };
  const DriverOp small = SetInt("maxParticles", 8), shortLife = SetDouble("lifeTime", 0.5);
  std::vector<std::pair<std::string, DriverScenario>> seeds = {
      {"default-frames", join({{init}, frames(12)})},
      {"backwards-jump", join({{init, small, shortLife}, frames(8), {Frame(4, 3), Frame(0)}})},
      {"changed-step", join({{init, small, shortLife}, frames(4), frames(3, 4)})},
      {"far-jump", join({{init, small, shortLife}, frames(3), {Frame(7, 2), Frame(6, 5)}})},
      {"stale-snapshot",
       join({{init, small, shortLife}, frames(4), {MakeOp(K::kSnapshot, 1)}, frames(6),
             {MakeOp(K::kRestore, 1), generate}, frames(2)})},
      {"corrupted-links",
       join({{init, small, shortLife}, frames(5),
             {MakeOp(K::kSetLinks, 3, 0, 0, 0, {0, 3, 1, 0, 2, 9, 7, 6}), generate}, frames(2)})},
      {"corrupted-heads",
       join({{init, small, shortLife}, frames(4), {SetInt("firstActive", 8), generate},
             {SetInt("firstInactive", INT32_MIN), SetInt("particleCount", -5), generate},
             frames(1)})},
      // Table entries: 3 is -1, 7 is 1e300, 10 is -infinity, 11 not-a-number.
      {"extreme-settings",
       join({{init, small, shortLife, setField("initVelocity", 7), setField("airResistance", 3),
              setField("gravityYDir", 11)},
             frames(3),
             {setField("bounceFactor", 3), setField("groundLevel", 10), setField("initAngle", 7)},
             frames(2), {setField("lifeTime", 11)}, frames(1)})},
      {"huge-window", join({{init, small, setField("lifeTime", 7)}, frames(2)})},
      {"huge-pool",
       join({{init, setField("maxParticles", 16), shortLife}, frames(2),
             {setField("maxParticles", 14)}, frames(1)})},
      {"extreme-setup",
       join({{init, small, shortLife},
             {MakeOp(K::kSetup, 8, 0, 2, 128), MakeOp(K::kSetup, 10, 4, 5, 128),
              MakeOp(K::kSetup, 0, 8, 4, 132), MakeOp(K::kSetup, 3, 0, 8, 128)},
             frames(2)})},
      {"wrong-sizes",
       join({{init},
             {Command(kGenerateIndex, 6, 3), Command(kSetupIndex, 7), Command(2, 8),
              Command(kCheckIndex, 0, 0, RawBytes(kCmdGenerate)), Command(4, 10, 7),
              Command(8, 9, 255), Command(14), Command(kGenerateIndex, 9, 20),
              Command(kInitIndex, 11)},
             frames(2)})},
      {"swapped-blocks",
       join({{init, small, shortLife}, frames(3),
             {MakeOp(K::kSwapData, 0, 3, 5, 0, {0xFF, 0x7F, 0x00, 0x80}), generate},
             {MakeOp(K::kSwapData, 2, 1), generate, MakeOp(K::kSwapData, 5, 0), generate},
             {MakeOp(K::kSwapControl, 4), generate, MakeOp(K::kSwapControl, 3), generate},
             frames(2)})},
      {"host-failures",
       join({{init, small, shortLife, MakeOp(K::kHostMode, 3)}, frames(3),
             {MakeOp(K::kFailNext, 4, 0, 2)}, frames(2), {MakeOp(K::kFailNext, 2, 1)}, frames(2),
             {MakeOp(K::kFailNext, 0, 1), SetInt("maxParticles", 20)}, frames(2)})},
  };
  return seeds;
}

const DriverStatistics& DriverStats() { return gStats; }

std::string FormatDriverStats() {
  return Format("particle driver: %" PRIu64 " sessions, %" PRIu64 " commands (%" PRIu64
                " GENM), %" PRIu64 " cancelled by the host, %" PRIu64
                " failed; slowest command %.3f s: %s\n",
                gStats.scenarios, gStats.commands, gStats.generates, gStats.cancels,
                gStats.failures, gStats.longestSeconds, gStats.longestCommand.c_str());
}
