// The entry point and the commands that need no geometry: every command
// record is size-checked before it is read, and a command we do not know is
// answered with 2 without touching its record.
#include "Spiral.h"

#include <cmath>
#include <cstring>

#include "host/PluginClient.h"
#include "text/PString.h"
#include "ui/PluginUtils.h"

namespace {

const IFFType kCommands[] = {kCmdInitialize, kCmdFinish, kCmdInformation, kCmdCheck,
                             kCmdDescribe,   kCmdInterface, kCmdSetup, kCmdGenerate};

// A matrix the spiral can place points with: finite, and small enough that
// no transformed point overflows.
bool UsableMatrix(const Matrix4& m) {
  for (double v : m.matrixData)
    if (!(std::fabs(v) <= kMaxMatrixEntry)) return false;
  return true;
}

int32_t DoInitialize(int32_t size, void* rec) {
  InitUtils();
  if (!RecordHolds(size, rec, sizeof(PluginInitializeRec))) return kPluginBadParameters;
  return CheckRecords(&static_cast<PluginInitializePtr>(rec)->theInfo, true);
}

int32_t DoFinish(int32_t size, void* rec) {
  FinishUtils();
  return RecordHolds(size, rec, sizeof(PluginFinishRec)) ? kPluginNoError : kPluginBadParameters;
}

int32_t DoInformation(int32_t size, void* rec) {
  if (!RecordHolds(size, rec, sizeof(PluginInformationRec))) return kPluginBadParameters;
  auto* theParameters = static_cast<PluginInformationPtr>(rec);
  theParameters->thePluginType = kSpiralOwner;
  theParameters->thePluginVersion = kSpiralVersion;
  PStrCpy(theParameters->thePluginName, PS("Spiral (example)"));
  PStrCpy(theParameters->thePluginCopyright, PS("Example code of the plug-in kit; copy it freely."));
  PStrCpy(theParameters->thePluginAuthor, PS("Kit Examples|Plug-in Kit|1 Sample Street|Springfield|+1 555 0199"));
  PStrCpy(theParameters->thePluginDescription,
          PS("A spiral of points with a few arms, turning at a steady rate: the kit's example model plug-in."));
  theParameters->thePluginPermission = 3;
  return kPluginNoError;
}

int32_t DoCheck(int32_t size, void* rec) {
  if (!RecordHolds(size, rec, sizeof(PluginCheckRec))) return kPluginBadParameters;
  IFFType asked = static_cast<PluginCheckPtr>(rec)->theCommand;
  for (IFFType known : kCommands)
    if (known == asked) return kPluginNoError;
  return kPluginBadParameters;
}

int32_t DoDescribe(int32_t size, void* rec) {
  if (!RecordHolds(size, rec, sizeof(PluginDescribeRec))) return kPluginBadParameters;
  auto* theParameters = static_cast<PluginDescribePtr>(rec);
  DescribePluginError(theParameters->theResult, theParameters->theDescription);
  return kPluginNoError;
}

// "SETM": the frame's times and the group's matrices go into the working
// record for "GENM", and the host's model is reset, which also clears the
// kit's error latch.  A set-up we could not place finite points with is
// refused whole.
int32_t DoSetup(int32_t size, void* rec) {
  if (!RecordHolds(size, rec, sizeof(PluginModelSetupRec))) return kPluginBadParameters;
  auto* theParameters = static_cast<PluginModelSetupPtr>(rec);
  // The matrices sit at even, not 8-byte, offsets of the packed record.
  Matrix4 group, blur;
  std::memcpy(&group, &theParameters->theGroupMatrix, sizeof group);
  std::memcpy(&blur, &theParameters->theGroupBlurMatrix, sizeof blur);
  double time = theParameters->theFrameTime, delta = theParameters->theFrameTimeDelta;
  if (!std::isfinite(time) || !std::isfinite(delta) || !UsableMatrix(group) || !UsableMatrix(blur))
    return kPluginBadParameters;

  PluginInfoRec& theInfo = theParameters->theInfo;
  int32_t err = CheckRecords(&theInfo, false);
  if (err != kPluginNoError) return err;
  auto* work = static_cast<SpiralWorkRec*>(theInfo.thePluginData);
  work->frameTime = time;
  work->frameTimeDelta = delta;
  std::memcpy(&work->groupMatrix, &group, sizeof group);
  std::memcpy(&work->blurMatrix, &blur, sizeof blur);
  SendModelReset(&theInfo);
  return result;
}

int32_t DoGenerate(int32_t size, void* rec) {
  if (!RecordHolds(size, rec, sizeof(PluginModelGenerateRec))) return kPluginBadParameters;
  auto* theParameters = static_cast<PluginModelGeneratePtr>(rec);
  int32_t err = CheckRecords(&theParameters->theInfo, false);
  if (err != kPluginNoError) return err;
  return OutputSpiral(theParameters->theInfo, theParameters->theVertexFlags);
}

}  // namespace

SPIRAL_EXPORT int32_t Main(IFFType theCommand, int32_t theCommandRecSize, void* theCommandRec) {
  switch (theCommand) {
    case kCmdInitialize: return DoInitialize(theCommandRecSize, theCommandRec);
    case kCmdFinish: return DoFinish(theCommandRecSize, theCommandRec);
    case kCmdInformation: return DoInformation(theCommandRecSize, theCommandRec);
    case kCmdCheck: return DoCheck(theCommandRecSize, theCommandRec);
    case kCmdDescribe: return DoDescribe(theCommandRecSize, theCommandRec);
    case kCmdSetup: return DoSetup(theCommandRecSize, theCommandRec);
    case kCmdGenerate: return DoGenerate(theCommandRecSize, theCommandRec);
    case kCmdInterface:
      if (!RecordHolds(theCommandRecSize, theCommandRec, sizeof(PluginInterfaceRec)))
        return kPluginBadParameters;
      return DoInterface(&static_cast<PluginInterfacePtr>(theCommandRec)->theInfo);
    default: return kPluginUnsupportedCommand;
  }
}
