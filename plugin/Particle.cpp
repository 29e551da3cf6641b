// Entry point and command dispatch.
#include "Particle.h"

#include "host/PluginClient.h"
#include "text/PString.h"
#include "ui/PluginUtils.h"

uint32_t globalValidation1 = 0;
uint32_t globalValidation2 = 0;

ControlDataPtr theControl = nullptr;
PluginDataPtr theData = nullptr;
void* particleData = nullptr;

namespace {

constexpr uint32_t kValidation1 = MakeIFF("PART");
constexpr uint32_t kValidation2 = MakeIFF("QVpM");

const IFFType kCommands[] = {kCmdInitialize, kCmdFinish, kCmdInformation, kCmdCheck,
                             kCmdDescribe,   kCmdInterface, kCmdSetup, kCmdGINF,
                             kCmdGATR,       kCmdGBLR,   kCmdTMAP,  kCmdBMAP,
                             kCmdRMAP,       kCmdGenerate};

// The six geometry-record commands: the plug-in leaves the host's record as
// it is and says so by clearing the change flag.
template <typename Rec>
int32_t LeaveGeometryRecord(int32_t theCommandRecSize, void* theCommandRec) {
  if (!RecordHolds(theCommandRecSize, theCommandRec, sizeof(Rec))) return kPluginBadParameters;
  static_cast<Rec*>(theCommandRec)->theChangeFlag = 0;
  return kPluginNoError;
}

}  // namespace

void InitGlobals(bool initFlag) {
  if (!initFlag && globalValidation1 == kValidation1 && globalValidation2 == kValidation2)
    return;
  globalValidation1 = kValidation1;
  globalValidation2 = kValidation2;
  InitUtils();
}

PLM_EXPORT int32_t Main(IFFType theCommand, int32_t theCommandRecSize, void* theCommandRec) {
  InitGlobals(false);
  switch (theCommand) {
    case kCmdInitialize: return DoInitialize(theCommandRecSize, theCommandRec);
    case kCmdFinish: return DoFinish(theCommandRecSize, theCommandRec);
    case kCmdInformation: return DoInformation(theCommandRecSize, theCommandRec);
    case kCmdCheck: return DoCheck(theCommandRecSize, theCommandRec);
    case kCmdDescribe: return DoDescribe(theCommandRecSize, theCommandRec);
    case kCmdInterface: return DoInterface(theCommandRecSize, theCommandRec);
    case kCmdSetup: return DoSetup(theCommandRecSize, theCommandRec);
    case kCmdGINF: return DoGINF(theCommandRecSize, theCommandRec);
    case kCmdGATR: return DoGATR(theCommandRecSize, theCommandRec);
    case kCmdGBLR: return DoGBLR(theCommandRecSize, theCommandRec);
    case kCmdTMAP: return DoTMAP(theCommandRecSize, theCommandRec);
    case kCmdBMAP: return DoBMAP(theCommandRecSize, theCommandRec);
    case kCmdRMAP: return DoRMAP(theCommandRecSize, theCommandRec);
    case kCmdGenerate: return DoGenerate(theCommandRecSize, theCommandRec);
    default: return kPluginUnsupportedCommand;
  }
}

int32_t DoInitialize(int32_t theCommandRecSize, void* theCommandRec) {
  InitGlobals(true);
  auto* theParameters = static_cast<PluginInitializePtr>(theCommandRec);
  if (!RecordHolds(theCommandRecSize, theCommandRec, sizeof(PluginInitializeRec)) ||
      theParameters->theInfo.theHostProc == nullptr)
    return kPluginBadParameters;
  return CheckData(&theParameters->theInfo, false, true);
}

int32_t DoFinish(int32_t theCommandRecSize, void* theCommandRec) {
  FinishUtils();
  auto* theParameters = static_cast<PluginFinishPtr>(theCommandRec);
  if (!RecordHolds(theCommandRecSize, theCommandRec, sizeof(PluginFinishRec)) ||
      theParameters->theInfo.theHostProc == nullptr)
    return kPluginBadParameters;
  return kPluginNoError;
}

