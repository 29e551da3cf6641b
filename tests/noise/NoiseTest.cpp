#include "noise/Noise.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>
#include <set>
#include <vector>

namespace {

// An allocator that lets a test look at the table it made; tables are released with free.
void* lastBlock = nullptr;
void* Allocate(uint32_t size) { return lastBlock = malloc(size); }
void* Refuse(uint32_t) { return nullptr; }

struct Positions {  // a fixed stream of test positions in [-range, range)
  std::mt19937 engine{12345};
  float Next(float range) { return std::uniform_real_distribution<float>(-range, range)(engine); }
};

TEST(MacRandom, MinimalStandardSequence) {
  uint32_t seed = 1;
  for (int16_t low : {16807, 15089, -21287}) EXPECT_EQ(MacRandom(&seed), low);
  EXPECT_EQ(seed, 1622650073u);
  for (int i = 0; i < 100000; ++i) {  // 64-bit arithmetic agrees; the low 16 bits are returned
    const uint32_t expected = uint32_t(uint64_t(seed) * 16807u % 0x7FFFFFFFu);
    ASSERT_TRUE(uint16_t(MacRandom(&seed)) == (expected & 0xFFFFu) && seed == expected) << i;
  }
  for (uint32_t zero : {0u, 0x7FFFFFFFu}) {  // zero, and the modulus itself, give zero
    seed = zero;
    EXPECT_TRUE(MacRandom(&seed) == 0 && seed == 0) << zero;
  }
}

TEST(NoiseTables, SeedsCountsAndAllocation) {
  uint32_t seed = 1;  // as a null seed: the fixture below checks the noise of that table
  ASSERT_EQ(InitNoise(Allocate, &seed), 1);
  const float* table = static_cast<const float*>(lastBlock);
  EXPECT_EQ(table[0], 0.2569350302219391f);
  EXPECT_EQ(seed, 3315543718u);  // advanced by 4097 steps
  uint32_t draw = 1;  // each entry a draw times the decimal 2.328306436e-10, not 2^-32
  for (int i = 0; i < 4097; ++i) {
    draw = draw * 1103515245u + 12345u;
    ASSERT_EQ(table[i], float(2.328306436e-10 * double(draw))) << i;
  }
  FinishNoise(free);
  FinishNoise(free);  // a second release does nothing (no double free for ASan to report)
  EXPECT_EQ(InitNoise(Refuse, &seed), 0);
  EXPECT_EQ(seed, 3315543718u);  // kept when the allocation fails

  // Cellular: point counts 1..9 rising with the index, p a shuffled permutation.
  ASSERT_EQ(InitCellularNoise(Allocate, nullptr), 1);
  const auto* t = static_cast<const CellularFeature*>(lastBlock);
  std::vector<int> counts(10);
  std::set<int> permuted;
  for (int i = 0; i < 1024; ++i) {
    ASSERT_TRUE(t[i].m >= 1 && t[i].m <= 9 && (i == 0 || t[i].m >= t[i - 1].m)) << i;
    ASSERT_TRUE(t[1024 + i].p == t[i].p && t[1024 + i].m == t[i].m) << "the second half repeats";
    ++counts[t[i].m];
    permuted.insert(t[i].p);
  }
  EXPECT_EQ(counts, (std::vector<int>{0, 204, 230, 229, 172, 104, 51, 22, 9, 3}));  // by points
  EXPECT_TRUE(permuted.size() == 1024 && *permuted.begin() == 0 && *permuted.rbegin() == 1023);
  FinishCellularNoise(free);
  EXPECT_EQ(InitCellularNoise(Refuse, nullptr), 0);
}

#ifndef NDEBUG
TEST(NoiseTablesDeathTest, EvaluationWithoutTableAsserts) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(Noise(0.5f, 0.5f, 0.5f), "InitNoise");
  EXPECT_DEATH(CellularNoise(nullptr, 0, 0.5f, 0.5f, 0.5f), "InitCellularNoise");
}
#endif

TEST(Mandelbrot, EscapeCounts) {
  // Orbits: 1, 2, 5 from 1; -1, 0, -1 (period two) from -1; -2 stays at |z| = 2, not beyond.
  const int32_t cases[][4] = {{0, 0, 100, 100}, {3, 0, 100, 0}, {1, 0, 100, 2}, {-1, 0, 1000, 1000},
                              {-2, 0, 50, 50},  {0, 0, 0, 0},   {0, 0, -5, 0}};
  for (const auto& [x, y, crunch, count] : cases) EXPECT_EQ(Mandelbrot(x, y, crunch), count) << x;
}

