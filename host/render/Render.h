// render/: driving a scene's frames through the plug-in and handing them to
// the output stage.
//
// Every frame written is the frame a continuous run from the scene's first
// frame gives: a range that starts later is reached by running the frames
// before it without writing them, or from the nearest sound checkpoint of
// the same scene and plug-in.  One thread drives the plug-in; --jobs workers
// write the point clouds and draw the pictures (Pipeline.h).  The report
// render.json is written however the run ends.
#ifndef PLMHOST_RENDER_H
#define PLMHOST_RENDER_H

#include <optional>
#include <string>

#include "scene/Scene.h"

struct RenderOptions {
  std::string outDir = "out";
  int32_t firstFrame = 0;
  int32_t lastFrame = 0;
  bool framePictures = false;  // frame_NNNN.png beside each point cloud
  bool contactSheet = true;    // preview.png (not written by simulate)
  int width = 640;             // of frame pictures; preview tiles are half
  int height = 360;
  bool quiet = false;
  int jobs = 0;                   // workers; 0: one per processor
  std::string checkpointDir;      // written here and read; empty: OUT/checkpoints
  int32_t checkpointEvery = 100;  // frames between checkpoints
  bool resume = false;            // continue after the last whole frame in OUT
  bool replayWindow = false;      // start at the first frame by the plug-in's replay
};

// Returns the exit code; prints the outcome.
int RenderScene(const Scene& theScene, const RenderOptions& theOptions);

struct DrawOptions {
  std::string folder;
  std::optional<std::pair<int32_t, int32_t>> frames;  // pictures of these frames
  bool sheet = false;                                 // preview.png over render.json's range
  std::optional<std::pair<int, int>> size;            // default: the render's
  int jobs = 0;
};

// Pictures from the point clouds of a render folder; returns the exit code.
int DrawFolder(const DrawOptions& theOptions);

// "frame_0042" and friends.
std::string FrameFileName(int32_t theFrame, const char* theExtension);

#endif
