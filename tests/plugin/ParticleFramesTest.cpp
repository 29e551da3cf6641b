// Frame stepping through Main: continuing versus replaying, progress
// reports, the error latch across frames, unusable frame steps, and settings
// or frame numbers at the edges of their ranges.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "FakeHost.h"
#include "Particle.h"
#include "ParticleEngine.h"
#include "host/PluginClient.h"

namespace {

constexpr IFFType kSTAT = MakeIFF("STAT"), kADDV = MakeIFF("ADDV");

bool SameState(const ParticleRec& a, const ParticleRec& b) {
  // Everything but the link, which depends on which slot was free.
  return std::memcmp(&a, &b, offsetof(ParticleRec, link)) == 0;
}

std::vector<ParticleRec> WithEnergy(const std::vector<ParticleRec>& all) {
  std::vector<ParticleRec> out;
  for (const ParticleRec& p : all)
    if (p.energy > 0) out.push_back(p);
  return out;
}

void StartScene(FakeHost& host) {
  ASSERT_EQ(host.Init(), kPluginNoError);
  host.Control().particleSeed = 20240601;
  host.ClearLog();
}

TEST(Frames, ContinuingAndReplayingGiveTheSameParticles) {
  FakeHost continuous, jump;
  StartScene(continuous);
  StartScene(jump);
  const int32_t last = 330;  // past one full window of the 10 s life at 30 frames/s
  for (int32_t f = 0; f <= last; f++) ASSERT_EQ(continuous.Frame(f), kPluginNoError);
  ASSERT_EQ(jump.Frame(last), kPluginNoError);

  std::vector<ParticleRec> a = WithEnergy(continuous.Live());
  std::vector<ParticleRec> b = WithEnergy(jump.Live());
  ASSERT_GT(a.size(), 150u);
  ASSERT_EQ(a.size(), b.size());
  for (size_t i = 0; i < a.size(); i++) ASSERT_TRUE(SameState(a[i], b[i])) << "particle " << i;
  // The output follows the pool, vertex for vertex.
  ASSERT_EQ(jump.vertices.size(), size_t(jump.Control().particleCount));
  EXPECT_EQ(jump.vertices[0].position.y, double(jump.Live()[0].yPos));
}

// A particle that never dies and never moves sideways, at x = 12345, tells
// a continued pool from a replayed one.
void Mark(FakeHost& host) {
  ASSERT_GT(host.Control().particleCount, 0);
  ParticleRec& p = host.Slots()[host.Control().firstActive];
  p.xPos = 12345;
  p.xDir = 0;
  p.energy = 1;
  p.decay = 0;
}
bool Marked(FakeHost& host) {
  for (const ParticleRec& p : host.Live())
    if (p.xPos == 12345) return true;
  return false;
}

TEST(Frames, WhichFramesContinueAndWhichReplay) {
  FakeHost host;
  StartScene(host);
  host.Control().lifeTime = 2.5;  // with a step of 1: a window of 3 intervals
  auto run = [&](int32_t f, double delta) {
    EXPECT_EQ(host.Setup(f, f * delta, delta), kPluginNoError);
    EXPECT_EQ(host.Generate(), kPluginNoError);
  };
  struct Step {
    int32_t from, to;
    double delta;
    bool continues;
  } steps[] = {
      {10, 10, 1.0, true},   // the same frame: no step at all
      {10, 11, 1.0, true},   // the next frame
      {10, 13, 1.0, true},   // the last frame of the window
      {10, 14, 1.0, false},  // beyond the window
      {10, 9, 1.0, false},   // backwards
      {10, 11, 0.5, false},  // a new frame step
  };
  for (const Step& k : steps) {
    run(k.from, 1.0);
    Mark(host);
    run(k.to, k.delta);
    EXPECT_EQ(Marked(host), k.continues) << k.from << " to " << k.to << " at " << k.delta;
    EXPECT_EQ(host.Control().lastFrameIndex, k.to);
    EXPECT_EQ(host.Control().lastFrameTimeDelta, k.delta);
  }
}

TEST(Frames, ProgressOfAReplay) {
  FakeHost host;
  StartScene(host);
  host.Control().lifeTime = 2.5;
  ASSERT_EQ(host.Setup(10, 10.0, 1.0), kPluginNoError);
  host.ClearLog();
  ASSERT_EQ(host.Generate(), kPluginNoError);
  std::vector<StatusReport> aging;
  for (const StatusReport& s : host.status)
    if (s.unit == "Frame") aging.push_back(s);
  ASSERT_GE(aging.size(), 3u);
  EXPECT_EQ(aging.front().info, "Aging Particles");
  EXPECT_EQ(aging.front().pos, 0.0f);
  EXPECT_EQ(aging.front().value, 0);
  EXPECT_EQ(aging.back().pos, 1.0f);
  EXPECT_EQ(aging.back().value, 3);
  int32_t k = 1;
  for (size_t i = 1; i + 1 < aging.size(); i++) {
    EXPECT_GE(aging[i].value, k) << "intervals report in order";
    k = aging[i].value;
    EXPECT_LE(k, 3);
    EXPECT_EQ(aging[i].pos, float(k / 3.0));
  }
}

TEST(Frames, AFailedCallbackSilencesTheFrameUntilTheNextReset) {
  FakeHost host;
  StartScene(host);
  ASSERT_EQ(host.Frame(20), kPluginNoError);
  ASSERT_GT(host.Control().particleCount, 1);
  host.ClearLog();
  host.failSelector = kADDV;
  ASSERT_EQ(host.Setup(21, 21.0 / 30, 1.0 / 30), kPluginNoError);
  EXPECT_EQ(host.Generate(), kPluginNoError) << "the command's own result is unchanged";
  ASSERT_EQ(host.calls.back(), kADDV) << "nothing after the failed vertex";
  EXPECT_EQ(host.vertices.size(), 1u);

  // Without a reset the next frame is silent and leaves an empty pool.
  host.ClearLog();
  EXPECT_EQ(host.Generate(), kPluginNoError);
  EXPECT_TRUE(host.calls.empty());
  EXPECT_EQ(host.Control().particleCount, 0);
  EXPECT_EQ(host.Control().lastFrameIndex, 0);

  // A successful reset brings the frame back.
  ASSERT_EQ(host.Frame(22), kPluginNoError);
  EXPECT_GT(host.vertices.size(), 1u);
  EXPECT_EQ(host.vertices.size(), size_t(host.Control().particleCount));
}

TEST(Frames, AnUnusableFrameStepLeavesThePoolAndStillShowsIt) {
  for (double delta : {0.0, -1.0 / 30, double(NAN), double(INFINITY)}) {
    FakeHost host;
    StartScene(host);
    ASSERT_EQ(host.Frame(30), kPluginNoError);
    std::vector<ParticleRec> before = host.Live();
    ControlDataRec control = host.Control();
    ASSERT_EQ(host.Setup(31, 31.0 / 30, delta), kPluginNoError);
    host.Control().lastFrameIndex = control.lastFrameIndex;  // even unmarked
    host.ClearLog();
    ASSERT_EQ(host.Generate(), kPluginNoError) << delta;
    EXPECT_EQ(std::memcmp(&host.Control(), &control, sizeof control), 0) << delta;
    std::vector<ParticleRec> after = host.Live();
    ASSERT_EQ(after.size(), before.size());
    for (size_t i = 0; i < before.size(); i++) EXPECT_TRUE(SameState(before[i], after[i]));
    EXPECT_EQ(host.vertices.size(), before.size()) << delta;
    for (const StatusReport& s : host.status) EXPECT_NE(s.unit, "Frame");
  }
}

TEST(Frames, FrameNumbersAndWindowsAtTheLimitsOfTheirRange) {
  struct Case {
    int32_t frame;
    double life;
  } cases[] = {
      {INT32_MIN, 10},          {INT32_MIN + 2, 1e300}, {INT32_MAX, -1e300},
      {INT32_MAX, double(NAN)}, {INT32_MIN, -1e300},    {INT32_MAX - 1, 0.01},
      {-5, double(-INFINITY)},
  };
  for (const Case& k : cases) {
    FakeHost host;
    StartScene(host);
    host.Control().lifeTime = k.life;
    host.Control().emitStart = host.Control().emitEnd = 0;
    ASSERT_EQ(host.Setup(k.frame, 0.0, 1.0), kPluginNoError);
    ASSERT_EQ(host.Generate(), kPluginNoError);
    ASSERT_EQ(host.Generate(), kPluginNoError) << "and again, continuing";
    EXPECT_LE(host.Control().particleCount, host.Control().maxParticles);
    EXPECT_GE(host.Control().particleCount, 0);
  }
  // The replay mark is never taken for a pool to continue, even where the
  // window's start saturates onto it.
  FakeHost host;
  StartScene(host);
  ASSERT_EQ(host.Setup(INT32_MIN + 3, 0.0, 1.0), kPluginNoError);
  ASSERT_EQ(host.Control().lastFrameIndex, INT32_MIN);
  host.Control().lastFrameTimeDelta = 1.0;
  host.Control().particleCount = 5;  // stale bookkeeping that must not be used
  host.Control().firstActive = 3;
  ASSERT_EQ(host.Generate(), kPluginNoError);
  EXPECT_GE(host.Control().particleCount, 0);
  EXPECT_EQ(host.ActiveIndices().size(), size_t(host.Control().particleCount));
  EXPECT_EQ(host.ActiveIndices().size() + host.FreeIndices().size(), 1000u);
}

// Each setting in turn not-a-number or infinite: the frame runs, stays in
// the pool, and leaves consistent lists.  An infinite life is left out: its
// window is every frame since the most negative one.
TEST(Frames, NonFiniteSettingsStayInsideThePool) {
  for (int field = 0; field < 26; field++) {
    for (double bad : {double(NAN), double(INFINITY), -double(INFINITY)}) {
      if ((field == 4 || field == 5) && bad > 0) continue;  // lifeTime, lifeTimeErr
      FakeHost host;
      StartScene(host);
      host.Control().maxParticles = 40;
      ASSERT_EQ(host.Interface(), kPluginResourceError);
      (&host.Control().emitFrequency)[field] = bad;
      for (int32_t f = 0; f < 3; f++) ASSERT_EQ(host.Frame(f), kPluginNoError);
      ControlDataRec& c = host.Control();
      ASSERT_GE(c.particleCount, 0);
      ASSERT_LE(c.particleCount, 40);
      EXPECT_EQ(host.ActiveIndices().size() + host.FreeIndices().size(), 40u)
          << "field " << field << " value " << bad;
    }
  }
}

}  // namespace
