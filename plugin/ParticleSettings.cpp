// The settings and working records: defaults, the stored forms accepted,
// the reallocation through the host, and the frame set-up ("SETM").
#include <cstring>

#include "Particle.h"
#include "ParticleEngine.h"
#include "geometry/geometry_records.h"
#include "host/PluginClient.h"
#include "text/System.h"

namespace {

constexpr int32_t kControlSize = int32_t(sizeof(ControlDataRec));
constexpr int32_t kControlV2Size = int32_t(sizeof(ControlDataV2Rec));
constexpr IFFType kReversedOwner = MakeIFF("TRAP");
constexpr int32_t kReversedVersion = 0x03000000;
constexpr int kSettingCount = 26;  // the doubles emitFrequency .. bounceFriction

double* Settings(ControlDataPtr c) { return &c->emitFrequency; }
static_assert(offsetof(ControlDataRec, bounceFriction) ==
                  offsetof(ControlDataRec, emitFrequency) + (kSettingCount - 1) * sizeof(double),
              "the settings doubles are contiguous");

int64_t RoundUp8(int64_t n) { return (n + 7) & ~int64_t(7); }

// A stored settings record over a new or re-initialised working block: the
// slots hold nothing the stored lists can name, so the pool is emptied and
// its lists rebuilt.  The frame bookkeeping decides what the next frame
// does.  A pool that held no particle has lost nothing: its frame, time and
// step stay as stored, so it continues (or replays, when it was marked) as
// before; this is also what keeps a fresh scene's record, the empty pool at
// frame 0 that "INIT" writes, byte-identical when it is loaded again.  A
// pool that held particles has lost them: it is marked for replay, and the
// next frame rebuilds them exactly as any forced replay does, instead of
// continuing from an empty pool at a frame where it was not empty.
void EmptyStoredPool(ControlDataPtr c, PluginDataPtr d) {
  const bool lost = c->particleCount != 0 || c->firstActive != -1;
  const int32_t frame = c->lastFrameIndex;
  const double time = c->lastFrameTime, delta = c->lastFrameTimeDelta;
  InitParticleList(c, d);
  c->lastFrameIndex = lost ? kNoFrame : frame;
  c->lastFrameTime = time;
  c->lastFrameTimeDelta = delta;
}

}  // namespace

int32_t NewParticleSeed() { return int32_t(TickCount() * 1103515245u + 12345u); }

void DefaultControl(ControlDataPtr c) {
  c->ownerType = kParticleOwner;
  c->ownerVersion = kParticleVersion;
  c->lastFrameTime = 0.0;
  c->lastFrameTimeDelta = 0.0;
  c->emitFrequency = 25.0;
  c->emitErr = 25.0;
  c->emitStart = 0.0;
  c->emitEnd = 100.0;
  c->lifeTime = 10.0;
  c->lifeTimeErr = 0.0;
  c->initXPos = 0.0;
  c->initYPos = 0.0;
  c->initZPos = 0.0;
  c->initXPosErr = 0.0;
  c->initYPosErr = 0.0;
  c->initZPosErr = 0.0;
  c->initXDir = 0.0;
  c->initYDir = 1.0;
  c->initZDir = 0.0;
  c->initAngle = 0.0;
  c->initAngleErr = 2.0;
  c->initVelocity = 100.0;
  c->initVelocityErr = 10.0;
  c->airResistance = 0.0;
  c->gravityXDir = 0.0;
  c->gravityYDir = -50.0;
  c->gravityZDir = 0.0;
  c->groundLevel = 0.0;
  c->bounceFactor = 0.5;
  c->bounceFriction = 0.9;
  c->lastFrameIndex = kNoFrame;
  c->particleCount = 0;
  c->particleFlags = 0;
  c->firstActive = -1;
  c->firstInactive = 0;
  c->maxParticles = 1000;
  SetARGB(&c->energyColors[0], 255, 200, 0, 0);
  SetARGB(&c->energyColors[1], 255, 255, 128, 0);
  SetARGB(&c->energyColors[2], 255, 255, 255, 255);
  c->particleSeed = NewParticleSeed();
}

