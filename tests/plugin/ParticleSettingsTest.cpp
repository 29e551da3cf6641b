// The settings and working records through Main: the stored forms, the
// reallocation decision, the capacity clamp and the frame set-up.
#include <gtest/gtest.h>

#include <cmath>

#include "FakeHost.h"
#include "host/PluginClient.h"
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
  EXPECT_EQ(host.Control().particleCount, 0);
  EXPECT_EQ(host.Control().firstActive, -1);
  Sizes free = host.List(host.Control().firstInactive), all(free.size());
  for (size_t i = 0; i < all.size(); i++) all[i] = int32_t(i);
  EXPECT_EQ(free, all);
  EXPECT_EQ(free.size(), size_t(host.Control().maxParticles));
}

// No record, or one of another owner, version or size: the defaults, with a
// seed from the tick counter and a fresh pool.
TEST(Settings, MissingOrUnrecognisedRecordsGetTheDefaults) {
  const double settings[26] = {25, 25, 0, 100, 10, 0, 0, 0, 0, 0,  0,   0,   0,
                               1,  0,  0, 2,   100, 10, 0, 0, -50, 0, 0, 0.5, 0.9};
  const uint8_t colors[12] = {255, 200, 0, 0, 255, 255, 128, 0, 255, 255, 255, 255};
  for (int variant = 0; variant < 4; variant++) {
    FakeHost host;
    if (variant > 0) {
      ASSERT_EQ(host.Init(), kPluginNoError);
      host.Control().maxParticles = 5;
      host.Control().emitFrequency = 99;
      host.Control().ownerType = variant == 1 ? MakeIFF("PARX") : kParticleOwner;
      host.Control().ownerVersion = variant == 2 ? 4 : 3;
      if (variant == 3) host.info.theControlDataSize = 276;  // not a version-2 record
      host.ClearLog();
    }
    uint32_t t0 = TickCount();
    ASSERT_EQ(variant ? host.Interface() : host.Init(), variant ? 6 : 0);
    uint32_t t1 = TickCount();
    EXPECT_EQ(host.allocateSizes, variant % 3 ? Sizes() : Sizes({272, 352 + 52 * 1000}));
    const ControlDataRec& c = host.Control();
    EXPECT_EQ(c.ownerType, MakeIFF("PART"));
    EXPECT_EQ(c.ownerVersion, 3);
    EXPECT_EQ(std::memcmp(&c.emitFrequency, settings, sizeof settings), 0) << variant;
    EXPECT_EQ(c.maxParticles, 1000);
    EXPECT_EQ(c.particleFlags, 0);
    EXPECT_EQ(std::memcmp(c.energyColors, colors, 12), 0);
    EXPECT_TRUE(SeedFromTicks(c.particleSeed, t0, t1));
    EXPECT_EQ(c.lastFrameIndex, 0);
    EXPECT_EQ(c.lastFrameTimeDelta, 0.03333333);
    EXPECT_EQ(host.Data().frameTimeDelta, 0.03333333);
    ExpectFreshPool(host);
  }
}

// Writes v at rec[offset], most significant byte first when reversed.
template <typename T>
void Put(std::vector<uint8_t>& rec, int offset, T v, bool reversed) {
  for (size_t i = 0; i < sizeof v; i++)
    rec[size_t(offset) + i] = reinterpret_cast<uint8_t*>(&v)[reversed ? sizeof v - 1 - i : i];
}

// A stored record written byte by byte: version 3 in this byte order (form
// 0) or the other (1), or version 2 (2); with settings 1.5 + i / 4, flags
// 7, 20 slots and colours 1 .. 12, and for version 3 a pool to replay and
// seed 0x01020304.
std::vector<uint8_t> StoredForm(int form) {
  const bool reversed = form == 1, v2 = form == 2;
  std::vector<uint8_t> rec(v2 ? 276 : 272, 0);
  Put(rec, 0, MakeIFF("PART"), reversed);
  Put(rec, 4, v2 ? 2 : 3, reversed);
  Put(rec, v2 ? 40 : 240, 7, reversed);   // particleFlags
  Put(rec, v2 ? 52 : 252, 20, reversed);  // maxParticles
  for (int i = 0; i < 26; i++) Put(rec, (v2 ? 56 : 24) + 8 * i, 1.5 + i * 0.25, reversed);
  for (int i = 0; i < 12; i++) rec[size_t((v2 ? 264 : 256) + i)] = uint8_t(i + 1);
  if (!v2) {
    Put(rec, 232, INT32_MIN, reversed);   // lastFrameIndex
    Put(rec, 244, -1, reversed);          // firstActive
    Put(rec, 268, 0x01020304, reversed);  // particleSeed
  }
  return rec;
}

