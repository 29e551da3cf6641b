#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>
#include <vector>

#include "NoiseTestSupport.h"
#include "noise/Noise.h"

namespace {

TEST(CellularTable, PointCountsAndShuffle) {
  ASSERT_EQ(InitCellularNoise(TableAllocator::Allocate, nullptr), 1);
  EXPECT_EQ(TableAllocator::lastSize, 8192u);
  const auto* t = static_cast<const CellularFeature*>(TableAllocator::lastBlock);
  const int expected[10] = {0, 204, 230, 229, 172, 104, 51, 22, 9, 3};
  int counts[10] = {0};
  std::set<int> permuted;
  for (int i = 0; i < 1024; ++i) {
    ASSERT_TRUE(t[i].m >= 1 && t[i].m <= 9);
    if (i > 0) {
      ASSERT_GE(t[i].m, t[i - 1].m) << "counts rise with the index";
    }
    ++counts[t[i].m];
    permuted.insert(t[i].p);
    EXPECT_EQ(t[1024 + i].p, t[i].p);
    EXPECT_EQ(t[1024 + i].m, t[i].m);
  }
  for (int m = 1; m <= 9; ++m) EXPECT_EQ(counts[m], expected[m]) << m << " points";
  EXPECT_EQ(permuted.size(), 1024u);
  EXPECT_EQ(*permuted.begin(), 0);
  EXPECT_EQ(*permuted.rbegin(), 1023);
  int moved = 0;
  for (int i = 0; i < 1024; ++i) moved += t[i].p != i;
  EXPECT_GT(moved, 900);

  uint32_t seed = 1;
  ASSERT_EQ(InitCellularNoise(TableAllocator::Allocate, &seed), 1);
  const auto* again = static_cast<const CellularFeature*>(TableAllocator::lastBlock);
  for (int i = 0; i < 2048; ++i) ASSERT_EQ(again[i].p, t[i].p);
  EXPECT_NE(seed, 1u);
  free(const_cast<CellularFeature*>(t));
  FinishCellularNoise(TableAllocator::Release);
  EXPECT_EQ(InitCellularNoise(TableAllocator::Refuse, nullptr), 0);
}

#ifndef NDEBUG
TEST(CellularTableDeathTest, SearchWithoutTableAsserts) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  CellularData f[1];
  EXPECT_DEATH(CellularNoise(f, 0, 0.5f, 0.5f, 0.5f), "InitCellularNoise");
}
#endif

struct Point {
  float d;
  uint32_t index;
};

class Cellular : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(InitCellularNoise(TableAllocator::Allocate, nullptr), 1);
    table = static_cast<const CellularFeature*>(TableAllocator::lastBlock);
  }
  void TearDown() override { FinishCellularNoise(TableAllocator::Release); }

  // A cell's points drawn independently of the search: `draws` seeds per
  // point (one per coordinate for searches, 4 for dot lists), relative to
  // the cell's corner.
  std::vector<std::vector<float>> CellPoints(uint32_t c, int dims, int draws) const {
    std::vector<std::vector<float>> points;
    uint32_t seed = c;
    for (int k = 0; k < table[c].m; ++k) {
      std::vector<float> p;
      for (int d = 0; d < draws; ++d) {
        seed = seed * 1103515245u + 12345u;
        if (d < dims) p.push_back(float(seed) * 0x1p-32f);
      }
      points.push_back(p);
    }
    return points;
  }
  uint32_t Hash(int32_t x, int32_t y) const { return table[uint32_t(y) & 1023].p + (uint32_t(x) & 1023); }
  uint32_t Hash(int32_t x, int32_t y, int32_t z) const {
    return table[table[uint32_t(z) & 1023].p + (uint32_t(y) & 1023)].p + (uint32_t(x) & 1023);
  }

  // Every point of the block around the query, nearest first.
  std::vector<Point> BruteForce(const float* q, int dims) const {
    int32_t cell[3] = {0, 0, 0};
    float frac[3] = {0, 0, 0};
    for (int a = 0; a < dims; ++a) {
      cell[a] = int32_t(std::floor(q[a]));
      frac[a] = q[a] - float(cell[a]);
    }
    std::vector<Point> all;
    for (int dz = (dims == 3 ? -1 : 0); dz <= (dims == 3 ? 1 : 0); ++dz)
      for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) {
          const int32_t off[3] = {dx, dy, dz};
          const uint32_t c = dims == 3 ? Hash(cell[0] + dx, cell[1] + dy, cell[2] + dz)
                                       : Hash(cell[0] + dx, cell[1] + dy);
          const auto points = CellPoints(c, dims, dims);
          for (size_t k = 0; k < points.size(); ++k) {
            float d = 0;
            for (int a = 0; a < dims; ++a) {
              const float v = points[k][a] - (frac[a] - float(off[a]));
              d = d + v * v;
            }
            all.push_back({d, uint32_t(k + 16 * c)});
          }
        }
    std::stable_sort(all.begin(), all.end(), [](const Point& a, const Point& b) { return a.d < b.d; });
    return all;
  }

  const CellularFeature* table = nullptr;
};

