#include "output/Preview.h"

#include <algorithm>
#include <cmath>

#include "scene/SceneMatrices.h"

namespace {

const double kNear = 1e-3;

// Working canvas in linear floats, blended "over" and quantised at the end.
struct Canvas {
  int width, height;
  std::vector<float> rgb;

  void Blend(int x, int y, const float color[3], double alpha) {
    if (x < 0 || y < 0 || x >= width || y >= height || !(alpha > 0)) return;
    float a = float(std::min(alpha, 1.0));
    float* p = &rgb[(size_t(y) * size_t(width) + size_t(x)) * 3];
    for (int c = 0; c < 3; ++c) p[c] += (color[c] - p[c]) * a;
  }
};

struct Projected {
  double x, y;  // pixels, y down
  bool visible;
};

Vec3 ToCamera(const DCoordinate& p, const PreviewCamera& cam) {
  return TransformByMatrix(Vec3{p.x, p.y, p.z}, cam.view);
}

Projected Project(const Vec3& c, const PreviewCamera& cam) {
  double depth = -c[2];
  if (!(depth > kNear) || !std::isfinite(c[0]) || !std::isfinite(c[1])) return {0, 0, false};
  return {cam.width * 0.5 + c[0] / depth * cam.focal, cam.height * 0.5 - c[1] / depth * cam.focal,
          true};
}

// Clips a camera-space segment to the part in front of the near plane.
bool ClipNear(Vec3& a, Vec3& b) {
  double da = -a[2] - 2 * kNear, db = -b[2] - 2 * kNear;
  if (da <= 0 && db <= 0) return false;
  if (da < 0 || db < 0) {
    double t = da / (da - db);
    Vec3 m{a[0] + (b[0] - a[0]) * t, a[1] + (b[1] - a[1]) * t, a[2] + (b[2] - a[2]) * t};
    (da < 0 ? a : b) = m;
  }
  return true;
}

// Liang-Barsky against the canvas grown by margin; false when nothing is left.
bool ClipToCanvas(double& x0, double& y0, double& x1, double& y1, const Canvas& canvas, double margin) {
  double t0 = 0, t1 = 1, dx = x1 - x0, dy = y1 - y0;
  const double p[4] = {-dx, dx, -dy, dy};
  const double q[4] = {x0 + margin, canvas.width + margin - x0, y0 + margin, canvas.height + margin - y0};
  for (int i = 0; i < 4; ++i) {
    if (p[i] == 0) {
      if (q[i] < 0) return false;
      continue;
    }
    double t = q[i] / p[i];
    if (p[i] < 0) t0 = std::max(t0, t);
    else t1 = std::min(t1, t);
    if (t0 > t1) return false;
  }
  double ax = x0 + dx * t0, ay = y0 + dy * t0;
  x1 = x0 + dx * t1;
  y1 = y0 + dy * t1;
  x0 = ax;
  y0 = ay;
  return true;
}

// An anti-aliased line of the given width: walk the major axis one pixel at
// a time and cover the pixels across it by their distance from the line.
void DrawLine(Canvas& canvas, double x0, double y0, double x1, double y1, double width,
              const float color[3], double alpha) {
  if (!std::isfinite(x0) || !std::isfinite(y0) || !std::isfinite(x1) || !std::isfinite(y1)) return;
  double half = width * 0.5;
  if (!ClipToCanvas(x0, y0, x1, y1, canvas, half + 2)) return;
  double dx = x1 - x0, dy = y1 - y0;
  double length = std::hypot(dx, dy);
  if (length < 1e-9) return;
  bool steep = std::fabs(dy) > std::fabs(dx);
  if (steep) {
    std::swap(x0, y0);
    std::swap(x1, y1);
    std::swap(dx, dy);
  }
  if (x1 < x0) {
    std::swap(x0, x1);
    std::swap(y0, y1);
  }
  double slope = (y1 - y0) / (x1 - x0 == 0 ? 1 : x1 - x0);
  double cosine = std::fabs(x1 - x0) / length;
  int reach = int(std::ceil(half / std::max(cosine, 1e-3))) + 1;
  for (int major = int(std::floor(x0)); major <= int(std::floor(x1)); ++major) {
    double center = major + 0.5;
    double along = std::clamp(center, x0, x1);
    double minorLine = y0 + (along - x0) * slope;
    // Partial coverage where the segment starts or ends inside the pixel.
    double span = std::min(x1, major + 1.0) - std::max(x0, double(major));
    double endWeight = std::clamp(span, 0.0, 1.0);
    if (x1 - x0 < 1) endWeight = 1;
    int m0 = int(std::floor(minorLine)) - reach, m1 = int(std::floor(minorLine)) + reach;
    for (int minor = m0; minor <= m1; ++minor) {
      double distance = std::fabs(minor + 0.5 - minorLine) * cosine;
      double coverage = std::clamp(half + 0.5 - distance, 0.0, 1.0) * endWeight;
      if (coverage <= 0) continue;
      if (steep) canvas.Blend(minor, major, color, alpha * coverage);
      else canvas.Blend(major, minor, color, alpha * coverage);
    }
  }
}

void DrawDisc(Canvas& canvas, double cx, double cy, double radius, const float color[3], double alpha) {
  if (cx < -radius - 2 || cy < -radius - 2 || cx > canvas.width + radius + 2 ||
      cy > canvas.height + radius + 2)
    return;
  int x0 = int(std::floor(cx - radius - 1)), x1 = int(std::ceil(cx + radius + 1));
  int y0 = int(std::floor(cy - radius - 1)), y1 = int(std::ceil(cy + radius + 1));
  for (int y = y0; y <= y1; ++y)
    for (int x = x0; x <= x1; ++x) {
      double d = std::hypot(x + 0.5 - cx, y + 0.5 - cy);
      double coverage = std::clamp(radius + 0.5 - d, 0.0, 1.0);
      if (coverage > 0) canvas.Blend(x, y, color, alpha * coverage);
    }
}

void DrawBackground(Canvas& canvas) {
  for (int y = 0; y < canvas.height; ++y) {
    double t = canvas.height > 1 ? double(y) / (canvas.height - 1) : 0;
    const float row[3] = {float(10 + 12 * t), float(12 + 12 * t), float(20 + 14 * t)};
    for (int x = 0; x < canvas.width; ++x)
      for (int c = 0; c < 3; ++c) canvas.rgb[(size_t(y) * size_t(canvas.width) + size_t(x)) * 3 + size_t(c)] = row[c];
  }
}

// A step of 1, 2 or 5 times a power of ten near a twelfth of the viewing
// distance.
double GridStep(const CameraSpec& theSpec) {
  const Vec3& a = theSpec.position;
  const Vec3& b = theSpec.target;
  double distance = std::sqrt((a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1]) +
                              (a[2] - b[2]) * (a[2] - b[2]));
  double raw = distance / 12;
  double power = std::pow(10.0, std::floor(std::log10(raw)));
  for (double f : {1.0, 2.0, 5.0})
    if (f * power >= raw) return f * power;
  return 10 * power;
}

