// Stepping a scene's frames through the plug-in, in order, the way every
// frame plmhost writes is reached: a continuous run from the scene's first
// frame, or a continuation from a checkpoint of such a run.
//
//   FrameStepper s;
//   OpenStepper(s, scene, pluginPath);       // load, "INFO", identity
//   StartStepper(s);                          // "INIT" with the stored settings
//   RestoreCheckpoint(s, found) (optional)    // continue after found.frame
//   StepFrame(s, f, keep) for f = s.nextFrame, s.nextFrame + 1, ...
//
// The plug-in runs on the thread that calls these functions; one stepper
// at a time per thread.
#ifndef PLMHOST_STEPPER_H
#define PLMHOST_STEPPER_H

#include <string>
#include <vector>

#include "output/Checkpoint.h"
#include "protocol/PluginInstance.h"
#include "scene/Scene.h"

struct FrameStepper {
  const Scene* scene = nullptr;
  std::string pluginPath;
  PluginInstance instance;
  PluginInformation info;
  CheckpointIdentity identity;
  std::string sceneContent;     // the canonical text identity.scene hashes
  bool started = false;         // "INIT" answered 0
  bool settingsReplaced = false;  // the plug-in put its defaults over the scene's record
  bool settingsChanged = false;   // it converted or corrected the record
  int32_t nextFrame = 0;        // the frame the records continue with
  std::string failure;          // why the last step or start failed
  FrameStepper() = default;
  FrameStepper(const FrameStepper&) = delete;
  FrameStepper& operator=(const FrameStepper&) = delete;
  ~FrameStepper();
};

// Loads the plug-in (throws a usage error when it cannot) and asks "INFO";
// the scene must outlive the stepper.
void OpenStepper(FrameStepper& theStepper, const Scene& theScene, const std::string& thePluginPath);
// "INIT" with the scene's settings record; the result code (failure says why).
int32_t StartStepper(FrameStepper& theStepper);
// Puts both records of theCheckpoint back into fresh blocks of their sizes;
// the next frame is the one after it.
void RestoreCheckpoint(FrameStepper& theStepper, const Checkpoint& theCheckpoint);

// "SETM" and "GENM" of theFrame.  With keepVertices false the host answers
// every callback as usual but stores no vertex (frames run only to reach a
// later one).  Returns the result code; a callback the host refused counts
// as a failure even when the plug-in answers 0, and kPluginUserCanceled
// means Ctrl-C.  The frame's model is theStepper.instance.model.
int32_t StepFrame(FrameStepper& theStepper, int32_t theFrame, bool keepVertices);

// The checkpoint of the frame that last ran, written into theDir.
std::string WriteStepperCheckpoint(FrameStepper& theStepper, const std::string& theDir);

// The sound checkpoint of this scene and plug-in with the highest frame in
// [lowest, highest] among theDirs; every file passed over on the way (damaged, of
// another scene or plug-in) adds a warning.  False when there is none.
bool FindCheckpoint(const std::vector<std::string>& theDirs, const CheckpointIdentity& theIdentity,
                    int32_t lowest, int32_t highest, Checkpoint* theCheckpoint, std::string* thePath,
                    std::vector<std::string>* theWarnings);

// What a scene is for checkpoints and reports: its canonical text.
std::string SceneContent(const Scene& theScene);

#endif
