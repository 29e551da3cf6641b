// An in-process stand-in for the host: owns one instance's two records,
// drives the plug-in through Main, and logs every callback.
#ifndef TESTS_PLUGIN_FAKEHOST_H
#define TESTS_PLUGIN_FAKEHOST_H

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "Particle.h"
#include "ParticleEngine.h"
#include "geometry/geometry_records.h"
#include "host/PluginClient.h"

// What the host was sent.
struct HostLog {
  std::vector<IFFType> calls;
  std::vector<int32_t> allocateSizes;  // control size, then data size, per "ALOC"
  std::vector<std::pair<std::string, float>> status;  // unit and position, per "STAT"
  std::vector<std::pair<int32_t, int32_t>> statusValues;  // value and maximum, per "STAT"
  std::vector<uint32_t> groupFlags;
  // Position, blur position, texture position, normal and colour, per "ADDV".
  std::vector<std::vector<double>> vertices;
  std::vector<std::vector<uint32_t>> facets;  // colour, vertex count and vertices, per "ADDF"
};

struct FakeHost : HostLog {
  // The blocks the host owns; reallocation moves them, keeps the bytes that
  // fit and fills the rest with 0xA5.
  std::vector<uint8_t> control, data;
  PluginInfoRec info{nullptr, 0, nullptr, 0, &FakeHost::Proc, this};
  IFFType failSelector = 0;  // its next call fails once with kPluginUserCanceled
  size_t cancelAtReport = 0;  // "STAT" number n (from 1) and later ones cancel
  bool throttle = false;      // each "STAT" sets a tick that is always due
  // "ALOC" of a working block over allocateLimit bytes (0: no limit) is
  // answered in this style: refused (kPluginMemoryError) with the request
  // left as the plug-in filled it, or zeroed; or claimed a success while
  // the host keeps its blocks and hands back its short block, or a
  // negative size.
  enum class Refusal { kLeave, kZero, kShort, kNegative } refusal = Refusal::kLeave;
  int32_t allocateLimit = 0;

  void ClearLog() { static_cast<HostLog&>(*this) = HostLog(); }
  void Reallocate(int32_t controlSize, int32_t dataSize) {
    for (auto [block, size] : {std::pair(&control, controlSize), std::pair(&data, dataSize)}) {
      std::vector<uint8_t> fresh(size_t(size), 0xA5);
      std::copy_n(block->begin(), std::min(block->size(), fresh.size()), fresh.begin());
      block->swap(fresh);
    }
    info = {control.data(), controlSize, data.data(), dataSize, info.theHostProc, this};
  }

