#include "noise/Noise.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>

#include "NoiseTestSupport.h"

namespace {

TEST(MacRandom, MinimalStandardSequence) {
  uint32_t seed = 1;
  EXPECT_EQ(MacRandom(&seed), 16807);
  EXPECT_EQ(seed, 16807u);
  EXPECT_EQ(MacRandom(&seed), 15089);
  EXPECT_EQ(seed, 282475249u);
  EXPECT_EQ(MacRandom(&seed), -21287);
  EXPECT_EQ(seed, 1622650073u);
  seed = 0;
  EXPECT_EQ(MacRandom(&seed), 0);
  EXPECT_EQ(seed, 0u);
}

TEST(MacRandom, AgreesWithWideArithmetic) {
  uint32_t seed = 1;
  for (uint32_t s : {2u, 0x40000000u, 0x7FFFFFFEu, 0x12345678u}) {
    uint32_t t = s;
    MacRandom(&t);
    EXPECT_EQ(t, uint32_t(uint64_t(s) * 16807u % 0x7FFFFFFFu)) << s;
  }
  for (int i = 0; i < 100000; ++i) {
    const uint32_t expected = uint32_t(uint64_t(seed) * 16807u % 0x7FFFFFFFu);
    const int16_t low = MacRandom(&seed);
    ASSERT_EQ(seed, expected);
    ASSERT_EQ(uint16_t(low), seed & 0xFFFFu);
  }
}

TEST(NoiseTable, SeedsAndAllocation) {
  ASSERT_EQ(InitNoise(TableAllocator::Allocate, nullptr), 1);
  EXPECT_EQ(TableAllocator::lastSize, 16388u);
  const float* byNull = static_cast<const float*>(TableAllocator::lastBlock);
  EXPECT_EQ(byNull[0], 0.2569350302219391f);
  EXPECT_EQ(byNull[1], 0.5878706574440002f);

  uint32_t seed = 1;
  ASSERT_EQ(InitNoise(TableAllocator::Allocate, &seed), 1);  // replaces, does not free
  EXPECT_EQ(seed, 3315543718u);
  const float* bySeed = static_cast<const float*>(TableAllocator::lastBlock);
  for (int i = 0; i < 4097; ++i) {
    ASSERT_EQ(bySeed[i], byNull[i]) << i;
    ASSERT_TRUE(bySeed[i] >= 0.0f && bySeed[i] <= 1.0f) << i;
  }
  free(const_cast<float*>(byNull));

  const int freesBefore = TableAllocator::frees;
  FinishNoise(TableAllocator::Release);
  FinishNoise(TableAllocator::Release);  // a second release does nothing
  EXPECT_EQ(TableAllocator::frees, freesBefore + 1);

  const uint32_t kept = seed;
  EXPECT_EQ(InitNoise(TableAllocator::Refuse, &seed), 0);
  EXPECT_EQ(seed, kept);
  FinishNoise(TableAllocator::Release);
  EXPECT_EQ(TableAllocator::frees, freesBefore + 1);
}

#ifndef NDEBUG
TEST(NoiseTableDeathTest, EvaluationWithoutTableAsserts) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(Noise(0.5f, 0.5f, 0.5f), "InitNoise");
  EXPECT_DEATH(Noise2D2(0.5f, 0.5f), "InitNoise");
}
#endif

class ValueNoise : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(InitNoise(TableAllocator::Allocate, nullptr), 1);
    table = static_cast<const float*>(TableAllocator::lastBlock);
  }
  void TearDown() override { FinishNoise(TableAllocator::Release); }
  // The lattice value at cell i along x only.
  float At(int32_t i) const { return table[(uint32_t(i) * 74809041u) & 0xFFF]; }
  const float* table = nullptr;
};

TEST_F(ValueNoise, LatticeValuesAtKnownPoints) {
  EXPECT_EQ(Noise1D(0.0f), 0.47971362f);
  EXPECT_EQ(Noise1D(0.0f), At(0) * 0.5f + At(1) * 0.5f);  // entries 0 and 3793
  EXPECT_EQ(Noise1D2(0.0f), At(0));
  EXPECT_EQ(Noise1D2(0.0f), 0.25693503f);
  // -0.5 lies in cell -1 at fraction 0.5: weights 1/8, 3/4, 1/8.
  EXPECT_FLOAT_EQ(Noise1D(-0.5f), At(-1) * 0.125f + At(0) * 0.75f + At(1) * 0.125f);
  EXPECT_FLOAT_EQ(Noise1D2(-0.5f), 0.5f * (At(-1) + At(0)));
  // Linear members reproduce the lattice at integer points, in every dimension.
  const uint32_t h = uint32_t(3) * 74809041u + uint32_t(-2) * 113448903u + 5u * 184734183u;
  EXPECT_EQ(Noise2D2(3.0f, -2.0f), table[(h - 5u * 184734183u) & 0xFFF]);
  EXPECT_EQ(Noise2(3.0f, -2.0f, 5.0f), table[h & 0xFFF]);
  EXPECT_EQ(Noise4D2(3.0f, -2.0f, 5.0f, 1.0f), table[(h + 255614433u) & 0xFFF]);
}

