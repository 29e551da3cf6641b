// render/: driving a scene's frames through the plug-in and handing them to
// the output stage.
//
// Rendering a scene: "INIT" with the stored settings, then for every frame
// "SETM" and "GENM", writing each frame's point cloud (and picture), the
// contact sheet preview.png and the report render.json.
#ifndef PLMHOST_RENDER_H
#define PLMHOST_RENDER_H

#include <string>

#include "scene/Scene.h"

struct RenderOptions {
  std::string outDir = "out";
  int32_t firstFrame = 0;
  int32_t lastFrame = 0;
  bool framePictures = false;  // frame_NNNN.png beside each point cloud
  int width = 640;             // of frame pictures; preview tiles are half
  int height = 360;
  bool quiet = false;
};

// Returns the exit code; prints the outcome.
int RenderScene(const Scene& theScene, const RenderOptions& theOptions);

// "frame_0042" and friends.
std::string FrameFileName(int32_t theFrame, const char* theExtension);

#endif
