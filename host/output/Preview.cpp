#include "output/Preview.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>

#include "scene/SceneMatrices.h"

namespace {

const double kNear = 1e-3;

// Working canvas in linear floats, blended "over" and quantised at the end.
struct Canvas {
  int width, height;
  std::vector<float>& rgb;
};

struct Projected {
  double x, y;  // pixels, y down
  bool visible;
};

Vec3 ToCamera(const Vec3& p, const PreviewCamera& cam) { return TransformByMatrix(p, cam.view); }

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

// floor and ceil of values known to lie well inside int's range, without
// the library call the baseline instruction set needs for std::floor.
inline int FloorInt(float x) {
  int i = int(x);
  return i - (x < float(i));
}
inline int CeilInt(float x) {
  int i = int(x);
  return i + (x > float(i));
}

// An anti-aliased line of the given width, its ends already clipped to the
// canvas: walk the major axis one pixel at a time and cover the pixels
// across it by their distance from the line.
void RasterLine(Canvas& canvas, float x0, float y0, float x1, float y1, float half, const float color[3],
                float alpha) {
  float dx = x1 - x0, dy = y1 - y0;
  float length = std::sqrt(dx * dx + dy * dy);
  if (!(length >= 1e-6f)) return;
  bool steep = std::fabs(dy) > std::fabs(dx);
  if (steep) {
    std::swap(x0, y0);
    std::swap(x1, y1);
  }
  if (x1 < x0) {
    std::swap(x0, x1);
    std::swap(y0, y1);
  }
  const float slope = (y1 - y0) / (x1 - x0 == 0 ? 1 : x1 - x0);
  const float cosine = std::max(std::fabs(x1 - x0) / length, 1e-3f);
  const float halfPlus = half + 0.5f;
  // Pixels whose centre lies within halfPlus of the line, across it.
  const float across = halfPlus / cosine;
  const bool shortLine = x1 - x0 < 1;
  const int majorLimit = steep ? canvas.height : canvas.width;
  const int minorLimit = steep ? canvas.width : canvas.height;
  const size_t majorStride = steep ? size_t(canvas.width) * 3 : 3;
  const size_t minorStride = steep ? 3 : size_t(canvas.width) * 3;
  int majorFirst = std::max(FloorInt(x0), 0), majorLast = std::min(FloorInt(x1), majorLimit - 1);
  for (int major = majorFirst; major <= majorLast; ++major) {
    float along = std::clamp(major + 0.5f, x0, x1);
    float minorLine = y0 + (along - x0) * slope;
    // Partial coverage where the segment starts or ends inside the pixel.
    float endWeight = shortLine ? 1.0f : std::clamp(std::min(x1, major + 1.0f) - std::max(x0, float(major)), 0.0f, 1.0f);
    float a = alpha * endWeight;
    if (!(a > 0)) continue;
    int m0 = std::max(CeilInt(minorLine - 0.5f - across), 0);
    int m1 = std::min(FloorInt(minorLine - 0.5f + across), minorLimit - 1);
    float* p = canvas.rgb.data() + size_t(major) * majorStride + size_t(std::max(m0, 0)) * minorStride;
    for (int minor = m0; minor <= m1; ++minor, p += minorStride) {
      // Without a branch: a pixel the line misses gets weight 0, which
      // leaves it exactly as it was.
      float distance = std::fabs(minor + 0.5f - minorLine) * cosine;
      float coverage = std::max(std::min(halfPlus - distance, 1.0f), 0.0f);
      float w = std::min(a * coverage, 1.0f);
      p[0] += (color[0] - p[0]) * w;
      p[1] += (color[1] - p[1]) * w;
      p[2] += (color[2] - p[2]) * w;
    }
  }
}

// Clips a segment in pixels to the canvas grown by the line's reach; false
// when nothing of it is left.
bool ClipLine(const Canvas& canvas, double& x0, double& y0, double& x1, double& y1, double half) {
  if (!std::isfinite(x0) || !std::isfinite(y0) || !std::isfinite(x1) || !std::isfinite(y1)) return false;
  return ClipToCanvas(x0, y0, x1, y1, canvas, half + 2);
}

void DrawLine(Canvas& canvas, double x0, double y0, double x1, double y1, double width, const float color[3],
              float alpha) {
  if (ClipLine(canvas, x0, y0, x1, y1, width * 0.5))
    RasterLine(canvas, float(x0), float(y0), float(x1), float(y1), float(width * 0.5), color, alpha);
}

// Discs of one radius, drawn from stamps: the coverage of every pixel near a
// centre placed at one of kSubpixel x kSubpixel positions inside its pixel,
// by the distance of the pixel's centre from the disc's (full within
// radius - 0.5, none beyond radius + 0.5).  Centres are rounded to those
// positions, an eighth of a pixel.
constexpr int kSubpixel = 8;

struct DiscStamps {
  struct Cover {
    int dx, dy;
    float coverage;
  };
  int reach;                     // pixels from the centre's pixel a stamp may touch
  std::vector<Cover> covers;     // every stamp's pixels, stamp after stamp
  size_t first[kSubpixel * kSubpixel + 1];