// Every member, as a function of four coordinates.
const std::function<float(float, float, float, float)> kMembers[] = {
    [](float x, float, float, float) { return Noise1D(x); },
    [](float x, float y, float, float) { return Noise2D(x, y); },
    [](float x, float y, float z, float) { return Noise(x, y, z); },
    [](float x, float y, float z, float t) { return Noise4D(x, y, z, t); },
    [](float x, float, float, float) { return Noise1D2(x); },
    [](float x, float y, float, float) { return Noise2D2(x, y); },
    [](float x, float y, float z, float) { return Noise2(x, y, z); },
    [](float x, float y, float z, float t) { return Noise4D2(x, y, z, t); },
};

TEST_F(ValueNoise, EveryMemberStaysInTheUnitInterval) {
  Positions pos;
  for (const auto& member : kMembers) {
    for (int i = 0; i < 2000; ++i) {
      const float v = member(pos.Next(300), pos.Next(300), pos.Next(300), pos.Next(300));
      ASSERT_TRUE(v >= 0.0f && v <= 1.0f) << v;
    }
    // Beyond the 32-bit lattice, and NaN: still a value, no undefined conversion.
    const float inf = std::numeric_limits<float>::infinity();
    for (float wild : {3e9f, -3e9f, 1e38f, inf, -inf, std::nanf("")}) {
      const float v = member(wild, wild, 0.25f, wild);
      EXPECT_TRUE(v >= 0.0f && v <= 1.0f) << wild;
    }
  }
}

TEST_F(ValueNoise, ContinuousAcrossCellFaces) {
  // The smooth members join their neighbours' pieces without a step.
  Positions pos;
  for (int axis = 0; axis < 4; ++axis) {
    for (int i = 0; i < 200; ++i) {
      float c[4] = {pos.Next(50), pos.Next(50), pos.Next(50), pos.Next(50)};
      c[axis] = std::floor(c[axis]);
      float below[4] = {c[0], c[1], c[2], c[3]};
      below[axis] = std::nextafter(c[axis], -1e9f);
      for (int m = axis; m < 4; ++m) {  // members of at least axis + 1 dimensions
        const float a = kMembers[m](c[0], c[1], c[2], c[3]);
        const float b = kMembers[m](below[0], below[1], below[2], below[3]);
        ASSERT_NEAR(a, b, 1e-4f) << "member " << m << " axis " << axis;
      }
    }
  }
}

TEST_F(ValueNoise, DerivativesMatchFiniteDifferences) {
  Positions pos;
  const float h = 1.0f / 1024;  // exact steps, kept inside one cell
  for (int i = 0; i < 500; ++i) {
    float p[3];
    for (float& c : p) c = std::floor(pos.Next(40)) + 0.05f + std::fabs(pos.Next(0.9f));
    float dx, dy, dz;
    const float value = DNoise2(p[0], p[1], p[2], &dx, &dy, &dz);
    EXPECT_EQ(value, Noise(p[0], p[1], p[2]));
    const float d3[3] = {dx, dy, dz};
    for (int a = 0; a < 3; ++a) {
      float hi[3] = {p[0], p[1], p[2]}, lo[3] = {p[0], p[1], p[2]};
      hi[a] += h;
      lo[a] -= h;
      const double diff = (double(Noise(hi[0], hi[1], hi[2])) - Noise(lo[0], lo[1], lo[2])) / (2 * h);
      ASSERT_NEAR(d3[a], diff, 2e-3) << "axis " << a;
    }
    float only[3];
    DNoise(p[0], p[1], p[2], &only[0], &only[1], &only[2]);
    EXPECT_EQ(only[0], dx);
    EXPECT_EQ(only[2], dz);

    float ax, ay;
    EXPECT_EQ(DNoise2D2(p[0], p[1], &ax, &ay), Noise2D(p[0], p[1]));
    const double diffX = (double(Noise2D(p[0] + h, p[1])) - Noise2D(p[0] - h, p[1])) / (2 * h);
    const double diffY = (double(Noise2D(p[0], p[1] + h)) - Noise2D(p[0], p[1] - h)) / (2 * h);
    ASSERT_NEAR(ax, diffX, 2e-3);
    ASSERT_NEAR(ay, diffY, 2e-3);
    float bx, by;
    DNoise2D(p[0], p[1], &bx, &by);
    EXPECT_EQ(bx, ax);
    EXPECT_EQ(by, ay);
  }
}

