#include "ParticleDriver.h"

#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>

#include "ParticleEngine.h"
#include "text/System.h"

namespace {

using Clock = std::chrono::steady_clock;
using K = DriverOpKind;

constexpr double kCommandLimit = 5.0;    // seconds: a command that returns later fails
constexpr int kHangLimit = 8;            // one still running then aborts the process
constexpr double kSessionLimit = 4.0;    // no step of a session starts later
constexpr double kCancelAfter = 1.0;     // the host cancels a command after this long ...
constexpr int32_t kCancelReports = 200;  // ... or after this many reports
constexpr int32_t kBlockCap = 16 << 20;  // larger allocations are refused
constexpr int32_t kHeadSize = sizeof(PluginInfoRec), kControlSize = sizeof(ControlDataRec);
constexpr double kInf = __builtin_inf(), kNaN = __builtin_nan(""), kTiny = 4.9406564584124654e-324;

struct { unsigned long sessions = 0, commands = 0, cancels = 0; double longest = 0; } gStats;
std::string gSlowest;  // the longest command

template <typename... Args>
std::string Format(const char* format, Args... args) {
  char buffer[512];
  std::snprintf(buffer, sizeof buffer, format, args...);
  return buffer;
}

double Since(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

// ------------------------------------------------------------------ tables

// Values of settings fields and frame set-ups.  The first kCheap keep a frame
// cheap in any field (no huge pool, replay window or emission count).
const double kDoubles[] = {1.0 / 30, 0.03333333, 0.5, 1.0, 0.0, -0.0, -1.0, -1.0 / 30, 100.0,
                           1e-3, -1e-300, -kTiny, -1e9, -1e300, -kInf, kNaN, -kNaN,
                           -2147483649.0, 1e-6, 1e-9, 1e-300, kTiny, 2.2250738585072009e-308,
                           1e9, 1e300, 1.7976931348623157e308, kInf, 2147483648.0};
const int32_t kInts[] = {0, 1, -1, -2, 2, 3, 17, 64, INT32_MIN, INT32_MIN + 1, INT32_MAX,
                         INT32_MAX - 1, kMaxParticleLimit, kMaxParticleLimit + 1,
                         int32_t(kParticleOwner), int32_t(MakeIFF("TRAP")), 0x03000000, 300,
                         1000, 100000, (kBlockCap - kPluginDataSize) / kParticleRecSize};
constexpr uint8_t kCheapDoubles = 18, kCheapInts = 17;
const uint8_t kFills[] = {0xA5, 0x00, 0xFF};
const IFFType kCallbacks[] = {kHostAllocate, kHostModelReset, kHostStatus,
                              kHostAddGroup, kHostAddVertex,  kHostAddFacet};
const int32_t kFailCodes[] = {kPluginUserCanceled, kPluginMemoryError, kPluginOutOfSequence,
                              kPluginUnsupportedFeature, -1};

// The fourteen commands the plug-in knows, then a few it does not.
const struct { IFFType code; int32_t size; } kCommands[] = {
    {kCmdInitialize, sizeof(PluginInitializeRec)}, {kCmdFinish, sizeof(PluginFinishRec)},
    {kCmdInformation, sizeof(PluginInformationRec)}, {kCmdCheck, sizeof(PluginCheckRec)},
    {kCmdDescribe, sizeof(PluginDescribeRec)}, {kCmdInterface, sizeof(PluginInterfaceRec)},
    {kCmdSetup, sizeof(PluginModelSetupRec)}, {kCmdGenerate, sizeof(PluginModelGenerateRec)},
    {kCmdGINF, sizeof(PluginModelGINFRec)}, {kCmdGATR, sizeof(PluginModelGATRRec)},
    {kCmdGBLR, sizeof(PluginModelGBLRRec)}, {kCmdTMAP, sizeof(PluginModelTMAPRec)},
    {kCmdBMAP, sizeof(PluginModelBMAPRec)}, {kCmdRMAP, sizeof(PluginModelRMAPRec)},
    {MakeIFF("QUIT"), kHeadSize}, {MakeIFF("genm"), sizeof(PluginModelGenerateRec)},
    {kHostAllocate, 64}};
constexpr uint8_t kInit = 0, kCheck = 3, kInterface = 5, kSetup = 6, kGenerate = 7, kKnown = 14, kRight = 5,
                  kCommandCount = std::size(kCommands);

// ------------------------------------------------------------------ values

struct ByteReader {
  const uint8_t* p;  // the next byte and how many are left
  size_t n;
  uint8_t U8() { return n == 0 ? 0 : (--n, *p++); }
  template <typename T>
  T Raw() {  // missing bytes read as 0
    T v;
    for (size_t i = 0; i < sizeof v; ++i) reinterpret_cast<uint8_t*>(&v)[i] = U8();
    return v;
  }
};

// A table entry, or a raw value for the selector just past the table.
template <typename T, size_t N>
T Pick(const T (&table)[N], unsigned selector, ByteReader& raw) {
  return selector % (N + 1) < N ? table[selector % (N + 1)] : raw.Raw<T>();
}

template <typename T>
std::vector<uint8_t> RawBytes(const T& v) {
  return {reinterpret_cast<const uint8_t*>(&v), reinterpret_cast<const uint8_t*>(&v + 1)};
}

// Each 4-byte word of the settings record is a field, but the doubles
// between the owner fields and lastFrameIndex count once.
bool DoubleAt(size_t at) { return at >= 8 && at < offsetof(ControlDataRec, lastFrameIndex); }
size_t FieldAt(uint8_t a) {
  const size_t at = size_t(a % (kControlSize / 4)) * 4;
  return DoubleAt(at) ? at & ~size_t(7) : at;
}

uint8_t* LinkAt(uint8_t* data, int32_t slot) {
  return data + kPluginDataSize + size_t(slot) * kParticleRecSize + offsetof(ParticleRec, link);
}

// ------------------------------------------------------------------- host

// A host-owned block: a vector of exactly its size, so that the sanitizer
// sees any access past it, and no storage at all for size 0.  `keep`: the
// bytes that fit are copied from it, as a reallocation does; with garbage
// instead the block cycles through it (a congruential sequence when empty).
using Block = std::vector<uint8_t>;
Block NewBlock(int64_t size, uint8_t fill, const Block* keep = nullptr,
               const std::vector<uint8_t>* garbage = nullptr, uint32_t seed = 0) {
  Block b(size_t(std::max<int64_t>(size, 0)), fill);
  if (keep) std::copy_n(keep->begin(), std::min(keep->size(), b.size()), b.begin());
  for (size_t i = 0; garbage && i < b.size(); ++i)
    b[i] = garbage->empty() ? uint8_t((seed = seed * 1103515245u + 12345u) >> 24)
                            : (*garbage)[i % garbage->size()];
  return b;
}
int32_t Size(const Block& b) { return int32_t(b.size()); }

struct Host {
  Block control, data;
  uint8_t fill = kFills[0];
  int32_t throttle = 0;
  int32_t refusal = 0;  // how "ALOC" says no: see HostProc
  // The call of failSelector after failAfter more answers failCode.
  IFFType failSelector = 0; int32_t failCode = 0, failAfter = 0;
  struct Command {  // the command in progress
    Clock::time_point start = Clock::now();
    int32_t reports = 0, groups = 0, vertices = 0, facets = 0;
    std::string fault;  // a callback that did not name this host
  } now;
};
Host* gHost = nullptr;

int32_t HostProc(IFFType selector, int32_t size, void* record) {
  Host* h = gHost;
  void* reference = nullptr;
  if (record != nullptr && size >= int32_t(sizeof reference))
    std::memcpy(&reference, record, sizeof reference);
  if (reference != h) return h->now.fault = Format("reference %p", reference), kPluginBadParameters;
  if (std::find(std::begin(kCallbacks), std::end(kCallbacks), selector) == std::end(kCallbacks))
    return kPluginUnsupportedCommand;  // no memory services here
  int32_t answer = kPluginNoError;
  if (selector == h->failSelector && h->failAfter-- == 0) h->failSelector = 0, answer = h->failCode;
  if (selector == kHostAllocate) {
    auto& r = *static_cast<HostAllocateRec*>(record);
    const int32_t sizes[] = {r.theControlDataSize, r.thePluginDataSize};
    if (answer == kPluginNoError && (std::min(sizes[0], sizes[1]) < 0 || std::max(sizes[0], sizes[1]) > kBlockCap))
      answer = kPluginMemoryError;
    if (answer == kPluginNoError)
      h->control = NewBlock(sizes[0], h->fill, &h->control), h->data = NewBlock(sizes[1], h->fill, &h->data);
    // A refusal in the host's style: its blocks written back, the request
    // left as the plug-in filled it or zeroed, or a claimed success with the
    // blocks it holds.  The command's head must name those blocks afterwards.
    if (answer == kPluginNoError || h->refusal == 0 || h->refusal == 3)
      r = {h, h->control.data(), Size(h->control), h->data.data(), Size(h->data)};
    else if (h->refusal == 2)
      r = {h, nullptr, 0, nullptr, 0};
    return h->refusal == 3 ? kPluginNoError : answer;
  }
  if (answer != kPluginNoError) return answer;
  if (selector == kHostStatus) {  // a user who waits a second, or 200 reports, cancels
    if (h->throttle > 0) static_cast<HostStatusPtr>(record)->theStatusTick = int32_t(TickCount() + h->throttle);
    if (++h->now.reports <= kCancelReports && Since(h->now.start) <= kCancelAfter) return 0;
    gStats.cancels += 1;
    return kPluginUserCanceled;
  }
  h->now.groups += selector == kHostAddGroup;
  h->now.facets += selector == kHostAddFacet;
  if (selector == kHostAddVertex)
    static_cast<HostModelAddVertexRec*>(record)->theIndex = h->now.vertices++;
  return kPluginNoError;
}

PluginInfoRec Head(Host& h) {  // the blocks the host holds
  return {h.control.data(), Size(h.control), h.data.data(), Size(h.data), &HostProc, &h};
}

// A command that never returns cannot be judged after the fact: past
// kHangLimit seconds of processor time a timer prints what was running and
// aborts.  (libFuzzer keeps the real-time timer for its own time limit.)
char gHangReport[16384];
void OnHang(int) {
  [[maybe_unused]] const ssize_t n = write(2, gHangReport, strnlen(gHangReport, sizeof gHangReport));
  std::abort();
}
void Watch(const std::string& report) {  // empty: the command returned
  [[maybe_unused]] static const auto installed = std::signal(SIGPROF, OnHang);
  if (!report.empty()) std::snprintf(gHangReport, sizeof gHangReport, "%s", report.c_str());
  const itimerval timer{{0, 0}, {report.empty() ? 0 : kHangLimit, 0}};
  setitimer(ITIMER_PROF, &timer, nullptr);
}

// The plug-in as just loaded, so that sessions do not depend on each other.
void ResetPlugin() {
  result = 0, theStatusRec = HostStatusRec{}, globalValidation1 = globalValidation2 = 0;
  theControl = nullptr, theData = nullptr, particleData = nullptr, hostProc = nullptr, hostReference = nullptr;
}

// ----------------------------------------------------------------- runner

struct Runner {
  Host host;
  std::string failure, trail;  // the steps so far, one a line
  int32_t frame = 0, answer = 0;  // the frame cursor of "SETM" moves; the last answer
  Block snapshots[4];

  void Step(const std::string& line) { trail += "    " + line + "\n"; }
  ControlDataRec Control() const {  // the settings block, or zeros when there is none
    ControlDataRec c{};
    if (Size(host.control) >= kControlSize) std::memcpy(&c, host.control.data(), sizeof c);
    return c;
  }

  // Sends the host's head and `tail` as a command record, claiming (mode % 10)
  // 0 a short size, 1 zero, 2 a negative one, 3 a larger one, 4 the size with
  // a null record, else the size.  False when a check failed.
  bool Send(uint8_t command, const std::vector<uint8_t>& tail = {}, uint8_t mode = kRight,
            uint8_t offset = 0) {
    const int32_t real = kCommands[command].size;
    const int32_t sizes[] = {real - 1 - offset % real, 0, offset == 255 ? INT32_MIN : -1 - offset,
                             real + 1 + offset, real, real};
    const int32_t claimed = sizes[std::min(mode % 10, 5)];
    const bool null = mode % 10 == 4, refused = command >= kKnown || claimed < real || null;
    std::vector<uint8_t> record = RawBytes(Head(host));
    record.insert(record.end(), tail.begin(),
                  tail.begin() + std::min<ptrdiff_t>(tail.size(), real - kHeadSize));
    record.resize(size_t(real), 0);
    // Exactly the bytes the size claims (all of them for a negative size).
    record.resize(size_t(claimed < 0 ? real : claimed), 0x5A);
    std::unique_ptr<uint8_t[]> buffer(new uint8_t[record.size()]);
    std::copy(record.begin(), record.end(), buffer.get());
    const IFFType code = kCommands[command].code;
    const std::string label = Format("%c%c%c%c size %d%s", char(code >> 24), char(code >> 16),
                                     char(code >> 8), char(code), claimed, null ? " (null record)" : "");

    host.now = {};
    Watch("particle driver: " + label + " still running\n  steps:\n" + trail);
    answer = Main(code, claimed, null ? nullptr : buffer.get());
    const double seconds = Since(host.now.start);
    Watch("");
    gStats.commands += 1;
    if (seconds > gStats.longest) gStats.longest = seconds, gSlowest = label;
    Step(Format("%s -> %d", label.c_str(), answer));

    const int32_t expected = command >= kKnown ? kPluginUnsupportedCommand : kPluginBadParameters;
    const PluginInfoRec head = Head(host);
    const Host::Command& n = host.now;
    const int32_t live = Control().particleCount;
    std::string why = seconds > kCommandLimit ? Format("took %.2f s", seconds) : n.fault;
    if (why.empty() && refused && (answer != expected || !std::equal(record.begin(), record.end(), buffer.get())))
      why = Format("answered %d, not %d, or wrote into the record", answer, expected);
    if (why.empty() && !refused && std::memcmp(buffer.get(), &head, sizeof head) != 0)
      why = "left a head that names blocks the host does not hold";
    if (why.empty() && !refused && command == kGenerate && answer == kPluginNoError)
      why = CheckPoolLists(host.control.data(), Size(host.control), host.data.data(), Size(host.data));
    // With the latch clear, one vertex and facet per live particle in one group.
    if (why.empty() && command == kGenerate && answer == kPluginNoError && result == 0 &&
        (n.vertices != live || n.facets != live || n.groups != (live > 0)))
      why = Format("%d groups, %d vertices, %d facets for %d particles", n.groups, n.vertices, n.facets, live);
    if (!why.empty()) failure = label + ": " + why + "\n  steps:\n" + trail;
    return why.empty();
  }

  // "SETM", then "GENM" when it succeeded and d has 128.  The frame index
  // moves the cursor (next, same, back, ahead past a short window, far ahead,
  // to the start) or comes from the table; the time is index times step or
  // from the table; the matrices are the identity, scaled by 1e300 or raw.
  bool RunSetup(const DriverOp& op, ByteReader& raw) {
    const int64_t moves[] = {int64_t(frame) + 1, frame, int64_t(frame) - 3, int64_t(frame) + 7,
                             int64_t(frame) + 2000, 0};
    PluginModelSetupRec rec{};
    frame = op.a < 6 ? SaturateInt32(moves[op.a]) : Pick(kInts, op.a - 6u, raw);
    const double step = Pick(kDoubles, op.c, raw);
    const double time = op.b == 0 ? frame * step : Pick(kDoubles, op.b - 1u, raw);
    rec.theFrameIndex = frame, rec.theFrameTime = time, rec.theFrameTimeDelta = step;
    Matrix4 m;
    InitMatrix4(&m);
    for (double& e : m.matrixData) e = op.d % 4 == 1 ? e * 1e300 : op.d % 4 == 2 ? raw.Raw<double>() : e;
    std::memcpy(&rec.theGroupMatrix, &m, sizeof m);  // at even, not 8-byte, offsets
    std::memcpy(&rec.theGroupBlurMatrix, &m, sizeof m);
    const std::vector<uint8_t> bytes = RawBytes(rec);
    Step(Format("frame %d time %.17g step %.17g:", frame, time, step));
    return Send(kSetup, {bytes.begin() + kHeadSize, bytes.end()}) &&
           (op.d < 128 || answer != kPluginNoError || Send(kGenerate));
  }

  void RunSetField(const DriverOp& op, ByteReader& raw) {
    const size_t at = FieldAt(op.a), width = DoubleAt(at) ? 8 : 4;
    const double d = width == 8 ? Pick(kDoubles, op.b, raw) : 0;
    const int32_t i = width == 4 ? Pick(kInts, op.b, raw) : 0;
    if (at + width > host.control.size()) return;
    std::memcpy(&host.control[at], width == 8 ? static_cast<const void*>(&d) : &i, width);
    Step(Format("settings +%zu = %.17g", at, width == 8 ? d : i));
  }

  // Changes up to four links, of a list head or any slot, to the slot itself,
  // the active head, the pool size or a table or raw value.
  void RunSetLinks(const DriverOp& op, ByteReader& raw) {
    const int32_t slots = std::max(0, Size(host.data) - kPluginDataSize) / kParticleRecSize;
    const ControlDataRec c = Control();
    for (int k = 0; k <= op.a % 4 && slots > 0; ++k) {
      const uint8_t s = raw.U8(), v = raw.U8();
      int32_t slot = s % 3 == 0 ? c.firstActive : s % 3 == 1 ? c.firstInactive : s % slots;
      slot = slot >= 0 && slot < slots ? slot : s % slots;
      const int32_t near[] = {slot, c.firstActive, c.maxParticles};
      const int32_t link = v % 8 < 3 ? near[v % 8] : Pick(kInts, v / 8u, raw);
      std::memcpy(LinkAt(host.data.data(), slot), &link, sizeof link);
      Step(Format("link of slot %d = %d", slot, link));
    }
  }

  bool Run(const DriverOp& op) {
    if (op.kind > K::kSetup) Step(Format("step %d: %d %d %d %d", int(op.kind), op.a, op.b, op.c, op.d));
    const int64_t right = kPluginDataSize + int64_t(kParticleRecSize) * std::max(1, Control().maxParticles);
    // Working blocks of the right size, a little off either way, too small for
    // the head, none, or larger; settings blocks of none, the right, the
    // older or an odd size.
    const int64_t dataSizes[] = {right, right + op.c % 8, right - 1, right - kParticleRecSize,
                                 right + kParticleRecSize, kPluginDataSize - 1, kPluginDataSize,
                                 0, right * 2, kPluginDataSize + 7 * int64_t(op.c)};
    const int64_t controlSizes[] = {0, kControlSize, sizeof(ControlDataV2Rec), 100};
    Block& shot = snapshots[op.a % 4];
    ByteReader raw{op.bytes.data(), op.bytes.size()};
    switch (op.kind) {
      case K::kCommand: return Send(op.a % kCommandCount, op.bytes, op.b, op.c);
      case K::kSetup: return RunSetup(op, raw);
      case K::kSetField: RunSetField(op, raw); break;
      case K::kSetLinks: RunSetLinks(op, raw); break;
      case K::kSnapshot: shot = host.control; break;
      case K::kRestore: host.control = NewBlock(Size(shot), 0, &shot); break;
      case K::kSwapData:  // filled with a pattern, garbage or the old block's bytes
        if (dataSizes[op.a % 10] <= kBlockCap)
          host.data = NewBlock(dataSizes[op.a % 10], kFills[op.b % 5 % 3], op.b % 5 == 4 ? &host.data : nullptr,
                               op.b % 5 == 3 ? &op.bytes : nullptr, op.c);
        break;
      case K::kSwapControl:  // garbage: the fields turn it into any stored form
        host.control = NewBlock(controlSizes[op.a % 4], 0, nullptr, &op.bytes, op.c);
        break;
      case K::kHostMode:
        host.throttle = op.a % 4 * 10, host.fill = kFills[op.b % 3], host.refusal = op.c % 4;
        break;
      case K::kFailNext:
        host.failSelector = kCallbacks[op.a % 6], host.failCode = kFailCodes[op.b % 5], host.failAfter = op.c % 16;
        break;
      case K::kCount: break;
    }
    return true;
  }
};

#define PLM_AT(field) offsetof(ControlDataRec, field)
template <typename T>
DriverOp Set(size_t at, T v) {  // a raw value: the selector just past the table
  const size_t raw = DoubleAt(at) ? std::size(kDoubles) : std::size(kInts);
  return {K::kSetField, uint8_t(at / 4), uint8_t(raw), 0, 0, RawBytes(v)};
}
DriverOp Command(uint8_t command, uint8_t mode = kRight, uint8_t offset = 0, std::vector<uint8_t> tail = {}) {
  return {K::kCommand, command, mode, offset, 0, std::move(tail)};
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
  const long long need = kPluginDataSize + (long long)kParticleRecSize * c.maxParticles;
  if (data == nullptr || dataSize < need)
    return Format("the working block holds %d bytes, %lld needed", dataSize, need);
  std::vector<uint8_t> seen(size_t(c.maxParticles), 0);
  int32_t length[2] = {0, 0};
  for (int l = 0; l < 2; ++l)
    for (int32_t i = l == 0 ? c.firstActive : c.firstInactive; i != -1; ++length[l]) {
      if (i < 0 || i >= c.maxParticles)
        return Format("the %s list leaves the pool of %d slots: %s %d", (l ? "free" : "active"),
                      c.maxParticles, length[l] == 0 ? "head" : "link", i);
      if (seen[size_t(i)]++) return Format("slot %d is reached again on the %s list", i, (l ? "free" : "active"));
      std::memcpy(&i, LinkAt(const_cast<uint8_t*>(data), i), sizeof i);
    }
  if (length[0] + length[1] != c.maxParticles)
    return Format("%d of %d slots are on neither list", c.maxParticles - length[0] - length[1],
                  c.maxParticles);
  if (c.particleCount != length[0])
    return Format("particleCount is %d, the active list holds %d", c.particleCount, length[0]);
  return {};
}

std::vector<uint8_t> EncodeScenario(const DriverScenario& scenario) {
  std::vector<uint8_t> out;
  for (const DriverOp& op : scenario) {
    const size_t n = std::min<size_t>(op.bytes.size(), 255);
    out.insert(out.end(), {uint8_t(op.kind), op.a, op.b, op.c, op.d, uint8_t(n)});
    out.insert(out.end(), op.bytes.begin(), op.bytes.begin() + ptrdiff_t(n));
  }
  return out;
}

DriverScenario DecodeScenario(const uint8_t* data, size_t size) {
  DriverScenario scenario;
  ByteReader in{data, size};
  while (in.n > 0 && scenario.size() < kDriverMaxOps) {
    DriverOp op{DriverOpKind(in.U8() % uint8_t(K::kCount)), in.U8(), in.U8(), in.U8(), in.U8()};
    const size_t n = std::min<size_t>(in.U8(), in.n);
    op.bytes.assign(in.p, in.p + n);
    in.p += n, in.n -= n;
    scenario.push_back(std::move(op));
  }
  return scenario;
}

std::string RunScenario(const DriverScenario& scenario) {
  ResetPlugin();
  Runner runner;
  gHost = &runner.host, gStats.sessions += 1;
  // Commands the host had to cancel add up; the budget keeps a session well
  // inside the fuzzer's time limit per input.
  const Clock::time_point start = Clock::now();
  for (const DriverOp& op : scenario)
    if (Since(start) > kSessionLimit || !runner.Run(op)) break;
  gHost = nullptr;
  ResetPlugin();  // nothing may point into the blocks freed with the runner
  return runner.failure;
}

DriverScenario GenerateScenario(uint64_t seed, bool extreme) {
  std::mt19937_64 rng(seed);
  auto below = [&rng](uint32_t n) { return uint8_t(rng() % n); };
  auto chance = [&rng](double p) { return double(rng() >> 11) * 0x1.0p-53 < p; };
  DriverScenario s;
  if (chance(0.9)) s.push_back(Command(kInit));
  if (chance(0.4)) s.push_back({K::kHostMode, below(4), below(3), below(4)});
  // A small pool and a short life keep the replay window to a few frames.
  s.push_back(Set(PLM_AT(maxParticles), int32_t(1 + below(chance(0.2) ? 3 : 48))));
  s.push_back(Set(PLM_AT(lifeTime), 0.05 + below(150) / 100.0));
  static const uint32_t kWeights[] = {10, 52, 10, 6, 4, 5, 4, 3, 2, 4};  // per step kind
  for (uint32_t i = 0, n = 4 + below(16); i < n; ++i) {
    uint32_t pick = below(100), kind = 0;
    while (pick >= kWeights[kind]) pick -= kWeights[kind++];
    DriverOp op{DriverOpKind(kind), below(256), below(256), below(256), below(256)};
    op.bytes.resize(below(extreme ? 65 : 25));
    for (uint8_t& b : op.bytes) b = below(256);
    if (op.kind == K::kSetup && chance(0.85))  // a frame move with an ordinary step
      op = {K::kSetup, chance(0.6) ? uint8_t(0) : below(6), 0, chance(0.7) ? uint8_t(0) : below(4), 128};
    if (op.kind == K::kCommand && !extreme) op.bytes.resize(std::min<size_t>(op.bytes.size(), 8));
    if (op.kind == K::kCommand && op.a % kCommandCount == kCheck && chance(0.5))
      op.bytes = RawBytes(kCommands[below(kCommandCount)].code);
    if (!extreme && (op.kind == K::kSetup || op.kind == K::kSetField)) {
      op.b %= op.kind == K::kSetField && !DoubleAt(FieldAt(op.a)) ? kCheapInts : kCheapDoubles;
      op.c %= kCheapDoubles;
    }
    s.push_back(std::move(op));
  }
  return s;
}

std::vector<std::pair<std::string, DriverScenario>> SeedScenarios() {
  auto move = [](uint8_t a, uint8_t step = 0) { return DriverOp{K::kSetup, a, 0, step, 128}; };
  auto frames = [&](int n, uint8_t step = 0) { return DriverScenario(size_t(n), move(0, step)); };
  auto field = [](size_t at, uint8_t entry) { return DriverOp{K::kSetField, uint8_t(at / 4), entry}; };
  auto seed = [&](std::initializer_list<DriverScenario> parts, bool small = true) {
    DriverScenario s = {Command(kInit)};
    if (small) s.insert(s.end(), {Set(PLM_AT(maxParticles), 8), Set(PLM_AT(lifeTime), 0.5)});
    for (const auto& part : parts) s.insert(s.end(), part.begin(), part.end());
    return s;
  };
  const DriverOp generate = Command(kGenerate);
  // kDoubles: 6 is -1, 14 -infinity, 15 not-a-number, 24 1e300.
  return {
      {"default-frames", seed({frames(12)}, false)},
      {"frame-moves", seed({frames(8), {move(2), move(1)}, frames(3, 2), {move(4, 3), move(5), move(3)}})},
      {"stale-snapshot", seed({frames(4), {{K::kSnapshot, 1}}, frames(6), {{K::kRestore, 1}, generate}})},
      // One particle a frame: after two, free head 2 is linked to the second
      // active slot, so the lists share a tail while their lengths add up.
      {"shared-tail", seed({{Set(PLM_AT(maxParticles), 4), Set(PLM_AT(emitFrequency), 30.0),
                             Set(PLM_AT(emitErr), 0.0)}, frames(2), {{K::kSetLinks, 0, 0, 0, 0, {1, 3}}, generate},
                            frames(1)}, false)},
      {"corrupted-pool", seed({frames(5), {{K::kSetLinks, 3, 0, 0, 0, {0, 3, 1, 0, 2, 9, 7, 6}}, generate,
                               Set(PLM_AT(firstActive), 8), generate, Set(PLM_AT(firstInactive), INT32_MIN),
                               Set(PLM_AT(particleCount), -5), generate}, frames(1)})},
      {"extreme-settings", seed({{field(PLM_AT(initVelocity), 24), field(PLM_AT(airResistance), 6),
                                  field(PLM_AT(gravityYDir), 15)}, frames(3), {field(PLM_AT(bounceFactor), 6),
                                  field(PLM_AT(groundLevel), 14), field(PLM_AT(lifeTime), 15)}, frames(2),
                                 {field(PLM_AT(lifeTime), 24)}, frames(2), {Set(PLM_AT(maxParticles), 300000)},
                                 frames(2), {Set(PLM_AT(maxParticles), kMaxParticleLimit)}, frames(1)})},
      {"extreme-setup", seed({{{K::kSetup, 0, 0, 19, 128}, {K::kSetup, 14, 16, 5, 129}, {K::kSetup, 14, 8, 15, 128},
                               {K::kSetup, 16, 0, 26, 130}, {K::kSetup, 1, 7, 28, 130, RawBytes(1e-2)}}, frames(2)})},
      {"wrong-sizes", seed({{Command(kGenerate, 0, 3), Command(kSetup, 1), Command(2, 2), Command(4, 3, 7),
                             Command(kCheck, kRight, 0, RawBytes(kCmdGenerate)), Command(8, 2, 255),
                             Command(14), Command(kGenerate, 4, 20), Command(kInit, 4)}, frames(2)}, false)},
      {"swapped-blocks", seed({frames(3), {{K::kSwapData, 0, 3, 5, 0, {0xFF, 0x7F, 0x00, 0x80}}, generate,
                               {K::kSwapData, 2, 1}, generate, {K::kSwapData, 5, 2}, generate},
                               {{K::kSwapControl, 2}, Set(0, int32_t(kParticleOwner)), Set(4, 2), generate},
                               {{K::kSwapControl, 1}, Set(0, kInts[15]), Set(4, kInts[16]), generate}, frames(2)})},
      // "ALOC" refused in each style, the request left as filled first.
      {"refusing-host", seed({frames(2), {{K::kHostMode, 0, 0, 1}, Set(PLM_AT(maxParticles), kMaxParticleLimit)},
                              frames(2), {generate, Command(kInterface)}, {{K::kHostMode, 0, 0, 2}}, frames(2),
                              {generate, Command(kInterface), {K::kHostMode, 0, 0, 3}}, frames(2),
                              {generate, Command(kInterface), Set(PLM_AT(maxParticles), 20)}, frames(3)})},
      {"host-failures", seed({{{K::kHostMode, 3}}, frames(3), {{K::kFailNext, 4, 0, 2}}, frames(2),
                              {{K::kFailNext, 2, 1}}, frames(2), {{K::kFailNext, 0, 1}},
                              {Set(PLM_AT(maxParticles), 20)}, frames(2)})},
  };
}

std::string FormatDriverStats() {
  return Format("particle driver: %lu sessions, %lu commands, %lu cancelled by the host; slowest "
                "command %.3f s: %s\n", gStats.sessions, gStats.commands, gStats.cancels,
                gStats.longest, gSlowest.c_str());
}
