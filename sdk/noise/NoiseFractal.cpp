// Octave sums of the value and cellular noise, marble and Mandelbrot.
#include <cmath>

#include "noise/Noise.h"

namespace {

// One octave further: twice the frequency, amplitude times the factor.
template <int D>
struct Octave {
  float c[D];
  float amplitude;
  void Step(float factor) {
    for (float& v : c) v = v + v;
    amplitude = amplitude * factor;
  }
};

// sum + amplitude * (value - 0.5), formed in double and narrowed.
inline float AddCentred(float sum, float amplitude, float value) {
  return static_cast<float>(static_cast<double>(amplitude) * (static_cast<double>(value) - 0.5) +
                            static_cast<double>(sum));
}

inline float Smooth(const Octave<3>& o) { return Noise(o.c[0], o.c[1], o.c[2]); }
inline float Smooth(const Octave<2>& o) { return Noise2D(o.c[0], o.c[1]); }

// The smooth phase shared by the fractal and cellular-fractal members: up to
// detail1 centred octaves, stopping everything once detail2 octaves are done.
// Returns true when the sum is complete.
template <int D>
bool SmoothOctaves(Octave<D>* o, float* sum, int32_t* i, float factor, int32_t detail1,
                   int32_t detail2) {
  while (*i < detail1) {
    *sum = AddCentred(*sum, o->amplitude, Smooth(*o));
    *i += 1;
    if (*i == detail2) return true;
    o->Step(factor);
  }
  return false;
}

// The cheap phase: octaves up to detail2, each adding term(octave) to sum.
template <int D, class Term>
float CheapOctaves(Octave<D>* o, float sum, int32_t i, float factor, int32_t detail2, Term term) {
  if (i >= detail2) return sum;
  for (;;) {
    sum = term(*o, sum);
    i += 1;
    if (i == detail2) return sum;
    o->Step(factor);
  }
}

template <int D, class Cheap>
float Fractal(const Octave<D>& start, float noiseFactor, int32_t detail1, int32_t detail2,
              float sum, Cheap cheap) {
  Octave<D> o = start;
  int32_t i = 0;
  if (SmoothOctaves(&o, &sum, &i, noiseFactor, detail1, detail2)) return sum;
  return CheapOctaves(&o, sum, i, noiseFactor, detail2, cheap);
}

template <int D, class SmoothNoise, class CheapNoise>
float Marble(const Octave<D>& start, float noiseFactor, float offset, float scale,
             int32_t detail1, int32_t detail2, SmoothNoise smooth, CheapNoise cheap) {
  Octave<D> o = start;
  float sum = offset - o.amplitude;
  int32_t i = 0;
  for (; i < detail1; ++i) {
    sum = sum + smooth(o) * o.amplitude;
    o.Step(noiseFactor);
  }
  sum = CheapOctaves(&o, sum, i, noiseFactor, detail2,
                     [&](const Octave<D>& at, float s) { return s + cheap(at) * at.amplitude; });
  const float v = static_cast<float>(std::sin(static_cast<double>(sum * scale)));
  return std::fabs(v);
}

}  // namespace

float FractalNoise(float x, float y, float z, float noiseFactor, float noiseScale,
                   int32_t detail1, int32_t detail2) {
  return Fractal<3>({{x, y, z}, noiseScale}, noiseFactor, detail1, detail2, 0.5f,
                    [](const Octave<3>& o, float sum) {
                      return AddCentred(sum, o.amplitude, Noise2(o.c[0], o.c[1], o.c[2]));
                    });
}

float FractalNoise2D(float x, float y, float noiseFactor, float noiseScale, int32_t detail1,
                     int32_t detail2) {
  // Both phases use the smooth 2D noise.
  return Fractal<2>({{x, y}, noiseScale}, noiseFactor, detail1, detail2, 0.5f,
                    [](const Octave<2>& o, float sum) {
                      return AddCentred(sum, o.amplitude, Noise2D(o.c[0], o.c[1]));
                    });
}

float CellularFractalNoise(float x, float y, float z, float xOff, float yOff, float zOff,
                           float noiseFactor, float noiseScale, int32_t detail1,
                           int32_t detail2) {
  return Fractal<3>({{x, y, z}, noiseScale}, noiseFactor, detail1, detail2,
                    detail1 != 0 ? 0.5f : 0.0f, [&](const Octave<3>& o, float sum) {
                      CellularData nearest[1];
                      CellularNoise(nearest, 0, o.c[0] + xOff, o.c[1] + yOff, o.c[2] + zOff);
                      return sum + nearest[0].distance * o.amplitude;
                    });
}

float CellularFractalNoise2D(float x, float y, float xOff, float yOff, float noiseFactor,
                             float noiseScale, int32_t detail1, int32_t detail2) {
  return Fractal<2>({{x, y}, noiseScale}, noiseFactor, detail1, detail2,
                    detail1 != 0 ? 0.5f : 0.0f, [&](const Octave<2>& o, float sum) {
                      CellularData nearest[1];
                      CellularNoise2D(nearest, 0, o.c[0] + xOff, o.c[1] + yOff);
                      return sum + nearest[0].distance * o.amplitude;
                    });
}

float MarbleNoise(float x, float y, float z, float noiseFactor, float offset, float turbulence,
                  float scale, int32_t detail1, int32_t detail2) {
  return Marble<3>(
      {{x, y, z}, 6.0f * turbulence}, noiseFactor, offset, scale, detail1, detail2,
      [](const Octave<3>& o) { return Noise(o.c[0], o.c[1], o.c[2]); },
      [](const Octave<3>& o) { return Noise2(o.c[0], o.c[1], o.c[2]); });
}

float MarbleNoise2D(float x, float y, float noiseFactor, float offset, float turbulence,
                    float scale, int32_t detail1, int32_t detail2) {
  return Marble<2>(
      {{x, y}, 6.0f * turbulence}, noiseFactor, offset, scale, detail1, detail2,
      [](const Octave<2>& o) { return Noise2D(o.c[0], o.c[1]); },
      [](const Octave<2>& o) { return Noise2D2(o.c[0], o.c[1]); });
}

int32_t Mandelbrot(double xPos, double yPos, int32_t crunch) {
  double x = xPos, y = yPos;
  double xx = x * x, yy = y * y;
  int32_t k = crunch;
  while (k > 0) {
    if (xx + yy > 4.0) break;  // escaped
    y = 2.0 * x * y + yPos;
    x = xx - yy + xPos;
    xx = x * x;
    yy = y * y;
    --k;
  }
  return crunch - k;
}