int32_t DoInformation(int32_t theCommandRecSize, void* theCommandRec) {
  if (!RecordHolds(theCommandRecSize, theCommandRec, sizeof(PluginInformationRec)))
    return kPluginBadParameters;
  auto* theParameters = static_cast<PluginInformationPtr>(theCommandRec);
  theParameters->thePluginType = MakeIFF("PART");
  theParameters->thePluginVersion = kParticleVersion;
  PStrCpy(theParameters->thePluginName, PS("Corvexa\252 Particle"));
  PStrCpy(theParameters->thePluginCopyright,
          PS("Copyright \251 1996-2026 Corvexa Software. All rights reserved."));
  PStrCpy(theParameters->thePluginAuthor,
          PS("Particle Team|Corvexa Software|1 Emitter Lane|Springfield|+1 555 0100"));
  PStrCpy(theParameters->thePluginDescription,
          PS("This model plugin can generate a variety of particle systems including "
             "fountains and explosions."));
  theParameters->thePluginPermission = 3;
  return kPluginNoError;
}

int32_t DoCheck(int32_t theCommandRecSize, void* theCommandRec) {
  if (!RecordHolds(theCommandRecSize, theCommandRec, sizeof(PluginCheckRec)))
    return kPluginBadParameters;
  IFFType asked = static_cast<PluginCheckPtr>(theCommandRec)->theCommand;
  for (IFFType known : kCommands)
    if (known == asked) return kPluginNoError;
  return kPluginBadParameters;
}

int32_t DoDescribe(int32_t theCommandRecSize, void* theCommandRec) {
  if (!RecordHolds(theCommandRecSize, theCommandRec, sizeof(PluginDescribeRec)))
    return kPluginBadParameters;
  auto* theParameters = static_cast<PluginDescribePtr>(theCommandRec);
  DescribePluginError(theParameters->theResult, theParameters->theDescription);
  return kPluginNoError;
}

int32_t DoGINF(int32_t size, void* rec) { return LeaveGeometryRecord<PluginModelGINFRec>(size, rec); }
int32_t DoGATR(int32_t size, void* rec) { return LeaveGeometryRecord<PluginModelGATRRec>(size, rec); }
int32_t DoGBLR(int32_t size, void* rec) { return LeaveGeometryRecord<PluginModelGBLRRec>(size, rec); }
int32_t DoTMAP(int32_t size, void* rec) { return LeaveGeometryRecord<PluginModelTMAPRec>(size, rec); }
int32_t DoBMAP(int32_t size, void* rec) { return LeaveGeometryRecord<PluginModelBMAPRec>(size, rec); }
int32_t DoRMAP(int32_t size, void* rec) { return LeaveGeometryRecord<PluginModelRMAPRec>(size, rec); }

int32_t DoGenerate(int32_t theCommandRecSize, void* theCommandRec) {
  auto* theParameters = static_cast<PluginModelGeneratePtr>(theCommandRec);
  if (!RecordHolds(theCommandRecSize, theCommandRec, sizeof(PluginModelGenerateRec)) ||
      theParameters->theInfo.theHostProc == nullptr)
    return kPluginBadParameters;
  PluginInfoRec& theInfo = theParameters->theInfo;
  int32_t err = CheckData(&theInfo, false, false);
  if (err != kPluginNoError) return err;

  theData = static_cast<PluginDataPtr>(theInfo.thePluginData);
  theControl = static_cast<ControlDataPtr>(theInfo.theControlData);
  particleData = static_cast<uint8_t*>(theInfo.thePluginData) + sizeof(PluginDataRec);
  hostProc = theInfo.theHostProc;
  hostReference = theInfo.theHostReference;
  theData->vertexFlags = theParameters->theVertexFlags;

  InitParticles();
  AgeParticles();
  OutputParticles();
  return err;
}
