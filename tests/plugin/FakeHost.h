// An in-process stand-in for the host: owns one instance's two records,
// drives the plug-in through Main, and logs every callback.
#ifndef TESTS_PLUGIN_FAKEHOST_H
#define TESTS_PLUGIN_FAKEHOST_H

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "Particle.h"
#include "ParticleStore.h"

struct StatusReport {
  float pos;
  int32_t value, max;
  std::string unit, info;
};

struct VertexReport {
  DCoordinate position, blur;
};

struct FacetReport {
  uint32_t color;
  int16_t numVertices;
  std::vector<int32_t> vertices;
};

// What the host was sent.
struct HostLog {
  std::vector<IFFType> calls;
  std::vector<int32_t> allocateSizes;  // control size, then data size, per "ALOC"
  std::vector<StatusReport> status;
  std::vector<uint32_t> groupFlags;
  std::vector<VertexReport> vertices;  // "ADDV" answers 1000 + the vertex count
  std::vector<FacetReport> facets;
};

struct FakeHost : HostLog {
  FakeHost();

  // The blocks the host owns; reallocation moves them, keeps the bytes that
  // fit and fills the rest with 0xA5.
  std::vector<uint8_t> control, data;
  PluginInfoRec info;
  IFFType failSelector = 0;  // its next call fails once with kPluginUserCanceled

  void ClearLog() { static_cast<HostLog&>(*this) = HostLog(); }
  void Reallocate(int32_t controlSize, int32_t dataSize);
  // Installs a stored settings record of any size, as a scene would.
  void Store(const std::vector<uint8_t>& bytes) {
    Reallocate(int32_t(bytes.size()), 0);
    control = bytes;
    info.theControlData = control.data();
  }

  int32_t Init() { return Send(kCmdInitialize, PluginInitializeRec()); }
  // This host offers no dialog services, so once the settings check passes
  // "INTF" answers 6: the dialog's resource file is missing.
  int32_t Interface() { return Send(kCmdInterface, PluginInterfaceRec()); }
  int32_t Setup(int32_t frame, double time, double delta, const Matrix4* group = nullptr,
                const Matrix4* blur = nullptr);
  int32_t Generate() { return Send(kCmdGenerate, PluginModelGenerateRec()); }
  // Setup and Generate of one frame at delta per frame.
  int32_t Frame(int32_t frame, double delta = 1.0 / 30) {
    int32_t err = Setup(frame, frame * delta, delta);
    return err != 0 ? err : Generate();
  }
  template <typename Rec>
  int32_t Send(IFFType command, Rec rec) {
    rec.theInfo = info;
    int32_t err = Main(command, sizeof rec, &rec);
    info = rec.theInfo;
    return err;
  }

  ControlDataRec& Control() { return *reinterpret_cast<ControlDataRec*>(control.data()); }
  PluginDataRec& Data() { return *reinterpret_cast<PluginDataRec*>(data.data()); }
  ParticleRec* Slots() { return ParticleSlots(&Data()); }
  // The slots of the list from head on, and the active list's particles.
  std::vector<int32_t> List(int32_t head);
  std::vector<ParticleRec> Live();

  static int32_t Proc(IFFType selector, int32_t size, void* record);
  int32_t Answer(IFFType selector, int32_t size, void* record);
};

// A host whose instance has a pool of n slots, with the engine's globals
// bound to it as during "GENM", for tests of the engine below Main.
struct BoundPool : FakeHost {
  explicit BoundPool(int32_t n);
  ~BoundPool();
};

// Bit equality (NaN-safe, tells -0 from 0).
template <typename T>
bool SameBits(T a, T b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

// The random source of the plug-in, written again from its definition.
struct ReferenceRandom {
  uint32_t seed, index, cache[97];
  uint32_t Step() { return seed = seed * 1103515245u + 12345u; }
  explicit ReferenceRandom(uint32_t theSeed) : seed(theSeed) {
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
