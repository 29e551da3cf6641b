// Point clouds as binary little-endian PLY: per vertex float x y z, float
// blur_x blur_y blur_z and uchar red green blue alpha.  A model without
// vertices still gives a valid file with 0 vertices.
#ifndef PLMHOST_PLYWRITER_H
#define PLMHOST_PLYWRITER_H

#include <cstdint>
#include <string>

#include "protocol/Model.h"

// The whole file; theComment goes into the header as a comment line.
std::string PlyBytes(const FrameModel& theModel, const std::string& theComment);
void WritePly(const std::string& thePath, const FrameModel& theModel, const std::string& theComment);

// Narrowing a double that may lie beyond a float's range (which C++ leaves
// undefined) to the float IEEE rounding would give: infinity of its sign.
float NarrowToFloat(double value);

#endif