  template <typename Rec>
  int32_t Send(IFFType command, Rec rec) {
    rec.theInfo = info;
    int32_t err = Main(command, sizeof rec, &rec);
    info = rec.theInfo;
    return err;
  }
  int32_t Init() { return Send(kCmdInitialize, PluginInitializeRec()); }
  // This host offers no dialog services, so once the settings check passes
  // "INTF" answers 6: the dialog's resource file is missing.
  int32_t Interface() { return Send(kCmdInterface, PluginInterfaceRec()); }
  int32_t Generate() { return Send(kCmdGenerate, PluginModelGenerateRec()); }
  int32_t Setup(int32_t frame, double time, double delta, const Matrix4* group = nullptr,
                const Matrix4* blur = nullptr) {
    PluginModelSetupRec rec{};
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
  // Setup and Generate of one frame at delta per frame.
  int32_t Frame(int32_t frame, double delta = 1.0 / 30) {
    int32_t err = Setup(frame, frame * delta, delta);
    return err != 0 ? err : Generate();
  }

  ControlDataRec& Control() { return *reinterpret_cast<ControlDataRec*>(control.data()); }
  PluginDataRec& Data() { return *reinterpret_cast<PluginDataRec*>(data.data()); }
  ParticleRec* Slots() { return ParticleSlots(&Data()); }
  // The slots of the list from head on, and the active list's particles.
  std::vector<int32_t> List(int32_t i) {
    std::vector<int32_t> out;
    for (; i >= 0 && out.size() <= size_t(Control().maxParticles); i = Slots()[i].link)
      out.push_back(i);
    return out;
  }
  std::vector<ParticleRec> Live() {
    std::vector<ParticleRec> out;
    for (int32_t i : List(Control().firstActive)) out.push_back(Slots()[i]);
    return out;
  }

  // The record of a callback, whose size must be the record's.
  template <typename Rec>
  static Rec& Record(int32_t size, void* record) {
    EXPECT_EQ(size, int32_t(sizeof(Rec)));
    return *static_cast<Rec*>(record);
  }
  static int32_t Proc(IFFType selector, int32_t size, void* record) {
    auto& host = **static_cast<FakeHost**>(record);  // theReference leads every record
    host.calls.push_back(selector);
    int32_t answer = selector == host.failSelector ? kPluginUserCanceled : 0;
    if (answer != 0) host.failSelector = 0;
    if (selector == kHostAllocate) {
      auto& r = Record<HostAllocateRec>(size, record);
      for (int32_t v : {r.theControlDataSize, r.thePluginDataSize}) host.allocateSizes.push_back(v);
      if (answer != 0) return answer;
      if (host.allocateLimit != 0 && r.thePluginDataSize > host.allocateLimit) {
        switch (host.refusal) {
          case Refusal::kLeave: return kPluginMemoryError;
          case Refusal::kZero: r = {r.theReference, nullptr, 0, nullptr, 0}; return kPluginMemoryError;
          case Refusal::kShort:
          case Refusal::kNegative:
            r = {r.theReference, host.control.data(), int32_t(host.control.size()),
                 host.data.data(), host.refusal == Refusal::kShort ? int32_t(host.data.size()) : -1};
            return 0;
        }
      }
      host.Reallocate(r.theControlDataSize, r.thePluginDataSize);
      r.theControlData = host.info.theControlData;
      r.thePluginData = host.info.thePluginData;
    } else if (selector == kHostStatus) {
      auto& r = Record<HostStatusRec>(size, record);
      const char* unit = reinterpret_cast<char*>(r.theStatusUnit + 1);
      host.status.emplace_back(std::string(unit, r.theStatusUnit[0]), r.theStatusPos);
      host.statusValues.emplace_back(r.theStatusValue, r.theStatusMax);
      if (host.throttle) r.theStatusTick = 1;
      if (host.cancelAtReport != 0 && host.status.size() >= host.cancelAtReport)
        answer = kPluginUserCanceled;
    } else if (selector == kHostAddGroup) {
      auto& r = Record<HostModelAddGroupRec>(size, record);
      EXPECT_EQ(r.theGroupTemplate, nullptr);
      host.groupFlags.push_back(r.theGroupVertexFlags);
    } else if (selector == kHostAddVertex) {
      auto& r = Record<HostModelAddVertexRec>(size, record);
      const DCoordinate p = r.thePosition, b = r.theBlurPosition, t = r.theTexturePosition,
                        n = r.theNormal;
      host.vertices.push_back({p.x, p.y, p.z, b.x, b.y, b.z, t.x, t.y, t.z, n.x, n.y, n.z,
                               double(r.theColor.colorValue)});
      r.theIndex = 1000 + int32_t(host.vertices.size());
    } else if (selector == kHostAddFacet) {
      auto& r = Record<HostModelAddFacetRec>(size, record);
      uint32_t v[4];
      std::memcpy(v, r.theVertices, sizeof v);  // at an odd offset of the packed record
      host.facets.push_back({r.theColor.colorValue, uint32_t(r.theNumVertices), v[0], v[1], v[2],
                             v[3]});
    } else if (selector != kHostModelReset) {
      ADD_FAILURE() << "unexpected selector";
    }
    return answer;
  }
};

// A host whose instance has a pool of n slots, with the engine's globals
// bound to it as during "GENM", for tests of the engine below Main.
struct BoundPool : FakeHost {
  explicit BoundPool(int32_t n) {
    EXPECT_EQ(Init(), kPluginNoError);
    Control().maxParticles = n;
    EXPECT_EQ(Interface(), kPluginResourceError);  // resizes the pool
    ClearLog();
    theControl = &Control();
    theData = &Data();
    particleData = Slots();
    hostProc = &FakeHost::Proc;
    hostReference = this;
    theStatusRec.theReference = this;
    theStatusRec.theStatusTick = result = 0;
  }
  ~BoundPool() { theControl = nullptr, theData = nullptr, particleData = nullptr, result = 0; }
};

// The random source of the plug-in, written again from its definition.
struct ReferenceRandom {
  uint32_t seed, index, cache[97];
  uint32_t Step() { return seed = seed * 1103515245u + 12345u; }
  explicit ReferenceRandom(uint32_t theSeed) : seed(theSeed), index(0) {
    for (uint32_t& c : cache) c = Step();
    index = Step();
  }
  uint32_t Next() {
    uint32_t& slot = cache[((index >> 16) * 97u) >> 16];
    index = slot;
    slot = Step();
    return index;
  }
  double Signed() { return double(int16_t(Next() >> 16)) * 3.0517578e-05; }
  double Unsigned() { return double(Next() >> 16) * 1.5259022e-05; }
};

#endif
