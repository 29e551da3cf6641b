// Motion: energy, air resistance, gravity, the move and one ground bounce
// per step.  Particle fields are floats; every statement computes in double
// and narrows what it stores.
#include <cmath>

#include "Particle.h"
#include "ParticleEngine.h"
#include "host/PluginClient.h"

namespace {

// The settings motion reads, copied out of the settings record once per run:
// the colour bytes a step writes could otherwise alias them, and every step
// would read them again.
struct Motion {
  double airResistance, gravityX, gravityY, gravityZ;
  double ground, bounceFactor, bounceFriction;
  ARGB colors[3];
};

inline Motion MotionOf(const ControlDataRec& c) {
  return {c.airResistance,  c.gravityXDir,
          c.gravityYDir,    c.gravityZDir,
          c.groundLevel,    c.bounceFactor,
          c.bounceFriction, {c.energyColors[0], c.energyColors[1], c.energyColors[2]}};
}

// The terms of a step that depend only on its length, formed once for all
// the particles that take a step of that length.
struct StepTerms {
  double dt;
  double speed;       // what air resistance leaves of the velocity
  double gx, gy, gz;  // gravity's velocity increments
};

inline StepTerms TermsOf(const Motion& m, double dt) {
  return {dt, 1 - m.airResistance * dt, m.gravityX * dt, m.gravityY * dt, m.gravityZ * dt};
}

// One step of a particle that has energy left.  Its colour is left to the
// caller: only the colour after a run's last step is ever seen.
inline void Step(ParticlePtr p, const Motion& m, StepTerms k) {
  double newEnergy = p->energy - p->decay * k.dt;
  if (newEnergy < 0) {  // dies within this step: cut it at zero energy
    k = TermsOf(m, p->energy * k.dt / (p->energy - newEnergy));
    p->energy = 0.0f;
  } else {
    p->energy = float(newEnergy);
  }

  p->xOld = p->xPos;
  p->yOld = p->yPos;
  p->zOld = p->zPos;

  p->xDir = float(p->xDir * k.speed);
  p->yDir = float(p->yDir * k.speed);
  p->zDir = float(p->zDir * k.speed);

  // An upward gravity does not lift a slow particle resting on the ground.
  if (std::fabs(p->yDir) > k.gy || p->yPos - m.ground > k.gy) p->yDir = float(p->yDir + k.gy);
  p->xDir = float(p->xDir + k.gx);
  p->zDir = float(p->zDir + k.gz);

  p->xPos = float(p->xPos + p->xDir * k.dt);
  p->yPos = float(p->yPos + p->yDir * k.dt);
  p->zPos = float(p->zPos + p->zDir * k.dt);

  // A particle that started the step below the ground (a negative bounce
  // factor) has no contact point in this step.
  if (m.ground > p->yPos && !(p->yOld < m.ground)) {
    p->xDir = float(m.bounceFriction * p->xDir);
    p->yDir = float(-m.bounceFactor * p->yDir);
    p->zDir = float(m.bounceFriction * p->zDir);
    double t = (p->yOld - m.ground) / float(p->yOld - p->yPos);
    double xBounce = p->xOld + float(p->xPos - p->xOld) * t;
    double zBounce = p->zOld + float(p->zPos - p->zOld) * t;
    double dt = k.dt * (1 - t);
    p->xPos = float(xBounce + p->xDir * dt);
    p->yPos = float(m.ground + p->yDir * dt);
    p->zPos = float(zBounce + p->zDir * dt);
  }
}

}  // namespace

bool CalcParticle(ParticlePtr p, int32_t frameCount, double st, double dt) {
  const Motion m = MotionOf(*theControl);
  bool resultFlag = false, stepped = false;
  int32_t quiet = quietWork;
  if (dt <= 0) {  // no partial first step: one step fewer
    dt = st;
    if (frameCount > INT32_MIN) frameCount -= 1;
  }
  const StepTerms full = TermsOf(m, st);
  StepTerms k = TermsOf(m, dt);
  while (frameCount > 0) {
    if (p->energy <= 0) {
      resultFlag = false;
      break;
    }
    Step(p, m, k);
    k = full;
    frameCount -= 1;
    resultFlag = stepped = true;
    // A run of many steps (a very long window) lets the host cancel on the way.
    if (++quiet >= kQuietWork) {
      OfferStatus();
      quiet = 0;
      if (result != 0) break;
    }
  }
  if (stepped) EnergyColorOf(m.colors, p->energy, &p->color);
  quietWork = quiet;
  // Re-send the progress prepared by the frame loop when the host allows it.
  OfferStatusAfterRun();
  return resultFlag;
}

bool CalcParticles(int32_t numFrames, double dt, int32_t* activeLast) {
  // The walk checks the list as it goes: each index must name a slot and the
  // list must end after exactly particleCount particles, which also rules
  // out a cycle.
  const ControlDataRec& c = *theControl;
  const int32_t count = c.particleCount;
  *activeLast = -1;
  if (numFrames <= 0) return true;
  if (count < 0 || count > c.maxParticles) return false;
  int32_t visited = 0;

  // One step per particle is the usual frame: done here with the step's
  // terms formed once, as CalcParticle(p, 1, dt, dt) would do it.
  const bool oneStep = numFrames == 1 && dt > 0;
  const Motion m = MotionOf(c);
  const StepTerms k = TermsOf(m, dt);
  const int32_t slots = c.maxParticles;
  int32_t lastParticle = -1;
  int32_t index = c.firstActive;
  while (index != -1 && result == 0) {
    if (index < 0 || index >= slots || visited == count) return false;
    visited++;
    ParticlePtr p = FindParticle(index);
    // The next slot is fetched while this particle is worked on.
    const int32_t next = p->link;
    if (next >= 0 && next < slots) __builtin_prefetch(FindParticle(next), 1);
    bool alive;
    if (oneStep) {
      alive = !(p->energy <= 0);
      if (alive) {
        Step(p, m, k);
        EnergyColorOf(m.colors, p->energy, &p->color);
      }
      OfferStatusAfterRun();
    } else {
      alive = CalcParticle(p, numFrames, dt, dt);
    }
    if (alive) {
      lastParticle = index;
    } else {
      DeleteParticle(index, lastParticle);
    }
    index = next;
  }
  *activeLast = lastParticle;
  return result != 0 || visited == count;
}
