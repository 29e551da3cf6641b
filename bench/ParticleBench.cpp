// The particle engine through Main, measured against a plain reference loop
// in the same run.
//
// One scene serves every benchmark: a fountain of 300 particles per frame
// that live 10.016 s, about 96,000 alive at once.  The in-process host
// throttles progress reports as a real one does and otherwise only counts
// and accepts.  Every benchmark reports its time per item as items_per_second
// (scripts/bench_ratios.py divides the engine's figures by the reference's):
//   BM_ReferenceLoop     particle-steps of a flat loop doing the motion
//   BM_ContinueSimulation live particles carried one frame, output skipped
//   BM_ContinueFrame     live particles carried one frame and output
//   BM_ReplayJump        particle-steps simulated by a replay
//   BM_EmitOneInterval   particles emitted, each taking a single step
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "Particle.h"
#include "ParticleStore.h"
#include "geometry/geometry_records.h"
#include "text/System.h"

namespace {

// ------------------------------------------------------------------- scene

// A frame step exact in binary, so that 9,600 particles a second make
// exactly 300 per interval (no error term): the replay's work is then known.
constexpr double kDelta = 1.0 / 32;
constexpr double kRate = 9600;
// 320.5 frame steps: the window is 321 intervals, and even the oldest
// particle of a replay still has energy at the start of its last step.
constexpr double kLife = 10.015625;
constexpr int32_t kCapacity = 120000;  // never full: at most 96,300 alive
constexpr int32_t kSeed = 12345;
constexpr int32_t kSteadyFrame = 400;  // past one window: a steady fountain

// -------------------------------------------------------------------- host

struct HostCalls {
  int64_t status, groups, vertices, facets;
};

struct HostState {
  bool refuseGroup;  // answer "ADDG" with an error: the latch skips the output
  HostCalls calls;
};
HostState host;

int32_t HostProc(IFFType selector, int32_t, void* record) {
  switch (selector) {
    case kHostAllocate: {
      auto* r = static_cast<HostAllocatePtr>(record);
      r->theControlData = std::realloc(r->theControlData, size_t(r->theControlDataSize));
      r->thePluginData = std::realloc(r->thePluginData, size_t(r->thePluginDataSize));
      return r->theControlData && r->thePluginData ? kPluginNoError : kPluginMemoryError;
    }
    case kHostStatus:
      // No further report wanted before the next tick, as a real host asks.
      static_cast<HostStatusRec*>(record)->theStatusTick = int32_t(TickCount() + 1u);
      host.calls.status++;
      return kPluginNoError;
    case kHostAddGroup:
      host.calls.groups++;
      return host.refuseGroup ? kPluginUnsupportedFeature : kPluginNoError;
    case kHostAddVertex:
      host.calls.vertices++;
      static_cast<HostModelAddVertexRec*>(record)->theIndex =
          int32_t(host.calls.vertices & 0x7FFFFFFF);
      return kPluginNoError;
    case kHostAddFacet:
      host.calls.facets++;
      return kPluginNoError;
    default:
      return kPluginNoError;
  }
}

void ResetHost(bool refuseGroup) {
  host.refuseGroup = refuseGroup;
  host.calls = HostCalls{};
}

// One plug-in instance with the benchmark scene.
struct Scene {
  PluginInfoRec info{};

  Scene() {
    info.theHostProc = &HostProc;
    PluginInitializeRec init{info};
    Main(kCmdInitialize, sizeof init, &init);
    info = init.theInfo;
    ControlDataRec& c = Control();
    c.maxParticles = kCapacity;  // the next command's check grows the block
    c.emitFrequency = kRate;
    c.emitErr = 0;
    c.emitStart = c.emitEnd = 0;  // every interval emits
    c.lifeTime = kLife;
    c.lifeTimeErr = 0;
    c.particleSeed = kSeed;
  }
  ~Scene() {
    std::free(info.theControlData);
    std::free(info.thePluginData);
  }
  Scene(const Scene&) = delete;
  Scene& operator=(const Scene&) = delete;

  ControlDataRec& Control() { return *static_cast<ControlDataPtr>(info.theControlData); }

