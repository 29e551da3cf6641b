// Frame stepping through Main: continuing versus replaying, the error latch
// across frames, unusable frame steps, and settings or frame numbers at the
// edges of their ranges.
#include <gtest/gtest.h>

#include <cmath>

#include "FakeHost.h"
#include "ParticleEngine.h"
#include "host/PluginClient.h"

namespace {

// Everything but the link, which depends on which slot was free.
bool SameState(const std::vector<ParticleRec>& a, const std::vector<ParticleRec>& b) {
  for (size_t i = 0; i < a.size() && a.size() == b.size(); i++)
    if (std::memcmp(&a[i], &b[i], offsetof(ParticleRec, link)) != 0) return false;
  return a.size() == b.size();
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
  auto withEnergy = [](std::vector<ParticleRec> all) {
    all.erase(std::remove_if(all.begin(), all.end(), [](auto& p) { return !(p.energy > 0); }), all.end());
    return all;
  };
  std::vector<ParticleRec> a = withEnergy(continuous.Live()), b = withEnergy(jump.Live());
  ASSERT_GT(a.size(), 150u);
  EXPECT_TRUE(SameState(a, b));
  // The output follows the pool, vertex for vertex.
  ASSERT_EQ(jump.vertices.size(), size_t(jump.Control().particleCount));
  EXPECT_EQ(jump.vertices[0].position.y, double(jump.Live()[0].yPos));
}

// A particle that never dies and never moves sideways, at x = 12345, tells a
// continued pool from a replayed one.
TEST(Frames, WhichFramesContinueAndWhichReplay) {
  FakeHost host;
  StartScene(host);
  host.Control().lifeTime = 2.5;  // with a step of 1: a window of 3 intervals
  const struct { int32_t to; double delta; bool continues; } steps[] = {
      {10, 1.0, true},   // the same frame: no step at all
      {11, 1.0, true},   // the next frame
      {13, 1.0, true},   // the last frame of the window
      {14, 1.0, false},  // beyond the window
      {9, 1.0, false},   // backwards
      {11, 0.5, false}}; // a new frame step
  for (const auto& k : steps) {
    ASSERT_EQ(host.Frame(10, 1.0), kPluginNoError);
    ParticleRec& p = host.Slots()[host.Control().firstActive];
    p.xPos = 12345, p.xDir = 0, p.energy = 1, p.decay = 0;
    ASSERT_EQ(host.Setup(k.to, k.to * k.delta, k.delta), kPluginNoError);
    ASSERT_EQ(host.Generate(), kPluginNoError);
    std::vector<ParticleRec> live = host.Live();
    bool marked = std::any_of(live.begin(), live.end(), [](auto& q) { return q.xPos == 12345; });
    EXPECT_EQ(marked, k.continues) << "10 to " << k.to << " at " << k.delta;
    EXPECT_EQ(host.Control().lastFrameIndex, k.to);
    EXPECT_EQ(host.Control().lastFrameTimeDelta, k.delta);
  }
}

// A failed callback silences the rest of the frame and every later one
// until a "RSET" succeeds; a failed "RSET" is latched too.
TEST(Frames, TheLatchStopsFramesUntilASuccessfulReset) {
  FakeHost host;
  StartScene(host);
  ASSERT_EQ(host.Frame(20), kPluginNoError);
  ASSERT_GT(host.Control().particleCount, 1);
  host.failSelector = kHostAddVertex;
  ASSERT_EQ(host.Setup(21, 21.0 / 30, 1.0 / 30), kPluginNoError);
  host.ClearLog();
  EXPECT_EQ(host.Generate(), kPluginNoError) << "the command's own result is unchanged";
  EXPECT_EQ(host.calls.back(), kHostAddVertex) << "nothing after the failed vertex";
  EXPECT_EQ(host.vertices.size(), 1u);
  host.ClearLog();
  EXPECT_EQ(host.Generate(), kPluginNoError);
  EXPECT_TRUE(host.calls.empty());
  EXPECT_EQ(host.Control().particleCount, 0) << "an interrupted frame leaves an empty pool";
  host.failSelector = kHostModelReset;
  EXPECT_EQ(host.Frame(22), kPluginNoError) << "the reset's result is only latched";
  EXPECT_EQ(result, kPluginUserCanceled);
  EXPECT_TRUE(host.vertices.empty());
  ASSERT_EQ(host.Frame(22), kPluginNoError);
  EXPECT_EQ(result, 0);
  EXPECT_GT(host.vertices.size(), 1u);
  EXPECT_EQ(host.vertices.size(), size_t(host.Control().particleCount));
}

// Without a usable frame step there is no window: the pool stays as it is
// and is still shown.
TEST(Frames, AnUnusableFrameStepLeavesThePool) {
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
    EXPECT_TRUE(SameState(host.Live(), before)) << delta;
    EXPECT_EQ(host.vertices.size(), before.size()) << delta;
    for (const StatusReport& s : host.status) EXPECT_NE(s.unit, "Frame");
  }
}

// Frame numbers and windows at the limits of their range, and each setting
// in turn not-a-number or infinite: the frame runs and leaves consistent
// lists.  (An infinite life would replay every frame since the first.)
TEST(Frames, ExtremeFramesAndNonFiniteSettingsStayInsideThePool) {
  const std::pair<int32_t, double> limits[] = {
      {INT32_MIN, 10},          {INT32_MIN + 2, 1e300}, {INT32_MAX, -1e300}, {INT32_MAX, NAN},
      {INT32_MIN, -1e300},      {INT32_MAX - 1, 0.01},  {-5, -INFINITY}};
  for (const auto& [frame, life] : limits) {
    FakeHost host;
    StartScene(host);
    host.Control().lifeTime = life;
    host.Control().emitStart = host.Control().emitEnd = 0;
    ASSERT_EQ(host.Setup(frame, 0.0, 1.0), kPluginNoError);
    for (int i = 0; i < 2; i++) ASSERT_EQ(host.Generate(), kPluginNoError);  // then continuing
    EXPECT_EQ(host.List(host.Control().firstActive).size(), size_t(host.Control().particleCount));
    EXPECT_EQ(host.List(host.Control().firstInactive).size() + host.Control().particleCount, 1000u);
  }
  for (int field = 0; field < 26; field++) {
    for (double bad : {double(NAN), double(INFINITY), -double(INFINITY)}) {
      if ((field == 4 || field == 5) && bad > 0) continue;  // lifeTime, lifeTimeErr
      FakeHost host;
      StartScene(host);
      host.Control().maxParticles = 40;
      ASSERT_EQ(host.Interface(), kPluginResourceError);
      (&host.Control().emitFrequency)[field] = bad;
      for (int32_t f = 0; f < 3; f++) ASSERT_EQ(host.Frame(f), kPluginNoError);
      EXPECT_EQ(host.List(host.Control().firstActive).size(), size_t(host.Control().particleCount));
      EXPECT_EQ(host.List(host.Control().firstInactive).size() + host.Control().particleCount, 40u)
          << "field " << field << " value " << bad;
    }
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
  EXPECT_EQ(host.List(host.Control().firstActive).size(), size_t(host.Control().particleCount));
}

}  // namespace