// Both tables, made from seed 1.
class Noises : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(InitCellularNoise(Allocate, nullptr), 1);
    cells = static_cast<const CellularFeature*>(lastBlock);
    ASSERT_EQ(InitNoise(Allocate, nullptr), 1);
    values = static_cast<const float*>(lastBlock);
  }
  void TearDown() override { FinishNoise(free), FinishCellularNoise(free); }
  // The lattice value at cell i along x only.
  float At(int32_t i) const { return values[(uint32_t(i) * 74809041u) & 0xFFF]; }
  // Cell hashes (the table's second half repeats the first, so a 3D row base may wrap).
  uint32_t Hash(int32_t x, int32_t y) const { return cells[y & 1023].p + (x & 1023); }
  uint32_t Hash(int32_t x, int32_t y, int32_t z) const {
    return Hash(x, cells[z & 1023].p + (y & 1023));
  }
  // Cell c's points relative to its corner, drawn independently of the search:
  // `draws` seeds per point (2 in a 2D search, 3 in 3D, 4 in dot lists).
  std::vector<std::vector<float>> CellPoints(uint32_t c, int draws) const {
    std::vector<std::vector<float>> points(cells[c].m);
    uint32_t seed = c;
    for (auto& p : points)
      for (int d = 0; d < draws; ++d) p.push_back((seed = seed * 1103515245u + 12345u) * 0x1p-32f);
    return points;
  }
  // Every point of the 3x3 (2D) or 3x3x3 (3D) block around q, nearest first:
  // squared distance and index.
  std::vector<std::pair<float, uint32_t>> BruteForce(const float* q, int dims) const {
    std::vector<std::pair<float, uint32_t>> all;
    for (int c = 0; c < (dims == 3 ? 27 : 9); ++c) {
      int32_t cell[3];
      float rel[3];  // q relative to that cell's corner
      for (int a = 0, stride = 1; a < 3; ++a, stride *= 3) {
        const int32_t home = int32_t(std::floor(q[a])), off = c / stride % 3 - 1;
        cell[a] = home + off, rel[a] = (q[a] - float(home)) - float(off);
      }
      const uint32_t h = dims == 3 ? Hash(cell[0], cell[1], cell[2]) : Hash(cell[0], cell[1]);
      const auto points = CellPoints(h, dims);
      for (size_t k = 0; k < points.size(); ++k) {
        float d = 0;
        for (int a = 0; a < dims; ++a) d = d + (points[k][a] - rel[a]) * (points[k][a] - rel[a]);
        all.push_back({d, uint32_t(k + 16 * h)});
      }
    }
    std::stable_sort(all.begin(), all.end(), [](auto& a, auto& b) { return a.first < b.first; });
    return all;
  }
  const float* values = nullptr;
  const CellularFeature* cells = nullptr;
};

TEST_F(Noises, LatticeValuesAtKnownPoints) {
  EXPECT_EQ(Noise1D(0.0f), 0.47971362f);
  EXPECT_EQ(Noise1D2(0.0f), At(0));
  // -0.5 lies in cell -1 at fraction 0.5: weights 1/8, 3/4, 1/8.  Each weight is
  // formed in double from the float fraction and its float square, then narrowed.
  for (float x : {-0.5f, 0.1f, 7.77f, -2.1f}) {
    const int32_t c = int32_t(std::floor(x));
    const float f = x - float(c), ff = f * f;
    const float w0 = float(double(0.5f * ff) + (0.5 - double(f))),
                w1 = float((double(f) + 0.5) - double(ff)), w2 = 0.5f * ff;
    EXPECT_EQ(Noise1D(x), (At(c) * w0 + At(c + 1) * w1) + At(c + 2) * w2) << x;
  }
  // The linear members reproduce the lattice at integer points.
  const uint32_t h = 3u * 74809041u + uint32_t(-2) * 113448903u + 5u * 184734183u + 255614433u;
  EXPECT_EQ(Noise4D2(3.0f, -2.0f, 5.0f, 1.0f), values[h & 0xFFF]);
  // Between them they blend along x, then along y with y's fraction: (3.25, -1.25)
  // lies in cell (3, -2) at fractions 0.25 and 0.75.
  const auto row = [&](int32_t y) {
    const float* v = values;
    const uint32_t base = uint32_t(y) * 113448903u;
    const float v3 = v[(3 * 74809041u + base) & 0xFFF], v4 = v[(4 * 74809041u + base) & 0xFFF];
    return v3 + (v4 - v3) * 0.25f;
  };
  EXPECT_EQ(Noise2D2(3.25f, -1.25f), row(-2) + (row(-1) - row(-2)) * 0.75f);
}

