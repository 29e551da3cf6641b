// The two records the host keeps for an instance: defaults, repairs, the
// other byte order, and their sizes through "ALOC".
#include <cmath>
#include <cstring>

#include "Spiral.h"
#include "geometry/geometry_records.h"
#include "host/PluginClient.h"
#include "text/System.h"

namespace {

constexpr int32_t kSettingsSize = int32_t(sizeof(SpiralSettingsRec));
constexpr int32_t kWorkSize = int32_t(sizeof(SpiralWorkRec));

// A record written on a processor of the other byte order reads its owner
// and version reversed.
constexpr IFFType kReversedOwner = MakeIFF("RIPS");
constexpr int32_t kReversedVersion = int32_t(uint32_t(kSpiralVersion) << 24);

// The numbers of the record with their ranges, for the repair.
struct NumberField {
  double SpiralSettingsRec::*field;
  double low, high, fallback;
};
const NumberField kNumbers[] = {
    {&SpiralSettingsRec::turns, -kMaxTurns, kMaxTurns, 2.0},
    {&SpiralSettingsRec::radius, 0.0, kMaxLength, 50.0},
    {&SpiralSettingsRec::height, -kMaxLength, kMaxLength, 40.0},
    {&SpiralSettingsRec::spin, -kMaxTurns, kMaxTurns, 0.25},
};

void ReverseSettings(SpiralSettingsRec* s) {
  ReverseField(&s->pointCount, 4);
  ReverseField(&s->arms, 4);
  for (const NumberField& n : kNumbers) ReverseField(&(s->*n.field), 8);
  // The colours are four single bytes: no order to turn round.
  s->ownerType = kSpiralOwner;
  s->ownerVersion = kSpiralVersion;
}

void DefaultWork(SpiralWorkRec* w) {
  w->frameTime = 0.0;
  w->frameTimeDelta = 1.0 / 30;
  InitMatrix4(&w->groupMatrix);
  InitMatrix4(&w->blurMatrix);
}

int32_t Clamp(int32_t v, int32_t low, int32_t high) { return v < low ? low : v > high ? high : v; }

}  // namespace

void DefaultSettings(SpiralSettingsRec* s) {
  s->ownerType = kSpiralOwner;
  s->ownerVersion = kSpiralVersion;
  s->pointCount = 600;
  s->arms = 3;
  for (const NumberField& n : kNumbers) s->*n.field = n.fallback;
  SetARGB(&s->innerColor, 255, 255, 240, 160);
  SetARGB(&s->outerColor, 255, 40, 90, 255);
}

bool RepairSettings(SpiralSettingsRec* s) {
  SpiralSettingsRec before;
  std::memcpy(&before, s, sizeof before);
  s->pointCount = Clamp(s->pointCount, 1, kMaxPoints);
  s->arms = Clamp(s->arms, 1, kMaxArms);
  for (const NumberField& n : kNumbers) {
    double& v = s->*n.field;
    v = !std::isfinite(v) ? n.fallback : v < n.low ? n.low : v > n.high ? n.high : v;
  }
  return std::memcmp(&before, s, sizeof before) != 0;
}

int32_t CheckRecords(PluginInfoRec* theInfo, bool freshWork) {
  // Read what the host holds into copies; the blocks may be replaced below.
  SpiralSettingsRec settings;
  const void* stored = theInfo->theControlData;
  bool ours = stored != nullptr && theInfo->theControlDataSize == kSettingsSize;
  if (ours) std::memcpy(&settings, stored, sizeof settings);
  if (ours && settings.ownerType == kSpiralOwner && settings.ownerVersion == kSpiralVersion) {
    // as stored
  } else if (ours && settings.ownerType == kReversedOwner && settings.ownerVersion == kReversedVersion) {
    ReverseSettings(&settings);
  } else {
    DefaultSettings(&settings);
  }
  RepairSettings(&settings);

  SpiralWorkRec work;
  if (!freshWork && theInfo->thePluginData != nullptr && theInfo->thePluginDataSize == kWorkSize)
    std::memcpy(&work, theInfo->thePluginData, sizeof work);
  else
    DefaultWork(&work);

  if (theInfo->theControlData == nullptr || theInfo->theControlDataSize != kSettingsSize ||
      theInfo->thePluginData == nullptr || theInfo->thePluginDataSize != kWorkSize) {
    HostAllocateRec theAllocate;
    theAllocate.theReference = theInfo->theHostReference;
    theAllocate.theControlData = theInfo->theControlData;
    theAllocate.theControlDataSize = kSettingsSize;
    theAllocate.thePluginData = theInfo->thePluginData;
    theAllocate.thePluginDataSize = kWorkSize;
    int32_t err = CallPluginRoutine(kHostAllocate, int32_t(sizeof theAllocate), &theAllocate,
                                    theInfo->theHostProc);
    // A refusal leaves the host holding the blocks it held: the head keeps
    // naming them, whatever the host left in the request.
    if (err != kPluginNoError) return err;
    theInfo->theControlData = theAllocate.theControlData;
    theInfo->theControlDataSize = theAllocate.theControlDataSize;
    theInfo->thePluginData = theAllocate.thePluginData;
    theInfo->thePluginDataSize = theAllocate.thePluginDataSize;
    // A host that claims success must hand back blocks we can write.
    if (theInfo->theControlData == nullptr || theInfo->theControlDataSize < kSettingsSize ||
        theInfo->thePluginData == nullptr || theInfo->thePluginDataSize < kWorkSize)
      return kPluginMemoryError;
  }
  std::memcpy(theInfo->theControlData, &settings, sizeof settings);
  std::memcpy(theInfo->thePluginData, &work, sizeof work);
  return kPluginNoError;
}
