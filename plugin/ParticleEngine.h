// Internal declarations of the particle plug-in: the settings records'
// defaults and conversions, emission, motion, frame stepping and output.
// Main's side is in Particle.h; the pool and random source in ParticleStore.h.
#ifndef PARTICLE_PARTICLEENGINE_H
#define PARTICLE_PARTICLEENGINE_H

#include <cstdint>

#include "Particle.h"
#include "ParticleRecords.h"
#include "ParticleStore.h"
#include "host/PluginClient.h"
#include "text/RoundUtils.h"

// ---------------------------------------------------------------- settings

void DefaultControl(ControlDataPtr theControlRec);
void DefaultData(PluginDataPtr theData);
// Converts in place a version-3 record written in the other byte order.
void FixControl(ControlDataPtr theControlRec);
void UpdateControl(const ControlDataV2Rec* oldControl, ControlDataPtr newControl);
// A fresh seed from the tick counter.
int32_t NewParticleSeed();

// ---------------------------------------------------------------- emission

// Emits the particles of the frame interval [time, time + dt) that belongs to
// frame `frame` and runs each one numFrames steps, to the generated frame.
// True when at least one particle was run (each run offers a report).
bool CreateParticles(int32_t frame, int32_t numFrames, double time, double dt);
// The emission angle folded into 0..180 degrees, as repeated |a - 360| would.
double FoldAngle(double a);

// ------------------------------------------------------------------ motion

// Advances a particle by frameCount steps, the first dt long, the rest st.
// True when it took a step and had energy left at the start of each.
bool CalcParticle(ParticlePtr theParticle, int32_t frameCount, double st, double dt);
// Advances every active particle numFrames steps of dt and frees the dead.
// False when the walk finds the active list is not the one the record
// describes (an index outside the pool, or a length other than
// particleCount): the pool must be rebuilt.  *activeLast receives the
// list's last slot afterwards (-1 when empty).
bool CalcParticles(int32_t numFrames, double dt, int32_t* activeLast);

// Starts a progress report of the frame: unit, heading and count bounds, the
// host's throttle cleared, and a first report at 0.
void BeginStatus(const char* theUnit, const char* theInfo, int32_t theMax);

// No loop runs long without giving the host a chance to cancel: work that
// offers no report (a motion step, a discarded particle, an interval that
// runs no particle) is counted, and once kQuietWork units have passed since
// the last chance the prepared progress is offered.  Ordinary settings never
// get this far, so the reports the host sees are the usual ones.
constexpr int32_t kQuietWork = 1 << 16;
extern int32_t quietWork;
// Sends the prepared progress when the host's throttle allows it.
void OfferStatus();
inline void CountQuietWork() {
  if (++quietWork >= kQuietWork) OfferStatus();
}

// Whether a per-particle report check should look at the throttle now.  A
// host that takes every report (no tick set) is asked each time; a
// throttling host wants one at most sixty times a second, so its clock is
// read only every kClockStride particles, a few microseconds apart.
constexpr int32_t kClockStride = 256;
extern int32_t runsWithoutClock;
inline bool StatusCheckDue() {
  if (theStatusRec.theStatusTick != 0 && ++runsWithoutClock < kClockStride) return false;
  runsWithoutClock = 0;
  return true;
}
// Offered after each particle's run.
inline void OfferStatusAfterRun() {
  if (StatusCheckDue()) OfferStatus();
}

// ------------------------------------------------------------------ output

// The colour of an energy: the three energy colours blended linearly over
// 0..0.5 and 0.5..1.  Inline: motion colours every particle it moves.
inline uint8_t BlendChannel(uint8_t lower, uint8_t higher, double f1, double f2) {
  return uint8_t(DoubleToInt32(higher * f2 + lower * f1));
}
inline void Blend(const ARGB& lower, const ARGB& higher, double f2, ARGB* theColor) {
  double f1 = 1 - f2;
  theColor->a = BlendChannel(lower.a, higher.a, f1, f2);
  theColor->r = BlendChannel(lower.r, higher.r, f1, f2);
  theColor->g = BlendChannel(lower.g, higher.g, f1, f2);
  theColor->b = BlendChannel(lower.b, higher.b, f1, f2);
}
inline void EnergyColorOf(const ARGB* c, double theEnergy, ARGB* theColor) {
  if (theEnergy <= 0) {
    *theColor = c[0];
  } else if (theEnergy >= 1) {
    *theColor = c[2];
  } else if (theEnergy <= 0.5) {
    Blend(c[0], c[1], theEnergy + theEnergy, theColor);
  } else {
    Blend(c[1], c[2], (theEnergy - 0.5) + (theEnergy - 0.5), theColor);
  }
}
inline void EnergyColor(double theEnergy, ARGB* theColor) {
  EnergyColorOf(theControl->energyColors, theEnergy, theColor);
}
void AddGroup(void* groupReference, uint32_t groupVertexFlags);
int32_t AddBlurVertex(double xp, double yp, double zp, double xb, double yb, double zb);
void AddFacet(ARGB color, int16_t numVertices, int32_t v0, int32_t v1, int32_t v2,
              int32_t v3);

// ------------------------------------------------------------------ helpers

// A 64-bit integer clamped into the signed 32-bit range.
inline int32_t SaturateInt32(int64_t n) {
  return n > INT32_MAX ? INT32_MAX : n < INT32_MIN ? INT32_MIN : int32_t(n);
}

#endif
