// The settings and working records through Main: the stored forms, the
// reallocation decision, the capacity clamp and the frame set-up.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "FakeHost.h"
#include "Particle.h"
#include "ParticleEngine.h"
#include "host/PluginClient.h"
#include "text/System.h"

namespace {

constexpr IFFType kALOC = MakeIFF("ALOC");
constexpr IFFType kRSET = MakeIFF("RSET");

uint64_t Bits(double d) {
  uint64_t u;
  std::memcpy(&u, &d, 8);
  return u;
}

// Stores a value most significant byte first, as a big-endian writer did.
void PutBE32(uint8_t* rec, int offset, uint32_t v) {
  for (int i = 0; i < 4; i++) rec[offset + i] = uint8_t(v >> (24 - 8 * i));
}
void PutBE64(uint8_t* rec, int offset, double d) {
  uint64_t v = Bits(d);
  for (int i = 0; i < 8; i++) rec[offset + i] = uint8_t(v >> (56 - 8 * i));
}
template <typename T>
void PutNative(uint8_t* rec, int offset, T v) {
  std::memcpy(rec + offset, &v, sizeof v);
}

// Whether seed is TickCount() * 1103515245 + 12345 for a tick in [t0, t1].
bool SeedFromTicks(int32_t seed, uint32_t t0, uint32_t t1) {
  for (uint32_t t = t0; t != t1 + 1; t++)
    if (uint32_t(seed) == t * 1103515245u + 12345u) return true;
  return false;
}

void ExpectFreshPool(FakeHost& host) {
  ControlDataRec& c = host.Control();
  EXPECT_EQ(c.particleCount, 0);
  EXPECT_EQ(c.firstActive, -1);
  EXPECT_EQ(c.firstInactive, 0);
  std::vector<int32_t> free = host.FreeIndices();
  ASSERT_EQ(free.size(), size_t(c.maxParticles));
  for (int32_t i = 0; i < c.maxParticles; i++) ASSERT_EQ(free[size_t(i)], i);
}

TEST(Settings, InitOnAnEmptyHeadAllocatesAndWritesTheDefaults) {
  FakeHost host;
  uint32_t t0 = TickCount();
  ASSERT_EQ(host.Init(), kPluginNoError);
  uint32_t t1 = TickCount();
  ASSERT_EQ(host.calls, std::vector<IFFType>{kALOC});
  EXPECT_EQ(host.allocateSizes, (std::vector<int32_t>{272, 52352}));

  ControlDataRec& c = host.Control();
  EXPECT_EQ(c.ownerType, MakeIFF("PART"));
  EXPECT_EQ(c.ownerVersion, 3);
  const double settings[26] = {25, 25, 0, 100, 10, 0, 0, 0, 0, 0,  0,   0,   0,
                               1,  0,  0, 2,   100, 10, 0, 0, -50, 0, 0, 0.5, 0.9};
  for (int i = 0; i < 26; i++) EXPECT_EQ((&c.emitFrequency)[i], settings[i]) << "setting " << i;
  EXPECT_EQ(Bits(c.bounceFriction), 0x3FECCCCCCCCCCCCDull);
  EXPECT_EQ(c.maxParticles, 1000);
  EXPECT_EQ(c.particleFlags, 0);
  const uint8_t colors[12] = {255, 200, 0, 0, 255, 255, 128, 0, 255, 255, 255, 255};
  EXPECT_EQ(std::memcmp(c.energyColors, colors, 12), 0);
  EXPECT_TRUE(SeedFromTicks(c.particleSeed, t0, t1));
  // The pool's bookkeeping as a fresh list leaves it.
  EXPECT_EQ(c.lastFrameIndex, 0);
  EXPECT_EQ(c.lastFrameTime, 0.0);
  EXPECT_EQ(c.lastFrameTimeDelta, 0.03333333);
  ExpectFreshPool(host);

  PluginDataRec& d = host.Data();
  EXPECT_EQ(Bits(d.frameTimeDelta), 0x3FA11110F46EFD39ull);
  EXPECT_EQ(d.frameTime, 0.0);
  EXPECT_EQ(d.frameIndex, 0);
  EXPECT_EQ(d.vertexFlags, 0u);
  for (int i = 0; i < 16; i++) {
    EXPECT_EQ(d.theMatrix.matrixData[i], i % 5 == 0 ? 1.0 : 0.0);
    EXPECT_EQ(d.theBlurMatrix.matrixData[i], i % 5 == 0 ? 1.0 : 0.0);
  }
  for (int i = 0; i < 9; i++) EXPECT_EQ(d.directionMatrix.matrixData[i], i % 4 == 0 ? 1.0 : 0.0);
}

TEST(Settings, ARecordInTheOtherByteOrderIsSwappedInPlace) {
  uint8_t rec[272];
  std::memset(rec, 0x77, sizeof rec);
  std::memcpy(rec, "PART", 4);  // a big-endian writer's owner code
  PutBE32(rec, 4, 3);
  for (int i = 0; i < 26; i++) PutBE64(rec, 24 + 8 * i, 1.5 + i * 0.25);
  PutBE32(rec, 240, 7);       // particleFlags
  PutBE32(rec, 252, 20);      // maxParticles
  const uint8_t colors[12] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
  std::memcpy(rec + 256, colors, 12);
  PutBE32(rec, 268, 0x01020304);

  FakeHost host;
  host.Store(rec, 272);
  host.Reallocate(272, 352 + 52 * 20);
  ASSERT_EQ(host.Interface(), kPluginResourceError);
  EXPECT_TRUE(host.calls.empty()) << "no reallocation";

  ControlDataRec& c = host.Control();
  EXPECT_EQ(c.ownerType, MakeIFF("PART"));
  EXPECT_EQ(c.ownerVersion, 3);
  for (int i = 0; i < 26; i++) EXPECT_EQ((&c.emitFrequency)[i], 1.5 + i * 0.25) << i;
  EXPECT_EQ(c.particleFlags, 7);
  EXPECT_EQ(c.maxParticles, 20);
  EXPECT_EQ(c.particleSeed, 0x01020304);
  EXPECT_EQ(std::memcmp(c.energyColors, colors, 12), 0);
  EXPECT_EQ(c.lastFrameIndex, INT32_MIN);
  EXPECT_EQ(c.lastFrameTime, 0.0);
  EXPECT_EQ(c.lastFrameTimeDelta, 0.0);
  EXPECT_EQ(c.particleCount, 0);
  EXPECT_EQ(c.firstActive, -1);
  EXPECT_EQ(c.firstInactive, 0);
}

TEST(Settings, AVersionTwoRecordIsConvertedAndReallocated) {
  uint8_t rec[276];
  std::memset(rec, 0x33, sizeof rec);
  PutNative<uint32_t>(rec, 0, MakeIFF("PART"));
  PutNative<int32_t>(rec, 4, 2);
  PutNative<int32_t>(rec, 40, 5);
  PutNative<int32_t>(rec, 52, 64);
  for (int i = 0; i < 26; i++) PutNative<double>(rec, 56 + 8 * i, -3.0 + i);
  const uint8_t colors[12] = {9, 8, 7, 6, 5, 4, 3, 2, 1, 0, 255, 254};
  std::memcpy(rec + 264, colors, 12);

  FakeHost host;
  host.Store(rec, 276);
  uint32_t t0 = TickCount();
  ASSERT_EQ(host.Init(), kPluginNoError);
  uint32_t t1 = TickCount();
  EXPECT_EQ(host.allocateSizes, (std::vector<int32_t>{272, 352 + 52 * 64}));
  ControlDataRec& c = host.Control();
  EXPECT_EQ(c.ownerVersion, 3);
  EXPECT_EQ(c.particleFlags, 5);
  EXPECT_EQ(c.maxParticles, 64);
  for (int i = 0; i < 26; i++) EXPECT_EQ((&c.emitFrequency)[i], -3.0 + i) << i;
  EXPECT_EQ(std::memcmp(c.energyColors, colors, 12), 0);
  EXPECT_TRUE(SeedFromTicks(c.particleSeed, t0, t1));
  ExpectFreshPool(host);
}

TEST(Settings, InterfaceConvertsAVersionTwoRecordBeforeEditing) {
  uint8_t rec[276] = {};
  PutNative<uint32_t>(rec, 0, MakeIFF("PART"));
  PutNative<int32_t>(rec, 4, 2);
  PutNative<int32_t>(rec, 52, 10);
  FakeHost host;
  host.Store(rec, 276);
  ASSERT_EQ(host.Interface(), kPluginResourceError);
  EXPECT_EQ(host.info.theControlDataSize, 272);
  EXPECT_EQ(host.Control().ownerVersion, 3);
  EXPECT_EQ(host.Control().maxParticles, 10);
}

TEST(Settings, UnrecognisedRecordsAreReplacedByTheDefaults) {
  for (int variant = 0; variant < 3; variant++) {
    FakeHost host;
    ASSERT_EQ(host.Init(), kPluginNoError);
    host.Control().maxParticles = 5;
    host.Control().emitFrequency = 99;
    if (variant == 0) host.Control().ownerType = MakeIFF("PARX");
    if (variant == 1) host.Control().ownerVersion = 4;
    if (variant == 2) host.info.theControlDataSize = 276;  // not a version-2 record
    host.ClearLog();
    ASSERT_EQ(host.Interface(), kPluginResourceError);
    EXPECT_EQ(host.Control().emitFrequency, 25.0) << variant;
    EXPECT_EQ(host.Control().maxParticles, 1000) << variant;
  }
}

TEST(Settings, TheWorkingBlockIsReallocatedOutsideItsRoundingTolerance) {
  // One slot needs 404 bytes; up to the next multiple of 8 is accepted.
  for (int32_t size : {400, 404, 408, 412}) {
    FakeHost host;
    ASSERT_EQ(host.Init(), kPluginNoError);
    host.Control().maxParticles = 1;
    host.Reallocate(272, size);
    host.ClearLog();
    ASSERT_EQ(host.Interface(), kPluginResourceError);
    bool expectAlloc = size == 400 || size == 412;
    EXPECT_EQ(!host.calls.empty(), expectAlloc) << size;
    if (expectAlloc) {
      EXPECT_EQ(host.allocateSizes, (std::vector<int32_t>{272, 404}));
    }
  }
}

TEST(Settings, MaxParticlesIsClampedBeforeAnySizeIsComputed) {
  struct Case {
    int32_t stored, clamped;
  } cases[] = {{0, 1}, {-7, 1}, {INT32_MIN, 1}, {41297756, 41297755}, {INT32_MAX, 41297755}};
  for (const Case& k : cases) {
    FakeHost host;
    ASSERT_EQ(host.Init(), kPluginNoError);
    host.Control().maxParticles = k.stored;
    host.ClearLog();
    host.allocateResult = kPluginMemoryError;  // the host cannot give 2 GB
    EXPECT_EQ(host.Interface(), kPluginMemoryError);
    int64_t want = 352 + 52 * int64_t(k.clamped);
    ASSERT_EQ(host.allocateSizes.size(), 2u);
    EXPECT_EQ(host.allocateSizes[1], want) << k.stored;
    EXPECT_EQ(host.Control().maxParticles, k.stored) << "a refused allocation writes nothing";
  }
  // When the allocation succeeds the clamped value is stored with a fresh pool.
  FakeHost host;
  ASSERT_EQ(host.Init(), kPluginNoError);
  host.Control().maxParticles = 0;
  ASSERT_EQ(host.Interface(), kPluginResourceError);
  EXPECT_EQ(host.Control().maxParticles, 1);
  EXPECT_EQ(host.info.thePluginDataSize, 404);
  ExpectFreshPool(host);
}

TEST(Settings, ARefusedAllocationIsReturnedAndWritesNothing) {
  FakeHost host;
  host.allocateResult = kPluginMemoryError;
  EXPECT_EQ(host.Init(), kPluginMemoryError);
  EXPECT_EQ(host.info.theControlData, nullptr);
  // A host that claims success but hands back too small a block is refused too.
  FakeHost liar;
  ASSERT_EQ(liar.Init(), kPluginNoError);
  liar.Control().maxParticles = 2000;
  liar.ClearLog();
  liar.allocateResult = 0;
  struct Shrink {
    static int32_t Proc(IFFType selector, int32_t, void* record) {
      if (selector == MakeIFF("ALOC")) static_cast<HostAllocatePtr>(record)->thePluginDataSize = 400;
      return 0;
    }
  };
  liar.info.theHostProc = &Shrink::Proc;
  EXPECT_EQ(liar.Interface(), kPluginMemoryError);
}

TEST(Settings, InitRelinksTheBlockOfAStoredRecordAndForcesAReplay) {
  FakeHost host;
  ASSERT_EQ(host.Init(), kPluginNoError);
  for (int32_t f = 0; f <= 10; f++) ASSERT_EQ(host.Frame(f), kPluginNoError);
  ASSERT_GT(host.Control().particleCount, 0);
  // A new session: the scene's settings come back, the block is fresh.
  std::memset(host.data.get(), 0, size_t(host.info.thePluginDataSize));
  ASSERT_EQ(host.Init(), kPluginNoError);
  EXPECT_EQ(host.Control().lastFrameIndex, INT32_MIN);
  ExpectFreshPool(host);
}

TEST(Settings, SetupTakesTheFrameAndReplaysOnlyWhenTheStepChanges) {
  FakeHost host;
  ASSERT_EQ(host.Init(), kPluginNoError);
  Matrix4 group, blur;
  for (int i = 0; i < 16; i++) {
    group.matrixData[i] = i + 0.5;
    blur.matrixData[i] = -i;
  }
  host.ClearLog();
  host.Control().lastFrameIndex = 17;
  ASSERT_EQ(host.Setup(4, 0.125, 0.03333333, &group, &blur), kPluginNoError);
  EXPECT_EQ(host.calls, std::vector<IFFType>{kRSET});
  EXPECT_EQ(host.Control().lastFrameIndex, 17) << "same step as the default";
  EXPECT_EQ(host.Data().frameIndex, 4);
  EXPECT_EQ(host.Data().frameTime, 0.125);
  EXPECT_EQ(std::memcmp(&host.Data().theMatrix, &group, sizeof group), 0);
  EXPECT_EQ(std::memcmp(&host.Data().theBlurMatrix, &blur, sizeof blur), 0);

  ASSERT_EQ(host.Setup(5, 0.25, 0.04), kPluginNoError);
  EXPECT_EQ(host.Control().lastFrameIndex, INT32_MIN);
  EXPECT_EQ(host.Data().frameTimeDelta, 0.04);

  host.Control().lastFrameIndex = 17;
  ASSERT_EQ(host.Setup(6, 0.25, NAN), kPluginNoError);
  host.Control().lastFrameIndex = 17;
  ASSERT_EQ(host.Setup(6, 0.25, NAN), kPluginNoError);
  EXPECT_EQ(host.Control().lastFrameIndex, INT32_MIN) << "not-a-number never equals";
}

TEST(Settings, AFailedResetIsLatchedAndTheNextSuccessfulOneClearsIt) {
  FakeHost host;
  ASSERT_EQ(host.Init(), kPluginNoError);
  host.resetResult = 9;
  EXPECT_EQ(host.Setup(0, 0, 1.0 / 30), kPluginNoError) << "the reset's result is only latched";
  EXPECT_EQ(result, 9);
  host.resetResult = 0;
  ASSERT_EQ(host.Setup(0, 0, 1.0 / 30), kPluginNoError);
  EXPECT_EQ(result, 0);
}

}  // namespace
