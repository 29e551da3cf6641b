// "INTF": the settings dialog, 16001 of Spiral.rsc, shown through the host's
// named services.  OK stores the values, repaired into their ranges; a
// changed value resets the host's model so the next frame is built anew.
#include "Spiral.h"
#include "host/PluginClient.h"
#include "host/PluginGlueMac-MachO.h"
#include "ui/PluginUtils.h"

namespace {

constexpr int32_t kSettingsDialogID = 16001;
enum : int32_t { kPointsID = 3, kArmsID, kTurnsID, kRadiusID, kHeightID, kSpinID, kInnerID, kOuterID };
constexpr int16_t kDecimals = 6;

struct NumberItem {
  int32_t itemID;
  double SpiralSettingsRec::*field;
};
const NumberItem kNumberItems[] = {
    {kTurnsID, &SpiralSettingsRec::turns},
    {kRadiusID, &SpiralSettingsRec::radius},
    {kHeightID, &SpiralSettingsRec::height},
    {kSpinID, &SpiralSettingsRec::spin},
};

void FillDialog(QV_Dialog* dialog, const SpiralSettingsRec& s) {
  SetTheINum(dialog, kPointsID, s.pointCount);
  SetTheINum(dialog, kArmsID, s.arms);
  for (const NumberItem& item : kNumberItems)
    SetTheIReal(dialog, item.itemID, s.*item.field, kDecimals);
  SetColorButtonIDARGB(dialog, kInnerID, &s.innerColor);
  SetColorButtonIDARGB(dialog, kOuterID, &s.outerColor);
}

// True when a value changed.
bool ReadDialog(QV_Dialog* dialog, SpiralSettingsRec* s) {
  bool changed = false;
  SetLongInt(&s->pointCount, GetTheINum(dialog, kPointsID), &changed);
  SetLongInt(&s->arms, GetTheINum(dialog, kArmsID), &changed);
  for (const NumberItem& item : kNumberItems)
    SetDouble(&(s->*item.field), GetTheIReal(dialog, item.itemID), &changed);
  ARGB inner = s->innerColor, outer = s->outerColor;
  GetColorButtonIDARGB(dialog, kInnerID, &inner);
  GetColorButtonIDARGB(dialog, kOuterID, &outer);
  SetTheARGB(&s->innerColor, &inner, &changed);
  SetTheARGB(&s->outerColor, &outer, &changed);
  RepairSettings(s);
  return changed;
}

}  // namespace

int32_t DoInterface(PluginInfoRec* theInfo) {
  int32_t theResult = CheckRecords(theInfo, false);
  if (theResult != kPluginNoError) return theResult;
  // Looked up in our own folder, which the host reports as our home.
  QV_ResourceFile* resourceFile = OpenResourceFile("Spiral.rsc");
  if (resourceFile == nullptr) return kPluginResourceError;

  auto* settings = static_cast<SpiralSettingsRec*>(theInfo->theControlData);
  QV_Dialog* dialog = qv::QV_MakeDialog(resourceFile, kSettingsDialogID);
  if (dialog == nullptr) {
    theResult = kPluginResourceError;
  } else {
    FillDialog(dialog, *settings);
    if (qv::QV_ExecuteDialog(dialog) == 0) {
      theResult = kPluginUserCanceled;
    } else if (ReadDialog(dialog, settings)) {
      SendModelReset(theInfo);
      theResult = result;
    }
    qv::QV_DestroyDialog(dialog);
  }
  qv::QV_CloseResourceFile(resourceFile);
  return theResult;
}
