// "INTF": the settings dialog.  Dialog 16001 of Particle.rsc shows one edit
// field per number and three colour buttons; OK writes the values straight
// into the host's settings record, and a changed number forces a replay.
#include <cstddef>

#include "Particle.h"
#include "host/PluginClient.h"
#include "host/PluginGlueMac-MachO.h"
#include "ui/PluginUtils.h"

namespace {

constexpr int32_t kSettingsDialogID = 16001;
constexpr int32_t kMaxParticlesID = 5;
constexpr int16_t kDecimals = 8;

// The double fields, in record order, with the edit field showing each.
struct DoubleField {
  int32_t itemID;
  size_t offset;
};
#define PARTICLE_FIELD(id, field) {id, offsetof(ControlDataRec, field)}
const DoubleField kDoubleFields[] = {
    PARTICLE_FIELD(6, emitFrequency),   PARTICLE_FIELD(15, emitErr),
    PARTICLE_FIELD(8, emitStart),       PARTICLE_FIELD(17, emitEnd),
    PARTICLE_FIELD(7, lifeTime),        PARTICLE_FIELD(16, lifeTimeErr),
    PARTICLE_FIELD(9, initXPos),        PARTICLE_FIELD(10, initYPos),
    PARTICLE_FIELD(11, initZPos),       PARTICLE_FIELD(12, initXPosErr),
    PARTICLE_FIELD(13, initYPosErr),    PARTICLE_FIELD(14, initZPosErr),
    PARTICLE_FIELD(20, initXDir),       PARTICLE_FIELD(21, initYDir),
    PARTICLE_FIELD(23, initZDir),       PARTICLE_FIELD(18, initAngle),
    PARTICLE_FIELD(29, initAngleErr),   PARTICLE_FIELD(19, initVelocity),
    PARTICLE_FIELD(30, initVelocityErr), PARTICLE_FIELD(27, airResistance),
    PARTICLE_FIELD(22, gravityXDir),    PARTICLE_FIELD(31, gravityYDir),
    PARTICLE_FIELD(24, gravityZDir),    PARTICLE_FIELD(25, groundLevel),
    PARTICLE_FIELD(26, bounceFactor),   PARTICLE_FIELD(28, bounceFriction),
};
#undef PARTICLE_FIELD
static_assert(sizeof kDoubleFields / sizeof kDoubleFields[0] == 26, "every double is shown");

const int32_t kColorIDs[3] = {35, 36, 37};

double* FieldOf(ControlDataPtr theControl, const DoubleField& field) {
  return reinterpret_cast<double*>(reinterpret_cast<unsigned char*>(theControl) + field.offset);
}

void FillDialog(QV_Dialog* dialog, ControlDataPtr theControl) {
  SetTheINum(dialog, kMaxParticlesID, theControl->maxParticles);
  for (const DoubleField& field : kDoubleFields)
    SetTheIReal(dialog, field.itemID, *FieldOf(theControl, field), kDecimals);
  for (int k = 0; k < 3; ++k)
    SetColorButtonIDARGB(dialog, kColorIDs[k], &theControl->energyColors[k]);
}

// Reads every control back into the record; true when a number changed.
bool ReadDialog(QV_Dialog* dialog, ControlDataPtr theControl) {
  bool changeFlag = false;
  SetLongInt(&theControl->maxParticles, GetTheINum(dialog, kMaxParticlesID), &changeFlag);
  for (const DoubleField& field : kDoubleFields)
    SetDouble(FieldOf(theControl, field), GetTheIReal(dialog, field.itemID), &changeFlag);
  for (int k = 0; k < 3; ++k)
    GetColorButtonIDARGB(dialog, kColorIDs[k], &theControl->energyColors[k]);
  return changeFlag;
}

}  // namespace

int32_t DoInterface(int32_t theCommandRecSize, void* theCommandRec) {
  auto* theParameters = static_cast<PluginInterfacePtr>(theCommandRec);
  if (!RecordHolds(theCommandRecSize, theCommandRec, sizeof(PluginInterfaceRec)) ||
      theParameters->theInfo.theHostProc == nullptr ||
      theParameters->theInfo.theControlData == nullptr ||
      theParameters->theInfo.theControlDataSize < int32_t(sizeof(ControlDataRec)))
    return kPluginBadParameters;
  PluginInfoRec& theInfo = theParameters->theInfo;
  int32_t theResult = CheckData(&theInfo, false, false);
  if (theResult != kPluginNoError) return theResult;

  QV_ResourceFile* resourceFile = OpenResourceFile("Particle.rsc");
  if (resourceFile == nullptr) return kPluginResourceError;

  // CheckData may have moved the record.
  auto* theControl = static_cast<ControlDataPtr>(theInfo.theControlData);
  if (QV_Dialog* dialog = qv::QV_MakeDialog(resourceFile, kSettingsDialogID)) {
    FillDialog(dialog, theControl);
    if (qv::QV_ExecuteDialog(dialog) == 0) {
      theResult = kPluginUserCanceled;
    } else if (ReadDialog(dialog, theControl)) {
      theControl->lastFrameIndex = kNoFrame;
      SendModelReset(&theInfo);
    }
    qv::QV_DestroyDialog(dialog);
  }
  qv::QV_CloseResourceFile(resourceFile);
  return theResult;
}