  explicit DiscStamps(float radius) {
    const float outer = radius + 0.5f;
    reach = int(std::ceil(outer)) + 1;
    for (int q = 0; q < kSubpixel * kSubpixel; ++q) {
      first[q] = covers.size();
      float cx = (q % kSubpixel + 0.5f) / kSubpixel, cy = (q / kSubpixel + 0.5f) / kSubpixel;
      for (int dy = -reach; dy <= reach; ++dy)
        for (int dx = -reach; dx <= reach; ++dx) {
          float ox = dx + 0.5f - cx, oy = dy + 0.5f - cy;
          float coverage = std::min(outer - std::sqrt(ox * ox + oy * oy), 1.0f);
          if (coverage > 0) covers.push_back({dx, dy, coverage});
        }
    }
    first[kSubpixel * kSubpixel] = covers.size();
  }

  void Draw(Canvas& canvas, float cx, float cy, const float color[3], float alpha) const {
    int ix = FloorInt(cx), iy = FloorInt(cy);
    float fx = float(ix), fy = float(iy);
    int q = std::min(int((cy - fy) * kSubpixel), kSubpixel - 1) * kSubpixel +
            std::min(int((cx - fx) * kSubpixel), kSubpixel - 1);
    const bool inside = ix - reach >= 0 && iy - reach >= 0 && ix + reach < canvas.width && iy + reach < canvas.height;
    const ptrdiff_t centre = (ptrdiff_t(iy) * canvas.width + ix) * 3;
    for (size_t k = first[q]; k < first[q + 1]; ++k) {
      const Cover& c = covers[k];
      if (!inside && (ix + c.dx < 0 || iy + c.dy < 0 || ix + c.dx >= canvas.width || iy + c.dy >= canvas.height))
        continue;
      float* p = canvas.rgb.data() + centre + (ptrdiff_t(c.dy) * canvas.width + c.dx) * 3;
      float w = std::min(alpha * c.coverage, 1.0f);
      p[0] += (color[0] - p[0]) * w;
      p[1] += (color[1] - p[1]) * w;
      p[2] += (color[2] - p[2]) * w;
    }
  }
};

// Indices of the points in front of the camera, farthest first, points of
// equal depth in file order: a stable radix sort on the depth's bits (for
// positive floats their order is the numbers' order).
struct DepthItem {
  uint32_t key;  // inverted bits of the depth, so that far sorts first
  uint32_t index;
};

void SortFarFirst(std::vector<DepthItem>& items, std::vector<DepthItem>& spare) {
  spare.resize(items.size());
  for (int shift = 0; shift < 32; shift += 8) {
    size_t counts[257] = {};
    for (const DepthItem& item : items) ++counts[((item.key >> shift) & 0xFF) + 1];
    if (counts[((items.empty() ? 0 : items[0].key) >> shift & 0xFF) + 1] == items.size()) continue;
    for (int b = 0; b < 256; ++b) counts[b + 1] += counts[b];
    for (const DepthItem& item : items) spare[counts[(item.key >> shift) & 0xFF]++] = item;
    items.swap(spare);
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

// What drawing a point needs, made in one pass in file order, so that the
// pass in depth order reads one small record per point.
struct Mark {
  float tailX, tailY, headX, headY;  // the streak, clipped; tailX NaN: none
  float discX, discY;                // the disc; discX NaN: none
  uint8_t red, green, blue, alpha;
};
}  // namespace

PreviewCamera MakePreviewCamera(const CameraSpec& theCamera, int width, int height) {
  const double kDegrees = 3.14159265358979323846 / 180.0;
  return {CameraMatrix(theCamera), height * 0.5 / std::tan(theCamera.fov * 0.5 * kDegrees), width,
          height};
}

RgbImage DrawFrame(const FramePoints& thePoints, const PreviewCamera& cam, const Matrix4& theGroupMatrix,
                   const CameraSpec& theSpec) {
  // Each thread keeps its working memory from frame to frame: fresh blocks
  // of this size would cost page faults on every frame.
  thread_local struct {
    std::vector<float> rgb;
    std::vector<Mark> marks, ordered;
    std::vector<DepthItem> items, spare;
  } scratch;
  scratch.rgb.assign(size_t(cam.width) * size_t(cam.height) * 3, 0.0f);
  Canvas canvas{cam.width, cam.height, scratch.rgb};
  DrawBackground(canvas);
  DrawGround(canvas, cam, theGroupMatrix, theSpec);
  const float radius = std::max(0.9f, float(cam.height / 240.0));
  const float none = std::nanf("");
  std::vector<Mark>& marks = scratch.marks;
  std::vector<DepthItem>& items = scratch.items;
  marks.clear();
  items.clear();
  for (const PointRecord& v : thePoints) {
    if (v.alpha == 0) continue;  // draws nothing
    Vec3 head = ToCamera(Vec3{v.x, v.y, v.z}, cam);
    float depth = float(-head[2]);
    if (!(depth > float(kNear) && depth <= FLT_MAX)) continue;
    Mark m{none, none, none, none, none, none, v.red, v.green, v.blue, v.alpha};
    Projected p = Project(head, cam);
    if (p.visible && std::fabs(p.x) < 1e7 && std::fabs(p.y) < 1e7) {
      m.discX = float(p.x);
      m.discY = float(p.y);
    }
    Vec3 tail = ToCamera(Vec3{v.blurX, v.blurY, v.blurZ}, cam);
    if (ClipNear(tail, head)) {
      Projected ph = Project(head, cam), pt = Project(tail, cam);
      double x0 = pt.x, y0 = pt.y, x1 = ph.x, y1 = ph.y;
      if (ph.visible && pt.visible && ClipLine(canvas, x0, y0, x1, y1, radius * 0.5)) {
        m.tailX = float(x0);
        m.tailY = float(y0);
        m.headX = float(x1);
        m.headY = float(y1);
      }
    }
    if (std::isnan(m.discX) && std::isnan(m.tailX)) continue;
    uint32_t bits;
    std::memcpy(&bits, &depth, sizeof bits);
    items.push_back({~bits, uint32_t(marks.size())});
    marks.push_back(m);
  }
  SortFarFirst(items, scratch.spare);
  // Gathered in drawing order first: a loop of plain copies waits for many
  // cache misses at once, the drawing loop would wait for each.
  std::vector<Mark>& ordered = scratch.ordered;
  ordered.resize(items.size());
  for (size_t k = 0; k < items.size(); ++k) ordered[k] = marks[items[k].index];

  const DiscStamps discs(radius);
  for (const Mark& m : ordered) {
    const float color[3] = {float(m.red), float(m.green), float(m.blue)};
    const float alpha = m.alpha / 255.0f;
    if (!std::isnan(m.tailX)) RasterLine(canvas, m.tailX, m.tailY, m.headX, m.headY, radius * 0.5f, color, alpha * 0.45f);
    if (!std::isnan(m.discX)) discs.Draw(canvas, m.discX, m.discY, color, alpha);
  }

  RgbImage theImage = MakeImage(cam.width, cam.height);
  for (size_t i = 0; i < canvas.rgb.size(); ++i)
    theImage.pixels[i] = uint8_t(std::clamp(canvas.rgb[i], 0.0f, 255.0f) + 0.5f);
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
