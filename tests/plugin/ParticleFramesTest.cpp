// Frame stepping through Main: continuing versus replaying, the error latch
// across frames, unusable frame steps, and settings or frame numbers at the
// edges of their ranges.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>

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

// Whether the two lists hold every slot of the pool once, the count matching.
bool ListsSound(FakeHost& host) { return ParticleListsSound(&host.Control(), &host.Data()); }

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

// An emission window inside the replay window: the intervals before it and
// after it are passed over, and a jump still gives what running every frame
// gives.  A step of 1 keeps the frame times exact, so no interval straddles
// the window's edges.
TEST(Frames, AWindowedEmitterReplaysAsItRuns) {
  FakeHost continuous, jump;
  for (FakeHost* host : {&continuous, &jump}) {
    Start(*host, 5000);
    host->Control().emitStart = 100;
    host->Control().emitEnd = 200;
    host->Control().emitFrequency = host->Control().emitErr = 10;
    host->Control().lifeTime = 150;
  }
  const int32_t last = 230;  // the replay window starts at frame 79
  for (int32_t f = 0; f <= last; f++) ASSERT_EQ(continuous.Frame(f, 1.0), kPluginNoError);
  ASSERT_EQ(jump.Frame(last, 1.0), kPluginNoError);
  EXPECT_GT(Living(jump).size(), 500u);
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
  const struct {
    int32_t to;
    double delta, stored;
    bool continues;
  } steps[] = {
      {10, 1, 1, true}, {11, 1, 1, true},    {13, 1, 1, true},   {14, 1, 1, false},
      {9, 1, 1, false}, {11, 0.5, 1, false}, {11, 1, 0.5, false}};  // stored: the pool's step
  for (const auto& k : steps) {
    ASSERT_EQ(host.Frame(10, 1.0), kPluginNoError);
    host.Control().lastFrameTimeDelta = k.stored;
    ParticleRec& head = host.Slots()[host.Control().firstActive];
    head = {12345, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, {}, head.link};
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
    EXPECT_TRUE(ListsSound(host)) << frame << " " << life;
  }
  for (int field = 0; field < 26; field++)
    for (double bad : {double(NAN), double(INFINITY), -double(INFINITY)}) {
      if ((field == 4 || field == 5) && bad > 0) continue;  // lifeTime, lifeTimeErr
      FakeHost host;
      Start(host, 40);
      (&host.Control().emitFrequency)[field] = bad;
      for (int32_t f = 0; f < 3; f++) ASSERT_EQ(host.Frame(f), kPluginNoError);
      EXPECT_TRUE(ListsSound(host)) << field << " " << bad;
    }
}

// Stored bookkeeping that does not describe the pool (a settings record
// restored from an earlier frame, a broken or looping list, a wrong count,
// lists that overlap) is never continued: the frame is replayed and comes
// out as a jump to it would, whether it is the next frame or the same one.
TEST(Frames, ListsThatDoNotFitThePoolAreRebuilt) {
  std::vector<std::vector<uint8_t>> want[2];
  for (int32_t next : {0, 1}) {
    FakeHost fresh;
    Start(fresh);
    ASSERT_EQ(fresh.Frame(40 + next), kPluginNoError);
    want[next] = Living(fresh);
    ASSERT_GT(want[next].size(), 20u);
  }

  const std::function<void(FakeHost&, const std::vector<uint8_t>&)> damages[] = {
      [](FakeHost& h, const std::vector<uint8_t>& earlier) { h.control = earlier; },
      [](FakeHost& h, const std::vector<uint8_t>&) {  // the last particle links to the first
        h.Slots()[h.List(h.Control().firstActive).back()].link = h.Control().firstActive;
      },
      [](FakeHost& h, const std::vector<uint8_t>&) {
        h.Slots()[h.List(h.Control().firstActive)[7]].link = h.Control().maxParticles;
      },
      [](FakeHost& h, const std::vector<uint8_t>&) { h.Control().particleCount += 1; },
      [](FakeHost& h, const std::vector<uint8_t>&) { h.Control().particleCount -= 1; },
      [](FakeHost& h, const std::vector<uint8_t>&) {
        h.Control().firstInactive = h.List(h.Control().firstActive)[3];
      },
      [](FakeHost& h, const std::vector<uint8_t>&) {  // the free list runs into the active one
        h.Slots()[h.List(h.Control().firstInactive).back()].link = h.Control().firstActive;
      },
      [](FakeHost& h, const std::vector<uint8_t>&) {  // and ends early, leaving slots on no list
        h.Slots()[h.List(h.Control().firstInactive)[5]].link = -1;
      },
  };
  int k = 0;
  for (const auto& damage : damages) {
    for (int32_t next : {0, 1}) {
      FakeHost host;
      Start(host);
      ASSERT_EQ(host.Frame(30), kPluginNoError);
      const std::vector<uint8_t> earlier = host.control;
      for (int32_t f = 31; f <= 40; f++) ASSERT_EQ(host.Frame(f), kPluginNoError);
      damage(host, earlier);
      ASSERT_FALSE(ListsSound(host)) << "damage " << k;
      host.ClearLog();
      ASSERT_EQ(host.Frame(40 + next), kPluginNoError);
      EXPECT_TRUE(ListsSound(host)) << "damage " << k << " next " << next;
      EXPECT_TRUE(Living(host) == want[next]) << "damage " << k << " next " << next;
      EXPECT_EQ(host.vertices.size(), size_t(host.Control().particleCount)) << "damage " << k;
    }
    k++;
  }
}

