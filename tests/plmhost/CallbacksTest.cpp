// The host's answers to the plug-in's callbacks, called directly as a
// plug-in would call them.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>

#include "HostCallbacks.h"
#include "PlyWriter.h"
#include "PluginInstance.h"
#include "text/System.h"

namespace {

struct PlmhostCallbacks : ::testing::Test {
  PluginInstance instance;
  ActiveInstanceScope scope{instance};
  void* ref = &instance;

  int32_t Allocate(HostAllocateRec& rec) { return HostCallback(kHostAllocate, int32_t(sizeof rec), &rec); }
  HostAllocateRec Ask(int32_t controlSize, int32_t dataSize) {
    return {ref, instance.records.control, controlSize, instance.records.data, dataSize};
  }
  ~PlmhostCallbacks() override { CloseInstance(instance, false); }
};

// Fields of packed records are copied out before the comparison binds them.
void ExpectNamesRecords(const HostAllocateRec& rec, const HostRecords& held) {
  HostRecords named{rec.theControlData, rec.theControlDataSize, rec.thePluginData, rec.thePluginDataSize};
  EXPECT_EQ(named.control, held.control);
  EXPECT_EQ(named.controlSize, held.controlSize);
  EXPECT_EQ(named.data, held.data);
  EXPECT_EQ(named.dataSize, held.dataSize);
}

template <typename T>
T Value(T field) {
  return field;
}

TEST_F(PlmhostCallbacks, AllocateKeepsOldBytesAndZeroesNewOnes) {
  HostAllocateRec rec = Ask(8, 4);
  ASSERT_EQ(Allocate(rec), kPluginNoError);
  ExpectNamesRecords(rec, instance.records);
  auto* control = static_cast<uint8_t*>(instance.records.control);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(control[i], 0);
  for (int i = 0; i < 8; ++i) control[i] = uint8_t(i + 1);
  static_cast<uint8_t*>(instance.records.data)[3] = 0x55;

  rec = Ask(20, 2);
  ASSERT_EQ(Allocate(rec), kPluginNoError);
  control = static_cast<uint8_t*>(instance.records.control);
  for (int i = 0; i < 20; ++i) EXPECT_EQ(control[i], i < 8 ? i + 1 : 0) << i;
  EXPECT_EQ(instance.records.dataSize, 2);

  rec = Ask(0, 0);
  ASSERT_EQ(Allocate(rec), kPluginNoError);
  EXPECT_EQ(instance.records.control, nullptr);
  EXPECT_EQ(instance.records.data, nullptr);
}

TEST_F(PlmhostCallbacks, RefusedAllocationLeavesBothRecordsAndNamesThem) {
  HostAllocateRec rec = Ask(16, 16);
  ASSERT_EQ(Allocate(rec), kPluginNoError);
  HostRecords before = instance.records;
  struct Case {
    int32_t control, data, expected;
  } cases[] = {{-1, 16, kPluginMemoryError}, {16, -5, kPluginMemoryError},
               {16, INT32_MAX, kPluginMemoryError}, {kMaxRecordBytes + 1, 0, kPluginMemoryError}};
  for (const Case& c : cases) {
    rec = Ask(c.control, c.data);
    EXPECT_EQ(Allocate(rec), c.expected) << c.control << " " << c.data;
    ExpectNamesRecords(rec, before);
  }
  char foreign[4];
  rec = {ref, foreign, 16, instance.records.data, 16};
  EXPECT_EQ(Allocate(rec), kPluginBadParameters);
  ExpectNamesRecords(rec, before);
}

TEST_F(PlmhostCallbacks, RecordsAreCheckedBeforeTheSelectorIsServed) {
  HostModelResetRec reset{ref};
  EXPECT_EQ(HostCallback(MakeIFF("XXXX"), int32_t(sizeof reset), &reset), kPluginUnsupportedCommand);
  EXPECT_EQ(HostCallback(kHostModelReset, int32_t(sizeof reset) - 1, &reset), kPluginBadParameters);
  EXPECT_EQ(HostCallback(kHostModelReset, -1, &reset), kPluginBadParameters);
  EXPECT_EQ(HostCallback(kHostModelReset, int32_t(sizeof reset), nullptr), kPluginBadParameters);
  HostModelResetRec stranger{&reset};
  EXPECT_EQ(HostCallback(kHostModelReset, int32_t(sizeof stranger), &stranger), kPluginBadParameters);
  EXPECT_EQ(instance.refused.selector, MakeIFF("XXXX"));  // the first refusal is kept
  EXPECT_EQ(instance.refused.code, kPluginUnsupportedCommand);
  EXPECT_EQ(HostCallback(kHostModelReset, int32_t(sizeof reset), &reset), kPluginNoError);
}

TEST(PlmhostCallbacksOutsideCommands, IsRefused) {
  PluginInstance instance;
  HostModelResetRec reset{&instance};
  EXPECT_EQ(HostCallback(kHostModelReset, int32_t(sizeof reset), &reset), kPluginBadParameters);
}

TEST_F(PlmhostCallbacks, StatusSetsTheThrottleAndFeedsTheDisplay) {
  ProgressDisplay display = MakeProgressDisplay(true, 0, 9);
  instance.progress = &display;
  HostStatusRec status{};
  status.theReference = ref;
  CopyStr(status.theStatusUnit, "Frame");
  CopyStr(status.theStatusInfo, "Aging Particles");
  status.theStatusMax = 10;
  status.theStatusValue = 3;
  status.theStatusPos = 0.3f;
  uint32_t before = TickCount();
  ASSERT_EQ(HostCallback(kHostStatus, int32_t(sizeof status), &status), kPluginNoError);
  uint32_t tick;
  std::memcpy(&tick, &status.theStatusTick, sizeof tick);
  uint32_t ahead = tick - before;  // unsigned, as the plug-in compares
  EXPECT_GE(ahead, 1u);
  EXPECT_LE(ahead, kStatusTicks + 1);
  std::string line = ProgressLineText(display, 10);
  EXPECT_NE(line.find("Aging Particles: Frame 3 of 10"), std::string::npos) << line;
  EXPECT_NE(line.find("[###.......]"), std::string::npos) << line;
}

TEST_F(PlmhostCallbacks, ModelTakesVerticesPerGroupAndColoursFromTheFirstFacet) {
  HostModelAddVertexRec vertex{};
  vertex.theReference = ref;
  vertex.theColor.colorValue = 0xFFFFFFFF;
  EXPECT_EQ(HostCallback(kHostAddVertex, int32_t(sizeof vertex), &vertex), kPluginOutOfSequence);
  HostModelAddGroupRec group{ref, nullptr, 0x5FFFFFFF, nullptr};
  for (int g = 0; g < 2; ++g) {
    ASSERT_EQ(HostCallback(kHostAddGroup, int32_t(sizeof group), &group), kPluginNoError);
    for (int k = 0; k < 2; ++k) {
      vertex.theIndex = -7;
      vertex.thePosition = {double(g), double(k), 0};
      ASSERT_EQ(HostCallback(kHostAddVertex, int32_t(sizeof vertex), &vertex), kPluginNoError);
      EXPECT_EQ(Value(vertex.theIndex), k);
    }
  }
  HostModelAddFacetRec facet{};
  facet.theReference = ref;
  facet.theColor.r = 9;
  facet.theNumVertices = 2;
  facet.theVertices[0] = 1;
  facet.theVertices[1] = 0;
  ASSERT_EQ(HostCallback(kHostAddFacet, int32_t(sizeof facet), &facet), kPluginNoError);
  facet.theColor.r = 99;
  ASSERT_EQ(HostCallback(kHostAddFacet, int32_t(sizeof facet), &facet), kPluginNoError);
  const FrameModel& model = instance.model;
  ASSERT_EQ(model.vertices.size(), 4u);
  EXPECT_EQ(model.groups[1].vertexFlags, 0x5FFFFFFFu);
  EXPECT_EQ(model.vertices[1].color.r, 255);  // first group: untouched
  EXPECT_EQ(model.vertices[2].color.r, 9);
  EXPECT_EQ(model.vertices[3].color.r, 9);
  EXPECT_EQ(model.facetCount, 2u);

  struct Bad {
    int16_t count;
    int32_t v0, v1;
  } bad[] = {{0, 0, 0}, {5, 0, 0}, {-1, 0, 0}, {1, 2, 0}, {2, 0, -1}, {2, 0, INT32_MAX}};
  for (const Bad& b : bad) {
    facet.theNumVertices = b.count;
    facet.theVertices[0] = b.v0;
    facet.theVertices[1] = b.v1;
    EXPECT_EQ(HostCallback(kHostAddFacet, int32_t(sizeof facet), &facet), kPluginBadParameters) << b.count;
  }
  EXPECT_EQ(model.facetCount, 2u);

  HostModelResetRec reset{ref};
  ASSERT_EQ(HostCallback(kHostModelReset, int32_t(sizeof reset), &reset), kPluginNoError);
  EXPECT_TRUE(model.vertices.empty());
  EXPECT_TRUE(model.groups.empty());
}

TEST_F(PlmhostCallbacks, MemoryBlocksAreTrackedUntilFreed) {
  HostMemMallocRec block{ref, 0, nullptr};
  ASSERT_EQ(HostCallback(kHostMemMalloc, int32_t(sizeof block), &block), kPluginNoError);
  EXPECT_NE(Value(block.thePtr), nullptr);
  HostMemMallocRec huge{ref, 0xFFFFFFFFu, nullptr};
  EXPECT_EQ(HostCallback(kHostMemMalloc, int32_t(sizeof huge), &huge), kPluginMemoryError);
  HostMemMallocRec kept{ref, 32, nullptr};
  ASSERT_EQ(HostCallback(kHostMemMalloc, int32_t(sizeof kept), &kept), kPluginNoError);
  HostMemFreeRec release{ref, block.thePtr};
  EXPECT_EQ(HostCallback(kHostMemFree, int32_t(sizeof release), &release), kPluginNoError);
  EXPECT_EQ(HostCallback(kHostMemFree, int32_t(sizeof release), &release), kPluginBadParameters);
  HostMemFreeRec wild{ref, &release};
  EXPECT_EQ(HostCallback(kHostMemFree, int32_t(sizeof wild), &wild), kPluginBadParameters);
  EXPECT_EQ(instance.blocks.size(), 1u);  // "kept" goes when the instance closes
}

TEST(PlmhostPly, NarrowsOutOfRangeCoordinatesAsIeeeRoundingWould) {
  EXPECT_EQ(NarrowToFloat(1e39), HUGE_VALF);
  EXPECT_EQ(NarrowToFloat(-1e300), -HUGE_VALF);
  EXPECT_EQ(NarrowToFloat(double(FLT_MAX) + std::ldexp(1.0, 100)), FLT_MAX);
  EXPECT_EQ(NarrowToFloat(-double(FLT_MAX) - std::ldexp(1.0, 100)), -FLT_MAX);
  EXPECT_TRUE(std::isnan(NarrowToFloat(std::nan(""))));
  EXPECT_EQ(NarrowToFloat(0.1), 0.1f);
}

TEST(PlmhostPly, EmptyModelIsAValidFileWithNoVertices) {
  FrameModel model;
  std::string bytes = PlyBytes(model, "");
  EXPECT_NE(bytes.find("element vertex 0\n"), std::string::npos);
  EXPECT_EQ(bytes.substr(bytes.size() - 11), "end_header\n");
}

}  // namespace