// This version in this byte order is taken as it is, in the other swapped in
// place; version 2 is converted with a fresh seed and pool.
TEST(Settings, StoredFormsAreTakenSwappedOrConverted) {
  for (int form = 0; form < 3; form++) {
    FakeHost host;
    host.Store(StoredForm(form));
    if (form < 2) host.Reallocate(272, 352 + 52 * 20);
    uint32_t t0 = TickCount();
    ASSERT_EQ(host.Interface(), kPluginResourceError);
    uint32_t t1 = TickCount();
    EXPECT_EQ(host.allocateSizes, form < 2 ? Sizes() : Sizes({272, 352 + 52 * 20}));
    ControlDataRec want;
    std::memcpy(&want, StoredForm(0).data(), sizeof want);
    if (form == 2) {
      EXPECT_TRUE(SeedFromTicks(host.Control().particleSeed, t0, t1));
      want.particleSeed = host.Control().particleSeed;
      want.lastFrameIndex = 0;
      want.lastFrameTimeDelta = 0.03333333;
    }
    EXPECT_EQ(std::memcmp(&host.Control(), &want, sizeof want), 0) << "form " << form;
  }
}

// One slot needs a block of 404 bytes; up to the next multiple of 8 is kept.
// The capacity is clamped to 1 .. 41297755 before any size is computed; a
// refused allocation writes nothing, a granted one the clamped value.
TEST(Settings, TheBlockIsReallocatedOutsideItsToleranceAndTheCapacityClamped) {
  for (int32_t size : {400, 404, 408, 412}) {
    FakeHost host;
    ASSERT_EQ(host.Init(), kPluginNoError);
    host.Control().maxParticles = 1;
    host.Reallocate(272, size);
    host.ClearLog();
    ASSERT_EQ(host.Interface(), kPluginResourceError);
    EXPECT_EQ(host.allocateSizes, size == 400 || size == 412 ? Sizes({272, 404}) : Sizes())
        << size;
  }
  const std::pair<int32_t, int32_t> clamps[] = {
      {0, 1}, {-7, 1}, {INT32_MIN, 1}, {41297756, 41297755}, {INT32_MAX, 41297755}};
  for (const auto& [stored, clamped] : clamps) {
    FakeHost host;
    ASSERT_EQ(host.Init(), kPluginNoError);
    host.Control().maxParticles = stored;
    host.ClearLog();
    host.failSelector = kHostAllocate;  // the host cannot give 2 GB
    EXPECT_EQ(host.Interface(), kPluginUserCanceled);
    EXPECT_EQ(host.allocateSizes.at(1), 352 + 52 * int64_t(clamped)) << stored;
    EXPECT_EQ(host.Control().maxParticles, stored);
  }
  FakeHost host;
  ASSERT_EQ(host.Init(), kPluginNoError);
  host.Control().maxParticles = -7;
  ASSERT_EQ(host.Interface(), kPluginResourceError);
  EXPECT_EQ(host.Control().maxParticles, 1);
  ExpectFreshPool(host);
  // A host that claims success must hand back blocks the plug-in can write.
  host.Control().maxParticles = 2000;
  host.info.theHostProc = [](IFFType selector, int32_t, void* record) {
    if (selector == kHostAllocate) static_cast<HostAllocatePtr>(record)->thePluginDataSize = 400;
    return 0;
  };
  EXPECT_EQ(host.Interface(), kPluginMemoryError);
}

// A stored record with a new working block: the block is linked afresh and
// the next frame replays.
TEST(Settings, InitRelinksTheBlockOfAStoredRecordAndForcesAReplay) {
  FakeHost host;
  ASSERT_EQ(host.Init(), kPluginNoError);
  for (int32_t f = 0; f <= 10; f++) ASSERT_EQ(host.Frame(f), kPluginNoError);
  ASSERT_GT(host.Control().particleCount, 0);
  std::fill(host.data.begin(), host.data.end(), 0);
  ASSERT_EQ(host.Init(), kPluginNoError);
  EXPECT_EQ(host.Control().lastFrameIndex, INT32_MIN);
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
  for (double delta : {0.03333333, 0.04, double(NAN), double(NAN)}) {
    host.Control().lastFrameIndex = 17;
    ASSERT_EQ(host.Setup(4, 0.125, delta, &group, &blur), kPluginNoError);
    EXPECT_EQ(host.Control().lastFrameIndex, delta == 0.03333333 ? 17 : INT32_MIN) << delta;
    EXPECT_TRUE(SameBits(host.Data().frameTimeDelta, delta));
  }
  EXPECT_EQ(host.calls, std::vector<IFFType>(4, kHostModelReset));
  EXPECT_EQ(host.Data().frameIndex, 4);
  EXPECT_EQ(host.Data().frameTime, 0.125);
  EXPECT_EQ(std::memcmp(&host.Data().theMatrix, &group, sizeof group), 0);
  EXPECT_EQ(std::memcmp(&host.Data().theBlurMatrix, &blur, sizeof blur), 0);
}

}  // namespace
