// The two per-instance records the host keeps for the particle plug-in: the
// settings record, stored with the scene (its layout is a file format), and
// the working record at the head of the block that also holds the particles.
#ifndef PARTICLE_PARTICLERECORDS_H
#define PARTICLE_PARTICLERECORDS_H

#include <cstddef>
#include <cstdint>

#include "geometry/geometry_records.h"
#include "host/PluginRecords.h"
#include "math/MatrixTypes.h"

constexpr IFFType kParticleOwner = MakeIFF("PART");
constexpr int32_t kParticleVersion = 3;
constexpr int32_t kNoFrame = INT32_MIN;  // lastFrameIndex: replay from the start

#pragma pack(push, 2)

struct ControlDataRec {
  IFFType ownerType;
  int32_t ownerVersion;
  double lastFrameTime;
  double lastFrameTimeDelta;
  double emitFrequency;
  double emitErr;
  double emitStart;
  double emitEnd;
  double lifeTime;
  double lifeTimeErr;
  double initXPos;
  double initYPos;
  double initZPos;
  double initXPosErr;
  double initYPosErr;
  double initZPosErr;
  double initXDir;
  double initYDir;
  double initZDir;
  double initAngle;
  double initAngleErr;
  double initVelocity;
  double initVelocityErr;
  double airResistance;
  double gravityXDir;
  double gravityYDir;
  double gravityZDir;
  double groundLevel;
  double bounceFactor;
  double bounceFriction;
  int32_t lastFrameIndex;
  int32_t particleCount;
  int32_t particleFlags;
  int32_t firstActive;
  int32_t firstInactive;
  int32_t maxParticles;
  ParticleColorArray energyColors;
  int32_t particleSeed;
};
typedef ControlDataRec* ControlDataPtr;
static_assert(sizeof(ControlDataRec) == 272, "ControlDataRec size");
static_assert(offsetof(ControlDataRec, lastFrameTime) == 8, "");
static_assert(offsetof(ControlDataRec, emitFrequency) == 24, "");
static_assert(offsetof(ControlDataRec, lifeTime) == 56, "");
static_assert(offsetof(ControlDataRec, initXDir) == 120, "");
static_assert(offsetof(ControlDataRec, airResistance) == 176, "");
static_assert(offsetof(ControlDataRec, bounceFriction) == 224, "");
static_assert(offsetof(ControlDataRec, lastFrameIndex) == 232, "");
static_assert(offsetof(ControlDataRec, firstActive) == 244, "");
static_assert(offsetof(ControlDataRec, maxParticles) == 252, "");
static_assert(offsetof(ControlDataRec, energyColors) == 256, "");
static_assert(offsetof(ControlDataRec, particleSeed) == 268, "");

// The settings as version 2 stored them; read only to convert.
struct ControlDataV2Rec {
  IFFType ownerType;
  int32_t ownerVersion;
  uint8_t unused1[32];
  int32_t particleFlags;
  uint8_t unused2[8];
  int32_t maxParticles;
  double settings[26];  // emitFrequency .. bounceFriction
  ParticleColorArray energyColors;
};
static_assert(sizeof(ControlDataV2Rec) == 276, "version-2 settings size");
static_assert(offsetof(ControlDataV2Rec, particleFlags) == 40, "");
static_assert(offsetof(ControlDataV2Rec, maxParticles) == 52, "");
static_assert(offsetof(ControlDataV2Rec, settings) == 56, "");
static_assert(offsetof(ControlDataV2Rec, energyColors) == 264, "");

struct PluginDataRec {
  double frameTime;
  double frameTimeDelta;
  Matrix4 theMatrix;
  Matrix4 theBlurMatrix;
  Matrix3 directionMatrix;
  int32_t frameIndex;
  uint32_t vertexFlags;
};
typedef PluginDataRec* PluginDataPtr;
static_assert(sizeof(PluginDataRec) == 352, "PluginDataRec size");
static_assert(offsetof(PluginDataRec, theMatrix) == 16, "");
static_assert(offsetof(PluginDataRec, theBlurMatrix) == 144, "");
static_assert(offsetof(PluginDataRec, directionMatrix) == 272, "");
static_assert(offsetof(PluginDataRec, frameIndex) == 344, "");
static_assert(offsetof(PluginDataRec, vertexFlags) == 348, "");

#pragma pack(pop)

#endif