TEST_F(Cellular, SearchesFindTheNearestPointsOfTheBlock) {
  Positions pos;
  for (int dims = 2; dims <= 3; ++dims) {
    for (int i = 0; i < 400; ++i) {
      const float q[3] = {pos.Next(3000), pos.Next(3000), pos.Next(3000)};
      const auto expected = BruteForce(q, dims);
      for (uint32_t n : {0u, 1u, 3u}) {
        CellularData f[4];
        if (dims == 3) {
          CellularNoise(f, n, q[0], q[1], q[2]);
        } else {
          CellularNoise2D(f, n, q[0], q[1]);
        }
        for (uint32_t k = 0; k <= n; ++k) {
          ASSERT_NEAR(f[k].distance, expected[k].d, 1e-5f) << dims << "D, entry " << k;
          if (k > 0) {
            ASSERT_LE(f[k - 1].distance, f[k].distance);
          }
          const float v2 = f[k].vx * f[k].vx + f[k].vy * f[k].vy + (dims == 3 ? f[k].vz * f[k].vz : 0);
          ASSERT_NEAR(v2, f[k].distance, 1e-5f);
        }
        ASSERT_EQ(f[0].index, expected[0].index) << dims << "D at " << q[0] << ", " << q[1];
        ASSERT_LE(f[0].distance, dims == 3 ? 3.0f : 2.0f);  // the home cell is never empty
      }
    }
  }
}

TEST_F(Cellular, UnfilledEntriesAndTheUntouchedZ) {
  CellularData f[301];
  for (int i = 0; i <= 300; ++i) f[i].vz = float(i) + 0.5f;
  CellularNoise2D(f, 300, 10.25f, -3.5f);
  for (int i = 0; i <= 300; ++i) ASSERT_EQ(f[i].vz, float(i) + 0.5f);
  int found = 0;
  while (f[found].distance < 100.0f) ++found;
  EXPECT_GE(found, 9);   // at least one point in each of the nine cells
  EXPECT_LE(found, 81);
  for (int i = found; i <= 300; ++i) {
    ASSERT_EQ(f[i].distance, 100.0f);
    ASSERT_EQ(f[i].index, 0u);
  }
}

