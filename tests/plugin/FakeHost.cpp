#include "FakeHost.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "Particle.h"
#include "ParticleEngine.h"
#include "host/PluginClient.h"
#include "geometry/geometry_records.h"

namespace {

std::string Text(const unsigned char* p) {
  return std::string(reinterpret_cast<const char*>(p + 1), p[0]);
}

}  // namespace

FakeHost::FakeHost() {
  std::memset(&info, 0, sizeof info);
  info.theHostProc = &FakeHost::Proc;
  info.theHostReference = this;
}

void FakeHost::ClearLog() {
  calls.clear();
  allocateSizes.clear();
  status.clear();
  groupFlags.clear();
  vertices.clear();
  facets.clear();
  modelCalls = 0;
}

void FakeHost::Reallocate(int32_t controlSize, int32_t dataSize) {
  auto grow = [this](std::unique_ptr<uint8_t[]>& block, int32_t oldSize, int32_t newSize) {
    std::unique_ptr<uint8_t[]> fresh(new uint8_t[size_t(newSize)]);
    std::memset(fresh.get(), fillByte, size_t(newSize));
    if (block) std::memcpy(fresh.get(), block.get(), size_t(std::min(oldSize, newSize)));
    block = std::move(fresh);
  };
  grow(control, info.theControlDataSize, controlSize);
  grow(data, info.thePluginDataSize, dataSize);
  info.theControlData = control.get();
  info.theControlDataSize = controlSize;
  info.thePluginData = data.get();
  info.thePluginDataSize = dataSize;
}

void FakeHost::Store(const void* bytes, int32_t size) {
  control.reset(new uint8_t[size_t(size)]);
  std::memcpy(control.get(), bytes, size_t(size));
  info.theControlData = control.get();
  info.theControlDataSize = size;
}

int32_t FakeHost::Proc(IFFType selector, int32_t size, void* record) {
  auto* host = *static_cast<FakeHost**>(record);  // theReference leads every record
  return host->Answer(selector, size, record);
}

int32_t FakeHost::Answer(IFFType selector, int32_t size, void* record) {
  calls.push_back(selector);
  if (selector == kHostAllocate) {
    EXPECT_EQ(size, int32_t(sizeof(HostAllocateRec)));
    auto* r = static_cast<HostAllocatePtr>(record);
    allocateSizes.push_back(r->theControlDataSize);
    allocateSizes.push_back(r->thePluginDataSize);
    if (allocateResult != 0) return allocateResult;
    Reallocate(r->theControlDataSize, r->thePluginDataSize);
    r->theControlData = info.theControlData;
    r->thePluginData = info.thePluginData;
    return 0;
  }
  if (selector == kHostModelReset) {
    EXPECT_EQ(size, int32_t(sizeof(HostModelResetRec)));
    return resetResult;
  }
  int32_t answer = (failAt == modelCalls) ? failCode : 0;
  if (selector == failSelector) {
    failSelector = 0;
    answer = failCode;
  }
  modelCalls++;
  if (selector == kHostStatus) {
    EXPECT_EQ(size, int32_t(sizeof(HostStatusRec)));
    auto* r = static_cast<HostStatusPtr>(record);
    status.push_back({r->theStatusPos, r->theStatusValue, Text(r->theStatusUnit),
                      Text(r->theStatusInfo), r->theStatusMax});
  } else if (selector == kHostAddGroup) {
    EXPECT_EQ(size, int32_t(sizeof(HostModelAddGroupRec)));
    auto* r = static_cast<HostModelAddGroupPtr>(record);
    EXPECT_EQ(r->theGroupTemplate, nullptr);
    groupFlags.push_back(r->theGroupVertexFlags);
  } else if (selector == kHostAddVertex) {
    EXPECT_EQ(size, int32_t(sizeof(HostModelAddVertexRec)));
    auto* r = static_cast<HostModelAddVertexPtr>(record);
    vertices.push_back({r->thePosition, r->theBlurPosition, r->theTexturePosition, r->theNormal,
                        r->theColor.colorValue});
    r->theIndex = 1000 + int32_t(vertices.size());
  } else if (selector == kHostAddFacet) {
    EXPECT_EQ(size, int32_t(sizeof(HostModelAddFacetRec)));
    auto* r = static_cast<HostModelAddFacetPtr>(record);
    FacetReport f;
    f.color = r->theColor;
    f.numVertices = r->theNumVertices;
    std::memcpy(f.vertices, r->theVertices, sizeof f.vertices);
    facets.push_back(f);
  } else {
    ADD_FAILURE() << "unexpected selector";
  }
  return answer;
}

