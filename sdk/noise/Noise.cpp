// The random generator and value noise.
#include "noise/Noise.h"

#include <cassert>

#include "noise/NoiseLattice.h"

using noise_detail::LatticeCell;

namespace {

enum : uint32_t {
  kTableEntries = 4097,  // the last one is made but never read
  kTableMask = 0xFFF,
};

float* noiseData = nullptr;

// Hash multipliers of the x, y, z and t axes: the table index of a lattice
// point is the wrapped sum of cell * multiplier over its axes.
constexpr uint32_t kAxisStep[4] = {74809041u, 113448903u, 184734183u, 255614433u};

inline float LatticeValue(uint32_t hash) { return noiseData[hash & kTableMask]; }

void SplineWeights(float f, float w[3]) {
  const float ff = f * f;
  w[0] = static_cast<float>(static_cast<double>(0.5f * ff) + (0.5 - static_cast<double>(f)));
  w[1] = static_cast<float>((static_cast<double>(f) + 0.5) - static_cast<double>(ff));
  w[2] = 0.5f * ff;
}

// The weights' derivatives with respect to f.
void SlopeWeights(float f, float d[3]) {
  d[0] = f - 1.0f;
  d[1] = static_cast<float>(1.0 - static_cast<double>(f) - static_cast<double>(f));
  d[2] = f;
}

// Tensor-product sums, x innermost: each level combines three (or two)
// sums of the level below, stepping along its own axis.
template <int D>
struct Spline {
  static float Sum(uint32_t hash, const float (*w)[3]) {
    const uint32_t step = kAxisStep[D - 1];
    const float* wd = w[D - 1];
    return (Spline<D - 1>::Sum(hash, w) * wd[0] + Spline<D - 1>::Sum(hash + step, w) * wd[1]) +
           Spline<D - 1>::Sum(hash + step + step, w) * wd[2];
  }
};
template <>
struct Spline<0> {
  static float Sum(uint32_t hash, const float (*)[3]) { return LatticeValue(hash); }
};

template <int D>
struct Linear {
  static float Sum(uint32_t hash, const float* f) {
    const float a = Linear<D - 1>::Sum(hash, f);
    const float b = Linear<D - 1>::Sum(hash + kAxisStep[D - 1], f);
    return a + (b - a) * f[D - 1];
  }
};
template <>
struct Linear<0> {
  static float Sum(uint32_t hash, const float*) { return LatticeValue(hash); }
};

// The hash of the query's cell and the fraction along each axis.
template <int D>
uint32_t Locate(const float (&c)[D], float (&f)[D]) {
  assert(noiseData != nullptr && "InitNoise must succeed before noise is evaluated");
  uint32_t hash = 0;
  for (int a = 0; a < D; ++a) {
    hash += static_cast<uint32_t>(LatticeCell(c[a], &f[a])) * kAxisStep[a];
  }
  return hash;
}

template <int D>
float SplineNoise(const float (&c)[D]) {
  float f[D];
  const uint32_t hash = Locate(c, f);
  float w[D][3];
  for (int a = 0; a < D; ++a) SplineWeights(f[a], w[a]);
  return Spline<D>::Sum(hash, w);
}

template <int D>
float LinearNoise(const float (&c)[D]) {
  float f[D];
  const uint32_t hash = Locate(c, f);
  return Linear<D>::Sum(hash, f);
}

// The value, and in slope[a] the sum with axis a's weights replaced by
// their derivatives.
template <int D>
float SplineSlopes(const float (&c)[D], float* const (&slope)[D]) {
  float f[D];
  const uint32_t hash = Locate(c, f);
  float w[D][3];
  for (int a = 0; a < D; ++a) SplineWeights(f[a], w[a]);
  for (int a = 0; a < D; ++a) {
    float wa[D][3];
    for (int b = 0; b < D; ++b) {
      if (b == a) {
        SlopeWeights(f[b], wa[b]);
      } else {
        for (int k = 0; k < 3; ++k) wa[b][k] = w[b][k];
      }
    }
    *slope[a] = Spline<D>::Sum(hash, wa);
  }
  return Spline<D>::Sum(hash, w);
}

}  // namespace

int16_t MacRandom(uint32_t* seed) {
  // 16-bit partial products keep every step inside 32 bits.
  const uint32_t lo = (*seed & 0xFFFFu) * 16807u;
  const uint32_t hi = (*seed >> 16) * 16807u + (lo >> 16);
  const uint32_t sum = ((hi & 0x7FFFu) << 16) + ((hi + hi) >> 16) + (lo & 0xFFFFu);
  *seed = sum >= 0x7FFFFFFFu ? sum - 0x7FFFFFFFu : sum;
  const int32_t low = static_cast<int32_t>(*seed & 0xFFFFu);
  return static_cast<int16_t>(low >= 0x8000 ? low - 0x10000 : low);
}

int32_t InitNoise(NoiseMallocFunction noiseMalloc, uint32_t* noiseSeed) {
  uint32_t seed = noiseSeed != nullptr ? *noiseSeed : 1u;
  noiseData = static_cast<float*>(noiseMalloc(kTableEntries * sizeof(float)));
  if (noiseData == nullptr) return 0;
  for (uint32_t i = 0; i < kTableEntries; ++i) {
    seed = seed * 1103515245u + 12345u;
    noiseData[i] = static_cast<float>(2.328306436e-10 * static_cast<double>(seed));
  }
  if (noiseSeed != nullptr) *noiseSeed = seed;
  return 1;
}

void FinishNoise(NoiseFreeFunction noiseFree) {
  if (noiseData != nullptr) {
    noiseFree(noiseData);
    noiseData = nullptr;
  }
}

float Noise1D(float x) { return SplineNoise<1>({x}); }
float Noise2D(float x, float y) { return SplineNoise<2>({x, y}); }
float Noise(float x, float y, float z) { return SplineNoise<3>({x, y, z}); }
float Noise4D(float x, float y, float z, float t) { return SplineNoise<4>({x, y, z, t}); }

float Noise1D2(float x) { return LinearNoise<1>({x}); }
float Noise2D2(float x, float y) { return LinearNoise<2>({x, y}); }
float Noise2(float x, float y, float z) { return LinearNoise<3>({x, y, z}); }
float Noise4D2(float x, float y, float z, float t) { return LinearNoise<4>({x, y, z, t}); }

float DNoise2D2(float x, float y, float* aNum, float* bNum) {
  return SplineSlopes<2>({x, y}, {aNum, bNum});
}

void DNoise2D(float x, float y, float* aNum, float* bNum) { DNoise2D2(x, y, aNum, bNum); }

float DNoise2(float x, float y, float z, float* aNum, float* bNum, float* cNum) {
  return SplineSlopes<3>({x, y, z}, {aNum, bNum, cNum});
}

void DNoise(float x, float y, float z, float* aNum, float* bNum, float* cNum) {
  DNoise2(x, y, z, aNum, bNum, cNum);
}
