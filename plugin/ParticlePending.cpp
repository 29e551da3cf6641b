// Placeholders for the settings records, the engine and the dialog, which
// land in their own modules next.  They accept the records as they are and
// generate nothing.
#include "Particle.h"

int32_t CheckData(PluginInfoPtr, bool, bool) { return kPluginNoError; }

int32_t DoSetup(int32_t theCommandRecSize, void* theCommandRec) {
  auto* theParameters = static_cast<PluginModelSetupPtr>(theCommandRec);
  if (!RecordHolds(theCommandRecSize, theCommandRec, sizeof(PluginModelSetupRec)) ||
      theParameters->theInfo.theHostProc == nullptr)
    return kPluginBadParameters;
  return CheckData(&theParameters->theInfo, false, false);
}

int32_t DoInterface(int32_t theCommandRecSize, void* theCommandRec) {
  auto* theParameters = static_cast<PluginInterfacePtr>(theCommandRec);
  if (!RecordHolds(theCommandRecSize, theCommandRec, sizeof(PluginInterfaceRec)) ||
      theParameters->theInfo.theHostProc == nullptr ||
      theParameters->theInfo.theControlData == nullptr ||
      theParameters->theInfo.theControlDataSize < int32_t(sizeof(ControlDataRec)))
    return kPluginBadParameters;
  return CheckData(&theParameters->theInfo, false, false);
}

void InitParticles() {}
void AgeParticles() {}
void OutputParticles() {}
