// Frame stepping: bring the pool from the frame it holds to the requested
// one, continuing the stored particles or replaying a bounded window.
#include <cmath>

#include "Particle.h"
#include "ParticleEngine.h"
#include "host/PluginClient.h"
#include "text/PString.h"
#include "text/RoundUtils.h"

int32_t quietWork = 0;
int32_t runsWithoutClock = 0;

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
  // stays as it is, unless its lists do not describe it.
  if (!(delta > 0) || !std::isfinite(delta)) {
    if (!ParticleListsSound(theControl, theData)) InitParticleList(theControl, theData);
    return;
  }

  // Frames from which a particle can still be alive.
  int32_t count = DoubleToInt32(1 + std::floor((c.lifeTime + c.lifeTimeErr) / delta));
  int32_t frame = SaturateInt32(int64_t(d.frameIndex) - count);
  double time = d.frameTime - delta * count;
  int32_t start = frame;

  BeginStatus("Frame", "Aging Particles", count);

  // Continue only from a pool that is valid for a frame inside the window;
  // the replay mark never qualifies, even where the window start saturates.
  // The stored lists are checked as they are walked, the free list after
  // it: lists that do not describe the pool (a settings record the host
  // restored over a newer pool, a block rewritten behind our back) are
  // rebuilt by a replay, as if the pool had been marked for one.
  bool resume = c.lastFrameIndex != kNoFrame && c.lastFrameIndex >= frame &&
                c.lastFrameIndex <= d.frameIndex && c.lastFrameTimeDelta == delta;
  const int32_t steps = SaturateInt32(int64_t(d.frameIndex) - c.lastFrameIndex);
  if (resume && steps == 0) {
    resume = ParticleListsSound(theControl, theData);
  } else if (resume) {
    int32_t activeLast;
    resume = CalcParticles(steps, delta, &activeLast) &&
             (result != 0 || FreeListFits(theControl, theData, activeLast));
  }
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
  } else {
    InitParticleList(theControl, theData);
  }
}