void DefaultData(PluginDataPtr d) {
  d->frameIndex = 0;
  d->frameTime = 0.0;
  d->frameTimeDelta = kDefaultFrameTimeDelta;
  d->vertexFlags = 0;
  InitMatrix4(&d->theMatrix);
  InitMatrix4(&d->theBlurMatrix);
  InitMatrix3(&d->directionMatrix);
}

void FixControl(ControlDataPtr c) {
  c->ownerType = kParticleOwner;
  c->ownerVersion = kParticleVersion;
  c->lastFrameIndex = kNoFrame;
  c->lastFrameTime = 0.0;
  c->lastFrameTimeDelta = 0.0;
  c->particleCount = 0;
  c->firstActive = -1;
  c->firstInactive = 0;
  ReverseField(&c->particleFlags, 4);
  ReverseField(&c->maxParticles, 4);
  double* settings = Settings(c);
  for (int i = 0; i < kSettingCount; i++) ReverseField(&settings[i], 8);
  ReverseField(&c->particleSeed, 4);
}

void UpdateControl(const ControlDataV2Rec* oldControl, ControlDataPtr newControl) {
  newControl->ownerType = oldControl->ownerType;
  newControl->ownerVersion = kParticleVersion;
  newControl->lastFrameIndex = kNoFrame;
  newControl->lastFrameTime = 0.0;
  newControl->lastFrameTimeDelta = 0.0;
  newControl->particleCount = 0;
  newControl->particleFlags = oldControl->particleFlags;
  newControl->firstActive = -1;
  newControl->firstInactive = 0;
  newControl->maxParticles = oldControl->maxParticles;
  std::memcpy(Settings(newControl), oldControl->settings, sizeof oldControl->settings);
  std::memcpy(newControl->energyColors, oldControl->energyColors,
              sizeof newControl->energyColors);
  newControl->particleSeed = NewParticleSeed();
}

