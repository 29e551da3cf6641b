// The particle model plug-in: entry point, command handlers and the module
// state bound while a frame is generated.
#ifndef PARTICLE_PARTICLE_H
#define PARTICLE_PARTICLE_H

#include <cstdint>

#include "ParticleRecords.h"
#include "host/PluginRecords.h"

#define PLM_EXPORT extern "C" __attribute__((visibility("default")))

// The only exported symbol.
PLM_EXPORT int32_t Main(IFFType theCommand, int32_t theCommandRecSize, void* theCommandRec);

// Validation words: the globals are set up once per load, and again by "INIT".
extern uint32_t globalValidation1;
extern uint32_t globalValidation2;
void InitGlobals(bool initFlag);

// Records bound by "GENM" for the duration of the command.
extern ControlDataPtr theControl;
extern PluginDataPtr theData;
extern void* particleData;

int32_t DoInitialize(int32_t theCommandRecSize, void* theCommandRec);
int32_t DoFinish(int32_t theCommandRecSize, void* theCommandRec);
int32_t DoInformation(int32_t theCommandRecSize, void* theCommandRec);
int32_t DoCheck(int32_t theCommandRecSize, void* theCommandRec);
int32_t DoDescribe(int32_t theCommandRecSize, void* theCommandRec);
int32_t DoInterface(int32_t theCommandRecSize, void* theCommandRec);
int32_t DoSetup(int32_t theCommandRecSize, void* theCommandRec);
int32_t DoGINF(int32_t theCommandRecSize, void* theCommandRec);
int32_t DoGATR(int32_t theCommandRecSize, void* theCommandRec);
int32_t DoGBLR(int32_t theCommandRecSize, void* theCommandRec);
int32_t DoTMAP(int32_t theCommandRecSize, void* theCommandRec);
int32_t DoBMAP(int32_t theCommandRecSize, void* theCommandRec);
int32_t DoRMAP(int32_t theCommandRecSize, void* theCommandRec);
int32_t DoGenerate(int32_t theCommandRecSize, void* theCommandRec);

// Whether a command record of theCommandRecSize bytes at theCommandRec holds
// at least `needed` bytes.  A null record or a negative size never does.
inline bool RecordHolds(int32_t theCommandRecSize, const void* theCommandRec,
                        uint32_t needed) {
  return theCommandRec != nullptr && theCommandRecSize >= 0 &&
         uint32_t(theCommandRecSize) >= needed;
}

// Settings and working records.
int32_t CheckData(PluginInfoPtr theInfo, bool setControlData, bool setPluginData);

// Frame generation.
void InitParticles();
void AgeParticles();
void OutputParticles();

#endif
