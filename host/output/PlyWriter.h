// Point clouds as binary little-endian PLY: per vertex float x y z, float
// blur_x blur_y blur_z and uchar red green blue alpha.  A model without
// vertices still gives a valid file with 0 vertices.
//
// A frame travels from the plug-in to the files as FramePoints: the
// vertices already narrowed to the file's floats, so that a picture drawn
// while rendering and one drawn later from the PLY file are the same.
#ifndef PLMHOST_PLYWRITER_H
#define PLMHOST_PLYWRITER_H

#include <cstdint>
#include <string>
#include <vector>

#include "protocol/Model.h"

// One vertex exactly as the file stores it (the host is little-endian).
struct PointRecord {
  float x, y, z;
  float blurX, blurY, blurZ;
  uint8_t red, green, blue, alpha;
};
static_assert(sizeof(PointRecord) == 28, "one vertex of the file, unpadded");
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "PLY bodies are copied as they lie in memory");

typedef std::vector<PointRecord> FramePoints;

// The model's vertices with the facet colours, narrowed as the file has them.
void PointsOfModel(const FrameModel& theModel, FramePoints* thePoints);

// The header for theCount vertices; theComment becomes a comment line.
std::string PlyHeader(size_t theCount, const std::string& theComment);
// The whole file.
std::string PlyBytes(const FrameModel& theModel, const std::string& theComment);
void WritePly(const std::string& thePath, const FramePoints& thePoints, const std::string& theComment);

// Narrowing a double that may lie beyond a float's range (which C++ leaves
// undefined) to the float IEEE rounding would give: infinity of its sign.
float NarrowToFloat(double value);

#endif
