// A small ring-of-points model plug-in that keeps the protocol, built once
// per fault in tests/validate/CMakeLists.txt with FAULT set to one of the
// names below; each fault breaks one rule the validator checks.
#include <time.h>

#include <cmath>
#include <cstddef>
#include <cstring>

#include "host/PluginRecords.h"

#define FAULT_NONE 0
#define FAULT_crash_null 1       // INFO writes through a null record
#define FAULT_hang 2             // a long frame jump never ends and offers no STAT
#define FAULT_leak_mmal 3        // the scratch block is never freed
#define FAULT_latch_ignored 4    // a failed ADDV does not stop the frame
#define FAULT_foreign_facet 5    // the last facet names a vertex past its group
#define FAULT_extra_export 6     // a helper is exported beside Main
#define FAULT_short_record 7     // INFO checks only for a head before writing
#define FAULT_negative_size 8    // sizes compared as unsigned: -1 passes
#define FAULT_stale_pointer 9    // the working record's address kept from INIT
#define FAULT_short_block 10     // ALOC's answered sizes ignored
#define FAULT_refused_alloc 11   // a refused ALOC's records used anyway
#define FAULT_no_desc 12         // DESC has no text for 3
#define FAULT_chek_lies 13       // CHEK accepts GINF, GINF answers 2
#define FAULT_shared_state 14    // the seed kept in a global from INIT
#define FAULT_repeat_steps 15    // the same frame again steps once more
#define FAULT_reload_trust 16    // the last frame kept in the settings record, trusted going back
#define FAULT_slow 17            // a long frame jump works 0.8 s before its first STAT
#define FAULT_settings_size 18   // a short stored record repaired in place, full size
#define FAULT_nonfinite 19       // frames from 40 on have a NaN vertex
#define FAULT_bad_counts 20      // a vertex before the group
#define FAULT_fini_first 21      // FINI as the first command dereferences null
#define FAULT_reference 22       // STAT sends a null reference
#define FAULT_cancel_ignored 23  // a cancelled jump works on 1.5 s
#define FAULT_repeat_init 24     // a second INIT answers 5

#ifndef FAULT
#define FAULT FAULT_NONE
#endif
#define HAS(name) (FAULT == FAULT_##name)

#define EXPORT extern "C" __attribute__((visibility("default")))

EXPORT int32_t Main(IFFType theCommand, int32_t theCommandRecSize, void* theCommandRec);

