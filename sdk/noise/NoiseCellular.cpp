// Cellular noise: feature points scattered a few per unit cell, and searches
// for the ones nearest to a position.
#include <cassert>
#include <cmath>

#include "noise/Noise.h"
#include "noise/NoiseLattice.h"

using noise_detail::LatticeCell;

namespace {

enum : uint32_t {
  kCells = 1024,  // the pattern repeats every 1024 cells along each axis
  kCellMask = kCells - 1,
  kFeatureEntries = 2 * kCells,  // the second half repeats the first: no wrap
  kMaxPointsPerCell = 9,
};

CellularFeature* cellularFeatures = nullptr;

inline uint32_t NextSeed(uint32_t seed) { return seed * 1103515245u + 12345u; }

// A coordinate in [0, 1] relative to the cell's corner.
inline float Draw(uint32_t* seed) {
  *seed = NextSeed(*seed);
  return static_cast<float>(*seed) * 0x1p-32f;
}

inline uint32_t Permuted(uint32_t i) { return static_cast<uint32_t>(cellularFeatures[i].p); }

// The hash of cell (x, row) in the row whose base is rowBase; 0..2046.
inline uint32_t CellHash(uint32_t rowBase, uint32_t x) { return rowBase + (x & kCellMask); }
inline uint32_t RowBase3D(uint32_t y, uint32_t z) {
  return Permuted(Permuted(z & kCellMask) + (y & kCellMask));
}
inline uint32_t RowBase2D(uint32_t y) { return Permuted(y & kCellMask); }

// Inserts a point into the sorted list f[0..n] when it is nearer than the
// last entry.  A point at the same distance as a kept one goes after it.
// Entries move without their vz when Dims is 2, so a 2D search never
// touches vz.
template <int Dims>
void Insert(CellularData* f, uint32_t n, uint32_t index, float d, float vx, float vy, float vz) {
  if (!(d < f[n].distance)) return;
  uint32_t j = n;
  while (j > 0 && f[j - 1].distance > d) {
    f[j].index = f[j - 1].index;
    f[j].distance = f[j - 1].distance;
    f[j].vx = f[j - 1].vx;
    f[j].vy = f[j - 1].vy;
    if (Dims == 3) f[j].vz = f[j - 1].vz;
    --j;
  }
  f[j].index = index;
  f[j].distance = d;
  f[j].vx = vx;
  f[j].vy = vy;
  if (Dims == 3) f[j].vz = vz;
}

// The points of cell c against a query at (x, y, z) relative to its corner.
void DoCell(CellularData* f, uint32_t n, uint32_t c, float x, float y, float z) {
  uint32_t seed = c;
  const uint32_t count = cellularFeatures[c].m;
  for (uint32_t k = 0; k < count; ++k) {
    const float vx = Draw(&seed) - x;
    const float vy = Draw(&seed) - y;
    const float vz = Draw(&seed) - z;
    Insert<3>(f, n, k + 16 * c, (vx * vx + vy * vy) + vz * vz, vx, vy, vz);
  }
}

void DoCell2D(CellularData* f, uint32_t n, uint32_t c, float x, float y) {
  uint32_t seed = c;
  const uint32_t count = cellularFeatures[c].m;
  for (uint32_t k = 0; k < count; ++k) {
    const float vx = Draw(&seed) - x;
    const float vy = Draw(&seed) - y;
    Insert<2>(f, n, k + 16 * c, vx * vx + vy * vy, vx, vy, 0.0f);
  }
}

// Appends the absolute positions of cell c's points, whose corner is
// (x, y, z); each point takes a fourth draw as its id.
void DoCellularDots(CellularDotInfo* theInfo, uint32_t c, float x, float y, float z) {
  uint32_t seed = c;
  const uint32_t count = cellularFeatures[c].m;
  for (uint32_t k = 0; k < count && theInfo->cellDotCount < kCellularDotMax; ++k) {
    CellularDotData* dot = &theInfo->cellDotList[theInfo->cellDotCount++];
    dot->vx = x + Draw(&seed);
    dot->vy = y + Draw(&seed);
    dot->vz = z + Draw(&seed);
    seed = NextSeed(seed);
    dot->index = seed;
  }
}

void ClearResults(CellularData* f, uint32_t n) {
  for (uint32_t i = 0;; ++i) {
    f[i].distance = 100.0f;
    f[i].index = 0;
    if (i == n) break;
  }
}

}  // namespace

