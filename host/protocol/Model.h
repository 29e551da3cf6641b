// The model a plug-in builds for one frame through "ADDG", "ADDV" and
// "ADDF": groups of vertices, each vertex with its blur position and the
// colour of the first facet that names it.
#ifndef PLMHOST_MODEL_H
#define PLMHOST_MODEL_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "host/PluginRecords.h"

struct ModelVertex {
  DCoordinate position;
  DCoordinate blurPosition;
  ARGB color;          // the vertex's own colour until a facet names it
  bool hasFacetColor;  // set by the first facet that names the vertex
};

struct ModelGroup {
  uint32_t vertexFlags;
  size_t firstVertex;  // index into FrameModel::vertices
  int32_t vertexCount;
};

struct FrameModel {
  std::vector<ModelGroup> groups;
  std::vector<ModelVertex> vertices;
  size_t facetCount = 0;
  // Counting only: every call is checked and answered exactly as when the
  // vertices are kept (so the plug-in cannot tell), but none is stored.
  // For frames that are run only to reach a later one.
  bool countOnly = false;
  size_t vertexCount = 0;  // of all groups, kept or not
};

// A frame may hold at most this many vertices; beyond it "ADDV" answers 1.
constexpr size_t kMaxModelVertices = size_t(1) << 26;

void ResetModel(FrameModel& theModel);
// Each returns a result code of the protocol.
int32_t AddModelGroup(FrameModel& theModel, const HostModelAddGroupRec& theRec);
// On success theRec.theIndex holds the vertex's index within its group.
int32_t AddModelVertex(FrameModel& theModel, HostModelAddVertexRec& theRec);
int32_t AddModelFacet(FrameModel& theModel, const HostModelAddFacetRec& theRec);

#endif