int32_t CheckData(PluginInfoPtr theInfo, bool setControlData, bool setPluginData) {
  ControlDataRec control;
  PluginDataRec data;

  // Settings: version 2 converted, version 3 in either byte order taken,
  // anything else replaced by the defaults.
  auto* stored = static_cast<ControlDataPtr>(theInfo->theControlData);
  auto* storedV2 = static_cast<const ControlDataV2Rec*>(theInfo->theControlData);
  if (!setControlData && stored != nullptr && theInfo->theControlDataSize == kControlV2Size &&
      storedV2->ownerType == kParticleOwner && storedV2->ownerVersion == 2) {
    UpdateControl(storedV2, &control);
    setControlData = true;
  } else if (!setControlData && stored != nullptr &&
             theInfo->theControlDataSize == kControlSize &&
             (stored->ownerType == kParticleOwner || stored->ownerType == kReversedOwner) &&
             (stored->ownerVersion == kParticleVersion ||
              stored->ownerVersion == kReversedVersion)) {
    if (stored->ownerVersion == kReversedVersion) FixControl(stored);
    std::memcpy(&control, stored, sizeof control);
  } else {
    setControlData = true;
    DefaultControl(&control);
  }

  // A pool of at least one slot whose block size fits a signed 32-bit size;
  // a clamped capacity is written back together with a fresh pool.
  if (control.maxParticles < 1 || control.maxParticles > kMaxParticleLimit) {
    control.maxParticles = control.maxParticles < 1 ? 1 : kMaxParticleLimit;
    setControlData = true;
  }

  auto* storedData = static_cast<PluginDataPtr>(theInfo->thePluginData);
  bool newControlData =
      theInfo->theControlDataSize != kControlSize || theInfo->theControlData == nullptr;
  int64_t newPluginDataSize =
      int64_t(kPluginDataSize) + int64_t(kParticleRecSize) * control.maxParticles;
  bool newPluginData = storedData == nullptr ||
                       theInfo->thePluginDataSize < newPluginDataSize ||
                       theInfo->thePluginDataSize > RoundUp8(newPluginDataSize);
  bool controlWritten = newControlData || setControlData;

  // "INIT" asks for a fresh working record, but keeps a block of the right
  // size whose slots the stored lists describe exactly: a block restored
  // from a checkpoint together with its settings record (or this instance's
  // own) then continues as the run that wrote it would.  The bytes of a
  // fresh block form those lists only by coincidence (every slot's link
  // must name the next one), so it is initialised as before.
  if (setPluginData && !controlWritten && !newPluginData &&
      ParticleListsSound(stored, storedData))
    setPluginData = false;
  if (setPluginData || newPluginData) {
    setPluginData = true;
    DefaultData(&data);
  } else {
    std::memcpy(&data, storedData, sizeof data);
  }

  if (newControlData || newPluginData) {
    HostAllocateRec theAllocate;
    theAllocate.theReference = theInfo->theHostReference;
    theAllocate.theControlData = theInfo->theControlData;
    theAllocate.theControlDataSize = kControlSize;
    theAllocate.thePluginData = theInfo->thePluginData;
    theAllocate.thePluginDataSize = int32_t(newPluginDataSize);
    int32_t err = CallPluginRoutine(kHostAllocate, int32_t(sizeof theAllocate), &theAllocate,
                                    theInfo->theHostProc);
    // A refusal leaves the host holding the blocks it held, so the head
    // keeps naming them, whatever the host left in the request.
    if (err != kPluginNoError) return err;
    // An answer of success hands over the blocks the host now holds; the
    // head names them even when they are short, negative or missing (every
    // command checks the sizes again before it writes), and nothing is
    // written into them.
    theInfo->theControlData = theAllocate.theControlData;
    theInfo->theControlDataSize = theAllocate.theControlDataSize;
    theInfo->thePluginData = theAllocate.thePluginData;
    theInfo->thePluginDataSize = theAllocate.thePluginDataSize;
    if (theInfo->theControlData == nullptr || theInfo->theControlDataSize < kControlSize ||
        theInfo->thePluginData == nullptr || theInfo->thePluginDataSize < newPluginDataSize)
      return kPluginMemoryError;
  }

  auto* theControlRec = static_cast<ControlDataPtr>(theInfo->theControlData);
  auto* theDataRec = static_cast<PluginDataPtr>(theInfo->thePluginData);
  if (controlWritten) {
    std::memcpy(theControlRec, &control, sizeof control);
    InitParticleList(theControlRec, theDataRec);
  }
  if (setPluginData) {
    std::memcpy(theDataRec, &data, sizeof data);
    if (!controlWritten) EmptyStoredPool(theControlRec, theDataRec);
  }
  return kPluginNoError;
}

int32_t DoSetup(int32_t theCommandRecSize, void* theCommandRec) {
  auto* theParameters = static_cast<PluginModelSetupPtr>(theCommandRec);
  if (!RecordHolds(theCommandRecSize, theCommandRec, sizeof(PluginModelSetupRec)) ||
      theParameters->theInfo.theHostProc == nullptr)
    return kPluginBadParameters;
  PluginInfoRec& theInfo = theParameters->theInfo;
  int32_t err = CheckData(&theInfo, false, false);
  if (err != kPluginNoError) return err;

  auto* d = static_cast<PluginDataPtr>(theInfo.thePluginData);
  auto* c = static_cast<ControlDataPtr>(theInfo.theControlData);
  std::memcpy(&d->theMatrix, &theParameters->theGroupMatrix, sizeof(Matrix4));
  std::memcpy(&d->theBlurMatrix, &theParameters->theGroupBlurMatrix, sizeof(Matrix4));
  // A new frame step invalidates the pool (a not-a-number always does).
  if (!(d->frameTimeDelta == theParameters->theFrameTimeDelta)) {
    d->frameTimeDelta = theParameters->theFrameTimeDelta;
    c->lastFrameIndex = kNoFrame;
  }
  d->frameIndex = theParameters->theFrameIndex;
  d->frameTime = theParameters->theFrameTime;
  SendModelReset(&theInfo);
  return kPluginNoError;
}
