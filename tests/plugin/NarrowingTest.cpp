// Built from the engine's own sources with the release optimisation and the
// plug-in's exact-arithmetic flags (no sanitizers, which hide the fault): a
// compiler that vectorizes the bounce reuses the unrounded product 0.9 * xDir
// after it was stored as a float, and the landing point moves.
#include <gtest/gtest.h>

#include <cstring>

#include "Particle.h"
#include "ParticleEngine.h"
#include "host/PluginClient.h"

namespace {

int32_t SilentHost(IFFType, int32_t, void*) { return 0; }

TEST(Narrowing, ABounceUsesTheStoredFloatVelocity) {
  ControlDataRec control;
  std::memset(&control, 0, sizeof control);
  control.groundLevel = 0.0;
  control.bounceFactor = 0.5;
  control.bounceFriction = 0.9;
  control.maxParticles = 1;
  theControl = &control;
  hostProc = &SilentHost;
  result = 0;
  theStatusRec.theStatusTick = 0;

  // On the ground, falling: the step ends below it and bounces at its start.
  ParticleRec p;
  std::memset(&p, 0, sizeof p);
  p.xDir = 9.438740730285645f;
  p.yDir = -51.9f;
  p.energy = 1.0f;
  volatile double dt = 0.03324686576766667;
  ASSERT_TRUE(CalcParticle(&p, 1, dt, dt));

  // The same step, each stored value forced through a float.
  volatile float xDir = float(0.9 * double(9.438740730285645f));
  volatile float yDir = float(-0.5 * double(-51.9f));
  volatile float xPos = float(0.0 + double(xDir) * dt);
  volatile float yPos = float(0.0 + double(yDir) * dt);
  EXPECT_EQ(p.xDir, xDir);
  EXPECT_EQ(p.yDir, yDir);
  EXPECT_EQ(p.xPos, xPos);
  EXPECT_EQ(p.yPos, yPos);
  theControl = nullptr;
}

}  // namespace
