// Motion steps: energy and death within a step, air resistance, gravity,
// the ground bounce, and the walk over the pool that frees dead particles.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "FakeHost.h"
#include "Particle.h"
#include "ParticleEngine.h"
#include "host/PluginClient.h"
#include "text/System.h"

namespace {

constexpr IFFType kSTAT = MakeIFF("STAT");

struct Motion : ::testing::Test {
  BoundPool pool{4};
  void SetUp() override {
    pool.control.gravityYDir = 0;
    pool.control.airResistance = 0;
  }
  static ParticleRec At(float x, float y, float xDir, float yDir) {
    ParticleRec p{};
    p.xPos = p.xOld = x;
    p.yPos = p.yOld = y;
    p.xDir = xDir;
    p.yDir = yDir;
    p.energy = 1;
    p.decay = 0.1f;
    return p;
  }
};

TEST_F(Motion, NoStepOrNoEnergyMeansDead) {
  ParticleRec p = At(1, 2, 3, 4);
  ParticleRec before = p;
  EXPECT_FALSE(CalcParticle(&p, 1, 0.5, 0.0)) << "a zero first step is dropped";
  EXPECT_EQ(std::memcmp(&p, &before, sizeof p), 0);
  p.energy = 0;
  before = p;
  EXPECT_FALSE(CalcParticle(&p, 2, 0.5, 0.5));
  EXPECT_EQ(std::memcmp(&p, &before, sizeof p), 0);
}

TEST_F(Motion, EnergyReachingZeroExactlyDiesAtTheNextStep) {
  ParticleRec p = At(0, 10, 0, 0);
  p.decay = 0.5f;
  ParticleRec q = p;
  EXPECT_TRUE(CalcParticle(&q, 2, 1.0, 1.0));
  EXPECT_EQ(q.energy, 0.0f);
  EXPECT_EQ(q.color.colorValue, pool.control.energyColors[0].colorValue);
  EXPECT_FALSE(CalcParticle(&p, 3, 1.0, 1.0));
}

TEST_F(Motion, AStepIsCutWhereTheEnergyRunsOut) {
  ParticleRec p = At(0, 10, 1, 0);
  p.energy = 0.25f;
  p.decay = 1.0f;
  EXPECT_TRUE(CalcParticle(&p, 1, 0.5, 0.5));
  EXPECT_EQ(p.energy, 0.0f);
  EXPECT_EQ(p.xPos, 0.25f) << "moved for the quarter it still lived";
}

TEST_F(Motion, FreeFlightAndTheFirstPartialStep) {
  ParticleRec p = At(0, 10, 1, 0);
  EXPECT_TRUE(CalcParticle(&p, 3, 0.5, 0.25));
  EXPECT_EQ(p.xPos, 1.25f);
  EXPECT_EQ(p.xOld, 0.75f);
  EXPECT_EQ(p.energy, float(float(float(1 - 0.1f * 0.25) - 0.1f * 0.5) - 0.1f * 0.5));
  // Energy 0.875 sits between the middle and the top colour.
  ARGB want;
  EnergyColor(p.energy, &want);
  EXPECT_EQ(p.color.colorValue, want.colorValue);
}

TEST_F(Motion, BounceOffTheGround) {
  pool.control.bounceFactor = 0.5;
  pool.control.bounceFriction = 0.9;
  ParticleRec p = At(0, 1, 1, -4);
  EXPECT_TRUE(CalcParticle(&p, 1, 0.5, 0.5));
  EXPECT_EQ(p.yDir, 2.0f);
  EXPECT_EQ(p.xDir, float(0.9 * 1.0f));
  EXPECT_EQ(p.yPos, 0.5f);
  // Contact half-way (x 0.25), then a quarter step at the slowed speed.
  EXPECT_EQ(p.xPos, float(0.25 + double(float(0.9 * 1.0f)) * 0.25));
  EXPECT_EQ(p.yOld, 1.0f) << "the blur position is the start of the step";

  ParticleRec onPlane = At(0, 1, 0, -2);
  EXPECT_TRUE(CalcParticle(&onPlane, 1, 0.5, 0.5));
  EXPECT_EQ(onPlane.yPos, 0.0f);
  EXPECT_EQ(onPlane.yDir, -2.0f) << "landing exactly on the plane is no bounce";
}

TEST_F(Motion, TheContactPointUsesSinglePrecisionDifferences) {
  ParticleRec p = At(0.61f, 0.99f, -91.36f, -23.77f);
  const double dt = 0.0417;
  EXPECT_TRUE(CalcParticle(&p, 1, dt, dt));
  float x1 = float(0.61f + double(-91.36f) * dt);
  float y1 = float(0.99f + double(-23.77f) * dt);
  ASSERT_LT(y1, 0.0f);
  float xDir = float(0.9 * double(-91.36f));
  float yDir = float(-0.5 * double(-23.77f));
  double t = double(0.99f) / double(float(0.99f - y1));
  double xBounce = double(0.61f) + double(float(x1 - 0.61f)) * t;
  double rest = dt * (1 - t);
  EXPECT_EQ(p.xPos, float(xBounce + xDir * rest));
  EXPECT_EQ(p.yPos, float(0.0 + yDir * rest));
}

TEST_F(Motion, GravityPullsDownEvenOnTheGroundButAnUpwardPullIsHeldBack) {
  pool.control.gravityYDir = -50;
  ParticleRec resting = At(0, 0, 0, 0);
  EXPECT_TRUE(CalcParticle(&resting, 1, 0.1, 0.1));
  EXPECT_EQ(resting.yDir, 2.5f) << "pulled to -5, then bounced at half speed";
  EXPECT_EQ(resting.yPos, 0.25f);

  pool.control.gravityYDir = 10;
  ParticleRec lifted = At(0, 0, 0, 0);
  EXPECT_TRUE(CalcParticle(&lifted, 1, 0.1, 0.1));
  EXPECT_EQ(lifted.yDir, 0.0f);
  EXPECT_EQ(lifted.yPos, 0.0f);
  ParticleRec high = At(0, 5, 0, 0);
  EXPECT_TRUE(CalcParticle(&high, 1, 0.1, 0.1));
  EXPECT_EQ(high.yDir, 1.0f);
}

TEST_F(Motion, SideGravityAndAirResistance) {
  pool.control.gravityXDir = 2;
  pool.control.gravityZDir = -4;
  pool.control.airResistance = 4;  // times a step of 0.5: the velocity turns round
  ParticleRec p = At(0, 10, 1, 0);
  p.zDir = 3;
  EXPECT_TRUE(CalcParticle(&p, 1, 0.5, 0.5));
  EXPECT_EQ(p.xDir, 0.0f);   // -1 + 2 * 0.5
  EXPECT_EQ(p.zDir, -5.0f);  // -3 - 4 * 0.5
  EXPECT_EQ(p.zPos, -2.5f);
}

TEST_F(Motion, AParticleBelowTheGroundIsNotBounced) {
  pool.control.bounceFactor = -0.5;
  ParticleRec still = At(0, -1, 1, 0);  // no vertical motion: no contact point at all
  EXPECT_TRUE(CalcParticle(&still, 2, 0.5, 0.5));
  EXPECT_EQ(still.yPos, -1.0f);
  EXPECT_EQ(still.xPos, 1.0f);
  EXPECT_EQ(still.xDir, 1.0f);
  ParticleRec falling = At(0, -1, 0, -2);
  EXPECT_TRUE(CalcParticle(&falling, 1, 0.5, 0.5));
  EXPECT_EQ(falling.yPos, -2.0f);
  EXPECT_EQ(falling.yDir, -2.0f);
}

TEST_F(Motion, TheWalkFreesTheDeadAndKeepsTheOrder) {
  for (float e : {1.0f, 0.0f, 1.0f, 0.0f}) {  // slots 0..3; list 3, 2, 1, 0
    ParticleRec p = At(0, 10, 0, 0);
    p.energy = e;
    AddParticle(&p);
  }
  pool.host.ClearLog();
  CalcParticles(0, 0.1);
  EXPECT_TRUE(pool.host.calls.empty()) << "no steps, no report";
  EXPECT_EQ(pool.control.particleCount, 4);

  theStatusRec.theStatusPos = 0.25f;
  theStatusRec.theStatusValue = 7;
  CalcParticles(1, 0.1);
  EXPECT_EQ(pool.control.particleCount, 2);
  EXPECT_EQ(pool.control.firstActive, 2);
  EXPECT_EQ(pool.Slots()[2].link, 0);
  EXPECT_EQ(pool.Slots()[0].link, -1);
  EXPECT_EQ(pool.control.firstInactive, 1);
  EXPECT_EQ(pool.Slots()[1].link, 3);
  // Each particle re-sends the prepared progress once.
  ASSERT_EQ(pool.host.status.size(), 4u);
  EXPECT_EQ(pool.host.status[0].pos, 0.25f);
  EXPECT_EQ(pool.host.status[0].value, 7);
}

TEST_F(Motion, ThrottledReportsAndTheLatchStopTheWalk) {
  for (int i = 0; i < 3; i++) {
    ParticleRec p = At(0, 10, 0, 0);
    AddParticle(&p);
  }
  theStatusRec.theStatusTick = int32_t(TickCount() + 100000);
  CalcParticles(1, 0.1);
  EXPECT_TRUE(pool.host.status.empty());
  theStatusRec.theStatusTick = 0;
  pool.host.failAt = 0;
  CalcParticles(1, 0.1);
  EXPECT_EQ(pool.host.status.size(), 1u) << "the first failed report stops the walk";
  EXPECT_NE(result, 0);
  EXPECT_EQ(pool.Slots()[2].energy, float(float(1 - 0.1f * 0.1) - 0.1f * 0.1));
  EXPECT_EQ(pool.Slots()[1].energy, float(1 - 0.1f * 0.1)) << "not advanced a second time";
}

}  // namespace