  void Frame(int32_t frame) {
    PluginModelSetupRec setup;
    std::memset(&setup, 0, sizeof setup);
    setup.theInfo = info;
    setup.theFrameIndex = frame;
    setup.theFrameTime = frame * kDelta;
    setup.theFrameTimeDelta = kDelta;
    // The record is packed: its matrices are copied in, not written in place.
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

// --------------------------------------------------------- reference loop

// Laid out like the engine's slot, so both loops stream the same bytes.
struct RefParticle {
  float xPos, yPos, zPos;
  float xOld, yOld, zOld;
  float xDir, yDir, zDir;
  float energy, decay;
  ARGB color;
  int32_t link;
};
static_assert(sizeof(RefParticle) == 52, "laid out like a pool slot");

struct RefMotion {
  double airResistance, gravityX, gravityY, gravityZ;
  double ground, bounceFactor, bounceFriction;
  ARGB colors[3];
};

RefMotion MotionOf(const ControlDataRec& c) {
  RefMotion m{c.airResistance, c.gravityXDir, c.gravityYDir, c.gravityZDir,
              c.groundLevel,   c.bounceFactor, c.bounceFriction, {}};
  std::memcpy(m.colors, c.energyColors, sizeof m.colors);
  return m;
}

inline uint8_t RefChannel(uint8_t lower, uint8_t higher, double f2) {
  return uint8_t(int32_t(higher * f2 + lower * (1 - f2)));  // within 0..255
}

inline void RefColor(double e, const ARGB* c, ARGB* out) {
  if (e <= 0) {
    *out = c[0];
    return;
  }
  if (e >= 1) {
    *out = c[2];
    return;
  }
  const ARGB& lo = e <= 0.5 ? c[0] : c[1];
  const ARGB& hi = e <= 0.5 ? c[1] : c[2];
  double f2 = e <= 0.5 ? e + e : (e - 0.5) + (e - 0.5);
  out->a = RefChannel(lo.a, hi.a, f2);
  out->r = RefChannel(lo.r, hi.r, f2);
  out->g = RefChannel(lo.g, hi.g, f2);
  out->b = RefChannel(lo.b, hi.b, f2);
}

// One full step of length st for every particle with energy left, with the
// engine's arithmetic statement by statement.  Returns the particles stepped.
__attribute__((noinline)) int64_t RefPass(RefParticle* ps, size_t n, const RefMotion& m,
                                          double st) {
  int64_t stepped = 0;
  for (size_t i = 0; i < n; i++) {
    RefParticle& p = ps[i];
    if (p.energy <= 0) continue;
    stepped++;
    double dt = st;
    double newEnergy = p.energy - p.decay * dt;
    if (newEnergy < 0) {
      dt = p.energy * dt / (p.energy - newEnergy);
      p.energy = 0.0f;
    } else {
      p.energy = float(newEnergy);
    }
    RefColor(p.energy, m.colors, &p.color);

    p.xOld = p.xPos;
    p.yOld = p.yPos;
    p.zOld = p.zPos;

    double speed = 1 - m.airResistance * dt;
    p.xDir = float(p.xDir * speed);
    p.yDir = float(p.yDir * speed);
    p.zDir = float(p.zDir * speed);
    double g = m.gravityY * dt;
    if (std::fabs(p.yDir) > g || p.yPos - m.ground > g) p.yDir = float(p.yDir + g);
    p.xDir = float(p.xDir + m.gravityX * dt);
    p.zDir = float(p.zDir + m.gravityZ * dt);

    p.xPos = float(p.xPos + p.xDir * dt);
    p.yPos = float(p.yPos + p.yDir * dt);
    p.zPos = float(p.zPos + p.zDir * dt);

    if (m.ground > p.yPos && !(p.yOld < m.ground)) {
      p.xDir = float(m.bounceFriction * p.xDir);
      p.yDir = float(-m.bounceFactor * p.yDir);
      p.zDir = float(m.bounceFriction * p.zDir);
      double t = (p.yOld - m.ground) / float(p.yOld - p.yPos);
      double xBounce = p.xOld + float(p.xPos - p.xOld) * t;
      double zBounce = p.zOld + float(p.zPos - p.zOld) * t;
      dt = dt * (1 - t);
      p.xPos = float(xBounce + p.xDir * dt);
      p.yPos = float(m.ground + p.yDir * dt);
      p.zPos = float(zBounce + p.zDir * dt);
    }
  }
  return stepped;
}

// The live particles of the scene's pool, in list order: the same mix of
// flying, bouncing and resting particles the engine steps.
std::vector<RefParticle> Snapshot(Scene& scene) {
  const ControlDataRec& c = scene.Control();
  const ParticleRec* slots = ParticleSlots(static_cast<PluginDataPtr>(scene.info.thePluginData));
  std::vector<RefParticle> out;
  out.reserve(size_t(c.particleCount));
  for (int32_t i = c.firstActive; i >= 0 && i < c.maxParticles; i = slots[i].link) {
    RefParticle p;
    std::memcpy(&p, &slots[i], sizeof p);
    out.push_back(p);
  }
  return out;
}

// After this many passes (one second of the scene, during which a tenth of
// the particles die) the state is restored outside the timing.
constexpr int kRestorePasses = 32;

void BM_ReferenceLoop(benchmark::State& state) {
  ResetHost(false);
  Scene scene;
  scene.Frame(kSteadyFrame);
  const std::vector<RefParticle> saved = Snapshot(scene);
  std::vector<RefParticle> work = saved;
  const RefMotion motion = MotionOf(scene.Control());
  int64_t steps = 0;
  int pass = 0;
  for (auto _ : state) {
    if (++pass == kRestorePasses) {
      state.PauseTiming();
      work = saved;
      pass = 0;
      state.ResumeTiming();
    }
    steps += RefPass(work.data(), work.size(), motion, kDelta);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(steps);
  state.counters["live"] = double(saved.size());
  state.counters["per_step"] =
      benchmark::Counter(double(steps), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_ReferenceLoop)->Unit(benchmark::kMillisecond);

// ---------------------------------------------------------- continue path

// One frame forward from the steady fountain per iteration: every stored
// particle stepped once, one interval emitted (300 particles), and with
// `output` every particle sent as a vertex and a facet.
void RunContinue(benchmark::State& state, bool output) {
  ResetHost(false);
  Scene scene;
  int32_t frame = kSteadyFrame;
  scene.Frame(frame);
  // Refusing "ADDG" sets the error latch before the first vertex, so the
  // whole output is skipped; the next "SETM" sends "RSET", which clears the
  // latch before the particles are aged.  Checked below by counting "ADDV".
  ResetHost(!output);
  int64_t stepped = 0;
  int64_t shown = 0;
  for (auto _ : state) {
    stepped += scene.Control().particleCount;
    scene.Frame(++frame);
    shown += scene.Control().particleCount;
  }
  int64_t expectedVertices = output ? shown : 0;
  if (host.calls.vertices != expectedVertices || host.calls.facets != expectedVertices) {
    state.SkipWithError(output ? "not every particle was output"
                               : "output was not skipped: ADDV calls were made");
    return;
  }
  state.SetItemsProcessed(stepped);
  state.counters["live"] = double(scene.Control().particleCount);
  state.counters["status"] = double(host.calls.status) / double(state.iterations());
  state.counters["per_live_particle"] = benchmark::Counter(
      double(stepped), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_ContinueSimulation(benchmark::State& state) { RunContinue(state, false); }
BENCHMARK(BM_ContinueSimulation)->Unit(benchmark::kMillisecond);

void BM_ContinueFrame(benchmark::State& state) { RunContinue(state, true); }
BENCHMARK(BM_ContinueFrame)->Unit(benchmark::kMillisecond);

// ------------------------------------------------------------- replay jump

// A jump far past the window empties the pool and replays the window: the
// particles of the interval k frames back take k steps each.  Every one is
// born on the ground plane (not below it) and outlives its run, so a replay
// emits perInterval × window particles and simulates
// perInterval × (1 + 2 + ... + window) steps (a particle whose drawn first
// step is zero takes one fewer: one in 65,536).
void BM_ReplayJump(benchmark::State& state) {
  const int64_t window = 1 + int64_t(std::floor(kLife / kDelta));
  const int64_t perInterval = int64_t(kRate * kDelta);
  const int64_t emitted = perInterval * window;
  const int64_t steps = perInterval * window * (window + 1) / 2;

  ResetHost(false);
  Scene scene;
  int32_t frame = 0;
  for (auto _ : state) {
    frame += 1000;
    scene.Frame(frame);
    if (scene.Control().particleCount != emitted) {
      state.SkipWithError("the replay did not keep every emitted particle: step count unknown");
      return;
    }
  }
  double replays = double(state.iterations());
  state.SetItemsProcessed(int64_t(replays) * steps);
  state.counters["live"] = double(emitted);
  state.counters["per_step"] = benchmark::Counter(
      replays * double(steps), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.counters["per_emitted"] = benchmark::Counter(
      replays * double(emitted), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_ReplayJump)->Unit(benchmark::kMillisecond);

// Emission alone, as near as the engine allows: a life of half a frame step
// makes the window one interval, so a jump emits 30,000 particles that each
// take a single (partial) step; output is skipped as in
// BM_ContinueSimulation.  The time per emitted particle is the cost of
// drawing it (sine, cosine, square root, eight variates) plus one step.
void BM_EmitOneInterval(benchmark::State& state) {
  constexpr int64_t kPerInterval = 30000;
  ResetHost(true);
  Scene scene;
  scene.Control().lifeTime = kDelta / 2;
  scene.Control().emitFrequency = double(kPerInterval) / kDelta;
  int32_t frame = 0;
  for (auto _ : state) {
    frame += 1000;
    scene.Frame(frame);
  }
  if (host.calls.vertices != 0 || scene.Control().particleCount < kPerInterval - 10) {
    state.SkipWithError("expected one interval's particles and no output");
    return;
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * kPerInterval);
  state.counters["per_emitted"] =
      benchmark::Counter(double(state.iterations()) * double(kPerInterval),
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_EmitOneInterval)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
