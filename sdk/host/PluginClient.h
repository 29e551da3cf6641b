// The plug-in's side of the host callback protocol: model resets, progress
// reports with the error latch and the tick throttle, host memory, and the
// texts of result codes.
//
// Error latch: `result` holds the last failed callback result.  While it is
// non-zero, UpdateStatus and the model-building calls are not made; only
// SendModelReset replaces it.  The QVPlugin... routines follow the same rule
// with a latch the caller owns (`theResult`).
#ifndef QVKIT_HOST_PLUGINCLIENT_H
#define QVKIT_HOST_PLUGINCLIENT_H

#include "host/PluginRecords.h"

// Module state of the protocol: the latch, the host procedure and reference
// bound for the command in progress, and the status record kept across calls.
extern int32_t result;
extern QVPluginRoutine hostProc;
extern void* hostReference;
extern HostStatusRec theStatusRec;

// Calls theRoutine; a null routine answers 3 instead of being called.
int32_t CallPluginRoutine(IFFType command, int32_t parameterSize, void* parameters,
                          QVPluginRoutine theRoutine);

// Sends "RSET" unconditionally and stores its result in the latch.
void SendModelReset(const PluginInfoRec* theInfo);

// Whether an intermediate progress report is due: always while the host has
// not set theStatusTick, else once TickCount() has reached it.
bool StatusTime();

// Sends "STAT" with theStatusRec through hostProc while the latch is clear.
void UpdateStatus(float thePos, int32_t theValue);

// The text of a result code; unknown codes give the empty string.
void DescribePluginError(int32_t theResultCode, PStrPtr theString);

void QVPluginMalloc(const PluginInfoRec* theInfo, int32_t* theResult, uint32_t theSize,
                    void** thePtr);
void QVPluginFree(const PluginInfoRec* theInfo, int32_t* theResult, void* thePtr);

void QVPluginStatusSetup(const PluginInfoRec* theInfo, HostStatusRec* theStatus,
                         ConstPStrPtr theUnit, ConstPStrPtr theHeading, int32_t min,
                         int32_t max, float thePos, int32_t theValue, int32_t* theResult);
void QVPluginStatusUpdate(const PluginInfoRec* theInfo, HostStatusRec* theStatus,
                          float thePos, int32_t theValue, int32_t* theResult);
void QVPluginStatusFinish(const PluginInfoRec* theInfo, HostStatusRec* theStatus,
                          int32_t* theResult);
void QVPluginStatusCheck(const PluginInfoRec* theInfo, HostStatusRec* theStatus,
                         int32_t* theResult);

#endif
