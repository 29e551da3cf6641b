// Geometry output: one group, and per live particle (newest first) one
// vertex with its blur position and one single-vertex facet in the colour of
// its energy.
#include "Particle.h"
#include "ParticleEngine.h"
#include "host/PluginClient.h"
#include "math/PointTransform.h"
#include "text/RoundUtils.h"

namespace {

constexpr uint32_t kGroupFlagMask = 0x5FFFFFFF;  // bits 31 and 29 are not the group's

}  // namespace

void AddGroup(void* groupReference, uint32_t groupVertexFlags) {
  if (result != 0) return;
  HostModelAddGroupRec theGroup;
  theGroup.theReference = hostReference;
  theGroup.theGroupTemplate = groupReference;
  theGroup.theGroupVertexFlags = groupVertexFlags;
  theGroup.theGroup = nullptr;
  result = CallPluginRoutine(kHostAddGroup, int32_t(sizeof theGroup), &theGroup, hostProc);
}

int32_t AddBlurVertex(double xp, double yp, double zp, double xb, double yb, double zb) {
  if (result != 0) return 0;
  TransformPoint(&xp, &yp, &zp, &theData->theMatrix);
  TransformPoint(&xb, &yb, &zb, &theData->theBlurMatrix);
  HostModelAddVertexRec theVertex;
  theVertex.theReference = hostReference;
  theVertex.thePosition = DCoordinate{xp, yp, zp};
  theVertex.theColor.colorValue = 0xFFFFFFFFu;
  theVertex.theNormal = DCoordinate{0.0, 0.0, 0.0};
  theVertex.theBlurPosition = DCoordinate{xb, yb, zb};
  theVertex.theTexturePosition = theVertex.thePosition;
  theVertex.theIndex = 0;  // the host's answer
  result = CallPluginRoutine(kHostAddVertex, int32_t(sizeof theVertex), &theVertex, hostProc);
  return result == 0 ? theVertex.theIndex : 0;
}

void AddFacet(ARGB color, int16_t numVertices, int32_t v0, int32_t v1, int32_t v2,
              int32_t v3) {
  if (result != 0) return;
  HostModelAddFacetRec theFacet;
  theFacet.theReference = hostReference;
  theFacet.theColor = color;
  theFacet.theNumVertices = numVertices;
  theFacet.theVertices[0] = v0;
  theFacet.theVertices[1] = v1;
  theFacet.theVertices[2] = v2;
  theFacet.theVertices[3] = v3;
  result = CallPluginRoutine(kHostAddFacet, int32_t(sizeof theFacet), &theFacet, hostProc);
}

void OutputParticles() {
  const ControlDataRec& c = *theControl;
  int32_t total = c.particleCount;
  if (total < 1 || result != 0) return;
  BeginStatus("Particle", "Creating Particles", total);
  AddGroup(nullptr, theData->vertexFlags & kGroupFlagMask);

  // Aging left the list checked; the walk still never goes past its count.
  int32_t k = 1;
  for (int32_t index = c.firstActive;
       k <= total && ValidParticleIndex(theControl, index) && result == 0; k++) {
    const ParticleRec& p = *FindParticle(index);
    if (StatusCheckDue() && StatusTime()) UpdateStatus(float(double(k) / total), k);
    int32_t vertex = AddBlurVertex(p.xPos, p.yPos, p.zPos, p.xOld, p.yOld, p.zOld);
    AddFacet(p.color, 1, vertex, 0, 0, 0);
    index = p.link;
  }
  UpdateStatus(1.0f, total);
}
