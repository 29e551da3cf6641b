// "GENM": the spiral's formula and the geometry handed to the host.
//
// Point i of n (f = i / (n - 1), or 0 for a single point) lies on arm
// i mod arms, at
//   turn  = turns * f + (i mod arms) / arms + frac(spin * time)
//   x = radius * f * cos(2 pi turn),  y = height * f,  z = radius * f * sin(2 pi turn)
// and is coloured from innerColor (f = 0) to outerColor (f = 1).  Its blur
// position is where it was one frame earlier, through the blur matrix.
#include <cmath>

#include "Spiral.h"
#include "host/PluginClient.h"
#include "math/PointTransform.h"
#include "text/PString.h"

namespace {

constexpr double kTwoPi = 6.283185307179586;
// Points between two looks at the host's progress throttle: a few
// microseconds of work, so Cancel is answered at once even for a million
// points.
constexpr int32_t kStatusStride = 256;

double Fraction(const SpiralSettingsRec& s, int32_t index) {
  return s.pointCount > 1 ? double(index) / double(s.pointCount - 1) : 0.0;
}

// The kit's callbacks, each made only while the error latch (`result`) is
// clear: after the host refuses one, we stay silent until the next reset.
void AddGroup(uint32_t theVertexFlags) {
  if (result != 0) return;
  HostModelAddGroupRec theGroup;
  theGroup.theReference = hostReference;
  theGroup.theGroupTemplate = nullptr;
  theGroup.theGroupVertexFlags = theVertexFlags;
  theGroup.theGroup = nullptr;
  result = CallPluginRoutine(kHostAddGroup, int32_t(sizeof theGroup), &theGroup, hostProc);
}

int32_t AddVertex(const DCoordinate& position, const DCoordinate& blur, ARGB color) {
  if (result != 0) return 0;
  HostModelAddVertexRec theVertex;
  theVertex.theReference = hostReference;
  theVertex.thePosition = position;
  theVertex.theColor = color;
  theVertex.theNormal = DCoordinate{0.0, 0.0, 0.0};
  theVertex.theBlurPosition = blur;
  theVertex.theTexturePosition = position;
  theVertex.theIndex = 0;  // the host's answer
  result = CallPluginRoutine(kHostAddVertex, int32_t(sizeof theVertex), &theVertex, hostProc);
  return theVertex.theIndex;
}

void AddPointFacet(int32_t vertex, ARGB color) {
  if (result != 0) return;
  HostModelAddFacetRec theFacet;
  theFacet.theReference = hostReference;
  theFacet.theColor = color;
  theFacet.theNumVertices = 1;
  theFacet.theVertices[0] = vertex;
  theFacet.theVertices[1] = theFacet.theVertices[2] = theFacet.theVertices[3] = 0;
  result = CallPluginRoutine(kHostAddFacet, int32_t(sizeof theFacet), &theFacet, hostProc);
}

// A point of the frame, worked out before it is handed over.  Scratch
// memory only, never exchanged with the host: natural alignment.
struct PointRec {
  DCoordinate position, blur;
  ARGB color;
};

// A look at the host's throttle every kStatusStride units of work.
void OfferStatus(int32_t done) {
  if (done % kStatusStride == 0 && StatusTime())
    UpdateStatus(float(done) / float(theStatusRec.theStatusMax), done);
}

DCoordinate Placed(DCoordinate p, const Matrix4& m) {
  TransformPoint(&p.x, &p.y, &p.z, &m);
  return p;
}

}  // namespace

DCoordinate SpiralPoint(const SpiralSettingsRec& s, int32_t index, double time) {
  double f = Fraction(s, index);
  // Only the fraction of a turn matters; taking it first keeps the angle
  // exact for any time, and a product too large to hold counts as none.
  double spinTurns = s.spin * time;
  spinTurns = std::isfinite(spinTurns) ? spinTurns - std::floor(spinTurns) : 0.0;
  double turn = s.turns * f + double(index % s.arms) / double(s.arms) + spinTurns;
  double r = s.radius * f;
  return DCoordinate{r * std::cos(kTwoPi * turn), s.height * f, r * std::sin(kTwoPi * turn)};
}

ARGB SpiralColor(const SpiralSettingsRec& s, int32_t index) {
  double f = Fraction(s, index);
  auto mix = [f](uint8_t inner, uint8_t outer) {
    return uint8_t(std::lround(inner + (double(outer) - double(inner)) * f));
  };
  const ARGB &in = s.innerColor, &out = s.outerColor;
  return MakeARGB(mix(in.a, out.a), mix(in.r, out.r), mix(in.g, out.g), mix(in.b, out.b));
}

int32_t OutputSpiral(const PluginInfoRec& theInfo, uint32_t theVertexFlags) {
  if (result != 0) return result;  // refused since the last reset
  const auto& s = *static_cast<const SpiralSettingsRec*>(theInfo.theControlData);
  const auto& w = *static_cast<const SpiralWorkRec*>(theInfo.thePluginData);
  const int32_t n = s.pointCount;
  hostProc = theInfo.theHostProc;
  hostReference = theInfo.theHostReference;

  // A first report, then more whenever the host's throttle allows; the host
  // answers 4 to cancel, which the latch turns into the end of the frame.
  // The work is counted in points, twice: worked out, then handed over.
  theStatusRec.theReference = hostReference;
  PStrCpy(theStatusRec.theStatusUnit, PS("Point"));
  PStrCpy(theStatusRec.theStatusInfo, PS("Building the spiral"));
  theStatusRec.theStatusMin = 0;
  theStatusRec.theStatusMax = 2 * n;
  theStatusRec.theStatusTick = 0;
  UpdateStatus(0.0f, 0);
  if (result != 0) return result;

  // Scratch memory for the frame's points, from the host ("MMAL").  Memory
  // calls keep their own result, outside the latch, so the block goes back
  // ("MFRE") however the frame ends.
  int32_t memoryResult = 0;
  void* block = nullptr;
  QVPluginMalloc(&theInfo, &memoryResult, uint32_t(n) * uint32_t(sizeof(PointRec)), &block);
  if (memoryResult != kPluginNoError) return memoryResult;
  if (block == nullptr) return kPluginMemoryError;  // "success" without a block
  auto* points = static_cast<PointRec*>(block);

  const double before = w.frameTime - w.frameTimeDelta;
  for (int32_t i = 0; i < n && result == 0; ++i) {
    OfferStatus(i);
    points[i].position = Placed(SpiralPoint(s, i, w.frameTime), w.groupMatrix);
    points[i].blur = Placed(SpiralPoint(s, i, before), w.blurMatrix);
    points[i].color = SpiralColor(s, i);
  }
  AddGroup(theVertexFlags);
  for (int32_t i = 0; i < n && result == 0; ++i) {
    OfferStatus(n + i);
    AddPointFacet(AddVertex(points[i].position, points[i].blur, points[i].color), points[i].color);
  }
  UpdateStatus(1.0f, 2 * n);
  // A refused release leaves the block to the host; the frame is whole.
  QVPluginFree(&theInfo, &memoryResult, block);
  return result;
}
