// Emission: the emitter's direction frame, the folding of the angle, the
// emission window and count, and every particle's start state, predicted
// from the random source's definition.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "FakeHost.h"
#include "Particle.h"
#include "ParticleEngine.h"

namespace {

Matrix3 DirectionFor(double x, double y, double z) {
  BoundPool pool(1);
  pool.control.initXDir = x;
  pool.control.initYDir = y;
  pool.control.initZDir = z;
  InitParticles();
  return pool.Data().directionMatrix;
}

void ExpectRows(const Matrix3& m, std::initializer_list<double> rows) {
  int i = 0;
  for (double v : rows) {
    EXPECT_EQ(m.matrixData[i], v) << "element " << i;
    i++;
  }
}

TEST(Emit, DirectionFrameOfTheEmitterAxis) {
  ExpectRows(DirectionFor(0, 0, 0), {1, 0, 0, 0, 1, 0, 0, 0, 1});
  ExpectRows(DirectionFor(0, 0, -3), {1, 0, 0, 0, 1, 0, 0, 0, -1});
  ExpectRows(DirectionFor(0, 0, 2), {1, 0, 0, 0, 1, 0, 0, 0, 1});
  ExpectRows(DirectionFor(0, 5, 0), {1, 0, 0, 0, 0, -1, 0, 1, 0});
  // Any axis: orthonormal, right-handed rows whose last row is the unit axis.
  Matrix3 m = DirectionFor(1, -2, 2);
  const double* r = m.matrixData;
  EXPECT_NEAR(r[6], 1.0 / 3, 1e-15);
  EXPECT_NEAR(r[7], -2.0 / 3, 1e-15);
  EXPECT_NEAR(r[8], 2.0 / 3, 1e-15);
  EXPECT_EQ(r[2], 0.0) << "local x stays horizontal";
  for (int a = 0; a < 3; a++)
    for (int b = 0; b < 3; b++) {
      double dot = r[3 * a] * r[3 * b] + r[3 * a + 1] * r[3 * b + 1] + r[3 * a + 2] * r[3 * b + 2];
      EXPECT_NEAR(dot, a == b ? 1.0 : 0.0, 1e-15);
    }
  double det = r[0] * (r[4] * r[8] - r[5] * r[7]) - r[1] * (r[3] * r[8] - r[5] * r[6]) +
               r[2] * (r[3] * r[7] - r[4] * r[6]);
  EXPECT_NEAR(det, 1.0, 1e-15);
}

TEST(Emit, AnglesFoldIntoZeroTo180AsTheSubtractionLoopWould) {
  auto loop = [](double a) {
    while (a > 180) a = std::fabs(a - 360);
    return a;
  };
  for (double a : {0.0, 90.0, 180.0, 180.5, 270.0, 359.75, 360.0, 539.999, 540.0, 541.0, 721.3,
                   12345.678, 1e6 + 0.1, 33333333.3})
    EXPECT_TRUE(SameBits(FoldAngle(a), loop(a))) << a;
  EXPECT_EQ(FoldAngle(270), 90.0);
  EXPECT_TRUE(std::isnan(FoldAngle(INFINITY))) << "ends where the loop never would";
  EXPECT_TRUE(std::isnan(FoldAngle(NAN)));
  EXPECT_LE(FoldAngle(1e300), 180.0);
}

struct Expected {
  ParticleRec p;
  bool below, kept;
};

// The particles that one interval emits, each run one step, written again
// from the definition of emission for settings without gravity, air or
// ground contact.
std::vector<Expected> Predict(const ControlDataRec& c, const Matrix3& m, uint32_t seed, double time,
                              double dt) {
  ReferenceRandom r(seed);
  double e = dt;
  if (c.emitStart != c.emitEnd) {
    if (!(time + dt > c.emitStart && c.emitEnd >= time)) return {};
    if (c.emitStart > time) e -= c.emitStart - time;
    if (e > c.emitEnd - c.emitStart) e = c.emitEnd - c.emitStart;
  }
  double rate = c.emitFrequency + c.emitErr * r.Signed();
  int count = int(rate * e + r.Unsigned());
  std::vector<Expected> out;
  for (int i = 0; i < count; i++) {
    Expected x{};
    ParticleRec& p = x.p;
    double a = std::fabs(c.initAngle + c.initAngleErr * r.Signed());
    while (a > 180) a = std::fabs(a - 360);
    float lz = float(1 + a * -0.01111111111);
    float square = lz * lz;
    double rho = std::sqrt(1.0 - double(square));
    double theta = 3.141592653589793 * r.Signed();
    float lx = float(std::sin(theta) * rho), ly = float(std::cos(theta) * rho);
    const double* k = m.matrixData;
    double v = c.initVelocity + c.initVelocityErr * r.Signed();
    p.xDir = float(double(float(lx * k[0] + ly * k[3] + lz * k[6])) * v);
    p.yDir = float(double(float(lx * k[1] + ly * k[4] + lz * k[7])) * v);
    p.zDir = float(double(float(lx * k[2] + ly * k[5] + lz * k[8])) * v);
    p.xPos = float(c.initXPos + c.initXPosErr * r.Signed());
    p.yPos = float(c.initYPos + c.initYPosErr * r.Signed());
    p.zPos = float(c.initZPos + c.initZPosErr * r.Signed());
    p.decay = float(1 / (c.lifeTime + c.lifeTimeErr * r.Signed()));
    x.below = !(p.yPos >= c.groundLevel);
    if (!x.below) {
      double step = r.Unsigned() * e;
      x.kept = step > 0;
      double energy = 1.0 - double(p.decay) * step;
      if (energy < 0) {
        step = 1.0 * step / (1.0 - energy);
        energy = 0;
      }
      p.energy = float(energy);
      p.xOld = p.xPos;
      p.yOld = p.yPos;
      p.zOld = p.zPos;
      p.xPos = float(p.xPos + double(p.xDir) * step);
      p.yPos = float(p.yPos + double(p.yDir) * step);
      p.zPos = float(p.zPos + double(p.zDir) * step);
    }
    out.push_back(x);
  }
  return out;
}

struct Emission : ::testing::Test {
  FakeHost host;
  void SetUp() override {
    ASSERT_EQ(host.Init(), kPluginNoError);
    ControlDataRec& c = host.Control();
    c.particleSeed = 0x2468ACE;
    c.gravityYDir = 0;
    c.emitFrequency = 40;
    c.emitErr = 10;
    c.emitStart = c.emitEnd = 5;
    c.lifeTime = 0.5;  // with a step of 1: a window of one interval
    c.lifeTimeErr = 0.1;
    c.initXDir = 1;
    c.initYDir = 4;
    c.initZDir = 2;
    c.initAngle = 20;
    c.initAngleErr = 20;  // local z >= 5/9: within 85 degrees of vertical, no ground contact
    c.initVelocity = 10;
    c.initVelocityErr = 3;
    c.initXPos = 1;
    c.initYPos = 0.2;
    c.initZPos = -2;
    c.initXPosErr = 0.5;
    c.initYPosErr = 0.4;  // some are born below the ground
    c.initZPosErr = 2;
  }
  // Generates frame 10 at time 10 with a step of 1: interval [9, 10).
  std::vector<Expected> GenerateAndPredict() {
    EXPECT_EQ(host.Setup(10, 10.0, 1.0), kPluginNoError);
    EXPECT_EQ(host.Generate(), kPluginNoError);
    return Predict(host.Control(), host.Data().directionMatrix,
                   uint32_t(host.Control().particleSeed) + 9, 9.0, 1.0);
  }
};

TEST_F(Emission, EveryParticleMatchesItsDefinitionBitForBit) {
  std::vector<Expected> want = GenerateAndPredict();
  std::vector<ParticleRec> live = host.Live();
  std::vector<ParticleRec> kept;
  int below = 0;
  for (const Expected& x : want) {
    if (x.kept) kept.push_back(x.p);
    below += x.below;
  }
  ASSERT_GT(kept.size(), 20u);
  ASSERT_GT(below, 0) << "the settings should put some below the ground";
  ASSERT_EQ(live.size(), kept.size());
  for (size_t i = 0; i < kept.size(); i++) {
    const ParticleRec& got = live[live.size() - 1 - i];  // the list runs newest first
    const ParticleRec& exp = kept[i];
    for (auto field : {&ParticleRec::xPos, &ParticleRec::yPos, &ParticleRec::zPos,
                       &ParticleRec::xOld, &ParticleRec::yOld, &ParticleRec::zOld,
                       &ParticleRec::xDir, &ParticleRec::yDir, &ParticleRec::zDir,
                       &ParticleRec::energy, &ParticleRec::decay})
      ASSERT_TRUE(SameBits(got.*field, exp.*field))
          << "particle " << i << " field " << (&(got.*field) - &got.xPos) << ": " << got.*field << " vs " << exp.*field;
  }
}

TEST_F(Emission, TheWindowDecidesTheLengthThatEmits) {
  struct Case {
    double start, end;
    bool emits;
  } cases[] = {
      {5, 5, true},        // no window: every interval
      {10, 20, false},     // the interval ends where the window starts
      {0, 9, true},        // the interval starts where the window ends: full length
      {9.25, 9.5, true},   // a window inside the interval
      {9.5, 30, true},     // the window starts inside the interval
      {0, 8.5, false},     // over before the interval
  };
  for (const Case& k : cases) {
    host.Control().emitStart = k.start;
    host.Control().emitEnd = k.end;
    host.Control().lastFrameIndex = kNoFrame;
    std::vector<Expected> want = GenerateAndPredict();
    size_t kept = 0;
    for (const Expected& x : want) kept += x.kept;
    EXPECT_EQ(size_t(host.Control().particleCount), kept) << k.start << ".." << k.end;
    EXPECT_EQ(want.empty(), !k.emits) << k.start << ".." << k.end;
  }
}

TEST_F(Emission, ANegativeRateEmitsNothingAndAFullPoolStopsEmission) {
  host.Control().emitFrequency = -100;
  std::vector<Expected> want = GenerateAndPredict();
  EXPECT_TRUE(want.empty());
  EXPECT_EQ(host.Control().particleCount, 0);

  host.Control().emitFrequency = 1000;
  host.Control().maxParticles = 7;
  ASSERT_EQ(host.Interface(), kPluginResourceError);  // shrinks the block
  host.Control().lastFrameIndex = kNoFrame;
  GenerateAndPredict();
  EXPECT_EQ(host.Control().particleCount, 7);
  EXPECT_EQ(host.Control().firstInactive, -1);
}

}  // namespace
