// Frame stepping: bring the pool from the frame it holds to the requested
// one, continuing the stored particles or replaying a bounded window.
#include <cmath>
#include <cstring>
#include <type_traits>

#include "Particle.h"
#include "ParticleEngine.h"
#include "host/PluginClient.h"
#include "text/PString.h"
#include "text/RoundUtils.h"

int32_t quietWork = 0;
int32_t runsWithoutClock = 0;

namespace {

// What aging last left in the settings records of recent instances.  A
// record that still shows it holds lists this engine built and kept, so the
// checks made by the walk suffice; any other record (restored by the host,
// moved, or written by someone else) has both lists checked whole before
// they are trusted.
struct PoolMark {
  const void* control;
  const void* data;
  int32_t firstActive, firstInactive, particleCount, maxParticles, lastFrameIndex;
  int32_t zero;                                // fills what would be padding
  uint64_t lastFrameTime, lastFrameTimeDelta;  // bit patterns
};
static_assert(std::has_unique_object_representations_v<PoolMark>,
              "marks are compared bytewise: no padding");
constexpr int kMarkCount = 8;
PoolMark marks[kMarkCount];
int nextMark = 0;

PoolMark MarkOf(const ControlDataRec& c, const PluginDataRec* d) {
  PoolMark m;
  m.control = &c;
  m.data = d;
  m.firstActive = c.firstActive;
  m.firstInactive = c.firstInactive;
  m.particleCount = c.particleCount;
  m.maxParticles = c.maxParticles;
  m.lastFrameIndex = c.lastFrameIndex;
  m.zero = 0;
  std::memcpy(&m.lastFrameTime, &c.lastFrameTime, sizeof m.lastFrameTime);
  std::memcpy(&m.lastFrameTimeDelta, &c.lastFrameTimeDelta, sizeof m.lastFrameTimeDelta);
  return m;
}

PoolMark* FindMark(const void* control) {
  for (PoolMark& m : marks)
    if (m.control == control) return &m;
  return nullptr;
}

bool ListsTrusted(const ControlDataRec& c, const PluginDataRec* d) {
  const PoolMark* m = FindMark(&c);
  const PoolMark now = MarkOf(c, d);
  return m != nullptr && std::memcmp(m, &now, sizeof now) == 0;
}

void KeepMark(const ControlDataRec& c, const PluginDataRec* d) {
  PoolMark* m = FindMark(&c);
  if (m == nullptr) {
    m = &marks[nextMark];
    nextMark = (nextMark + 1) % kMarkCount;
  }
  *m = MarkOf(c, d);
}

}  // namespace

void OfferStatus() {
  quietWork = 0;
  runsWithoutClock = 0;
  if (StatusTime()) UpdateStatus(theStatusRec.theStatusPos, theStatusRec.theStatusValue);
}

void BeginStatus(const char* theUnit, const char* theInfo, int32_t theMax) {
  theStatusRec.theReference = hostReference;
  theStatusRec.theStatusPos = 0.0f;
  PStrCpy(theStatusRec.theStatusUnit, PS(theUnit));
  PStrCpy(theStatusRec.theStatusInfo, PS(theInfo));
  theStatusRec.theStatusMin = 0;
  theStatusRec.theStatusMax = theMax;
  theStatusRec.theStatusValue = 0;
  theStatusRec.theStatusTick = 0;
  quietWork = 0;
  runsWithoutClock = 0;
  UpdateStatus(0.0f, 0);
}

void AgeParticles() {
  ControlDataRec& c = *theControl;
  const PluginDataRec& d = *theData;
  double delta = d.frameTimeDelta;
  // Without a usable frame step there is no window and no interval: the pool
  // stays as it is.
  if (!(delta > 0) || !std::isfinite(delta)) return;

  // Frames from which a particle can still be alive.
  int32_t count = DoubleToInt32(1 + std::floor((c.lifeTime + c.lifeTimeErr) / delta));
  int32_t frame = SaturateInt32(int64_t(d.frameIndex) - count);
  double time = d.frameTime - delta * count;
  int32_t start = frame;

  BeginStatus("Frame", "Aging Particles", count);

  // Continue only from a pool that is valid for a frame inside the window;
  // the replay mark never qualifies, even where the window start saturates.
  // Lists that turn out not to describe the pool are rebuilt by a replay,
  // as if the pool had been marked for one.
  bool resume = c.lastFrameIndex != kNoFrame && c.lastFrameIndex >= frame &&
                c.lastFrameIndex <= d.frameIndex && c.lastFrameTimeDelta == delta;
  if (resume && !ListsTrusted(c, theData)) resume = ParticleListsSound(theControl, theData);
  if (resume)
    resume = CalcParticles(SaturateInt32(int64_t(d.frameIndex) - c.lastFrameIndex), delta);
  if (resume) {
    frame = c.lastFrameIndex;
    time = c.lastFrameTime;
  } else {
    InitParticleList(theControl, theData);
      c.lastFrameTimeDelta = delta;
  }
  c.lastFrameIndex = d.frameIndex;
  c.lastFrameTime = d.frameTime;

  // Intervals that cannot emit are passed over without reseeding: those that
  // end before the emission window opens, and every interval once the window
  // has closed or the pool is full.  None of them would create a particle or
  // send a report, so the result is the same.
  const bool windowed = c.emitStart != c.emitEnd;
  while (frame < d.frameIndex && result == 0) {
    if (PoolFull(theControl) || (windowed && !(c.emitEnd >= time))) break;
    int64_t done = int64_t(frame) - start + 1;
    theStatusRec.theStatusPos = float(double(done) / count);
    theStatusRec.theStatusValue = SaturateInt32(done);
    bool ran = false;
    if (!windowed || time + delta > c.emitStart)
      ran = CreateParticles(frame, SaturateInt32(int64_t(d.frameIndex) - frame), time, delta);
    if (!ran) CountQuietWork();
    time += delta;
    frame += 1;
  }

  if (result == 0) {
    UpdateStatus(1.0f, count);
    KeepMark(c, theData);
  } else {
    InitParticleList(theControl, theData);
  }
}