std::vector<float> AllValues(float x, float y, float z, float t) {  // of every value member
  return {Noise1D(x),  Noise2D(x, y),  Noise(x, y, z),  Noise4D(x, y, z, t),
          Noise1D2(x), Noise2D2(x, y), Noise2(x, y, z), Noise4D2(x, y, z, t)};
}

TEST_F(Noises, EveryValueMemberStaysInTheUnitIntervalWhateverTheCoordinates) {
  Positions pos;
  for (int i = 0; i < 2000; ++i)
    for (float v : AllValues(pos.Next(300), pos.Next(300), pos.Next(300), pos.Next(300)))
      ASSERT_TRUE(v >= 0.0f && v <= 1.0f) << v;
  // Beyond the 32-bit lattice, and NaN: still a value, no undefined conversion.
  for (float wild : {3e9f, -3e9f, 1e38f, INFINITY, -INFINITY, NAN})
    for (float v : AllValues(wild, wild, 0.25f, wild)) EXPECT_TRUE(v >= 0.0f && v <= 1.0f) << wild;
}

TEST_F(Noises, DerivativesMatchFiniteDifferences) {
  Positions pos;
  const float h = 1.0f / 1024;  // exact steps, kept inside one cell
  for (int i = 0; i < 500; ++i) {
    float p[3], d[5], same[5];  // the 3D slopes, then the 2D ones
    for (float& c : p) c = std::floor(pos.Next(40)) + 0.05f + std::fabs(pos.Next(0.9f));
    EXPECT_EQ(DNoise2(p[0], p[1], p[2], &d[0], &d[1], &d[2]), Noise(p[0], p[1], p[2]));
    EXPECT_EQ(DNoise2D2(p[0], p[1], &d[3], &d[4]), Noise2D(p[0], p[1]));
    DNoise(p[0], p[1], p[2], &same[0], &same[1], &same[2]);
    DNoise2D(p[0], p[1], &same[3], &same[4]);
    EXPECT_TRUE(std::equal(d, d + 5, same));
    for (int a = 0; a < 5; ++a) {
      float hi[3] = {p[0], p[1], p[2]}, lo[3] = {p[0], p[1], p[2]};
      hi[a % 3] += h, lo[a % 3] -= h;  // the 2D slopes (a = 3, 4) along x and y
      const double diff = a < 3 ? double(Noise(hi[0], hi[1], hi[2])) - Noise(lo[0], lo[1], lo[2])
                                : double(Noise2D(hi[0], hi[1])) - Noise2D(lo[0], lo[1]);
      ASSERT_NEAR(d[a], diff / (2 * h), 2e-3) << "slope " << a;
    }
  }
}

TEST_F(Noises, CellularSearchesFindTheNearestPointsOfTheBlockInOrder) {
  Positions pos;
  for (int dims = 2; dims <= 3; ++dims) {
    for (int i = 0; i < 400; ++i) {
      const float q[3] = {pos.Next(3000), pos.Next(3000), pos.Next(3000)};
      const auto expected = BruteForce(q, dims);
      for (uint32_t n : {0u, 1u, 3u}) {
        CellularData f[4];
        dims == 3 ? CellularNoise(f, n, q[0], q[1], q[2]) : CellularNoise2D(f, n, q[0], q[1]);
        ASSERT_EQ(f[0].index, expected[0].second) << dims << "D at " << q[0] << ", " << q[1];
        for (uint32_t k = 0; k <= n; ++k) {
          ASSERT_NEAR(f[k].distance, expected[k].first, 1e-5f) << dims << "D, entry " << k;
          ASSERT_TRUE(k == 0 || f[k - 1].distance <= f[k].distance);
          const float vz2 = dims == 3 ? f[k].vz * f[k].vz : 0;
          ASSERT_EQ((f[k].vx * f[k].vx + f[k].vy * f[k].vy) + vz2, f[k].distance);  // in order
        }
      }
    }
  }
  // Entries beyond the points found keep distance 100 and index 0; 2D never writes vz.
  CellularData f[301];
  for (int i = 0; i <= 300; ++i) f[i].vz = float(i);
  CellularNoise2D(f, 300, 10.25f, -3.5f);
  for (int i = 0; i <= 300; ++i) {  // at most nine points in each of the nine cells
    ASSERT_TRUE(i < 81 || (f[i].distance == 100 && f[i].index == 0)) << i;
    ASSERT_TRUE(f[i].vz == i && (i == 0 || f[i - 1].distance <= f[i].distance)) << i;
  }
}

