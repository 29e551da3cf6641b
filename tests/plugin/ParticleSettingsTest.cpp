// The settings and working records through Main: the stored forms, the
// reallocation decision, the capacity clamp and the frame set-up.
#include <gtest/gtest.h>

#include <cmath>
#include <numeric>

#include "FakeHost.h"
#include "text/System.h"

namespace {

using Sizes = std::vector<int32_t>;

// Whether seed is TickCount() * 1103515245 + 12345 for a tick in [t0, t1].
bool SeedFromTicks(int32_t seed, uint32_t t0, uint32_t t1) {
  for (uint32_t t = t0; t != t1 + 1; t++)
    if (uint32_t(seed) == t * 1103515245u + 12345u) return true;
  return false;
}

void ExpectFreshPool(FakeHost& host) {
  Sizes all(size_t(host.Control().maxParticles));
  std::iota(all.begin(), all.end(), 0);
  EXPECT_EQ(host.List(host.Control().firstInactive), all);
  EXPECT_EQ(host.List(host.Control().firstActive).size() + host.Control().particleCount, 0u);
}

// Writes v at rec[offset], most significant byte first when reversed.
template <typename T>
void Put(std::vector<uint8_t>& rec, int offset, T v, bool reversed = false) {
  for (size_t i = 0; i < sizeof v; i++)
    rec[size_t(offset) + i] = reinterpret_cast<uint8_t*>(&v)[reversed ? sizeof v - 1 - i : i];
}

// A settings record written byte by byte.  Stored forms: version 3 in this
// byte order (0) or the other (1), or version 2 (2); with settings
// 1.5 + i / 4, flags 7, 20 slots and colours 1 .. 12, and for version 3 a
// pool to replay (unless fresh) and seed 0x01020304.  Form 3: the defaults
// with a fresh pool and seed 0.
std::vector<uint8_t> Form(int form, bool fresh = false) {
  fresh = fresh || form == 3;
  const bool reversed = form == 1, v2 = form == 2;
  std::vector<uint8_t> rec(v2 ? 276 : 272, 0);
  Put(rec, 0, MakeIFF("PART"), reversed);
  Put(rec, 4, v2 ? 2 : 3, reversed);
  const double defaults[26] = {25, 25, 0, 100, 10, 0, 0, 0, 0, 0,  0,   0,   0,
                               1,  0,  0, 2,   100, 10, 0, 0, -50, 0, 0, 0.5, 0.9};
  for (int i = 0; i < 26; i++)
    Put(rec, (v2 ? 56 : 24) + 8 * i, form == 3 ? defaults[i] : 1.5 + i * 0.25, reversed);
  const uint8_t colors[12] = {255, 200, 0, 0, 255, 255, 128, 0, 255, 255, 255, 255};
  for (int i = 0; i < 12; i++) rec[size_t((v2 ? 264 : 256) + i)] = form == 3 ? colors[i] : i + 1;
  Put(rec, v2 ? 40 : 240, form == 3 ? 0 : 7, reversed);       // particleFlags
  Put(rec, v2 ? 52 : 252, form == 3 ? 1000 : 20, reversed);   // maxParticles
  if (fresh) Put(rec, 16, 0.03333333);                         // lastFrameTimeDelta
  if (!v2) Put(rec, 232, fresh ? 0 : INT32_MIN, reversed);      // lastFrameIndex
  if (!v2) Put(rec, 244, -1, reversed);                         // firstActive
  if (form < 2) Put(rec, 268, 0x01020304, reversed);            // particleSeed
  return rec;
}

// This version in this byte order is taken as it is, in the other swapped in
// place; version 2 is converted with a fresh seed and pool.  No record, or
// one of another owner, version or size, gets the defaults with a fresh
// seed and pool.  Seeds come from the tick counter.
TEST(Settings, StoredFormsAndTheDefaults) {
  for (int k = 0; k < 7; k++) {
    FakeHost host;
    if (k < 3) {  // a scene's record, with a working block that fits it or none
      host.Reallocate(k < 2 ? 272 : 276, k < 2 ? 352 + 52 * 20 : 0);
      std::memcpy(host.control.data(), Form(k).data(), host.control.size());
    } else if (k > 3) {
      ASSERT_EQ(host.Init(), kPluginNoError);
      host.Control().maxParticles = 5;
      host.Control().ownerType = k == 4 ? MakeIFF("PARX") : kParticleOwner;
      host.Control().ownerVersion = k == 5 ? 4 : 3;
      if (k == 6) host.info.theControlDataSize = 276;  // not a version-2 record
      host.ClearLog();
    }
    uint32_t t0 = TickCount();
    ASSERT_EQ(k == 3 ? host.Init() : host.Interface(), k == 3 ? 0 : 6);
    uint32_t t1 = TickCount();
    const Sizes sizes[] = {{}, {}, {272, 352 + 52 * 20}, {272, 352 + 52 * 1000}, {}, {},
                           {272, 352 + 52 * 1000}};
    EXPECT_EQ(host.allocateSizes, sizes[k]) << k;
    std::vector<uint8_t> want = k < 3 ? Form(0, k == 2) : Form(3);
    if (k >= 2) {
      EXPECT_TRUE(SeedFromTicks(host.Control().particleSeed, t0, t1)) << k;
      Put(want, 268, host.Control().particleSeed);
      ExpectFreshPool(host);
    }
    EXPECT_EQ(host.control, want) << k;
  }
}

// One slot needs a block of 404 bytes, two 456; up to the next multiple of 8
// is kept (456 is one).  The capacity is clamped to 1 .. 41297755 before any
// size is computed; a refused allocation writes nothing, a granted one the
// clamped value; a host that grants too small a block gives a memory error.
TEST(Settings, TheBlockIsReallocatedOutsideItsToleranceAndTheCapacityClamped) {
  const struct { int32_t stored, size, allocated; } cases[] = {  // size 0: as after "INIT"
      {1, 400, 404},       {1, 404, 0},         {1, 408, 0},           {1, 412, 404},
      {2, 456, 0},         {2, 460, 456},       {0, 0, 404},           {-7, 0, 404},
      {INT32_MIN, 0, 404}, {41297756, 0, 2147483612},                  {INT32_MAX, 0, 2147483612}};
  for (const auto& k : cases) {
    FakeHost host;
    ASSERT_EQ(host.Init(), kPluginNoError);
    host.Control().maxParticles = k.stored;
    if (k.size) host.Reallocate(272, k.size);
    host.ClearLog();
    const bool clamped = k.stored < 1 || k.stored > 2;
    host.failSelector = clamped ? kHostAllocate : 0;  // the host cannot give 2 GB
    EXPECT_EQ(host.Interface(), clamped ? kPluginUserCanceled : kPluginResourceError);
    EXPECT_EQ(host.allocateSizes, k.allocated ? Sizes({272, k.allocated}) : Sizes()) << k.size;
    EXPECT_EQ(host.Control().maxParticles, k.stored) << "a refused allocation writes nothing";
  }
  FakeHost host;
  ASSERT_EQ(host.Init(), kPluginNoError);
  host.Control().maxParticles = -7;
  ASSERT_EQ(host.Interface(), kPluginResourceError);
  EXPECT_EQ(host.Control().maxParticles, 1);
  ExpectFreshPool(host);
  host.Control().maxParticles = 2000;  // "ALOC", the only call, grants too small a block
  host.info.theHostProc = [](IFFType, int32_t, void* record) {
    return static_cast<HostAllocatePtr>(record)->thePluginDataSize = 400, 0;
  };
  EXPECT_EQ(host.Interface(), kPluginMemoryError);
}

// A host that cannot give the block the settings ask for: whether it
// refuses (leaving the request as the plug-in filled it, or zeroing it) or
// claims a success with its short block or a negative size, every command
// answers a memory error, the head names only what the host holds, the
// settings survive, and once the host can give the block the frames run.
TEST(Settings, ABlockTheHostCannotGiveIsNeverUsed) {
  using R = FakeHost::Refusal;
  for (R style : {R::kLeave, R::kZero, R::kShort, R::kNegative}) {
    const int k = int(style);
    FakeHost host;
    ASSERT_EQ(host.Init(), kPluginNoError);
    for (int32_t f = 0; f < 3; f++) ASSERT_EQ(host.Frame(f), kPluginNoError);
    host.allocateLimit = 1 << 20;
    host.refusal = style;
    host.Control().maxParticles = kMaxParticleLimit;
    host.Control().emitFrequency = 77;
    const std::vector<uint8_t> settings = host.control;
    for (int32_t f = 3; f < 6; f++) {
      for (int command = 0; command < 3; command++) {
        const int32_t err = command == 0   ? host.Setup(f, f / 30.0, 1.0 / 30)
                            : command == 1 ? host.Generate()
                                           : host.Interface();
        EXPECT_EQ(err, kPluginMemoryError) << "style " << k << " command " << command;
        EXPECT_TRUE(host.info.theControlData == host.control.data() &&
                    host.info.theControlDataSize == int32_t(host.control.size()) &&
                    host.info.thePluginData == host.data.data() &&
                    host.info.thePluginDataSize ==
                        (style == R::kNegative ? -1 : int32_t(host.data.size())))
            << "style " << k << " command " << command;
      }
    }
    EXPECT_EQ(host.control, settings) << "style " << k;
    host.allocateLimit = 0;
    host.Control().maxParticles = 2000;
    ASSERT_EQ(host.Frame(6), kPluginNoError) << "style " << k;
    EXPECT_EQ(host.Control().emitFrequency, 77) << "style " << k;
    EXPECT_GT(host.Control().particleCount, 0) << "style " << k;
  }
}

// A stored record over a new working block: the pool is emptied, and one
// that held particles is marked for replay, while an empty one keeps its
// frame, so a fresh scene's record comes back byte-identical.  "INIT"
// keeps a block whose lists fit the record.
TEST(Settings, ANewBlockEmptiesThePoolAndMarksALostOneForReplay) {
  FakeHost host;
  ASSERT_EQ(host.Init(), kPluginNoError);
  const std::vector<uint8_t> fresh = host.control;
  std::fill(host.data.begin(), host.data.end(), 0);
  ASSERT_EQ(host.Init(), kPluginNoError);
  EXPECT_EQ(host.control, fresh);
  ExpectFreshPool(host);

  for (int32_t f = 0; f <= 10; f++) ASSERT_EQ(host.Frame(f), kPluginNoError);
  ASSERT_GT(host.Control().particleCount, 0);
  const std::vector<uint8_t> running = host.control, block = host.data;
  ASSERT_EQ(host.Init(), kPluginNoError);
  EXPECT_EQ(host.control, running);
  EXPECT_EQ(host.data, block);

  std::fill(host.data.begin(), host.data.end(), 0);
  ASSERT_EQ(host.Init(), kPluginNoError);
  ControlDataRec want;
  std::memcpy(&want, running.data(), sizeof want);
  want.lastFrameIndex = kNoFrame;
  want.particleCount = 0;
  want.firstActive = -1;
  want.firstInactive = 0;
  EXPECT_EQ(std::memcmp(&host.Control(), &want, sizeof want), 0);
  ExpectFreshPool(host);
}

// "SETM" copies the frame and its matrices and sends "RSET"; only a new
// frame step (a not-a-number always is one) forces a replay.
TEST(Settings, SetupTakesTheFrameAndReplaysOnlyWhenTheStepChanges) {
  FakeHost host;
  ASSERT_EQ(host.Init(), kPluginNoError);
  Matrix4 group, blur;
  for (int i = 0; i < 16; i++) group.matrixData[i] = i + 0.5, blur.matrixData[i] = -i;
  host.ClearLog();
  const std::pair<double, bool> steps[] = {
      {0.03333333, false}, {0.04, true}, {0.04, false}, {NAN, true}, {NAN, true}};
  for (const auto& [delta, replays] : steps) {
    host.Control().lastFrameIndex = 17;
    ASSERT_EQ(host.Setup(4, 0.125, delta, &group, &blur), kPluginNoError);
    EXPECT_EQ(host.Control().lastFrameIndex, replays ? INT32_MIN : 17) << delta;
  }
  EXPECT_EQ(host.calls, std::vector<IFFType>(5, kHostModelReset));
  EXPECT_EQ(host.Data().frameIndex, 4);
  EXPECT_EQ(host.Data().frameTime, 0.125);
  EXPECT_EQ(std::memcmp(&host.Data().theMatrix, &group, sizeof group), 0);
  EXPECT_EQ(std::memcmp(&host.Data().theBlurMatrix, &blur, sizeof blur), 0);
}

}  // namespace
