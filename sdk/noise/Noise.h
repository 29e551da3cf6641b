// Procedural noise for shaders and textures: a portable random generator,
// value noise in one to four dimensions with derivatives, cellular (nearest
// feature point) noise, and fractal, marble and Mandelbrot compositions.
//
// Tables.  The value-noise functions read one module-wide table made by
// InitNoise; the cellular functions read another made by InitCellularNoise.
// No function checks for its table in release builds: calling one before its
// Init succeeded (or after its Finish) reads through a null pointer.  Debug
// builds stop there with an assertion.  Tables are shared and unlocked:
// initialisation and release must not overlap with evaluation.
//
// Coordinates beyond the 32-bit lattice (|c| >= 2^31), infinities and NaN
// evaluate in the outermost cell at fraction 0 rather than failing.
//
// Arithmetic is single precision wherever the results are floats, with a few
// steps in double as noted; results are the same on every platform that
// builds without fused multiply-adds.
#ifndef QVKIT_NOISE_NOISE_H
#define QVKIT_NOISE_NOISE_H

#include <cstdint>

// The caller's allocator (null on failure) and the matching release.
typedef void* (*NoiseMallocFunction)(uint32_t byteCount);
typedef void (*NoiseFreeFunction)(void* block);

// ------------------------------------------------------------ random numbers

// Park and Miller's minimal standard generator: *seed = 16807 * *seed mod
// (2^31 - 1).  Returns the low 16 bits of the new seed as a signed value.
int16_t MacRandom(uint32_t* seed);

// ---------------------------------------------------------------- value noise

// Makes the lattice table (4097 floats in [0, 1]) from *noiseSeed, or from 1
// when noiseSeed is null, and advances *noiseSeed by 4097 steps.  Returns 1,
// or 0 when the allocation failed (the table is then null).  A second call
// without FinishNoise drops the old table without releasing it.
int32_t InitNoise(NoiseMallocFunction noiseMalloc, uint32_t* noiseSeed);
void FinishNoise(NoiseFreeFunction noiseFree);

// Smooth noise (quadratic B-spline, continuous first derivatives) in [0, 1].
float Noise1D(float x);
float Noise2D(float x, float y);
float Noise(float x, float y, float z);
float Noise4D(float x, float y, float z, float t);
// Cheaper noise, linear between lattice values, in [0, 1].
float Noise1D2(float x);
float Noise2D2(float x, float y);
float Noise2(float x, float y, float z);
float Noise4D2(float x, float y, float z, float t);
// Partial derivatives of the smooth noise with respect to the coordinates;
// the members ending in 2 also return the value itself.
void DNoise2D(float x, float y, float* aNum, float* bNum);
float DNoise2D2(float x, float y, float* aNum, float* bNum);
void DNoise(float x, float y, float z, float* aNum, float* bNum, float* cNum);
float DNoise2(float x, float y, float z, float* aNum, float* bNum, float* cNum);

// ------------------------------------------------------------ cellular noise

// One entry of the cellular table: a permuted index (0..1023) and the number
// of feature points of the cells that hash to it (1..9).
struct CellularFeature {
  int16_t p;
  uint8_t m;
};
static_assert(sizeof(CellularFeature) == 4, "CellularFeature is four bytes");

// A feature point found by a search: index = point number + 16 * cell hash;
// distance is squared; (vx, vy, vz) runs from the query to the point.
struct CellularData {
  uint32_t index;
  float distance;
  float vx, vy, vz;
};

// A feature point of a dot list, at its absolute position, with a random id.
struct CellularDotData {
  uint32_t index;
  float vx, vy, vz;
};

enum { kCellularDotMax = 243 };  // 27 cells of at most 9 points

// The points of the 3x3x3 block of cells around cell (cellXI, cellYI, cellZI).
struct CellularDotInfo {
  int32_t cellXI, cellYI, cellZI;
  uint32_t cellDotCount;
  CellularDotData cellDotList[kCellularDotMax];
};

// Makes the cellular table (2048 entries, 8192 bytes) shuffled from
// *noiseSeed (or 1), storing the advanced seed back.  Returns 1, or 0 when
// the allocation failed.
int32_t InitCellularNoise(NoiseMallocFunction noiseMalloc, uint32_t* noiseSeed);
void FinishCellularNoise(NoiseFreeFunction noiseFree);

// The n + 1 nearest feature points to the query in its 3x3x3 (3D) or 3x3 (2D)
// block of cells, nearest first, into f[0..n].  Entries beyond the points
// found keep distance 100 and index 0.  The 2D search never writes vz.
void CellularNoise(CellularData* f, uint32_t n, float xr, float yr, float zr);
void CellularNoise2D(CellularData* f, uint32_t n, float xr, float yr);

// Marks the list as describing no cell.
void SetupCellularDots(CellularDotInfo* theInfo);
// Lists the points around the cell of (x, y, z) unless the list already
// describes that cell.
void BuildCellularDots(CellularDotInfo* theInfo, float x, float y, float z);

// ---------------------------------------------------------------- compositions

// Octave sums: each octave doubles the coordinates and multiplies the
// amplitude (starting at noiseScale) by noiseFactor.  The first
// min(detail1, detail2) octaves use the smooth noise, the rest up to detail2
// the cheap one; with detail2 < 1 all detail1 octaves are smooth.
float FractalNoise(float x, float y, float z, float noiseFactor, float noiseScale,
                   int32_t detail1, int32_t detail2);
float FractalNoise2D(float x, float y, float noiseFactor, float noiseScale, int32_t detail1,
                     int32_t detail2);
// As FractalNoise, but the later octaves add the squared distance to the
// nearest feature point at the offset position.
float CellularFractalNoise(float x, float y, float z, float xOff, float yOff, float zOff,
                           float noiseFactor, float noiseScale, int32_t detail1,
                           int32_t detail2);
float CellularFractalNoise2D(float x, float y, float xOff, float yOff, float noiseFactor,
                             float noiseScale, int32_t detail1, int32_t detail2);
// |sin(scale * (offset + turbulent sum))|, in [0, 1].
float MarbleNoise(float x, float y, float z, float noiseFactor, float offset, float turbulence,
                  float scale, int32_t detail1, int32_t detail2);
float MarbleNoise2D(float x, float y, float noiseFactor, float offset, float turbulence,
                    float scale, int32_t detail1, int32_t detail2);

// Iterations of z = z^2 + c from z = c before |z| > 2, at most crunch (0 when
// crunch <= 0).
int32_t Mandelbrot(double xPos, double yPos, int32_t crunch);

#endif