TEST_F(Noises, CellularPatternRepeatsEvery1024Cells) {
  CellularData home[3], moved[3];
  CellularNoise(home, 2, 5.25f, -7.75f, 300.5f);
  for (int k = 0; k < 6; ++k) {  // by 1024 and by -2048 along each axis
    float q[3] = {5.25f, -7.75f, 300.5f};
    q[k % 3] += k < 3 ? 1024.0f : -2048.0f;
    CellularNoise(moved, 2, q[0], q[1], q[2]);
    EXPECT_EQ(std::memcmp(moved, home, sizeof home), 0) << k;
  }
  CellularNoise2D(home, 0, 0.125f, 0.375f);
  CellularNoise2D(moved, 0, 0.125f - 1024.0f, 0.375f + 3072.0f);
  EXPECT_EQ(std::memcmp(moved, home, sizeof home[0] - sizeof home[0].vz), 0);  // vz unwritten
}

TEST_F(Noises, DotListsHoldTheBlockAndRebuildOnlyOnACellChange) {
  CellularDotInfo info;
  SetupCellularDots(&info);
  BuildCellularDots(&info, 2.5f, -1.25f, 7.75f);
  uint32_t n = 0;  // the points of the cells around (2, -2, 7), x slowest, z fastest
  for (int c = 0; c < 27; ++c) n += cells[Hash(1 + c / 9, -3 + c / 3 % 3, 6 + c % 3)].m;
  const auto p = CellPoints(Hash(3, -1, 8), 4).back();  // the last, at its absolute position
  const CellularDotData& last = info.cellDotList[n - 1];
  EXPECT_TRUE(info.cellDotCount == n && last.vx == 3 + p[0] && last.vy == -1 + p[1] &&
              last.vz == 8 + p[2]);
  info.cellDotList[0].index = 0xDEADBEEF;  // a rebuild would overwrite it
  BuildCellularDots(&info, 2.99f, -1.01f, 7.0f);
  EXPECT_EQ(info.cellDotList[0].index, 0xDEADBEEFu);
  BuildCellularDots(&info, 3.0f, -1.01f, 7.0f);
  EXPECT_TRUE(info.cellXI == 3 && info.cellDotList[0].index != 0xDEADBEEFu);
  SetupCellularDots(&info);  // even a position in the marker cell gets its list after a setup
  BuildCellularDots(&info, 134217728.0f, 134217728.0f, 134217728.0f);
  EXPECT_GE(info.cellDotCount, 27u);
}

TEST_F(Noises, FractalMarbleAndCellularCompositions) {
  const float x = 0.3f, y = 1.7f, z = -2.2f;
  const auto add = [](float s, float a, float v) { return float(a * (double(v) - 0.5) + s); };
  // Octaves double the coordinates and halve (factor 0.5) the amplitude, from 0.8.
  const float first = add(0.5f, 0.8f, Noise(x, y, z)), first2 = add(0.5f, 0.8f, Noise2D(x, y));
  // detail1 3, detail2 2: detail2 octaves in all.
  EXPECT_EQ(FractalNoise(x, y, z, 0.5f, 0.8f, 3, 2), add(first, 0.4f, Noise(2 * x, 2 * y, 2 * z)));
  const float cheap = add(first, 0.4f, Noise2(2 * x, 2 * y, 2 * z));
  EXPECT_EQ(FractalNoise(x, y, z, 0.5f, 0.8f, 1, 3), add(cheap, 0.2f, Noise2(4 * x, 4 * y, 4 * z)));
  // The 2D member keeps the smooth noise in its cheap phase.
  EXPECT_EQ(FractalNoise2D(x, y, 0.5f, 0.8f, 1, 2), add(first2, 0.4f, Noise2D(2 * x, 2 * y)));
  // Marble: |sin| of the uncentred sum from offset - amplitude.
  const float amplitude = 6.0f * 0.3f, sum = 0.7f - amplitude + Noise(x, y, z) * amplitude;
  EXPECT_EQ(MarbleNoise(x, y, z, 0.5f, 0.7f, 0.3f, 2.5f, 1, 0),
            std::fabs(float(std::sin(double(sum * 2.5f)))));
  // Cellular fractals add the nearest squared distance at the offset position,
  // after any smooth octaves at twice the coordinates.
  CellularData f[1];
  CellularNoise(f, 0, x + 10, y + 20, z + 30);  // detail1 0: a sum from 0, not 0.5
  EXPECT_EQ(CellularFractalNoise(x, y, z, 10, 20, 30, 0.5f, 0.8f, 0, 1), f[0].distance * 0.8f);
  CellularNoise2D(f, 0, 2 * x + 10, 2 * y + 20);
  EXPECT_EQ(CellularFractalNoise2D(x, y, 10, 20, 0.5f, 0.8f, 1, 2), first2 + f[0].distance * 0.4f);
}

}  // namespace