int32_t InitCellularNoise(NoiseMallocFunction noiseMalloc, uint32_t* noiseSeed) {
  CellularFeature* table =
      static_cast<CellularFeature*>(noiseMalloc(kFeatureEntries * sizeof(CellularFeature)));
  cellularFeatures = table;
  if (table == nullptr) return 0;

  // Cumulative Poisson probabilities of 0..9 points for a mean of 3.
  const double density = 3.0;
  const double none = std::exp(-density);
  double probability[kMaxPointsPerCell + 1];
  probability[0] = none;
  double power = 1.0;
  double factorial = 1.0;
  for (uint32_t i = 1; i <= kMaxPointsPerCell; ++i) {
    power *= density;
    factorial *= i;
    probability[i] = probability[i - 1] + none * power / factorial;
  }

  // Point counts rise with the index (an empty cell counts as one point);
  // the shuffled p decides which count a cell gets.
  double p = 0.0;
  for (uint32_t i = 0; i < kCells; ++i) {
    uint32_t count = kMaxPointsPerCell;
    for (uint32_t j = 1; j < kMaxPointsPerCell; ++j) {
      if (p <= probability[j]) {
        count = j;
        break;
      }
    }
    table[i].m = static_cast<uint8_t>(count);
    table[i].p = static_cast<int16_t>(i);
    p += 0.0009765625;
  }

  uint32_t seed = noiseSeed != nullptr ? *noiseSeed : 1u;
  for (uint32_t i = 0; i < kCells; ++i) {
    seed = NextSeed(seed);
    const uint32_t j = seed & kCellMask;
    const int16_t swap = table[i].p;
    table[i].p = table[j].p;
    table[j].p = swap;
  }
  for (uint32_t i = 0; i < kCells; ++i) table[kCells + i] = table[i];

  if (noiseSeed != nullptr) *noiseSeed = seed;
  return 1;
}

void FinishCellularNoise(NoiseFreeFunction noiseFree) {
  if (cellularFeatures != nullptr) {
    noiseFree(cellularFeatures);
    cellularFeatures = nullptr;
  }
}

void CellularNoise(CellularData* f, uint32_t n, float xr, float yr, float zr) {
  assert(cellularFeatures != nullptr && "InitCellularNoise must succeed before a search");
  float fx, fy, fz;
  // Cells wrap as unsigned numbers: only their low 10 bits count.
  const uint32_t xi = static_cast<uint32_t>(LatticeCell(xr, &fx));
  const uint32_t yi = static_cast<uint32_t>(LatticeCell(yr, &fy));
  const uint32_t zi = static_cast<uint32_t>(LatticeCell(zr, &fz));
  ClearResults(f, n);

  // Squared distances to the six faces of the home cell.  A neighbour is
  // searched only while the worst kept point is farther than its face.
  const float nearX = fx * fx, farX = (1.0f - fx) * (1.0f - fx);
  const float nearY = fy * fy, farY = (1.0f - fy) * (1.0f - fy);
  const float nearZ = fz * fz, farZ = (1.0f - fz) * (1.0f - fz);
  const float& worst = f[n].distance;

  auto row = [&](uint32_t y, uint32_t z, float qy, float qz) {
    const uint32_t base = RowBase3D(y, z);
    DoCell(f, n, CellHash(base, xi), fx, qy, qz);
    if (worst > nearX) DoCell(f, n, CellHash(base, xi - 1), fx + 1.0f, qy, qz);
    if (worst > farX) DoCell(f, n, CellHash(base, xi + 1), fx - 1.0f, qy, qz);
  };
  auto layer = [&](uint32_t z, float qz) {
    row(yi, z, fy, qz);
    if (worst > nearY) row(yi - 1, z, fy + 1.0f, qz);
    if (worst > farY) row(yi + 1, z, fy - 1.0f, qz);
  };
  layer(zi, fz);
  if (worst > nearZ) layer(zi - 1, fz + 1.0f);
  if (worst > farZ) layer(zi + 1, fz - 1.0f);
}

