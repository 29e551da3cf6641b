// The host's answers to the plug-in's callbacks, called directly as a
// plug-in would call them.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <tuple>
#include <utility>

#include "protocol/HostCallbacks.h"
#include "output/PlyWriter.h"
#include "protocol/PluginInstance.h"
#include "text/System.h"

namespace {

// A limit of 1 MiB, so that sizes beyond it cost nothing to try.
struct PlmhostCallbacks : ::testing::Test {
  PluginInstance instance;
  ActiveInstanceScope scope{instance};
  void* ref = &instance;
  const int64_t limit = PluginMemoryLimit();
  PlmhostCallbacks() { SetPluginMemoryLimit(1 << 20, "test"); }
  ~PlmhostCallbacks() override { CloseInstance(instance, false), SetPluginMemoryLimit(limit, "default"); }

  template <typename Record>
  int32_t Call(IFFType theSelector, Record& theRecord) { return HostCallback(theSelector, int32_t(sizeof theRecord), &theRecord); }
  // "ALOC" naming the held records (or theControl); whatever the answer, the
  // record comes back naming the records held afterwards.
  int32_t Allocate(int32_t controlSize, int32_t dataSize, void* theControl = nullptr) {
    const HostRecords& held = instance.records;
    HostAllocateRec rec{ref, theControl ? theControl : held.control, controlSize, held.data, dataSize};
    int32_t answer = Call(kHostAllocate, rec);
    EXPECT_EQ(std::make_tuple(+rec.theControlData, +rec.theControlDataSize, +rec.thePluginData, +rec.thePluginDataSize),
              std::make_tuple(held.control, held.controlSize, held.data, held.dataSize));
    return answer;
  }
};

TEST_F(PlmhostCallbacks, AllocateKeepsOldBytesZeroesNewOnesAndRefusesAbsurdSizes) {
  ASSERT_EQ(Allocate(8, 4), kPluginNoError);
  auto* control = static_cast<uint8_t*>(instance.records.control);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(std::exchange(control[i], uint8_t(i + 1)), 0);
  ASSERT_EQ(Allocate(20, 2), kPluginNoError);
  control = static_cast<uint8_t*>(instance.records.control);
  for (int i = 0; i < 20; ++i) EXPECT_EQ(control[i], i < 8 ? i + 1 : 0) << i;

  // Refused: both records stay as they were.  The limit counts both
  // records and the "MMAL" blocks together.
  const HostRecords kept = instance.records;
  SetPluginMemoryLimit(100, "test");
  HostMemMallocRec block{ref, 40, nullptr};
  ASSERT_EQ(Call(kHostMemMalloc, block), kPluginNoError);
  char foreign[4];
  for (auto [controlSize, dataSize, other, expected] :
       {std::tuple<int32_t, int32_t, void*, int32_t>{-1, 16, nullptr, kPluginMemoryError}, {16, -5, nullptr, kPluginMemoryError},
        {30, 31, nullptr, kPluginMemoryError}, {16, 16, foreign, kPluginBadParameters}}) {
    EXPECT_EQ(Allocate(controlSize, dataSize, other), expected) << controlSize << " " << dataSize;
    EXPECT_TRUE(instance.records.control == kept.control && instance.records.data == kept.data &&
                instance.records.controlSize == 20 && instance.records.dataSize == 2);
  }
  HostMemMallocRec over{ref, 39, nullptr};
  EXPECT_EQ(Call(kHostMemMalloc, over), kPluginMemoryError);
  EXPECT_EQ(Allocate(30, 30), kPluginNoError);
  ASSERT_EQ(Allocate(0, 0), kPluginNoError);
  EXPECT_TRUE(instance.records.control == nullptr && instance.records.data == nullptr);
}

TEST(PlmhostMemoryLimit, SizesParseWithBinarySuffixes) {
  for (auto [text, bytes] : {std::pair<const char*, int64_t>{"65536", 65536}, {"512M", 512ll << 20}, {"1.5G", 3ll << 29},
                             {"8GiB", 8ll << 30}, {"2k", 2048}, {"1TB", 1ll << 40}}) {
    int64_t got = -1;
    EXPECT_TRUE(ParseMemorySize(text, &got) && got == bytes) << text << " " << got;
  }
  for (const char* bad : {"", "0", "G", "-1G", "1.2.3M", "5X", "5Gb", "1e9", "99999999999999999999G"}) {
    int64_t got = -1;
    EXPECT_FALSE(ParseMemorySize(bad, &got)) << bad;
  }
  EXPECT_EQ(MemorySizeText(3ll << 29) + " " + MemorySizeText(1 << 20) + " " + MemorySizeText(100), "1.5 GiB 1 MiB 100 bytes");
}

// Unknown selectors, short or missing records and strangers' references are
// refused, the first refusal kept.
TEST_F(PlmhostCallbacks, RecordsAreCheckedBeforeTheSelectorIsServed) {
  HostModelResetRec reset{ref}, stranger{&reset};
  EXPECT_EQ(Call(MakeIFF("XXXX"), reset), kPluginUnsupportedCommand);
  for (int32_t size : {int32_t(sizeof reset) - 1, -1})
    EXPECT_EQ(HostCallback(kHostModelReset, size, &reset), kPluginBadParameters) << size;
  EXPECT_EQ(HostCallback(kHostModelReset, int32_t(sizeof reset), nullptr), kPluginBadParameters);
  EXPECT_EQ(Call(kHostModelReset, stranger), kPluginBadParameters);
  EXPECT_EQ(instance.refused.selector, MakeIFF("XXXX"));
  EXPECT_EQ(instance.refused.code, kPluginUnsupportedCommand);
}

TEST(PlmhostCallbacksOutsideCommands, AreRefused) {
  HostModelResetRec reset{nullptr};  // names no instance, as none is running
  EXPECT_EQ(HostCallback(kHostModelReset, int32_t(sizeof reset), &reset), kPluginBadParameters);
}

TEST_F(PlmhostCallbacks, ModelTakesVerticesPerGroupAndColoursFromTheFirstFacet) {
  HostModelAddVertexRec vertex{ref, {}, {{255, 255, 255, 255}}, {}, {}, {}, 0};
  EXPECT_EQ(Call(kHostAddVertex, vertex), kPluginOutOfSequence);
  HostModelAddGroupRec group{ref, nullptr, 0x5FFFFFFF, nullptr};
  for (int n = 0; n < 4; ++n) {  // two groups of two vertices
    if (n % 2 == 0) { ASSERT_EQ(Call(kHostAddGroup, group), kPluginNoError); }
    vertex.theIndex = -7;
    ASSERT_EQ(Call(kHostAddVertex, vertex), kPluginNoError);
    EXPECT_EQ(+vertex.theIndex, n % 2);  // + copies the packed field out
  }
  HostModelAddFacetRec facet{ref, {}, 2, {1, 0}};
  for (uint8_t red : {9, 99}) ASSERT_EQ((facet.theColor.r = red, Call(kHostAddFacet, facet)), kPluginNoError);
  const FrameModel& model = instance.model;
  ASSERT_EQ(model.vertices.size(), 4u);
  EXPECT_EQ(std::vector<int>({model.vertices[0].color.r, model.vertices[1].color.r, model.vertices[2].color.r,
                              model.vertices[3].color.r}), std::vector<int>({255, 255, 9, 9}));  // the first group untouched
  EXPECT_EQ(model.groups[1].vertexFlags, 0x5FFFFFFFu);

  // Facets of 1 to 4 vertices, each one of the last group's; zeros follow
  // the record, so a fifth index would name a vertex.
  for (auto [count, v0, v1] : {std::tuple{0, 0, 0}, {5, 0, 0}, {-1, 0, 0}, {1, 2, 0}, {2, 0, -1}, {2, 0, INT32_MAX}}) {
    char record[sizeof facet + 4] = {};
    facet = {ref, {}, int16_t(count), {v0, v1}};
    std::memcpy(record, &facet, sizeof facet);
    EXPECT_EQ(HostCallback(kHostAddFacet, int32_t(sizeof record), record), kPluginBadParameters) << count << " " << v0 << " " << v1;
  }
  EXPECT_EQ(model.facetCount, 2u);
  HostModelResetRec reset{ref};
  ASSERT_EQ(Call(kHostModelReset, reset), kPluginNoError);
  EXPECT_TRUE(model.vertices.empty() && model.groups.empty() && instance.modelResets == 1);
}

// Blocks are tracked until freed.  A report sets the throttle tick, signed in
// the record and compared as unsigned by the plug-in.
TEST_F(PlmhostCallbacks, MemoryBlocksAndTheStatusTick) {
  HostMemMallocRec block{ref, 0, nullptr}, huge{ref, 0xFFFFFFFFu, nullptr}, kept{ref, 32, nullptr};
  ASSERT_TRUE(Call(kHostMemMalloc, block) == kPluginNoError && block.thePtr != nullptr);  // even for 0 bytes
  EXPECT_EQ(Call(kHostMemMalloc, huge), kPluginMemoryError);
  ASSERT_EQ(Call(kHostMemMalloc, kept), kPluginNoError);
  HostMemFreeRec release{ref, block.thePtr}, wild{ref, &release};
  EXPECT_EQ(Call(kHostMemFree, release), kPluginNoError);
  EXPECT_EQ(Call(kHostMemFree, release), kPluginBadParameters);
  EXPECT_EQ(Call(kHostMemFree, wild), kPluginBadParameters);
  EXPECT_EQ(instance.blocks.size(), 1u);  // "kept" goes when the instance closes
  HostStatusRec status{ref, 0.3f, {}, {}, 0, 10, 3, 0};
  uint32_t before = TickCount(), tick;
  ASSERT_EQ(Call(kHostStatus, status), kPluginNoError);
  std::memcpy(&tick, &status.theStatusTick, sizeof tick);
  EXPECT_TRUE(tick - before >= 1 && tick - before <= kStatusTicks + 1) << tick - before;
}

TEST(PlmhostPly, NarrowsOutOfRangeCoordinatesAsIeeeRoundingWould) {
  const double beyond = double(FLT_MAX) + std::ldexp(1.0, 100);  // still rounds to FLT_MAX
  const std::pair<double, float> cases[] = {{1e39, HUGE_VALF}, {-1e300, -HUGE_VALF}, {beyond, FLT_MAX},
                                            {-beyond, -FLT_MAX}, {0.1, 0.1f}};
  for (auto [value, narrowed] : cases) EXPECT_EQ(NarrowToFloat(value), narrowed) << value;
  EXPECT_TRUE(std::isnan(NarrowToFloat(std::nan(""))));
}

}  // namespace
