// An in-process stand-in for the host: owns one instance's two records,
// drives the plug-in through Main, and logs every callback.
#ifndef TESTS_PLUGIN_FAKEHOST_H
#define TESTS_PLUGIN_FAKEHOST_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ParticleStore.h"
#include "host/PluginRecords.h"

struct StatusReport {
  float pos;
  int32_t value;
  std::string unit, info;
  int32_t max;
};

struct VertexReport {
  DCoordinate position, blur, texture, normal;
  uint32_t color;
};

struct FacetReport {
  ARGB color;
  int16_t numVertices;
  int32_t vertices[4];
};

struct FakeHost {
  FakeHost();

  // The blocks the host owns; reallocation keeps the bytes that fit and
  // fills the rest with fillByte.
  std::unique_ptr<uint8_t[]> control, data;
  PluginInfoRec info;
  uint8_t fillByte = 0xA5;

  // Answers; failAt counts STAT, ADDG, ADDV and ADDF calls from ClearLog.
  int32_t allocateResult = 0;
  int32_t resetResult = 0;
  int failAt = -1;
  int32_t failCode = kPluginUserCanceled;
  IFFType failSelector = 0;  // the next call of this selector fails once

  // Log.
  std::vector<IFFType> calls;
  std::vector<int32_t> allocateSizes;  // control size, then data size, per "ALOC"
  std::vector<StatusReport> status;
  std::vector<uint32_t> groupFlags;
  std::vector<VertexReport> vertices;
  std::vector<FacetReport> facets;
  int modelCalls = 0;

  void ClearLog();
  // Installs a stored settings record of any size, as a scene would.
  void Store(const void* bytes, int32_t size);
  void Reallocate(int32_t controlSize, int32_t dataSize);

  int32_t Init();
  // Sends "INTF".  This host offers no dialog services, so once the
  // settings check passes the dialog's resource file is missing: 6.
  int32_t Interface();
  int32_t Setup(int32_t frame, double time, double delta, const Matrix4* group = nullptr,
                const Matrix4* blur = nullptr);
  int32_t Generate(uint32_t vertexFlags = 0);
  // Setup and Generate of one frame at delta per frame.
  int32_t Frame(int32_t frame, double delta = 1.0 / 30);

  ControlDataRec& Control() { return *reinterpret_cast<ControlDataRec*>(control.get()); }
  PluginDataRec& Data() { return *reinterpret_cast<PluginDataRec*>(data.get()); }
  ParticleRec* Slots() { return ParticleSlots(&Data()); }
  // The active list, head first.
  std::vector<ParticleRec> Live();
  std::vector<int32_t> ActiveIndices();
  std::vector<int32_t> FreeIndices();

  static int32_t Proc(IFFType selector, int32_t size, void* record);
  int32_t Answer(IFFType selector, int32_t size, void* record);
};

// Binds the engine's globals to a private pool of n slots with default
// settings, for tests of the engine below Main; callbacks go to `host`.
struct BoundPool {
  explicit BoundPool(int32_t n);
  ~BoundPool();
  FakeHost host;
  ControlDataRec control;
  std::unique_ptr<uint8_t[]> block;
  PluginDataRec& Data() { return *reinterpret_cast<PluginDataRec*>(block.get()); }
  ParticleRec* Slots() { return ParticleSlots(&Data()); }
};

// Bit equality of floats (NaN-safe, tells -0 from 0).
bool SameBits(float a, float b);
bool SameBits(double a, double b);

// The random source of the plug-in, written again from its definition, for
// predicting variates in tests.
struct ReferenceRandom {
  uint32_t seed, index, cache[97];
  explicit ReferenceRandom(uint32_t theSeed);
  uint32_t Next();
  double Signed() { return double(int16_t(Next() >> 16)) * 3.0517578e-05; }
  double Unsigned() { return double(Next() >> 16) * 1.5259022e-05; }
};

#endif