// Work that sends no report for a long time still lets the host cancel: a
// window of a billion empty intervals, a particle run for a billion steps,
// and a billion particles born below the ground.  Each frame returns once
// the host cancels, with the pool emptied, whether or not the host
// throttles its reports (then its clock is read less often).
TEST(Frames, LongSilentWorkStillLetsTheHostCancel) {
  for (bool throttle : {false, true}) {
    const std::function<void(ControlDataRec&)> settings[] = {
        [](ControlDataRec& c) { c.emitStart = c.emitEnd = 0, c.emitFrequency = c.emitErr = 0; },
        [](ControlDataRec& c) {  // one particle in the window's first interval
          c.emitStart = 9, c.emitEnd = 9.5, c.emitFrequency = 2, c.emitErr = 0;
        },
        [](ControlDataRec& c) {
          c.emitStart = c.emitEnd = 0, c.emitFrequency = 1e9, c.initYPos = -1;
        },
    };
    int k = 0;
    for (const auto& set : settings) {
      FakeHost host;
      Start(host);
      host.Control().lifeTime = 1e9;
      set(host.Control());
      host.cancelAtReport = 6;
      host.throttle = throttle;
      ASSERT_EQ(host.Setup(1000000010, 1000000010.0, 1.0), kPluginNoError);
      ASSERT_EQ(host.Generate(), kPluginNoError);
      EXPECT_EQ(host.status.size(), 6u) << "case " << k << ": the host cancels at its sixth report";
      EXPECT_EQ(host.Control().particleCount, 0) << "case " << k;
      EXPECT_TRUE(ListsSound(host)) << "case " << k;
      k++;
    }
  }
}

// The values of one unit's reports, each report's position checked to be
// its value over its maximum, formed in double and narrowed.
std::vector<int32_t> ReportValues(const FakeHost& host, const std::string& unit) {
  std::vector<int32_t> out;
  for (size_t i = 0; i < host.status.size(); i++) {
    if (host.status[i].first != unit) continue;
    const auto [value, max] = host.statusValues[i];
    EXPECT_EQ(host.status[i].second, float(double(value) / max)) << unit << " report " << i;
    out.push_back(value);
  }
  return out;
}

// Every report of a frame.  A host that takes every report gets one after
// every particle's run: while aging, the count of intervals begun so far
// (every interval here has particles), and while output, the particle's
// number.  One that throttles (here with a tick that is always due) is asked
// only every 256 particles; it still sees the first and the last report.
TEST(Frames, ReportsFollowTheHostsThrottle) {
  for (bool throttle : {false, true}) {
    FakeHost host;
    Start(host, 5000);
    host.Control().emitFrequency = 300;
    host.Control().emitStart = host.Control().emitEnd = 0;
    host.throttle = throttle;
    host.ClearLog();
    ASSERT_EQ(host.Frame(300), kPluginNoError);
    const int32_t particles = int32_t(host.vertices.size());
    ASSERT_GT(particles, 2000);
    EXPECT_EQ(host.status.front().first, "Frame");
    EXPECT_EQ(host.status.back().first, "Particle");

    std::vector<int32_t> frames = ReportValues(host, "Frame"), want;
    ASSERT_EQ(frames.front(), 0);
    EXPECT_EQ(frames.back(), 301) << "1 + floor(10 s / (1/30 s)) intervals";
    EXPECT_TRUE(std::is_sorted(frames.begin(), frames.end()));
    if (!throttle) {
      EXPECT_GT(frames.size(), size_t(particles));
      frames.erase(std::unique(frames.begin() + 1, frames.end()), frames.end());
      for (int32_t v = 0; v <= 301; v++) want.push_back(v);
      EXPECT_EQ(frames, want) << "the opening report, then every interval's own number";
    }

    want = {0};
    for (int32_t k = throttle ? 256 : 1; k <= particles; k += throttle ? 256 : 1) want.push_back(k);
    want.push_back(particles);
    EXPECT_EQ(ReportValues(host, "Particle"), want);
  }
}

