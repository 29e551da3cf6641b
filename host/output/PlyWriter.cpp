#include "output/PlyWriter.h"

#include <cfloat>
#include <cmath>
#include <cstring>

#include "output/OutputFile.h"

float NarrowToFloat(double value) {
  // In range (the usual case) the conversion is defined and rounds.
  if (value >= -double(FLT_MAX) && value <= double(FLT_MAX)) return float(value);
  if (std::isnan(value)) return std::nanf("");
  // Values that still round to FLT_MAX keep it; the rest overflow.
  double halfUlp = std::ldexp(1.0, 103);
  if (value > 0) return value < double(FLT_MAX) + halfUlp ? FLT_MAX : HUGE_VALF;
  return value > -double(FLT_MAX) - halfUlp ? -FLT_MAX : -HUGE_VALF;
}

void PointsOfModel(const FrameModel& theModel, FramePoints* thePoints) {
  thePoints->resize(theModel.vertices.size());
  PointRecord* out = thePoints->data();
  for (const ModelVertex& v : theModel.vertices) {
    *out++ = {NarrowToFloat(v.position.x),     NarrowToFloat(v.position.y),
              NarrowToFloat(v.position.z),     NarrowToFloat(v.blurPosition.x),
              NarrowToFloat(v.blurPosition.y), NarrowToFloat(v.blurPosition.z),
              v.color.r,                       v.color.g,
              v.color.b,                       v.color.a};
  }
}

std::string PlyHeader(size_t theCount, const std::string& theComment) {
  std::string out =
      "ply\n"
      "format binary_little_endian 1.0\n";
  if (!theComment.empty()) out += "comment " + theComment + "\n";
  out += "element vertex " + std::to_string(theCount) + "\n";
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
  return out;
}

std::string PlyBytes(const FrameModel& theModel, const std::string& theComment) {
  FramePoints points;
  PointsOfModel(theModel, &points);
  std::string out = PlyHeader(points.size(), theComment);
  out.append(reinterpret_cast<const char*>(points.data()), points.size() * sizeof(PointRecord));
  return out;
}

void WritePly(const std::string& thePath, const FramePoints& thePoints, const std::string& theComment) {
  OutputFile theFile = BeginOutputFile(thePath);
  std::string header = PlyHeader(thePoints.size(), theComment);
  std::fwrite(header.data(), 1, header.size(), theFile.stream);
  if (!thePoints.empty()) std::fwrite(thePoints.data(), sizeof(PointRecord), thePoints.size(), theFile.stream);
  CommitOutputFile(theFile);
}