void DrawGround(Canvas& canvas, const PreviewCamera& cam, const Matrix4& theGroupMatrix,
                const CameraSpec& theSpec) {
  const int kLines = 10;
  double step = GridStep(theSpec);
  double extent = step * kLines;
  const float color[3] = {70, 80, 105};
  for (int axis = 0; axis < 2; ++axis)
    for (int k = -kLines; k <= kLines; ++k) {
      double offset = k * step;
      Vec3 a = axis == 0 ? Vec3{offset, 0, -extent} : Vec3{-extent, 0, offset};
      Vec3 b = axis == 0 ? Vec3{offset, 0, extent} : Vec3{extent, 0, offset};
      Vec3 ca = TransformByMatrix(TransformByMatrix(a, theGroupMatrix), cam.view);
      Vec3 cb = TransformByMatrix(TransformByMatrix(b, theGroupMatrix), cam.view);
      if (!ClipNear(ca, cb)) continue;
      Projected pa = Project(ca, cam), pb = Project(cb, cam);
      if (!pa.visible || !pb.visible) continue;
      DrawLine(canvas, pa.x, pa.y, pb.x, pb.y, 1.0, color, k == 0 ? 0.5 : 0.25);
    }
}

}  // namespace

PreviewCamera MakePreviewCamera(const CameraSpec& theCamera, int width, int height) {
  const double kDegrees = 3.14159265358979323846 / 180.0;
  return {CameraMatrix(theCamera), height * 0.5 / std::tan(theCamera.fov * 0.5 * kDegrees), width,
          height};
}