TEST_F(ValueNoise, FractalOctaves) {
  const float x = 0.3f, y = 1.7f, z = -2.2f, factor = 0.5f, scale = 0.8f;
  auto add = [](float sum, float amplitude, float v) {
    return float(double(amplitude) * (double(v) - 0.5) + sum);
  };
  EXPECT_EQ(FractalNoise(x, y, z, factor, scale, 0, 0), 0.5f);
  EXPECT_EQ(FractalNoise2D(x, y, factor, scale, 0, 0), 0.5f);
  // detail1 3, detail2 2: two smooth octaves, then stop.
  float two = add(0.5f, scale, Noise(x, y, z));
  two = add(two, scale * factor, Noise(2 * x, 2 * y, 2 * z));
  EXPECT_EQ(FractalNoise(x, y, z, factor, scale, 3, 2), two);
  EXPECT_EQ(FractalNoise(x, y, z, factor, scale, 2, 0), two);  // detail2 < 1: all smooth
  // detail1 1, detail2 3: one smooth octave, then the cheap one twice.
  float mixed = add(0.5f, scale, Noise(x, y, z));
  mixed = add(mixed, scale * factor, Noise2(2 * x, 2 * y, 2 * z));
  mixed = add(mixed, scale * factor * factor, Noise2(4 * x, 4 * y, 4 * z));
  EXPECT_EQ(FractalNoise(x, y, z, factor, scale, 1, 3), mixed);
  // The 2D member keeps the smooth noise in its cheap phase.
  float flat = add(0.5f, scale, Noise2D(x, y));
  flat = add(flat, scale * factor, Noise2D(2 * x, 2 * y));
  EXPECT_EQ(FractalNoise2D(x, y, factor, scale, 1, 2), flat);
}

TEST_F(ValueNoise, MarbleStaysInTheUnitInterval) {
  const float offset = 0.7f, turbulence = 0.3f, scale = 2.5f;
  const float base = std::fabs(float(std::sin(double((offset - 6.0f * turbulence) * scale))));
  EXPECT_EQ(MarbleNoise(1, 2, 3, 0.5f, offset, turbulence, scale, 0, 0), base);
  EXPECT_EQ(MarbleNoise2D(1, 2, 0.5f, offset, turbulence, scale, 0, 0), base);
  // One smooth octave, not centred.
  const float amplitude = 6.0f * turbulence;
  const float one = offset - amplitude + Noise(0.1f, 0.2f, 0.3f) * amplitude;
  EXPECT_EQ(MarbleNoise(0.1f, 0.2f, 0.3f, 0.5f, offset, turbulence, scale, 1, 0),
            std::fabs(float(std::sin(double(one * scale)))));
  Positions pos;
  for (int i = 0; i < 300; ++i) {
    const float v = MarbleNoise(pos.Next(20), pos.Next(20), pos.Next(20), 0.5f, pos.Next(3),
                                pos.Next(2), pos.Next(10), 2, 5);
    const float w = MarbleNoise2D(pos.Next(20), pos.Next(20), 0.5f, pos.Next(3), pos.Next(2),
                                  pos.Next(10), 3, 4);
    ASSERT_TRUE(v >= 0.0f && v <= 1.0f && w >= 0.0f && w <= 1.0f);
  }
}

TEST(Mandelbrot, EscapeCounts) {
  EXPECT_EQ(Mandelbrot(0, 0, 100), 100);
  EXPECT_EQ(Mandelbrot(3, 0, 100), 0);
  EXPECT_EQ(Mandelbrot(1, 0, 100), 2);     // orbit 1, 2, 5
  EXPECT_EQ(Mandelbrot(-1, 0, 1000), 1000);  // period two: -1, 0, -1
  EXPECT_EQ(Mandelbrot(-2, 0, 50), 50);    // |z| = 2 exactly never escapes
  EXPECT_EQ(Mandelbrot(0, 0, 0), 0);
  EXPECT_EQ(Mandelbrot(0, 0, -5), 0);
}

}  // namespace