namespace {

#pragma pack(push, 2)
struct Settings {
  IFFType owner;
  int32_t version;
  int32_t count;  // points on the ring
  double radius;
  uint32_t seed;  // jitter of the radius, chosen when defaults are made
  int32_t lastFrame;  // used only by the reload_trust fault
};
struct Working {
  int32_t frame;
  double time, delta;
  int32_t lastFrame;
  int32_t steps;  // frames stepped since the last jump
  int32_t extra;  // the repeat_steps fault's surplus
  int32_t initialised;
};
#pragma pack(pop)
static_assert(sizeof(Settings) == 28, "settings layout");
static_assert(sizeof(Working) == 36, "working layout");

constexpr IFFType kOwner = MakeIFF("RING");
constexpr int32_t kNoFrame = INT32_MIN;

int32_t result = 0;  // the error latch
uint32_t seedsMade = 0;
uint32_t sharedSeed = 0;  // read only by the shared_state fault
#if HAS(stale_pointer)
Working* cachedWorking = nullptr;
#endif
#if HAS(fini_first)
Settings* finishSettings = nullptr;
bool anyCommand = false;
#endif

uint32_t Ticks() {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  uint64_t us = uint64_t(t.tv_sec) * 1000000u + uint64_t(t.tv_nsec) / 1000u;
  return uint32_t(us * 60u / 1000000u);
}

[[maybe_unused]] double Now() {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return double(t.tv_sec) + t.tv_nsec * 1e-9;
}

bool Holds(int32_t size, const void* rec, size_t needed) {
#if HAS(negative_size)
  return rec != nullptr && uint32_t(size) >= needed;  // -1 is 4294967295
#else
  return rec != nullptr && size >= 0 && size_t(size) >= needed;
#endif
}

int32_t Call(const PluginInfoRec& info, IFFType selector, int32_t size, void* rec) {
  if (info.theHostProc == nullptr) return kPluginBadParameters;
  return info.theHostProc(selector, size, rec);
}

HostStatusRec status;

void Status(const PluginInfoRec& info, int32_t value) {
  if (result != 0) return;
  uint32_t tick = uint32_t(status.theStatusTick);
  if (tick != 0 && int32_t(Ticks() - tick) < 0) return;
  status.theReference = HAS(reference) ? nullptr : info.theHostReference;
  status.theStatusValue = value;
  result = Call(info, kHostStatus, sizeof status, &status);
}

void DefaultSettings(Settings* s) {
  s->owner = kOwner;
  s->version = 1;
  s->count = 12;
  s->radius = 1.0;
  s->seed = ++seedsMade * 2654435761u;
  s->lastFrame = kNoFrame;
}

// Keeps a stored record that is this plug-in's, else writes defaults; asks
// the host for records of the right sizes.
int32_t CheckData(PluginInfoRec& info, bool resetWorking) {
  Settings s;
  auto* stored = static_cast<Settings*>(info.theControlData);
  bool ours = stored != nullptr && info.theControlDataSize == int32_t(sizeof s);
#if HAS(settings_size)
  ours = stored != nullptr && info.theControlDataSize >= 4;
#endif
  bool rewrite = !ours || stored->owner != kOwner || stored->version != 1;
  if (!rewrite) {
    std::memcpy(&s, stored, sizeof s);
    if (s.count < 1 || s.count > 1000 || !std::isfinite(s.radius) || std::fabs(s.radius) > 1e6) rewrite = true;
  }
  if (rewrite) DefaultSettings(&s);
#if HAS(settings_size)
  if (stored != nullptr && info.theControlDataSize >= 4 && stored->owner == kOwner) {
    s.lastFrame = kNoFrame;
    std::memcpy(stored, &s, sizeof s);  // repaired in place, whatever its size
    rewrite = false;
  }
#endif
  bool newWorking = info.thePluginData == nullptr || info.thePluginDataSize != int32_t(sizeof(Working));
  if (info.theControlDataSize != int32_t(sizeof s) || info.theControlData == nullptr || newWorking) {
    HostAllocateRec a;
    a.theReference = info.theHostReference;
    a.theControlData = info.theControlData;
    a.theControlDataSize = sizeof s;
    a.thePluginData = info.thePluginData;
    a.thePluginDataSize = sizeof(Working);
    int32_t err = Call(info, kHostAllocate, sizeof a, &a);
    info.theControlData = a.theControlData;
    info.theControlDataSize = a.theControlDataSize;
    info.thePluginData = a.thePluginData;
    info.thePluginDataSize = a.thePluginDataSize;
    if (err != kPluginNoError && !HAS(refused_alloc)) return err;
#if !HAS(short_block)
    // (The refused_alloc fault looks at the blocks only when ALOC succeeded.)
    if ((err == kPluginNoError || !HAS(refused_alloc)) &&
        (info.theControlData == nullptr || info.theControlDataSize < int32_t(sizeof s) ||
         info.thePluginData == nullptr || info.thePluginDataSize < int32_t(sizeof(Working))))
      return kPluginMemoryError;
#endif
    rewrite = true;
    newWorking = true;
  }
  if (rewrite) std::memcpy(info.theControlData, &s, sizeof s);
  if (newWorking || resetWorking) {
    Working w{};
    w.lastFrame = kNoFrame;
    w.delta = 1.0 / 30;
    std::memcpy(info.thePluginData, &w, sizeof w);
  }
  return kPluginNoError;
}

Working* WorkingOf(PluginInfoRec& info) {
#if HAS(stale_pointer)
  if (cachedWorking != nullptr) return cachedWorking;
#endif
  return static_cast<Working*>(info.thePluginData);
}

int32_t Initialize(int32_t size, void* rec) {
  if (!Holds(size, rec, sizeof(PluginInitializeRec))) return kPluginBadParameters;
  PluginInfoRec& info = static_cast<PluginInitializeRec*>(rec)->theInfo;
  if (info.theHostProc == nullptr) return kPluginBadParameters;
#if HAS(repeat_init)
  auto* w = static_cast<Working*>(info.thePluginData);
  if (w != nullptr && info.thePluginDataSize == int32_t(sizeof(Working)) && w->initialised)
    return kPluginOutOfSequence;
#endif
  int32_t err = CheckData(info, true);
  if (err != kPluginNoError) return err;
  static_cast<Working*>(info.thePluginData)->initialised = 1;
#if HAS(shared_state)
  sharedSeed = static_cast<Settings*>(info.theControlData)->seed;
#endif
#if HAS(stale_pointer)
  cachedWorking = static_cast<Working*>(info.thePluginData);
#endif
#if HAS(fini_first)
  finishSettings = static_cast<Settings*>(info.theControlData);
#endif
  return kPluginNoError;
}

int32_t Finish(int32_t size, void* rec) {
#if HAS(fini_first)
  if (!anyCommand) finishSettings->lastFrame = kNoFrame;  // set by INIT only
#endif
  if (!Holds(size, rec, sizeof(PluginFinishRec))) return kPluginBadParameters;
  return kPluginNoError;
}

void Text(uint8_t* field, const char* text) {
  size_t n = std::strlen(text);
  field[0] = uint8_t(n);
  std::memcpy(field + 1, text, n);
}

int32_t Information(int32_t size, void* rec) {
#if HAS(crash_null)
  if (size < int32_t(sizeof(PluginInformationRec))) return kPluginBadParameters;
#elif HAS(short_record)
  if (!Holds(size, rec, sizeof(PluginInfoRec))) return kPluginBadParameters;
#else
  if (!Holds(size, rec, sizeof(PluginInformationRec))) return kPluginBadParameters;
#endif
  auto* r = static_cast<PluginInformationRec*>(rec);
  r->thePluginType = MakeIFF("RING");
  r->thePluginVersion = 1;
  Text(r->thePluginName, "Test Ring");
  Text(r->thePluginCopyright, "No rights reserved.");
  Text(r->thePluginAuthor, "Validator tests");
  Text(r->thePluginDescription, "A ring of points that breaks one rule at a time.");
  r->thePluginPermission = 3;
  return kPluginNoError;
}

const IFFType kCommands[] = {kCmdInitialize, kCmdFinish, kCmdInformation, kCmdCheck, kCmdDescribe,
                             kCmdSetup, kCmdGenerate
#if HAS(chek_lies)
                             , kCmdGINF
#endif
};

int32_t Check(int32_t size, void* rec) {
  if (!Holds(size, rec, sizeof(PluginCheckRec))) return kPluginBadParameters;
  IFFType asked = static_cast<PluginCheckRec*>(rec)->theCommand;
  for (IFFType c : kCommands)
    if (c == asked) return kPluginNoError;
  return kPluginBadParameters;
}

const char* const kTexts[] = {"No error", "Out of memory", "Unsupported command", "Bad parameter record",
                              "Cancelled", "Out of sequence", "Missing resource", "", "Unsupported feature"};

int32_t DescribeCode(int32_t size, void* rec) {
  if (!Holds(size, rec, sizeof(PluginDescribeRec))) return kPluginBadParameters;
  auto* r = static_cast<PluginDescribeRec*>(rec);
  int32_t code = r->theResult;
  const char* text = code >= 0 && code <= 8 ? kTexts[code] : "";
  if (HAS(no_desc) && code == kPluginBadParameters) text = "";
  Text(r->theDescription, text);
  return kPluginNoError;
}

int32_t Setup(int32_t size, void* rec) {
  if (!Holds(size, rec, sizeof(PluginModelSetupRec))) return kPluginBadParameters;
  auto* r = static_cast<PluginModelSetupRec*>(rec);
  if (r->theInfo.theHostProc == nullptr) return kPluginBadParameters;
  int32_t err = CheckData(r->theInfo, false);
  if (err != kPluginNoError) return err;
  Working* w = WorkingOf(r->theInfo);
  w->frame = r->theFrameIndex;
  w->time = r->theFrameTime;
  w->delta = r->theFrameTimeDelta;
  HostModelResetRec reset{r->theInfo.theHostReference};
  result = Call(r->theInfo, kHostModelReset, sizeof reset, &reset);
  return kPluginNoError;
}

// Steps from the last frame to this one, offering a STAT now and then; a
// jump of more than 64 frames, or back, starts over from the frame itself,
// so that the steps always count the frames.
void Step(const PluginInfoRec& info, Working* w, Settings* s) {
  int32_t last = HAS(reload_trust) ? s->lastFrame : w->lastFrame;
  int64_t jump = int64_t(w->frame) - last;
#if HAS(hang)
  if (last != kNoFrame && jump > 1000)
    for (volatile int64_t spin = 0; spin >= 0; spin += 0) {
    }
#endif
#if HAS(slow)
  if (last != kNoFrame && jump > 1000) {
    double until = Now() + 0.8;
    while (Now() < until) {
    }
  }
#endif
  status.theStatusTick = 0;
  status.theStatusMin = 0;
  status.theStatusMax = 64;
  Status(info, 0);
#if HAS(reload_trust)
  bool stepping = last != kNoFrame && jump <= 64;  // a jump back continues too
#else
  bool stepping = last != kNoFrame && jump >= 0 && jump <= 64;
#endif
  w->steps = stepping ? w->steps + int32_t(jump) : w->frame;
  if (HAS(repeat_steps) && jump == 0) w->extra += 1;
  for (int32_t k = 0; k < 64 && result == 0; ++k) Status(info, k);
#if HAS(cancel_ignored)
  if (result == kPluginUserCanceled) {
    double until = Now() + 1.5;
    while (Now() < until) {
    }
  }
#endif
  w->lastFrame = w->frame;
  s->lastFrame = w->frame;
}

int32_t Generate(int32_t size, void* rec) {
  if (!Holds(size, rec, sizeof(PluginModelGenerateRec))) return kPluginBadParameters;
  auto* r = static_cast<PluginModelGenerateRec*>(rec);
  PluginInfoRec& info = r->theInfo;
  if (info.theHostProc == nullptr) return kPluginBadParameters;
  int32_t err = CheckData(info, false);
  if (err != kPluginNoError) return err;
  Working* w = WorkingOf(info);
  auto* s = static_cast<Settings*>(info.theControlData);
  Step(info, w, s);

  // Scratch room for the vertex indices, from the host.
  int32_t* indices = nullptr;
  int32_t memory = 0;
  HostMemMallocRec m{info.theHostReference, uint32_t(sizeof(int32_t) * size_t(s->count)), nullptr};
  memory = Call(info, kHostMemMalloc, sizeof m, &m);
  if (memory == kPluginNoError) indices = static_cast<int32_t*>(m.thePtr);

  uint32_t seed = HAS(shared_state) ? sharedSeed : s->seed;
  HostModelAddGroupRec g{info.theHostReference, nullptr, 0, nullptr};
  HostModelAddVertexRec v{};
  v.theReference = info.theHostReference;
#if HAS(bad_counts)
  if (result == 0) result = Call(info, kHostAddVertex, sizeof v, &v);
#endif
  if (result == 0) result = Call(info, kHostAddGroup, sizeof g, &g);
  double phase = w->time + 0.01 * w->steps + 0.1 * w->extra;
  for (int32_t i = 0; i < s->count && result == 0; ++i) {
    double angle = 6.283185307179586 * i / s->count + phase;
    double jitter = 1 + 0.01 * double((seed >> (i % 24)) & 0xFF) / 255;
    double x = s->radius * jitter * std::cos(angle), y = s->radius * jitter * std::sin(angle);
    if (HAS(nonfinite) && w->frame >= 40 && i == 0) y = std::nan("");
    v.thePosition = DCoordinate{x, y, 0};
    v.theBlurPosition = v.thePosition;
    v.theColor.colorValue = 0xFFFFFFFFu;
    int32_t answer = Call(info, kHostAddVertex, sizeof v, &v);
    if (!HAS(latch_ignored)) result = answer;
    if (indices != nullptr) indices[i] = v.theIndex;
    HostModelAddFacetRec f{info.theHostReference, v.theColor, 1, {v.theIndex, 0, 0, 0}};
    if (result == 0) result = Call(info, kHostAddFacet, sizeof f, &f);
  }
  if (result == 0 && indices != nullptr && s->count >= 4) {
    HostModelAddFacetRec f{info.theHostReference, v.theColor, 4, {indices[0], indices[1], indices[2], indices[3]}};
    if (HAS(foreign_facet)) f.theVertices[3] = s->count;
    result = Call(info, kHostAddFacet, sizeof f, &f);
  }
  Status(info, 64);
  if (indices != nullptr && !HAS(leak_mmal)) {
    HostMemFreeRec freeRec{info.theHostReference, indices};
    Call(info, kHostMemFree, sizeof freeRec, &freeRec);
  }
  return kPluginNoError;
}

int32_t Geometry(int32_t size, void* rec) {
  if (!Holds(size, rec, sizeof(PluginModelGINFRec))) return kPluginBadParameters;
  return kPluginUnsupportedCommand;
}

}  // namespace

#if HAS(extra_export)
EXPORT int RingHelper() { return 1; }
#endif

int32_t Main(IFFType theCommand, int32_t theCommandRecSize, void* theCommandRec) {
  int32_t r;
  switch (theCommand) {
    case kCmdInitialize: r = Initialize(theCommandRecSize, theCommandRec); break;
    case kCmdFinish: r = Finish(theCommandRecSize, theCommandRec); break;
    case kCmdInformation: r = Information(theCommandRecSize, theCommandRec); break;
    case kCmdCheck: r = Check(theCommandRecSize, theCommandRec); break;
    case kCmdDescribe: r = DescribeCode(theCommandRecSize, theCommandRec); break;
    case kCmdSetup: r = Setup(theCommandRecSize, theCommandRec); break;
    case kCmdGenerate: r = Generate(theCommandRecSize, theCommandRec); break;
    case kCmdGINF: r = HAS(chek_lies) ? Geometry(theCommandRecSize, theCommandRec) : kPluginUnsupportedCommand; break;
    default: r = kPluginUnsupportedCommand;
  }
#if HAS(fini_first)
  anyCommand = true;
#endif
  return r;
}
