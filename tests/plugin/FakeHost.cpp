#include "FakeHost.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "geometry/geometry_records.h"
#include "host/PluginClient.h"

namespace {

std::string Text(const unsigned char* p) { return {reinterpret_cast<const char*>(p + 1), p[0]}; }

// The record of a callback, whose size must be the record's.
template <typename Rec>
Rec& Record(int32_t size, void* record) {
  EXPECT_EQ(size, int32_t(sizeof(Rec)));
  return *static_cast<Rec*>(record);
}

}  // namespace

FakeHost::FakeHost() {
  std::memset(&info, 0, sizeof info);
  info.theHostProc = &FakeHost::Proc;
  info.theHostReference = this;
}

void FakeHost::Reallocate(int32_t controlSize, int32_t dataSize) {
  for (auto [block, size] : {std::pair(&control, controlSize), std::pair(&data, dataSize)}) {
    std::vector<uint8_t> fresh(size_t(size), 0xA5);
    std::copy_n(block->begin(), std::min(block->size(), fresh.size()), fresh.begin());
    block->swap(fresh);
  }
  info.theControlData = control.data();
  info.theControlDataSize = controlSize;
  info.thePluginData = data.data();
  info.thePluginDataSize = dataSize;
}

int32_t FakeHost::Proc(IFFType selector, int32_t size, void* record) {
  auto* host = *static_cast<FakeHost**>(record);  // theReference leads every record
  return host->Answer(selector, size, record);
}

int32_t FakeHost::Answer(IFFType selector, int32_t size, void* record) {
  calls.push_back(selector);
  int32_t answer = selector == failSelector ? kPluginUserCanceled : 0;
  if (answer != 0) failSelector = 0;
  if (selector == kHostAllocate) {
    auto& r = Record<HostAllocateRec>(size, record);
    allocateSizes.insert(allocateSizes.end(), {r.theControlDataSize, r.thePluginDataSize});
    if (answer != 0) return answer;
    Reallocate(r.theControlDataSize, r.thePluginDataSize);
    r.theControlData = info.theControlData;
    r.thePluginData = info.thePluginData;
  } else if (selector == kHostModelReset) {
    Record<HostModelResetRec>(size, record);
  } else if (selector == kHostStatus) {
    auto& r = Record<HostStatusRec>(size, record);
    status.push_back({r.theStatusPos, r.theStatusValue, r.theStatusMax, Text(r.theStatusUnit),
                      Text(r.theStatusInfo)});
  } else if (selector == kHostAddGroup) {
    auto& r = Record<HostModelAddGroupRec>(size, record);
    EXPECT_EQ(r.theGroupTemplate, nullptr);
    groupFlags.push_back(r.theGroupVertexFlags);
  } else if (selector == kHostAddVertex) {
    auto& r = Record<HostModelAddVertexRec>(size, record);
    vertices.push_back({r.thePosition, r.theBlurPosition});
    r.theIndex = 1000 + int32_t(vertices.size());
  } else if (selector == kHostAddFacet) {
    auto& r = Record<HostModelAddFacetRec>(size, record);
    int32_t v[4];
    std::memcpy(v, r.theVertices, sizeof v);  // at an odd offset of the packed record
    facets.push_back({r.theColor.colorValue, r.theNumVertices, {v, v + 4}});
  } else {
    ADD_FAILURE() << "unexpected selector";
  }
  return answer;
}

int32_t FakeHost::Setup(int32_t frame, double time, double delta, const Matrix4* group,
                        const Matrix4* blur) {
  PluginModelSetupRec rec;
  std::memset(&rec, 0, sizeof rec);
  rec.theFrameIndex = frame;
  rec.theFrameTime = time;
  rec.theFrameTimeDelta = delta;
  // The matrices sit at even, not 8-byte, offsets of the packed record.
  Matrix4 identity;
  InitMatrix4(&identity);
  std::memcpy(&rec.theGroupMatrix, group ? group : &identity, sizeof(Matrix4));
  std::memcpy(&rec.theGroupBlurMatrix, blur ? blur : &identity, sizeof(Matrix4));
  return Send(kCmdSetup, rec);
}

std::vector<int32_t> FakeHost::List(int32_t head) {
  std::vector<int32_t> out;
  for (int32_t i = head; i >= 0 && out.size() <= size_t(Control().maxParticles); i = Slots()[i].link)
    out.push_back(i);
  return out;
}

std::vector<ParticleRec> FakeHost::Live() {
  std::vector<ParticleRec> out;
  for (int32_t i : List(Control().firstActive)) out.push_back(Slots()[i]);
  return out;
}

BoundPool::BoundPool(int32_t n) {
  EXPECT_EQ(Init(), kPluginNoError);
  Control().maxParticles = n;
  EXPECT_EQ(Interface(), kPluginResourceError);  // resizes the pool
  ClearLog();
  theControl = &Control();
  theData = &Data();
  particleData = Slots();
  hostProc = &FakeHost::Proc;
  hostReference = this;
  result = 0;
  theStatusRec.theReference = this;
  theStatusRec.theStatusTick = 0;
}

BoundPool::~BoundPool() {
  theControl = nullptr;
  theData = nullptr;
  particleData = nullptr;
  result = 0;
}