RgbImage DrawFrame(const FrameModel& theModel, const PreviewCamera& cam, const Matrix4& theGroupMatrix,
                   const CameraSpec& theSpec) {
  Canvas canvas{cam.width, cam.height, std::vector<float>(size_t(cam.width) * size_t(cam.height) * 3)};
  DrawBackground(canvas);
  DrawGround(canvas, cam, theGroupMatrix, theSpec);

  struct Item {
    size_t vertex;
    double depth;
  };
  std::vector<Item> items;
  items.reserve(theModel.vertices.size());
  for (size_t i = 0; i < theModel.vertices.size(); ++i) {
    double depth = -ToCamera(theModel.vertices[i].position, cam)[2];
    if (depth > kNear) items.push_back({i, depth});
  }
  // Far ones first, so near ones are drawn over them.
  std::stable_sort(items.begin(), items.end(), [](const Item& a, const Item& b) { return a.depth > b.depth; });

  double radius = std::max(0.9, cam.height / 240.0);
  for (const Item& item : items) {
    const ModelVertex& v = theModel.vertices[item.vertex];
    const float color[3] = {float(v.color.r), float(v.color.g), float(v.color.b)};
    double alpha = v.color.a / 255.0;
    Vec3 head = ToCamera(v.position, cam), tail = ToCamera(v.blurPosition, cam);
    if (ClipNear(tail, head)) {
      Projected ph = Project(head, cam), pt = Project(tail, cam);
      if (ph.visible && pt.visible) DrawLine(canvas, pt.x, pt.y, ph.x, ph.y, radius, color, alpha * 0.45);
    }
    Projected p = Project(ToCamera(v.position, cam), cam);
    if (p.visible) DrawDisc(canvas, p.x, p.y, radius, color, alpha);
  }

  RgbImage theImage = MakeImage(cam.width, cam.height);
  for (size_t i = 0; i < canvas.rgb.size(); ++i)
    theImage.pixels[i] = uint8_t(std::clamp(std::lround(canvas.rgb[i]), 0L, 255L));
  return theImage;
}

std::vector<int32_t> ContactSheetFrames(int32_t first, int32_t last) {
  std::vector<int32_t> frames;
  int64_t span = int64_t(last) - first;
  for (int k = 0; k < 9; ++k) {
    int32_t f = int32_t(first + span * k / 8);
    if (frames.empty() || frames.back() != f) frames.push_back(f);
  }
  return frames;
}

RgbImage MakeContactSheet(int tileWidth, int tileHeight) {
  RgbImage theSheet = MakeImage(tileWidth * 3, tileHeight * 3);
  for (size_t i = 0; i < theSheet.pixels.size(); i += 3) {
    theSheet.pixels[i] = 6;
    theSheet.pixels[i + 1] = 7;
    theSheet.pixels[i + 2] = 12;
  }
  return theSheet;
}

void PlaceTile(RgbImage& theSheet, const RgbImage& theTile, int k) {
  int tileWidth = theSheet.width / 3, tileHeight = theSheet.height / 3;
  int x0 = (k % 3) * tileWidth, y0 = (k / 3) * tileHeight;
  // One pixel of the sheet's own colour between tiles.
  for (int y = 0; y + 1 < tileHeight && y < theTile.height; ++y)
    for (int x = 0; x + 1 < tileWidth && x < theTile.width; ++x)
      for (int c = 0; c < 3; ++c)
        theSheet.pixels[(size_t(y0 + y) * size_t(theSheet.width) + size_t(x0 + x)) * 3 + size_t(c)] =
            theTile.pixels[(size_t(y) * size_t(theTile.width) + size_t(x)) * 3 + size_t(c)];
}
