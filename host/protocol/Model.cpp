#include "protocol/Model.h"

#include <cstring>

void ResetModel(FrameModel& theModel) {
  theModel.groups.clear();
  theModel.vertices.clear();
  theModel.facetCount = 0;
  theModel.vertexCount = 0;
}

int32_t AddModelGroup(FrameModel& theModel, const HostModelAddGroupRec& theRec) {
  theModel.groups.push_back({theRec.theGroupVertexFlags, theModel.countOnly ? 0 : theModel.vertices.size(), 0});
  return kPluginNoError;
}

int32_t AddModelVertex(FrameModel& theModel, HostModelAddVertexRec& theRec) {
  // Vertices belong to the group opened last; without one there is nowhere
  // to put them.
  if (theModel.groups.empty()) return kPluginOutOfSequence;
  if (theModel.vertexCount >= kMaxModelVertices) return kPluginMemoryError;
  ModelGroup& theGroup = theModel.groups.back();
  if (theModel.countOnly) {
    theRec.theIndex = theGroup.vertexCount++;
    ++theModel.vertexCount;
    return kPluginNoError;
  }
  // The record is packed: copy its coordinates out byte by byte.
  ModelVertex theVertex{};
  std::memcpy(&theVertex.position, &theRec.thePosition, sizeof theVertex.position);
  std::memcpy(&theVertex.blurPosition, &theRec.theBlurPosition, sizeof theVertex.blurPosition);
  theVertex.color = theRec.theColor;
  theModel.vertices.push_back(theVertex);
  ++theModel.vertexCount;
  theRec.theIndex = theGroup.vertexCount;
  ++theGroup.vertexCount;
  return kPluginNoError;
}

int32_t AddModelFacet(FrameModel& theModel, const HostModelAddFacetRec& theRec) {
  if (theModel.groups.empty()) return kPluginOutOfSequence;
  if (theRec.theNumVertices < 1 || theRec.theNumVertices > 4) return kPluginBadParameters;
  const ModelGroup& theGroup = theModel.groups.back();
  for (int i = 0; i < theRec.theNumVertices; ++i) {
    int32_t index = theRec.theVertices[i];
    if (index < 0 || index >= theGroup.vertexCount) return kPluginBadParameters;
  }
  for (int i = 0; i < theRec.theNumVertices && !theModel.countOnly; ++i) {
    ModelVertex& theVertex = theModel.vertices[theGroup.firstVertex + size_t(theRec.theVertices[i])];
    if (!theVertex.hasFacetColor) {
      theVertex.color = theRec.theColor;
      theVertex.hasFacetColor = true;
    }
  }
  ++theModel.facetCount;
  return kPluginNoError;
}
