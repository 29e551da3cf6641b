// The particle engine through Main with an in-process host whose callbacks
// only allocate: a steady fountain of about 100,000 live particles carried
// one frame forward, and a replay jump of a few hundred frames.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>

#include "Particle.h"
#include "geometry/geometry_records.h"

namespace {

constexpr double kDelta = 1.0 / 30;

int32_t Host(IFFType selector, int32_t, void* record) {
  if (selector == kHostAllocate) {
    auto* r = static_cast<HostAllocatePtr>(record);
    r->theControlData = std::realloc(r->theControlData, size_t(r->theControlDataSize));
    r->thePluginData = std::realloc(r->thePluginData, size_t(r->thePluginDataSize));
    return r->theControlData && r->thePluginData ? kPluginNoError : kPluginMemoryError;
  }
  return kPluginNoError;
}

struct Instance {
  PluginInfoRec info{};
  Instance() {
    info.theHostProc = &Host;
    PluginInitializeRec init{info};
    Main(kCmdInitialize, sizeof init, &init);
    info = init.theInfo;
    // 10,000 particles a second living 10 s: about 100,000 alive.
    ControlDataRec& c = Control();
    c.maxParticles = 120000;
    c.emitFrequency = 10000;
    c.emitErr = 0;
    c.emitStart = c.emitEnd = 0;
    c.particleSeed = 12345;
    PluginInterfaceRec intf{info};
    Main(kCmdInterface, sizeof intf, &intf);  // grows the block
    info = intf.theInfo;
  }
  ~Instance() {
    std::free(info.theControlData);
    std::free(info.thePluginData);
  }
  ControlDataRec& Control() { return *static_cast<ControlDataPtr>(info.theControlData); }
  void Frame(int32_t frame) {
    PluginModelSetupRec setup;
    std::memset(&setup, 0, sizeof setup);
    setup.theInfo = info;
    setup.theFrameIndex = frame;
    setup.theFrameTime = frame * kDelta;
    setup.theFrameTimeDelta = kDelta;
    Matrix4 identity;
    InitMatrix4(&identity);
    std::memcpy(&setup.theGroupMatrix, &identity, sizeof identity);
    std::memcpy(&setup.theGroupBlurMatrix, &identity, sizeof identity);
    Main(kCmdSetup, sizeof setup, &setup);
    PluginModelGenerateRec generate{setup.theInfo, 0, 0};
    Main(kCmdGenerate, sizeof generate, &generate);
    info = generate.theInfo;
  }
};

// One frame forward from a full pool: every live particle stepped, one
// frame's emission, all particles output.
void BM_ContinueOneFrame(benchmark::State& state) {
  Instance scene;
  int32_t frame = 400;
  scene.Frame(frame);
  int64_t particles = 0;
  for (auto _ : state) {
    scene.Frame(++frame);
    particles += scene.Control().particleCount;
  }
  state.counters["live"] = double(scene.Control().particleCount);
  state.counters["per_live_particle"] =
      benchmark::Counter(double(particles), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_ContinueOneFrame)->Unit(benchmark::kMillisecond);

// A jump past the window: the pool is rebuilt from 301 intervals of emission,
// each particle run straight to the frame.
void BM_ReplayJump(benchmark::State& state) {
  Instance scene;
  int32_t frame = 0;
  int64_t particles = 0;
  for (auto _ : state) {
    frame += 400;
    scene.Frame(frame);
    particles += scene.Control().particleCount;
  }
  state.counters["live"] = double(scene.Control().particleCount);
  state.counters["per_emitted_particle"] =
      benchmark::Counter(double(particles), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_ReplayJump)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
