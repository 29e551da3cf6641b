// "INTF": the settings must be valid (converted or reallocated if needed)
// before they are edited.
#include "Particle.h"

int32_t DoInterface(int32_t theCommandRecSize, void* theCommandRec) {
  auto* theParameters = static_cast<PluginInterfacePtr>(theCommandRec);
  if (!RecordHolds(theCommandRecSize, theCommandRec, sizeof(PluginInterfaceRec)) ||
      theParameters->theInfo.theHostProc == nullptr ||
      theParameters->theInfo.theControlData == nullptr ||
      theParameters->theInfo.theControlDataSize < int32_t(sizeof(ControlDataRec)))
    return kPluginBadParameters;
  return CheckData(&theParameters->theInfo, false, false);
}
