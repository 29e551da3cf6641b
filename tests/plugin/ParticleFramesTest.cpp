// Frame stepping through Main: continuing versus replaying, the error latch
// across frames, unusable frame steps, and settings or frame numbers at the
// edges of their ranges.
#include <gtest/gtest.h>

#include <cmath>

#include "FakeHost.h"

namespace {

// Particles with energy left, each without its link (which depends on which
// slot was free).
std::vector<std::vector<uint8_t>> Living(FakeHost& host) {
  std::vector<std::vector<uint8_t>> out;
  for (const ParticleRec& p : host.Live()) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(&p);
    if (p.energy > 0) out.emplace_back(bytes, bytes + offsetof(ParticleRec, link));
  }
  return out;
}

// A fresh instance with a fixed seed and n slots.
void Start(FakeHost& host, int32_t n = 1000) {
  ASSERT_EQ(host.Init(), kPluginNoError);
  host.Control().particleSeed = 20240601;
  host.Control().maxParticles = n;
  ASSERT_EQ(host.Interface(), kPluginResourceError);
}

TEST(Frames, ContinuingAndReplayingGiveTheSameParticles) {
  FakeHost continuous, jump;
  Start(continuous);
  Start(jump);
  const int32_t last = 330;  // past one full window of the 10 s life at 30 frames/s
  for (int32_t f = 0; f <= last; f++) ASSERT_EQ(continuous.Frame(f), kPluginNoError);
  ASSERT_EQ(jump.Frame(last), kPluginNoError);
  EXPECT_GT(Living(jump).size(), 150u);
  EXPECT_EQ(Living(continuous), Living(jump));
}

// From frame 10, with a step of 1 and a window of 3 intervals, to the same
// frame, the next, the window's last, beyond it, backwards, at a new frame
// step, or from a pool kept at another step.  A particle that never dies
// or moves, at x = 12345, tells a continued pool from a replayed one.
TEST(Frames, WhichFramesContinueAndWhichReplay) {
  FakeHost host;
  Start(host);
  host.Control().lifeTime = 2.5;
  const struct { int32_t to; double delta, stored; bool continues; } steps[] = {
      {10, 1, 1, true},   {11, 1, 1, true},  {13, 1, 1, true},    {14, 1, 1, false},
      {9, 1, 1, false},   {11, 0.5, 1, false}, {11, 1, 0.5, false}};  // stored: the pool's step
  for (const auto& k : steps) {
    ASSERT_EQ(host.Frame(10, 1.0), kPluginNoError);
    host.Control().lastFrameTimeDelta = k.stored;
    host.Slots()[host.Control().firstActive] = {12345, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, {}, -1};
    ASSERT_EQ(host.Frame(k.to, k.delta), kPluginNoError);
    std::vector<ParticleRec> live = host.Live();
    bool marked = std::any_of(live.begin(), live.end(), [](auto& p) { return p.xPos == 12345; });
    EXPECT_EQ(marked, k.continues) << "10 to " << k.to << " at " << k.delta;
  }
}

// A failed callback silences the rest of the frame and every later one
// until a "RSET" succeeds; a failed "RSET" is latched too.
TEST(Frames, TheLatchStopsFramesUntilASuccessfulReset) {
  FakeHost host;
  Start(host);
  ASSERT_EQ(host.Frame(20), kPluginNoError);
  host.failSelector = kHostAddVertex;
  ASSERT_EQ(host.Frame(21), kPluginNoError) << "the command's own result is unchanged";
  EXPECT_EQ(host.calls.back(), kHostAddVertex) << "nothing after the failed vertex";
  host.ClearLog();
  ASSERT_EQ(host.Generate(), kPluginNoError);
  EXPECT_TRUE(host.calls.empty());
  EXPECT_EQ(host.Control().particleCount, 0) << "an interrupted frame leaves an empty pool";
  host.failSelector = kHostModelReset;
  EXPECT_EQ(host.Frame(22), kPluginNoError) << "the reset's result is only latched";
  EXPECT_EQ(host.calls.size(), 1u);
  ASSERT_EQ(host.Frame(22), kPluginNoError);
  EXPECT_GT(host.vertices.size(), 1u);
  EXPECT_EQ(host.vertices.size(), size_t(host.Control().particleCount));
}

// Without a usable frame step there is no window: the pool stays as it is
// and is still shown.
TEST(Frames, AnUnusableFrameStepLeavesThePool) {
  for (double delta : {0.0, -1.0 / 30, double(NAN), double(INFINITY)}) {
    FakeHost host;
    Start(host);
    ASSERT_EQ(host.Frame(30), kPluginNoError);
    auto living = Living(host);
    ASSERT_EQ(host.Setup(31, 31.0 / 30, delta), kPluginNoError);
    host.Control().lastFrameIndex = 30;  // even unmarked
    std::vector<uint8_t> before = host.control;
    host.ClearLog();
    ASSERT_EQ(host.Generate(), kPluginNoError) << delta;
    EXPECT_EQ(host.control, before) << delta;
    EXPECT_EQ(Living(host), living) << delta;
    EXPECT_EQ(host.vertices.size(), size_t(host.Control().particleCount)) << delta;
    for (const auto& report : host.status) EXPECT_NE(report.first, "Frame") << delta;
  }
}

void ExpectListsInsideThePool(FakeHost& host) {
  EXPECT_EQ(host.List(host.Control().firstActive).size(), size_t(host.Control().particleCount));
  EXPECT_EQ(host.List(host.Control().firstInactive).size() + host.Control().particleCount,
            size_t(host.Control().maxParticles));
}

// Frame numbers and windows at the limits of their range, with stale
// bookkeeping that only a continued pool would use (the replay mark never
// qualifies, even where the window's start saturates onto it); and each
// setting in turn not-a-number or infinite (but an infinite life, which
// would replay every frame since the first).
TEST(Frames, ExtremeFramesAndNonFiniteSettingsStayInsideThePool) {
  const std::pair<int32_t, double> limits[] = {
      {INT32_MIN, 10},     {INT32_MIN + 2, 1e300}, {INT32_MAX, -1e300}, {INT32_MAX, NAN},
      {INT32_MIN, -1e300}, {INT32_MAX - 1, 0.01},  {-5, -INFINITY},     {INT32_MIN + 3, 2.5}};
  for (const auto& [frame, life] : limits) {
    FakeHost host;
    Start(host, 40);
    host.Control().lifeTime = life;
    host.Control().emitStart = host.Control().emitEnd = 0;
    ASSERT_EQ(host.Setup(frame, 0.0, 1.0), kPluginNoError);
    host.Control().lastFrameTimeDelta = 1.0;
    host.Control().particleCount = 5;
    for (int i = 0; i < 2; i++) ASSERT_EQ(host.Generate(), kPluginNoError);  // then continuing
    ExpectListsInsideThePool(host);
  }
  for (int field = 0; field < 26; field++)
    for (double bad : {double(NAN), double(INFINITY), -double(INFINITY)}) {
      if ((field == 4 || field == 5) && bad > 0) continue;  // lifeTime, lifeTimeErr
      FakeHost host;
      Start(host, 40);
      (&host.Control().emitFrequency)[field] = bad;
      for (int32_t f = 0; f < 3; f++) ASSERT_EQ(host.Frame(f), kPluginNoError);
      ExpectListsInsideThePool(host);
    }
}

}  // namespace