// What the host was sent for a frame, byte for byte, but for reallocations.
std::vector<uint8_t> Sent(const FakeHost& host) {
  std::vector<uint8_t> out;
  auto add = [&out](const void* p, size_t n) {
    out.insert(out.end(), static_cast<const uint8_t*>(p), static_cast<const uint8_t*>(p) + n);
  };
  for (const auto& v : host.vertices) add(v.data(), v.size() * sizeof v[0]);
  for (const auto& f : host.facets) add(f.data(), f.size() * sizeof f[0]);
  for (const auto& [unit, position] : host.status) add(unit.data(), unit.size()), add(&position, 4);
  for (IFFType call : host.calls)
    if (call != kHostAllocate) add(&call, sizeof call);
  return out;
}

// A record marked for replay whose working block is new, at "INIT" (a scene
// loaded again) or because its capacity changed, replays the next frame:
// the particles born in the window's intervals before frame 0 are there,
// and frame, reports and records equal those of an instance forced to
// replay on the block it had.  With the default step and with 1/30.
TEST(Frames, AReplayMarkSurvivesANewBlock) {
  auto settings = [](ControlDataRec& c) {  // a window of 49 frames at either step
    c.particleSeed = 20240601;
    c.lifeTime = 1.6;
    c.emitStart = c.emitEnd = 0;
    c.lastFrameIndex = kNoFrame;
  };
  for (double delta : {0.03333333, 1.0 / 30})
    for (bool atInit : {true, false}) {
      FakeHost replayed, marked;
      Start(replayed, 2000);
      settings(replayed.Control());
      ASSERT_EQ(marked.Init(), kPluginNoError);
      settings(marked.Control());
      marked.Control().maxParticles = 2000;
      if (atInit) {
        marked.data.clear();
        marked.info.thePluginData = nullptr;
        marked.info.thePluginDataSize = 0;
        ASSERT_EQ(marked.Init(), kPluginNoError);
      }
      for (FakeHost* host : {&replayed, &marked}) {
        host->ClearLog();
        ASSERT_EQ(host->Setup(1, delta, delta), kPluginNoError);
        ASSERT_EQ(host->Generate(), kPluginNoError);
      }
      EXPECT_GT(replayed.Control().particleCount, 20) << delta;
      EXPECT_TRUE(Sent(marked) == Sent(replayed)) << delta << " at init " << atInit;
      EXPECT_EQ(marked.control, replayed.control) << delta << " at init " << atInit;
      EXPECT_EQ(marked.data, replayed.data) << delta << " at init " << atInit;
    }
}

// Both records saved after frame K and restored into new blocks of the same
// sizes, in a plug-in whose state is as just loaded (a new process; the
// random source holds other values), continue frame by frame exactly as
// the run that saved them, whether the host sends "INIT" first or goes
// straight to the next frame: a pool that fills up, saved while full and
// while filling, and a windowed emitter saved inside its window.
TEST(Frames, RestoredRecordsContinueTheRunThatSavedThem) {
  const struct {
    double delta, frequency, start, end, life;
    int32_t slots, saved;
  } scenes[] = {{1.0 / 30, 300, 0, 0, 3, 150, 60},   {1.0 / 30, 300, 0, 0, 3, 150, 2},
                {0.03333333, 200, 1, 2.5, 2, 2000, 50}};
  const int32_t last = 80;
  for (const auto& k : scenes)
    for (bool init : {false, true}) {
      FakeHost run;
      Start(run, k.slots);
      ControlDataRec& c = run.Control();
      c.emitFrequency = k.frequency, c.emitStart = k.start, c.emitEnd = k.end;
      c.lifeTime = k.life, c.lifeTimeErr = 0.5;
      std::vector<std::vector<uint8_t>> sent;
      std::vector<uint8_t> control, data;
      bool filled = false;
      for (int32_t f = 0; f <= last; f++) {
        run.ClearLog();
        ASSERT_EQ(run.Frame(f, k.delta), kPluginNoError);
        sent.push_back(Sent(run));
        filled = filled || run.Control().particleCount == k.slots;
        if (f == k.saved) control = run.control, data = run.data;
      }
      EXPECT_EQ(filled, k.slots == 150) << k.saved;

      FakeHost resumed;
      resumed.control = control, resumed.data = data;
      resumed.info = {resumed.control.data(), int32_t(control.size()), resumed.data.data(),
                      int32_t(data.size()), &FakeHost::Proc, &resumed};
      result = 0, theStatusRec = HostStatusRec{}, globalValidation1 = globalValidation2 = 0;
      SeedRandomCache(0xDEADBEEF);
      if (init) {
        ASSERT_EQ(resumed.Init(), kPluginNoError);
      }
      for (int32_t f = k.saved + 1; f <= last; f++) {
        resumed.ClearLog();
        ASSERT_EQ(resumed.Frame(f, k.delta), kPluginNoError);
        ASSERT_TRUE(Sent(resumed) == sent[size_t(f)]) << k.saved << " init " << init << " frame " << f;
      }
      EXPECT_EQ(resumed.control, run.control) << k.saved << " init " << init;
      EXPECT_EQ(resumed.data, run.data) << k.saved << " init " << init;
    }
}

}  // namespace
