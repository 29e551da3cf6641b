// The engine below Main: the pool's lists and the random source, emission
// predicted from its definition, motion steps and geometry output.
#include <gtest/gtest.h>

#include <array>
#include <cmath>

#include "FakeHost.h"

namespace {

// A particle at (x, y, 0) moving in the plane z = 0.
ParticleRec At(float x, float y, float xDir, float yDir, float energy = 1, float decay = 0.1f) {
  return {x, y, 0, x, y, 0, xDir, yDir, 0, energy, decay, {}, 12345};
}
void Add(ParticleRec p) { AddParticle(&p); }

// Adds go to the head of the active list while a free slot is left; the
// walk over the pool steps each particle, frees the dead to the head of the
// free list, keeps the order of the living, and stops at a failed callback.
TEST(Store, ThePoolsListsThroughAddsAndTheWalk) {
  BoundPool pool(5);
  for (float e : {1, 0, 1, 0, 1, 1}) Add(At(e, 10, 0, 0, e));  // the sixth finds no slot
  EXPECT_EQ(pool.List(pool.Control().firstActive), (std::vector<int32_t>{4, 3, 2, 1, 0}));
  int32_t last = 99;
  EXPECT_TRUE(CalcParticles(1, 0.1, &last));
  EXPECT_EQ(pool.List(pool.Control().firstActive), (std::vector<int32_t>{4, 2, 0}));
  EXPECT_EQ(last, 0);
  EXPECT_EQ(pool.List(pool.Control().firstInactive), (std::vector<int32_t>{1, 3}));
  EXPECT_TRUE(FreeListFits(&pool.Control(), &pool.Data(), last));
  Add(At(7, 10, 0, 0));  // into the slot freed last
  EXPECT_EQ(pool.Control().firstActive, 1);
  pool.failSelector = kHostStatus;
  CalcParticles(1, 0.1, &last);
  EXPECT_EQ(pool.status.size(), 6u) << "one per particle, and none after the failed one";
  EXPECT_EQ(pool.Slots()[1].energy, pool.Slots()[4].energy) << "each stepped once";
  pool.Control().firstInactive = 5;  // a damaged stored record: an index outside the pool
  Add(At(8, 10, 0, 0));
  EXPECT_EQ(pool.Control().particleCount, 4) << "counts as a full pool";
}

TEST(Random, KnownSequenceAndVariates) {
  SeedRandomCache(0);
  for (uint32_t want : {0x3A09634Au, 0x9FFFBC3Au, 0xE6DFAEFDu, 0x7EE06308u, 0x46482089u})
    EXPECT_EQ(RandomCache(), want);
  SeedRandomCache(0);  // variates from the upper halves of the same values
  EXPECT_NEAR(SignedVariate(), 0.453399656346, 1e-12);
  EXPECT_NEAR(UnsignedVariate(), 0.624994282098, 1e-12);
  EXPECT_NEAR(SignedVariate(), -0.196319579274, 1e-12);
  SeedRandomCache(77);  // reseeding restarts the sequence
  ReferenceRandom ref(77);
  for (int i = 0; i < 1000; i++) ASSERT_EQ(RandomCache(), ref.Next());
}

// The frame of an axis that is not vertical, formed as its definition forms
// it, in double.
std::array<double, 9> FrameOf(double x, double y, double z) {
  const double f = 1 / std::sqrt((x * x + y * y) + z * z);
  x *= f, y *= f, z *= f;
  const double s = std::sqrt(1 - z * z), k = 1 / s, k2 = k * z;
  return {y * k, -x * k, 0.0, x * k2, y * k2, -s, x, y, z};
}

// Rows: local x (horizontal), local y, and the unit axis; right-handed; and
// for an axis that is not vertical, bit for bit the defining arithmetic.
TEST(Emit, DirectionFrameOfTheEmitterAxis) {
  const double r5 = std::sqrt(5.0);
  const std::pair<std::array<double, 3>, std::array<double, 9>> axes[] = {
      {{0, 0, 0}, {1, 0, 0, 0, 1, 0, 0, 0, 1}}, {{0, 0, -3}, {1, 0, 0, 0, 1, 0, 0, 0, -1}},
      {{0, 0, 2}, {1, 0, 0, 0, 1, 0, 0, 0, 1}}, {{0, 5, 0}, {1, 0, 0, 0, 0, -1, 0, 1, 0}},
      {{1, -2, 2},
       {-2 / r5, -1 / r5, 0, 2 / (3 * r5), -4 / (3 * r5), -r5 / 3, 1. / 3, -2. / 3, 2. / 3}},
      {{3, -1, 0.5}, {}}, {{0.3, -0.7, 1.9}, {}}};  // the definition only
  for (const auto& [axis, rows] : axes) {
    BoundPool pool(1);
    std::memcpy(&pool.Control().initXDir, axis.data(), sizeof axis);
    InitParticles();
    const double* m = pool.Data().directionMatrix.matrixData;
    for (int i = 0; rows[8] != 0 && i < 9; i++)
      EXPECT_NEAR(m[i], rows[size_t(i)], 1e-15) << axis[0] << i;
    if (axis[0] != 0 || axis[1] != 0) {
      EXPECT_EQ(std::memcmp(m, FrameOf(axis[0], axis[1], axis[2]).data(), 9 * sizeof(double)), 0)
          << axis[0];
    }
  }
}

// As repeated |a - 360| would, and ending where that loop never would.
TEST(Emit, AnglesFoldIntoZeroTo180) {
  for (double a : {0.0, 180.0, 180.5, 270.0, 359.75, 360.0, 539.999, 540.0, 721.3, 33333333.3}) {
    double loop = a;
    while (loop > 180) loop = std::fabs(loop - 360);
    EXPECT_EQ(FoldAngle(a), loop) << a;
  }
  EXPECT_TRUE(std::isnan(FoldAngle(INFINITY)) && std::isnan(FoldAngle(NAN)));
  EXPECT_LE(FoldAngle(1e300), 180.0);
}

// The particles an interval emitting for e time units gives, each run its
// first step, written again from the definition of emission for settings
// without gravity, air or ground contact.  Those born below the ground or
// with no first step are not kept; *emitted counts them all.
std::vector<ParticleRec> Predict(const ControlDataRec& c, const double* k, uint32_t seed,
                                 double e, int* emitted) {
  ReferenceRandom r(seed);
  double rate = c.emitFrequency + c.emitErr * r.Signed();
  *emitted = int(rate * e + r.Unsigned());
  std::vector<ParticleRec> kept;
  for (int i = 0; i < *emitted; i++) {
    ParticleRec p{};
    double a = std::fabs(c.initAngle + c.initAngleErr * r.Signed());
    while (a > 180) a = std::fabs(a - 360);
    float lz = float(1 + a * -0.01111111111), square = lz * lz;
    double rho = std::sqrt(1.0 - double(square)), theta = 3.141592653589793 * r.Signed();
    float lx = float(std::sin(theta) * rho), ly = float(std::cos(theta) * rho);
    double v = c.initVelocity + c.initVelocityErr * r.Signed();
    p.xDir = float(double(float(lx * k[0] + ly * k[3] + lz * k[6])) * v);
    p.yDir = float(double(float(lx * k[1] + ly * k[4] + lz * k[7])) * v);
    p.zDir = float(double(float(lx * k[2] + ly * k[5] + lz * k[8])) * v);
    p.xOld = float(c.initXPos + c.initXPosErr * r.Signed());
    p.yOld = float(c.initYPos + c.initYPosErr * r.Signed());
    p.zOld = float(c.initZPos + c.initZPosErr * r.Signed());
    p.decay = float(1 / (c.lifeTime + c.lifeTimeErr * r.Signed()));
    if (!(p.yOld >= c.groundLevel)) continue;
    double step = r.Unsigned() * e, energy = 1.0 - double(p.decay) * step;
    if (!(step > 0)) continue;
    if (energy < 0) step = step / (1.0 - energy), energy = 0;
    p.energy = float(energy);
    p.xPos = float(p.xOld + double(p.xDir) * step);
    p.yPos = float(p.yOld + double(p.yDir) * step);
    p.zPos = float(p.zOld + double(p.zDir) * step);
    kept.push_back(p);
  }
  return kept;
}

// Frame 10 at time 10 with a step of 1, the interval [9, 10), bit for bit:
// with no window, with windows that the interval ends at, starts at, holds,
// enters or follows, and with a negative rate; with angles around 20
// degrees, within a hundredth of 90 (a local z so small that every bit of
// the slope constant shows) and around 170 (some folded back from beyond
// 180).  A full pool stops emission.
TEST(Emit, EveryParticleMatchesItsDefinition) {
  FakeHost host;
  ASSERT_EQ(host.Init(), kPluginNoError);
  host.Control().particleSeed = 0x2468ACE;
  // emitFrequency .. bounceFriction: a life of one interval, within 85
  // degrees of vertical around (1, 4, 2), some born below the ground.
  const double settings[26] = {40, 10, 5,  5,  0.5, 0.1, 1, 0.2, -2, 0.5, 0.4, 2,   1,
                               4,  2,  20, 20, 10,  3,   0, 0,   0,  0,   0,   0.5, 0.9};
  std::memcpy(&host.Control().emitFrequency, settings, sizeof settings);
  const struct { double start, end, rate, e, angle, spread; } cases[] = {
      {5, 5, 40, 1, 20, 20},      {10, 20, 40, 0, 20, 20},   {0, 9, 40, 1, 20, 20},
      {9.25, 9.5, 40, 0.25, 20, 20}, {9.5, 30, 40, 0.5, 20, 20}, {0, 8.5, 40, 0, 20, 20},
      {5, 5, -100, 1, 20, 20},    {5, 5, 1000, 1, 20, 20},   {5, 5, 40, 1, 90, 0.01},
      {5, 5, 40, 1, 170, 20}};
  for (const auto& k : cases) {
    host.Control().emitStart = k.start;
    host.Control().emitEnd = k.end;
    host.Control().emitFrequency = k.rate;
    host.Control().initAngle = k.angle;
    host.Control().initAngleErr = k.spread;
    host.Control().groundLevel = k.angle > 45 ? -1000 : 0;  // downward: out of the ground's way
    host.Control().maxParticles = k.rate > 100 ? 7 : 1000;
    host.Control().lastFrameIndex = kNoFrame;
    ASSERT_EQ(host.Interface(), kPluginResourceError);
    ASSERT_EQ(host.Setup(10, 10.0, 1.0), kPluginNoError);
    ASSERT_EQ(host.Generate(), kPluginNoError);
    int emitted = 0;
    std::vector<ParticleRec> live = host.Live(),
        want = Predict(host.Control(), host.Data().directionMatrix.matrixData,
                       uint32_t(host.Control().particleSeed) + 9, k.e, &emitted);
    if (k.rate > 100) want.resize(7);
    ASSERT_EQ(live.size(), want.size()) << k.start << " " << k.rate << " " << k.angle;
    for (size_t i = 0; i < want.size(); i++)  // the list runs newest first
      ASSERT_EQ(std::memcmp(&live[want.size() - 1 - i], &want[i], offsetof(ParticleRec, color)), 0)
          << k.start << " " << k.angle << " particle " << i;
    EXPECT_TRUE(&k != cases || (want.size() > 20 && int(want.size()) < emitted))
        << "the settings should put some below the ground";
  }
}

// One row per case: the particle, gravity and bounce factor, the call, and
// the particle after it (energy not-a-number: not checked).
TEST(Motion, StepsWithDeathGravityAndBounces) {
  const float e1 = float(float(float(1 - 0.1f * 0.25) - 0.1f * 0.5) - 0.1f * 0.5);
  const float x6 = float(0.25 + double(float(0.9 * 1.0f)) * 0.25);  // contact at x 0.25
  const float cut = float(0.25 * 0.45 / (0.25 - (0.25 - 3 * 0.45)));  // from the double energy
  struct {
    const char* what; ParticleRec p; double gravity, bounce, count, st, dt; bool took;
    float xPos, yPos, xDir, yDir, energy;
  } cases[] = {
      {"no first step", At(1, 2, 3, 4), 0, 0.5, 1, 0.5, 0, false, 1, 2, 3, 4, 1},
      {"energy exactly 0", At(0, 10, 0, 0, 1, 0.5f), 0, 0.5, 2, 1, 1, true, 0, 10, 0, 0, 0},
      {"dead at the third", At(0, 10, 0, 0, 1, 0.5f), 0, 0.5, 3, 1, 1, false, 0, 10, 0, 0, 0},
      {"cut at death", At(0, 10, 1, 0, 0.25f, 1), 0, 0.5, 1, 0.5, 0.5, true, 0.25f, 10, 1, 0, 0},
      {"cut, unrounded", At(0, 10, 1, 0, 0.25f, 3), 0, 0.5, 1, 0.45, 0.45, true, cut, 10, 1, 0, 0},
      {"partial first step", At(0, 10, 1, 0), 0, 0.5, 3, 0.5, 0.25, true, 1.25f, 10, 1, 0, e1},
      {"bounce", At(0, 1, 1, -4), 0, 0.5, 1, 0.5, 0.5, true, x6, 0.5f, float(0.9 * 1.0f), 2, NAN},
      {"onto the plane", At(0, 1, 0, -2), 0, 0.5, 1, 0.5, 0.5, true, 0, 0, 0, -2, NAN},
      {"pulled, bounced", At(0, 0, 0, 0), -50, 0.5, 1, 0.1, 0.1, true, 0, 0.25f, 0, 2.5f, NAN},
      {"not lifted", At(0, 0, 0, 0), 10, 0.5, 1, 0.1, 0.1, true, 0, 0, 0, 0, NAN},
      {"at the lift", At(0, 1, 0, 0), 10, 0.5, 1, 0.1, 0.1, true, 0, 1, 0, 0, NAN},
      {"lifted", At(0, 5, 0, 0), 10, 0.5, 1, 0.1, 0.1, true, 0, float(5 + 0.1), 0, 1, NAN},
      {"below, level", At(0, -1, 1, 0), 0, -0.5, 2, 0.5, 0.5, true, 1, -1, 1, 0, NAN},
      {"below, falling", At(0, -1, 0, -2), 0, -0.5, 1, 0.5, 0.5, true, 0, -2, 0, -2, NAN}};
  for (auto& k : cases) {
    BoundPool pool(1);
    pool.Control().gravityYDir = k.gravity;
    pool.Control().bounceFactor = k.bounce;
    EXPECT_EQ(CalcParticle(&k.p, int32_t(k.count), k.st, k.dt), k.took) << k.what;
    EXPECT_EQ(std::vector<float>({k.p.xPos, k.p.yPos, k.p.xDir, k.p.yDir}),
              std::vector<float>({k.xPos, k.yPos, k.xDir, k.yDir})) << k.what;
    EXPECT_TRUE(std::isnan(k.energy) || k.p.energy == k.energy) << k.what << " " << k.p.energy;
    ARGB color;
    EnergyColor(k.p.energy, &color);
    EXPECT_TRUE(!k.took || k.p.color.colorValue == color.colorValue) << k.what;
  }
}

// Sideways gravity and air resistance over two steps; the landing point
// from single-precision differences of the step.
TEST(Motion, AirSideGravityAndTheContactPoint) {
  BoundPool pool(1);
  const double gravity[3] = {2, 0, -4};
  std::memcpy(&pool.Control().gravityXDir, gravity, sizeof gravity);
  pool.Control().airResistance = 4;  // times the first step of 0.25 stops, then turns round
  ParticleRec p = At(0, 10, 1, 0);
  p.zDir = 3;
  EXPECT_TRUE(CalcParticle(&p, 2, 0.5, 0.25));
  // x: 0 + 2 * 0.25, then -0.5 + 1; z: 0 - 4 * 0.25, then 1 - 2; the blur
  // position is the start of the latest step.
  EXPECT_EQ(std::vector<float>({p.xDir, p.zDir, p.zOld, p.zPos}),
            std::vector<float>({0.5, -1, -0.25, -0.75}));
  pool.Control().gravityXDir = pool.Control().gravityZDir = pool.Control().airResistance = 0;
  p = At(0.61f, 0.99f, -91.36f, -23.77f);
  p.zPos = p.zOld = -3.5f, p.zDir = 55.25f;
  const double dt = 0.0417;
  EXPECT_TRUE(CalcParticle(&p, 1, dt, dt));
  float x1 = float(0.61f + double(-91.36f) * dt), y1 = float(0.99f + double(-23.77f) * dt);
  float z1 = float(-3.5f + double(55.25f) * dt);
  double t = double(0.99f) / double(float(0.99f - y1));
  double xBounce = double(0.61f) + double(float(x1 - 0.61f)) * t;
  double zBounce = double(-3.5f) + double(float(z1 - -3.5f)) * t;
  EXPECT_EQ(p.xPos, float(xBounce + float(0.9 * double(-91.36f)) * (dt * (1 - t))));
  EXPECT_EQ(p.yPos, float(0.0 + float(-0.5 * double(-23.77f)) * (dt * (1 - t))));
  EXPECT_EQ(p.zDir, float(0.9 * double(55.25f)));
  EXPECT_EQ(p.zPos, float(zBounce + float(0.9 * double(55.25f)) * (dt * (1 - t))));
}

// The energy ramp, each channel blended on its own, alpha included.
TEST(Output, EnergyColourRamp) {
  BoundPool pool(1);
  pool.Control().energyColors[1] = MakeARGB(100, 110, 120, 130);
  const std::pair<double, ARGB> ramp[] = {  // halves truncated
      {-1, MakeARGB(255, 200, 0, 0)},      {0, MakeARGB(255, 200, 0, 0)},
      {0.25, MakeARGB(177, 155, 60, 65)},  {0.5, MakeARGB(100, 110, 120, 130)},
      {0.75, MakeARGB(177, 182, 187, 192)}, {1, MakeARGB(255, 255, 255, 255)},
      {7, MakeARGB(255, 255, 255, 255)}};
  ARGB got;
  for (const auto& [energy, color] : ramp) {
    EnergyColor(energy, &got);
    EXPECT_EQ(got.colorValue, color.colorValue) << energy;
  }
  EnergyColor(NAN, &got);  // no defined colour, but no undefined conversion either
}

// Nothing for an empty pool.  Newest first, a report before each vertex;
// the group without bits 31 and 29; positions through the frame matrix,
// blur positions through the blur matrix, no normal; one single-vertex facet in the
// particle's colour per vertex.  A failed vertex stops the frame, and the
// latch silences the next.
TEST(Output, OrderFlagsMatricesColoursAndTheLatch) {
  BoundPool pool(5);
  OutputParticles();
  EXPECT_TRUE(pool.calls.empty());
  for (float k : {1, 4, 7})
    Add({k, k + 1, 0, k, k, 0, 0, 0, 0, 1, 0, MakeARGB(0, 1, 2, uint8_t(k)), 0});
  pool.Data().vertexFlags = 0xFFFFFFFF;
  Matrix4& m = pool.Data().theMatrix;  // scale by 2, move by (10, 20, 30)
  m.m.m00 = m.m.m11 = m.m.m22 = 2;
  m.m.m30 = 10, m.m.m31 = 20, m.m.m32 = 30;
  pool.Data().theBlurMatrix.m.m30 = 100;  // move by 100 in x
  OutputParticles();
  const IFFType S = kHostStatus, G = kHostAddGroup, V = kHostAddVertex, F = kHostAddFacet;
  EXPECT_EQ(pool.calls, (std::vector<IFFType>{S, G, S, V, F, S, V, F, S, V, F, S}));
  EXPECT_EQ(pool.groupFlags, std::vector<uint32_t>{0x5FFFFFFF});
  for (int i = 0; i < 3; i++) {
    const float k = 7.0f - 3 * i;
    EXPECT_EQ(pool.vertices[size_t(i)],  // the texture position is the position; white
              std::vector<double>({2 * k + 10, 2 * k + 22, 30, k + 100, k, 0, 2 * k + 10,
                                   2 * k + 22, 30, 0, 0, 0, 0xFFFFFFFF}));
    const uint32_t color = MakeARGB(0, 1, 2, uint8_t(k)).colorValue;
    EXPECT_EQ(pool.facets[size_t(i)], (std::vector<uint32_t>{color, 1, 1001u + i, 0, 0, 0}));
  }
  pool.ClearLog();
  pool.failSelector = kHostAddVertex;
  OutputParticles();
  OutputParticles();
  EXPECT_EQ(pool.calls, (std::vector<IFFType>{S, G, S, V}));
  EXPECT_EQ(pool.Control().particleCount, 3) << "output never changes the pool";
}

}  // namespace
