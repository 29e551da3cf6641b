// Checks that run frames: failing callbacks, cancel, memory, model output,
// determinism, settings records and long work.
#include <algorithm>
#include <cstdio>
#include <random>

#include "protocol/MacRoman.h"
#include "validate/Checks.h"

namespace {

std::string Num(int64_t n) { return std::to_string(n); }
std::string Seconds(double s) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f s", s);
  return text;
}

constexpr int32_t kLongJump = 30000;
constexpr double kCancelLimit = 1.0;  // seconds from a cancel to the command's return
constexpr double kQuietLimit = 0.5;   // seconds of work without a STAT
// Settings checks give up on a command after this long, through STAT.
constexpr double kSettingsPatience = 0.5;

// Runs a settings record through INIT, two frames and FINI in a fresh
// instance; only a crash, a hang or a stray write can fail it, and those
// the host and the parent notice.
void TryRecord(CheckContext& c, const std::vector<uint8_t>& theRecord) {
  c.host.patienceSeconds = kSettingsPatience;
  HostInstance& inst = c.host.NewInstance(theRecord);
  if (c.host.Initialize(inst) == kPluginNoError) c.host.Frames(inst, {1, 10});
  c.host.Finish(inst);
}

}  // namespace

namespace checks {

void CallbackFails(CheckContext& c, IFFType theSelector) {
  std::string name = FourCharText(theSelector);
  std::vector<uint8_t> s0;
  if (!PluginSettings(c, &s0)) return;
  // A run without failures counts the calls and gives the frames to expect.
  int64_t before = c.host.callCounts[theSelector];
  HostInstance& reference = c.host.NewInstance(s0);
  c.host.Initialize(reference);
  std::vector<FrameOutput> expected = c.host.Frames(reference, kAnimationFrames);
  c.host.Finish(reference);
  int64_t calls = c.host.callCounts[theSelector] - before;
  if (calls == 0) {
    c.Skip("the plug-in made no " + name + " call in INIT and " + Num(int64_t(kAnimationFrames.size())) + " frames");
    return;
  }
  std::vector<int64_t> trials = {1};
  if (calls >= 3) trials.push_back(calls / 2 + 1);
  for (int64_t nth : trials) {
    c.host.fail = FailPlan();
    c.host.fail.selector = theSelector;
    c.host.fail.nth = c.host.callCounts[theSelector] + nth;
    c.host.fail.code = theSelector == kHostMemFree ? kPluginBadParameters : kPluginMemoryError;
    HostInstance& inst = c.host.NewInstance(s0);
    c.host.Initialize(inst);
    std::vector<FrameOutput> got;
    size_t failedAt = SIZE_MAX;  // index into the frames
    for (size_t i = 0; i < kAnimationFrames.size(); ++i) {
      bool pending = !c.host.fail.fired;
      got.push_back(c.host.Frame(inst, kAnimationFrames[i]));
      if (pending && c.host.fail.fired) failedAt = i;
    }
    c.host.Finish(inst);
    if (!c.host.fail.fired) continue;  // fewer calls than the reference made
    std::string which = "the " + (nth == 1 ? std::string("first ") : "call " + Num(nth) + " of the ") + name;
    // After the next reset (the next frame's, or the first's when the
    // failure came in INIT) the frames work and build a model again.  They
    // need not match the run without the failure: an engine may rebuild its
    // state by replaying, which can differ from a continued run.
    size_t recovered = failedAt == SIZE_MAX ? 0 : failedAt + 1;
    std::string where = failedAt == SIZE_MAX ? "INIT" : "frame " + Num(kAnimationFrames[failedAt]);
    for (size_t i = recovered; i < got.size(); ++i) {
      if (got[i].result != kPluginNoError) {
        c.Fail("after " + which + " failed in " + where + ", frame " + Num(kAnimationFrames[i]) + " answered " +
               Num(got[i].result));
        break;
      }
      if (got[i].vertices == 0 && expected[i].vertices > 0) {
        c.Fail("after " + which + " failed in " + where + ", frame " + Num(kAnimationFrames[i]) +
               " built nothing (" + Num(expected[i].vertices) + " vertices without the failure)");
        break;
      }
    }
  }
  c.host.fail = FailPlan();
}

void CancelStatus(CheckContext& c) {
  std::vector<uint8_t> s0;
  if (!PluginSettings(c, &s0)) return;
  HostInstance& inst = c.host.NewInstance(s0);
  c.host.Initialize(inst);
  c.host.Frame(inst, 0);
  // First at the first STAT, then at the first STAT after 50 ms.
  for (int pass = 0; pass < 2; ++pass) {
    int32_t frame = kLongJump * (pass + 1);
    c.host.cancelAfterStatus = pass == 0 ? 0 : -1;
    c.host.patienceSeconds = pass == 0 ? 0 : 0.05;
    c.host.cancelLatency = -1;
    bool cancelled = false;
    int64_t statusBefore = c.host.statusCalls;
    double quietBefore = c.host.longestQuiet;
    c.host.longestQuiet = 0;
    int32_t r = c.host.Setup(inst, frame);
    cancelled = c.host.cancelled;
    if (r == kPluginNoError && !cancelled) {
      c.host.Generate(inst);
      cancelled = c.host.cancelled;
    }
    c.host.cancelAfterStatus = -1;
    c.host.patienceSeconds = 2.0;
    std::string jump = "the jump to frame " + Num(frame);
    if (!cancelled) {
      if (c.host.statusCalls == statusBefore && c.host.longestQuiet > kQuietLimit)
        c.Fail(jump + " ran " + Seconds(c.host.longestQuiet) + " without a STAT: it cannot be cancelled");
    } else if (c.host.cancelLatency > kCancelLimit) {
      c.Fail(jump + " returned " + Seconds(c.host.cancelLatency) + " after STAT answered cancel (limit " +
             Seconds(kCancelLimit) + ")");
    }
    c.host.longestQuiet = std::max(quietBefore, c.host.longestQuiet);
    FrameOutput next = c.host.Frame(inst, frame + 1);
    if (next.result != kPluginNoError)
      c.Fail("the frame after a cancelled one answered " + Num(next.result));
  }
  c.host.Finish(inst);
}

void MemoryBlocks(CheckContext& c) {
  std::vector<uint8_t> s0;
  if (!PluginSettings(c, &s0)) return;
  HostInstance& inst = c.host.NewInstance(s0);
  c.host.Initialize(inst);
  c.host.Frames(inst, kAnimationFrames);
  c.host.Finish(inst);
  if (c.host.callCounts[kHostMemMalloc] == 0) c.Skip("the plug-in asked for no MMAL block");
}

// INIT, the animation and FINI; the host notes what breaks the rules.
bool RunAnimation(CheckContext& c, std::vector<FrameOutput>* frames) {
  std::vector<uint8_t> s0;
  if (!PluginSettings(c, &s0)) return false;
  HostInstance& inst = c.host.NewInstance(s0);
  c.host.Initialize(inst);
  *frames = c.host.Frames(inst, kAnimationFrames);
  c.host.Finish(inst);
  return true;
}

void CallbacksRecords(CheckContext& c) {
  std::vector<FrameOutput> frames;
  RunAnimation(c, &frames);
}

void ModelRun(CheckContext& c) {
  std::vector<FrameOutput> frames;
  if (!RunAnimation(c, &frames)) return;
  int64_t vertices = 0;
  for (const FrameOutput& f : frames) vertices += f.vertices;
  if (vertices == 0) c.Skip("no vertices in " + Num(int64_t(frames.size())) + " frames");
}

void DeterminismRepeat(CheckContext& c) {
  std::vector<uint8_t> s0;
  if (!PluginSettings(c, &s0)) return;
  HostInstance& inst = c.host.NewInstance(s0);
  c.host.Initialize(inst);
  const std::vector<int32_t> frames = {1, 10, 10, 40, 40};
  std::vector<FrameOutput> got = c.host.Frames(inst, frames);
  c.host.Finish(inst);
  for (size_t i = 2; i < got.size(); i += 2)
    if (got[i] != got[i - 1])
      c.Fail("frame " + Num(frames[i]) + " built " + Describe(got[i - 1]) + ", then " + Describe(got[i]));
}

void DeterminismFresh(CheckContext& c) {
  std::vector<uint8_t> s0;
  if (!PluginSettings(c, &s0)) return;
  HostInstance& first = c.host.NewInstance(s0);
  c.host.Initialize(first);
  std::vector<FrameOutput> expected = c.host.Frames(first, kAnimationFrames);
  c.host.Finish(first);
  HostInstance& fresh = c.host.NewInstance(s0);
  c.host.Initialize(fresh);
  std::vector<FrameOutput> got = c.host.Frames(fresh, kAnimationFrames);
  c.host.Finish(fresh);
  std::string d = FramesDiffer(expected, got, kAnimationFrames);
  if (!d.empty()) c.Fail("a fresh instance with the same settings record differs at " + d);
}

void DeterminismReload(CheckContext& c) {
  std::vector<uint8_t> s0;
  if (!PluginSettings(c, &s0)) return;
  std::vector<int32_t> frames = {0, 1, 2, 3, 10};
  HostInstance& first = c.host.NewInstance(s0);
  c.host.Initialize(first);
  std::vector<FrameOutput> expected = c.host.Frames(first, frames);
  std::vector<uint8_t> stored = c.host.Settings(first);
  FrameOutput next = c.host.Frame(first, 11);
  c.host.Finish(first);
  expected.push_back(next);
  frames.push_back(11);

  HostInstance& reloaded = c.host.NewInstance(stored);
  c.host.Initialize(reloaded);
  std::vector<FrameOutput> got = c.host.Frames(reloaded, frames);
  c.host.Finish(reloaded);
  std::string d = FramesDiffer(expected, got, frames);
  if (!d.empty()) c.Fail("the settings record stored after frame 10 and reloaded gives other frames: " + d);
  // Frame 11 straight after the reload is not compared: an engine may reach
  // a frame by replaying a window, which need not match a continued run.
}

void SettingsByteOrder(CheckContext& c) {
  std::vector<uint8_t> s0;
  if (!PluginSettings(c, &s0)) return;
  if (s0.size() < 2) {
    c.Skip("the plug-in keeps no settings record");
    return;
  }
  for (size_t unit : {2, 4, 8}) {
    std::vector<uint8_t> swapped = s0;
    for (size_t i = 0; i + unit <= swapped.size(); i += unit)
      std::reverse(swapped.begin() + long(i), swapped.begin() + long(i + unit));
    TryRecord(c, swapped);
  }
}

void SettingsTruncated(CheckContext& c) {
  std::vector<uint8_t> s0;
  if (!PluginSettings(c, &s0)) return;
  if (s0.size() < 2) {
    c.Skip("the plug-in keeps no settings record");
    return;
  }
  for (size_t size : {size_t(1), s0.size() / 2, s0.size() - 1})
    TryRecord(c, std::vector<uint8_t>(s0.begin(), s0.begin() + long(size)));
}

void SettingsOversized(CheckContext& c) {
  std::vector<uint8_t> s0;
  if (!PluginSettings(c, &s0)) return;
  if (s0.empty()) {
    c.Skip("the plug-in keeps no settings record");
    return;
  }
  for (size_t extra : {size_t(1), size_t(8), s0.size()}) {
    std::vector<uint8_t> longer = s0;
    longer.resize(s0.size() + extra, 0xFF);
    TryRecord(c, longer);
  }
}

void SettingsRandom(CheckContext& c) {
  std::vector<uint8_t> s0;
  if (!PluginSettings(c, &s0)) return;
  if (s0.empty()) {
    c.Skip("the plug-in keeps no settings record");
    return;
  }
  std::mt19937 random(c.seed);
  auto byte = [&] { return uint8_t(random() & 0xFF); };
  // Wholly random records, then the plug-in's own with a few bytes changed,
  // which get past a check of an owner code or version.
  for (int i = 0; i < 4; ++i) {
    std::vector<uint8_t> noise(s0.size());
    for (uint8_t& b : noise) b = byte();
    TryRecord(c, noise);
  }
  for (int i = 0; i < 12; ++i) {
    std::vector<uint8_t> changed = s0;
    int count = 1 + int(random() % 8);
    for (int k = 0; k < count; ++k) changed[random() % changed.size()] = byte();
    TryRecord(c, changed);
  }
}

void WorkStatus(CheckContext& c) {
  std::vector<uint8_t> s0;
  if (!PluginSettings(c, &s0)) return;
  HostInstance& inst = c.host.NewInstance(s0);
  c.host.longestQuiet = 0;
  c.host.patienceSeconds = 0;
  c.host.Initialize(inst);
  c.host.Frames(inst, {0, kLongJump, kLongJump + 1, 5});
  c.host.Finish(inst);
  if (c.host.longestQuiet > kQuietLimit)
    c.Fail(c.host.longestQuietWhere.substr(0, c.host.longestQuietWhere.find(',')) + " worked " +
           Seconds(c.host.longestQuiet) + " without offering a STAT (limit " + Seconds(kQuietLimit) + ")" +
           c.host.longestQuietWhere.substr(c.host.longestQuietWhere.find(',')));
}

}  // namespace checks
