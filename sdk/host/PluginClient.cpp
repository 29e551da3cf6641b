#include "host/PluginClient.h"

#include "text/System.h"

int32_t result = 0;
QVPluginRoutine hostProc = nullptr;
void* hostReference = nullptr;
HostStatusRec theStatusRec;

int32_t CallPluginRoutine(IFFType command, int32_t parameterSize, void* parameters,
                          QVPluginRoutine theRoutine) {
  if (theRoutine == nullptr) return kPluginBadParameters;
  return theRoutine(command, parameterSize, parameters);
}

void SendModelReset(const PluginInfoRec* theInfo) {
  HostModelResetRec theReset;
  theReset.theReference = theInfo->theHostReference;
  result = CallPluginRoutine(kHostModelReset, int32_t(sizeof theReset), &theReset,
                             theInfo->theHostProc);
}

bool StatusTime() {
  uint32_t tick = uint32_t(theStatusRec.theStatusTick);
  return tick == 0 || TickCount() >= tick;
}

void UpdateStatus(float thePos, int32_t theValue) {
  if (result != 0) return;
  theStatusRec.theStatusValue = theValue;
  theStatusRec.theStatusPos = thePos;
  result = CallPluginRoutine(kHostStatus, int32_t(sizeof theStatusRec), &theStatusRec,
                             hostProc);
}

void DescribePluginError(int32_t theResultCode, PStrPtr theString) {
  static const struct {
    int32_t code;
    const char* text;
  } kTexts[] = {
      {kPluginNoError, "No plug-in error"},
      {kPluginMemoryError, "Plug-in could not allocate needed memory"},
      {kPluginUnsupportedCommand, "Unsupported plug-in command was received"},
      {kPluginBadParameters, "Incompatible plug-in parameter record was received"},
      {kPluginUserCanceled, "The user canceled the plug-in operation"},
      {kPluginOutOfSequence, "A plug-in command was received out of sequence"},
      {kPluginResourceError, "Plug-in could not get a required resource"},
      {kPluginUnsupportedFeature, "A requested plug-in feature or mode is not supported"},
  };
  for (const auto& entry : kTexts) {
    if (entry.code == theResultCode) {
      CopyStr(theString, entry.text);
      return;
    }
  }
  theString[0] = 0;
}

void QVPluginMalloc(const PluginInfoRec* theInfo, int32_t* theResult, uint32_t theSize,
                    void** thePtr) {
  if (*theResult != 0) return;
  HostMemMallocRec theRec;
  theRec.theReference = theInfo->theHostReference;
  theRec.theSize = theSize;
  theRec.thePtr = *thePtr;
  *theResult = CallPluginRoutine(kHostMemMalloc, int32_t(sizeof theRec), &theRec,
                                 theInfo->theHostProc);
  *thePtr = theRec.thePtr;
}

void QVPluginFree(const PluginInfoRec* theInfo, int32_t* theResult, void* thePtr) {
  if (*theResult != 0) return;
  HostMemFreeRec theRec;
  theRec.theReference = theInfo->theHostReference;
  theRec.thePtr = thePtr;
  *theResult = CallPluginRoutine(kHostMemFree, int32_t(sizeof theRec), &theRec,
                                 theInfo->theHostProc);
}

void QVPluginStatusUpdate(const PluginInfoRec* theInfo, HostStatusRec* theStatus,
                          float thePos, int32_t theValue, int32_t* theResult) {
  if (*theResult != 0) return;
  theStatus->theReference = theInfo->theHostReference;
  theStatus->theStatusValue = theValue;
  theStatus->theStatusPos = thePos;
  *theResult = CallPluginRoutine(kHostStatus, int32_t(sizeof *theStatus), theStatus,
                                 theInfo->theHostProc);
}

void QVPluginStatusSetup(const PluginInfoRec* theInfo, HostStatusRec* theStatus,
                         ConstPStrPtr theUnit, ConstPStrPtr theHeading, int32_t min,
                         int32_t max, float thePos, int32_t theValue, int32_t* theResult) {
  theStatus->theReference = theInfo->theHostReference;
  theStatus->theStatusPos = thePos;
  CopyPStr(theStatus->theStatusUnit, theUnit);
  CopyPStr(theStatus->theStatusInfo, theHeading);
  theStatus->theStatusMin = min;
  theStatus->theStatusMax = max;
  theStatus->theStatusValue = theValue;
  theStatus->theStatusTick = 0;
  QVPluginStatusUpdate(theInfo, theStatus, thePos, theValue, theResult);
}

void QVPluginStatusFinish(const PluginInfoRec* theInfo, HostStatusRec* theStatus,
                          int32_t* theResult) {
  if (*theResult == 0 && theStatus->theStatusTick != 0)
    QVPluginStatusUpdate(theInfo, theStatus, 1.0f, theStatus->theStatusMax, theResult);
}

void QVPluginStatusCheck(const PluginInfoRec*, HostStatusRec*, int32_t*) {}
