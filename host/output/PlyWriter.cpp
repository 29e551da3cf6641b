#include "output/PlyWriter.h"

#include <cfloat>
#include <cmath>
#include <cstring>

#include "output/OutputFile.h"

namespace {

void PutFloat(std::string& out, double value) {
  float f = NarrowToFloat(value);
  uint32_t bits;
  std::memcpy(&bits, &f, sizeof bits);
  for (int shift = 0; shift < 32; shift += 8) out += char((bits >> shift) & 0xFF);
}

}  // namespace

float NarrowToFloat(double value) {
  if (std::isnan(value)) return std::nanf("");
  if (value > double(FLT_MAX)) {
    // Values that still round to FLT_MAX keep it; the rest overflow.
    double halfUlp = std::ldexp(1.0, 103);
    return value < double(FLT_MAX) + halfUlp ? FLT_MAX : HUGE_VALF;
  }
  if (value < -double(FLT_MAX)) {
    double halfUlp = std::ldexp(1.0, 103);
    return value > -double(FLT_MAX) - halfUlp ? -FLT_MAX : -HUGE_VALF;
  }
  return float(value);
}

std::string PlyBytes(const FrameModel& theModel, const std::string& theComment) {
  std::string out =
      "ply\n"
      "format binary_little_endian 1.0\n";
  if (!theComment.empty()) out += "comment " + theComment + "\n";
  out += "element vertex " + std::to_string(theModel.vertices.size()) + "\n";
  out +=
      "property float x\n"
      "property float y\n"
      "property float z\n"
      "property float blur_x\n"
      "property float blur_y\n"
      "property float blur_z\n"
      "property uchar red\n"
      "property uchar green\n"
      "property uchar blue\n"
      "property uchar alpha\n"
      "end_header\n";
  out.reserve(out.size() + theModel.vertices.size() * 28);
  for (const ModelVertex& v : theModel.vertices) {
    PutFloat(out, v.position.x);
    PutFloat(out, v.position.y);
    PutFloat(out, v.position.z);
    PutFloat(out, v.blurPosition.x);
    PutFloat(out, v.blurPosition.y);
    PutFloat(out, v.blurPosition.z);
    out += char(v.color.r);
    out += char(v.color.g);
    out += char(v.color.b);
    out += char(v.color.a);
  }
  return out;
}

void WritePly(const std::string& thePath, const FrameModel& theModel, const std::string& theComment) {
  WriteWholeFile(thePath, PlyBytes(theModel, theComment));
}