TEST_F(Cellular, PatternRepeatsEvery1024Cells) {
  const float base[3] = {5.25f, -7.75f, 300.5f};
  CellularData home[3], moved[3];
  CellularNoise(home, 2, base[0], base[1], base[2]);
  for (int axis = 0; axis < 3; ++axis) {
    for (float shift : {1024.0f, -2048.0f}) {
      float q[3] = {base[0], base[1], base[2]};
      q[axis] += shift;
      CellularNoise(moved, 2, q[0], q[1], q[2]);
      for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(moved[k].index, home[k].index);
        EXPECT_EQ(moved[k].distance, home[k].distance);
        EXPECT_EQ(moved[k].vx, home[k].vx);
        EXPECT_EQ(moved[k].vz, home[k].vz);
      }
    }
  }
  CellularData a[1], b[1];
  CellularNoise2D(a, 0, 0.125f, 0.375f);
  CellularNoise2D(b, 0, 0.125f - 1024.0f, 0.375f + 3072.0f);
  EXPECT_EQ(a[0].index, b[0].index);
  EXPECT_EQ(a[0].distance, b[0].distance);
}

TEST_F(Cellular, DotListsHoldTheBlockAndRebuildOnlyOnACellChange) {
  CellularDotInfo info;
  SetupCellularDots(&info);
  BuildCellularDots(&info, 2.5f, -1.25f, 7.75f);
  EXPECT_EQ(info.cellXI, 2);
  EXPECT_EQ(info.cellYI, -2);
  EXPECT_EQ(info.cellZI, 7);
  uint32_t n = 0;
  for (int dx = -1; dx <= 1; ++dx)
    for (int dy = -1; dy <= 1; ++dy)
      for (int dz = -1; dz <= 1; ++dz) {
        const auto points = CellPoints(Hash(2 + dx, -2 + dy, 7 + dz), 3, 4);
        for (const auto& p : points) {
          ASSERT_LT(n, info.cellDotCount);
          const CellularDotData& dot = info.cellDotList[n++];
          EXPECT_EQ(dot.vx, float(2 + dx) + p[0]);
          EXPECT_EQ(dot.vy, float(-2 + dy) + p[1]);
          EXPECT_EQ(dot.vz, float(7 + dz) + p[2]);
        }
      }
  EXPECT_EQ(info.cellDotCount, n);

  info.cellDotList[0].index = 0xDEADBEEF;  // a rebuild would overwrite it
  BuildCellularDots(&info, 2.99f, -1.01f, 7.0f);
  EXPECT_EQ(info.cellDotList[0].index, 0xDEADBEEFu);
  BuildCellularDots(&info, 3.0f, -1.01f, 7.0f);
  EXPECT_EQ(info.cellXI, 3);
  EXPECT_NE(info.cellDotList[0].index, 0xDEADBEEFu);

  // Even a position in the marker cell gets its list after a setup.
  SetupCellularDots(&info);
  BuildCellularDots(&info, 134217728.0f, 134217728.0f, 134217728.0f);
  EXPECT_GE(info.cellDotCount, 27u);
}

TEST_F(Cellular, FractalMembersAddNearestDistances) {
  ASSERT_EQ(InitNoise(TableAllocator::Allocate, nullptr), 1);
  const float x = 0.6f, y = -1.3f, z = 2.1f, xo = 10.0f, yo = 20.0f, zo = 30.0f;
  CellularData f[1];
  CellularNoise(f, 0, x + xo, y + yo, z + zo);
  EXPECT_EQ(CellularFractalNoise(x, y, z, xo, yo, zo, 0.5f, 0.8f, 0, 1), f[0].distance * 0.8f);
  CellularNoise2D(f, 0, x + xo, y + yo);
  EXPECT_EQ(CellularFractalNoise2D(x, y, xo, yo, 0.5f, 0.8f, 0, 1), f[0].distance * 0.8f);
  // One smooth octave, then the cellular one at twice the coordinates.
  const float smooth = float(0.8 * (double(Noise(x, y, z)) - 0.5) + 0.5);
  CellularNoise(f, 0, 2 * x + xo, 2 * y + yo, 2 * z + zo);
  EXPECT_EQ(CellularFractalNoise(x, y, z, xo, yo, zo, 0.5f, 0.8f, 1, 2),
            smooth + f[0].distance * 0.4f);
  FinishNoise(TableAllocator::Release);
}

}  // namespace
