// The "SETM" record of one frame of a scene: the frame's index and time,
// the camera and the group matrices at that time.  Every host command that
// drives frames builds it here, so that they all drive the same frames.
#ifndef PLMHOST_FRAMESETUP_H
#define PLMHOST_FRAMESETUP_H

#include "protocol/PluginInstance.h"
#include "scene/SceneMatrices.h"

inline FrameSetup MakeFrameSetup(const Scene& theScene, int32_t theFrame) {
  FrameSetup s;
  s.frameIndex = theFrame;
  s.frameTime = theFrame / theScene.fps;
  s.frameTimeDelta = 1.0 / theScene.fps;
  s.camera = CameraMatrix(theScene.camera);
  s.cameraRotation = CameraRotationMatrix(theScene.camera);
  s.cameraBlur = s.camera;  // the camera stands still
  s.group = GroupMatrixAt(theScene.group, s.frameTime);
  s.groupRotation = GroupRotationAt(theScene.group, s.frameTime);
  s.groupBlur = GroupMatrixAt(theScene.group, (theFrame - 1) / theScene.fps);
  return s;
}

#endif