void CellularNoise2D(CellularData* f, uint32_t n, float xr, float yr) {
  assert(cellularFeatures != nullptr && "InitCellularNoise must succeed before a search");
  float fx, fy;
  const uint32_t xi = static_cast<uint32_t>(LatticeCell(xr, &fx));
  const uint32_t yi = static_cast<uint32_t>(LatticeCell(yr, &fy));
  ClearResults(f, n);

  const float nearX = fx * fx, farX = (1.0f - fx) * (1.0f - fx);
  const float nearY = fy * fy, farY = (1.0f - fy) * (1.0f - fy);
  const float& worst = f[n].distance;

  auto row = [&](uint32_t y, float qy) {
    const uint32_t base = RowBase2D(y);
    DoCell2D(f, n, CellHash(base, xi), fx, qy);
    if (worst > nearX) DoCell2D(f, n, CellHash(base, xi - 1), fx + 1.0f, qy);
    if (worst > farX) DoCell2D(f, n, CellHash(base, xi + 1), fx - 1.0f, qy);
  };
  row(yi, fy);
  if (worst > nearY) row(yi - 1, fy + 1.0f);
  if (worst > farY) row(yi + 1, fy - 1.0f);
}

void SetupCellularDots(CellularDotInfo* theInfo) {
  theInfo->cellDotCount = 0;
  // A marker cell far from ordinary positions; the empty list alone already
  // makes the next build fill it (see BuildCellularDots).
  theInfo->cellXI = 0x8000000;
  theInfo->cellYI = 0x8000000;
  theInfo->cellZI = 0x8000000;
}

void BuildCellularDots(CellularDotInfo* theInfo, float x, float y, float z) {
  assert(cellularFeatures != nullptr && "InitCellularNoise must succeed before a build");
  float fx, fy, fz;
  const int32_t xi = LatticeCell(x, &fx);
  const int32_t yi = LatticeCell(y, &fy);
  const int32_t zi = LatticeCell(z, &fz);
  // A built list holds at least one point per cell, so an empty one describes
  // no cell even when the query lies in the marker cell.
  if (theInfo->cellDotCount != 0 && xi == theInfo->cellXI && yi == theInfo->cellYI &&
      zi == theInfo->cellZI) {
    return;
  }

  theInfo->cellDotCount = 0;
  theInfo->cellXI = xi;
  theInfo->cellYI = yi;
  theInfo->cellZI = zi;
  for (int32_t dx = -1; dx <= 1; ++dx) {
    for (int32_t dy = -1; dy <= 1; ++dy) {
      for (int32_t dz = -1; dz <= 1; ++dz) {
        const uint32_t c = CellHash(
            RowBase3D(static_cast<uint32_t>(yi) + static_cast<uint32_t>(dy),
                      static_cast<uint32_t>(zi) + static_cast<uint32_t>(dz)),
            static_cast<uint32_t>(xi) + static_cast<uint32_t>(dx));
        // Corners in 64 bits: a cell at the 32-bit limit has no neighbour
        // number of its own.
        DoCellularDots(theInfo, c, static_cast<float>(static_cast<int64_t>(xi) + dx),
                       static_cast<float>(static_cast<int64_t>(yi) + dy),
                       static_cast<float>(static_cast<int64_t>(zi) + dz));
      }
    }
  }
}
