// Motion: energy, air resistance, gravity, the move and one ground bounce
// per step.  Particle fields are floats; every statement computes in double
// and narrows what it stores.
#include <cmath>

#include "Particle.h"
#include "ParticleEngine.h"
#include "host/PluginClient.h"

bool CalcParticle(ParticlePtr p, int32_t frameCount, double st, double dt) {
  const ControlDataRec& c = *theControl;
  bool resultFlag = false;
  int32_t quiet = quietWork;
  if (dt <= 0) {  // no partial first step: one step fewer
    dt = st;
    if (frameCount > INT32_MIN) frameCount -= 1;
  }
  while (frameCount > 0) {
    if (p->energy <= 0) {
      resultFlag = false;
      break;
    }
    double newEnergy = p->energy - p->decay * dt;
    if (newEnergy < 0) {  // dies within this step: cut it at zero energy
      dt = p->energy * dt / (p->energy - newEnergy);
      p->energy = 0.0f;
    } else {
      p->energy = float(newEnergy);
    }
    EnergyColor(p->energy, &p->color);

    p->xOld = p->xPos;
    p->yOld = p->yPos;
    p->zOld = p->zPos;

    double speed = 1 - c.airResistance * dt;
    p->xDir = float(p->xDir * speed);
    p->yDir = float(p->yDir * speed);
    p->zDir = float(p->zDir * speed);

    // An upward gravity does not lift a slow particle resting on the ground.
    double g = c.gravityYDir * dt;
    if (std::fabs(p->yDir) > g || p->yPos - c.groundLevel > g) p->yDir = float(p->yDir + g);
    p->xDir = float(p->xDir + c.gravityXDir * dt);
    p->zDir = float(p->zDir + c.gravityZDir * dt);

    p->xPos = float(p->xPos + p->xDir * dt);
    p->yPos = float(p->yPos + p->yDir * dt);
    p->zPos = float(p->zPos + p->zDir * dt);

    // A particle that started the step below the ground (a negative bounce
    // factor) has no contact point in this step.
    if (c.groundLevel > p->yPos && !(p->yOld < c.groundLevel)) {
      p->xDir = float(c.bounceFriction * p->xDir);
      p->yDir = float(-c.bounceFactor * p->yDir);
      p->zDir = float(c.bounceFriction * p->zDir);
      double t = (p->yOld - c.groundLevel) / float(p->yOld - p->yPos);
      double xBounce = p->xOld + float(p->xPos - p->xOld) * t;
      double zBounce = p->zOld + float(p->zPos - p->zOld) * t;
      dt = dt * (1 - t);
      p->xPos = float(xBounce + p->xDir * dt);
      p->yPos = float(c.groundLevel + p->yDir * dt);
      p->zPos = float(zBounce + p->zDir * dt);
    }

    dt = st;
    frameCount -= 1;
    resultFlag = true;
    // A run of many steps (a very long window) lets the host cancel on the way.
    if (++quiet >= kQuietWork) {
      OfferStatus();
      quiet = 0;
      if (result != 0) break;
    }
  }
  // Re-send the progress prepared by the frame loop when the host allows it.
  OfferStatus();
  return resultFlag;
}

bool CalcParticles(int32_t numFrames, double dt) {
  // The walk checks the list as it goes: each index must name a slot and the
  // list must end after exactly particleCount particles, which also rules
  // out a cycle.  With no step to take it only checks.
  const int32_t count = theControl->particleCount;
  if (count < 0 || count > theControl->maxParticles) return false;
  int32_t visited = 0;
  if (numFrames <= 0) {
    for (int32_t i = theControl->firstActive; i != -1; i = FindParticle(i)->link, visited++)
      if (!ValidParticleIndex(theControl, i) || visited == count) return false;
    return visited == count;
  }
  int32_t lastParticle = -1;
  int32_t index = theControl->firstActive;
  while (index != -1 && result == 0) {
    if (!ValidParticleIndex(theControl, index) || visited == count) return false;
    visited++;
    ParticlePtr p = FindParticle(index);
    if (CalcParticle(p, numFrames, dt, dt)) {
      lastParticle = index;
      index = p->link;
    } else {
      int32_t next = p->link;
      DeleteParticle(index, lastParticle);
      index = next;
    }
  }
  return result != 0 || visited == count;
}
