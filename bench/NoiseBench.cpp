// Evaluations per second of the main noise members over a spread of
// positions (a fixed walk, so every run sees the same cells).
#include <benchmark/benchmark.h>

#include <cstdlib>

#include "noise/Noise.h"

namespace {

void* Allocate(uint32_t size) { return malloc(size); }

struct Tables {
  Tables() {
    InitNoise(Allocate, nullptr);
    InitCellularNoise(Allocate, nullptr);
  }
  ~Tables() {
    FinishNoise(free);
    FinishCellularNoise(free);
  }
};

enum { kPositions = 4096 };

struct Walk {
  float x[kPositions], y[kPositions], z[kPositions];
  Walk() {
    uint32_t s = 7;
    for (float* axis : {x, y, z}) {
      for (int i = 0; i < kPositions; ++i) {
        s = s * 1664525u + 1013904223u;
        axis[i] = static_cast<float>(s >> 8) * 0x1p-24f * 200.0f - 100.0f;
      }
    }
  }
};

template <class Eval>
void Run(benchmark::State& state, Eval eval) {
  static Tables tables;
  static Walk walk;
  int i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(eval(walk.x[i], walk.y[i], walk.z[i]));
    i = (i + 1) & (kPositions - 1);
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_Noise(benchmark::State& state) { Run(state, Noise); }
void BM_Noise2(benchmark::State& state) { Run(state, Noise2); }

void BM_CellularNoise(benchmark::State& state) {
  const uint32_t n = static_cast<uint32_t>(state.range(0));
  Run(state, [n](float x, float y, float z) {
    CellularData f[4];
    CellularNoise(f, n, x, y, z);
    return f[n].distance;
  });
}

void BM_FractalNoise(benchmark::State& state) {
  const int32_t detail1 = static_cast<int32_t>(state.range(0));
  const int32_t detail2 = static_cast<int32_t>(state.range(1));
  Run(state, [=](float x, float y, float z) {
    return FractalNoise(x, y, z, 0.5f, 1.0f, detail1, detail2);
  });
}

BENCHMARK(BM_Noise);
BENCHMARK(BM_Noise2);
BENCHMARK(BM_CellularNoise)->Arg(0)->Arg(1)->Arg(3);
BENCHMARK(BM_FractalNoise)->Args({4, 4})->Args({2, 6})->Args({0, 6});

}  // namespace

BENCHMARK_MAIN();
