// Spiral: a small model plug-in written on the kit, meant to be read.  Each
// frame it hands the host one group of points laid along a spiral with a few
// arms, turning at a steady rate; the points are coloured from the centre
// outwards.
//
// The host keeps two records per instance for us:
// - the settings record (SpiralSettingsRec), saved with the scene, so its
//   layout is a file format: it carries an owner type and a version, and a
//   record we do not recognise is repaired or replaced, never trusted;
// - the working record (SpiralWorkRec), what "SETM" tells us about the frame,
//   read back by "GENM".
// Everything else lives on the stack of the command being handled.
#ifndef EXAMPLES_SPIRAL_SPIRAL_H
#define EXAMPLES_SPIRAL_SPIRAL_H

#include <cstddef>
#include <cstdint>

#include "geometry/geometry_records.h"
#include "host/PluginRecords.h"
#include "math/MatrixTypes.h"

#define SPIRAL_EXPORT extern "C" __attribute__((visibility("default")))

// The only exported symbol: the host calls it with a command code, the size
// of the command record and the record.
SPIRAL_EXPORT int32_t Main(IFFType theCommand, int32_t theCommandRecSize, void* theCommandRec);

constexpr IFFType kSpiralOwner = MakeIFF("SPIR");
constexpr int32_t kSpiralVersion = 1;
constexpr int32_t kMaxPoints = 1000000;
constexpr int32_t kMaxArms = 12;
constexpr double kMaxTurns = 1000;    // turns and spin (turns per second)
constexpr double kMaxLength = 1e6;    // radius and height
constexpr double kMaxMatrixEntry = 1e100;  // keeps every transformed point finite

#pragma pack(push, 2)

struct SpiralSettingsRec {
  IFFType ownerType;     // "SPIR"
  int32_t ownerVersion;  // 1
  int32_t pointCount;    // 1 .. kMaxPoints
  int32_t arms;          // 1 .. kMaxArms
  double turns;          // turns from the centre to the rim
  double radius;         // of the rim
  double height;         // the rim's rise above the centre
  double spin;           // turns per second
  ARGB innerColor;
  ARGB outerColor;
};
static_assert(sizeof(SpiralSettingsRec) == 56, "the stored settings are 56 bytes");
static_assert(offsetof(SpiralSettingsRec, pointCount) == 8, "");
static_assert(offsetof(SpiralSettingsRec, turns) == 16, "");
static_assert(offsetof(SpiralSettingsRec, spin) == 40, "");
static_assert(offsetof(SpiralSettingsRec, innerColor) == 48, "");

struct SpiralWorkRec {
  double frameTime;
  double frameTimeDelta;
  Matrix4 groupMatrix;
  Matrix4 blurMatrix;  // where the group was one frame earlier
};
static_assert(sizeof(SpiralWorkRec) == 272, "the working record is 272 bytes");
static_assert(offsetof(SpiralWorkRec, groupMatrix) == 16, "");
static_assert(offsetof(SpiralWorkRec, blurMatrix) == 144, "");

#pragma pack(pop)

// Whether the command record holds at least `needed` bytes.  A null record
// or a negative size never does.
inline bool RecordHolds(int32_t theCommandRecSize, const void* theCommandRec, size_t needed) {
  return theCommandRec != nullptr && theCommandRecSize >= 0 && size_t(theCommandRecSize) >= needed;
}

// --- SpiralSettings.cpp ---
void DefaultSettings(SpiralSettingsRec* s);
// Brings every field into its range (a number that is not finite takes its
// default); true when something changed.
bool RepairSettings(SpiralSettingsRec* s);
// Makes the host's two records ours: a settings record of another owner,
// version or size is replaced by the defaults, one in the other byte order
// is turned round, and both records get their sizes through "ALOC".  With
// freshWork the working record starts from its defaults.  Gives the result
// of "ALOC" when the host refuses it.
int32_t CheckRecords(PluginInfoRec* theInfo, bool freshWork);

// --- SpiralOutput.cpp ---
// Point `index` of the spiral at `time`, before the group's matrix.
DCoordinate SpiralPoint(const SpiralSettingsRec& s, int32_t index, double time);
ARGB SpiralColor(const SpiralSettingsRec& s, int32_t index);
// "GENM": the points worked out in a block of host memory, then one group,
// and per point one vertex with its blur position and a one-vertex facet in
// its colour.  Gives the code of a refused callback.
int32_t OutputSpiral(const PluginInfoRec& theInfo, uint32_t theVertexFlags);

// --- SpiralDialog.cpp ---
// "INTF": the settings dialog, 16001 of Spiral.rsc.
int32_t DoInterface(PluginInfoRec* theInfo);

#endif