int32_t FakeHost::Init() {
  PluginInitializeRec rec;
  rec.theInfo = info;
  int32_t err = Main(kCmdInitialize, sizeof rec, &rec);
  info = rec.theInfo;
  return err;
}

int32_t FakeHost::Interface() {
  PluginInterfaceRec rec;
  rec.theInfo = info;
  int32_t err = Main(kCmdInterface, sizeof rec, &rec);
  info = rec.theInfo;
  return err;
}

int32_t FakeHost::Setup(int32_t frame, double time, double delta, const Matrix4* group,
                        const Matrix4* blur) {
  PluginModelSetupRec rec;
  std::memset(&rec, 0, sizeof rec);
  rec.theInfo = info;
  rec.theFrameIndex = frame;
  rec.theFrameTime = time;
  rec.theFrameTimeDelta = delta;
  // The matrices sit at even, not 8-byte, offsets of the packed record.
  Matrix4 identity;
  InitMatrix4(&identity);
  std::memcpy(&rec.theGroupMatrix, group ? group : &identity, sizeof(Matrix4));
  std::memcpy(&rec.theGroupBlurMatrix, blur ? blur : &identity, sizeof(Matrix4));
  int32_t err = Main(kCmdSetup, sizeof rec, &rec);
  info = rec.theInfo;
  return err;
}

int32_t FakeHost::Generate(uint32_t vertexFlags) {
  PluginModelGenerateRec rec;
  rec.theInfo = info;
  rec.theChildGroups = 0;
  rec.theVertexFlags = vertexFlags;
  int32_t err = Main(kCmdGenerate, sizeof rec, &rec);
  info = rec.theInfo;
  return err;
}

int32_t FakeHost::Frame(int32_t frame, double delta) {
  int32_t err = Setup(frame, frame * delta, delta);
  if (err != 0) return err;
  return Generate();
}

std::vector<int32_t> FakeHost::ActiveIndices() {
  std::vector<int32_t> out;
  for (int32_t i = Control().firstActive; i >= 0 && out.size() <= size_t(Control().maxParticles);
       i = Slots()[i].link)
    out.push_back(i);
  return out;
}

std::vector<int32_t> FakeHost::FreeIndices() {
  std::vector<int32_t> out;
  for (int32_t i = Control().firstInactive;
       i >= 0 && out.size() <= size_t(Control().maxParticles); i = Slots()[i].link)
    out.push_back(i);
  return out;
}

std::vector<ParticleRec> FakeHost::Live() {
  std::vector<ParticleRec> out;
  for (int32_t i : ActiveIndices()) out.push_back(Slots()[i]);
  return out;
}

bool SameBits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }
bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

ReferenceRandom::ReferenceRandom(uint32_t theSeed) {
  seed = theSeed;
  for (uint32_t& c : cache) c = seed = seed * 1103515245u + 12345u;
  index = seed = seed * 1103515245u + 12345u;
}

uint32_t ReferenceRandom::Next() {
  uint32_t i = ((index >> 16) * 97u) >> 16;
  index = cache[i];
  cache[i] = seed = seed * 1103515245u + 12345u;
  return index;
}

BoundPool::BoundPool(int32_t n) {
  DefaultControl(&control);
  control.maxParticles = n;
  size_t size = sizeof(PluginDataRec) + sizeof(ParticleRec) * size_t(n);
  block.reset(new uint8_t[size]);
  std::memset(block.get(), 0xA5, size);
  DefaultData(&Data());
  InitParticleList(&control, &Data());
  theControl = &control;
  theData = &Data();
  particleData = Slots();
  hostProc = &FakeHost::Proc;
  hostReference = &host;
  result = 0;
  theStatusRec.theReference = &host;
  theStatusRec.theStatusTick = 0;
}

BoundPool::~BoundPool() {
  theControl = nullptr;
  theData = nullptr;
  particleData = nullptr;
  result = 0;
}
