// Pictures of a frame's model: the particles seen through the scene camera
// as small discs with motion streaks from blur position to position, in their
// colours, on a dark background with the ground plane (y = 0 of the group)
// drawn as a faint grid; and the contact sheet of nine frames.
#ifndef PLMHOST_PREVIEW_H
#define PLMHOST_PREVIEW_H

#include <cstdint>
#include <vector>

#include "output/PlyWriter.h"
#include "output/PngWriter.h"
#include "scene/Scene.h"

struct PreviewCamera {
  Matrix4 view;      // world to camera
  double focal;      // pixels per unit at depth 1
  int width, height;
};

PreviewCamera MakePreviewCamera(const CameraSpec& theCamera, int width, int height);

RgbImage DrawFrame(const FramePoints& thePoints, const PreviewCamera& theCamera,
                   const Matrix4& theGroupMatrix, const CameraSpec& theSpec);

// Up to nine distinct frames spread evenly over first..last, both included.
std::vector<int32_t> ContactSheetFrames(int32_t first, int32_t last);
// A 3 x 3 sheet of tiles; tile k goes to row k / 3, column k % 3.
RgbImage MakeContactSheet(int tileWidth, int tileHeight);
void PlaceTile(RgbImage& theSheet, const RgbImage& theTile, int k);

#endif
