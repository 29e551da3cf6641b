// A model plug-in that misbehaves on purpose, to show that plmhost answers
// with the right codes and survives.  PLMHOST_FAKE_MODE picks the behaviour;
// every callback answer is printed to standard error as "fake: WHAT -> CODE"
// so that the tests can read what the host said.
#include <signal.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "host/PluginClient.h"
#include "host/PluginRecords.h"

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

struct Call {
  PluginInfoRec* info;
  int32_t first = 0;  // first non-zero answer

  int32_t Send(const char* what, IFFType selector, int32_t size, void* record) {
    int32_t answer = info->theHostProc(selector, size, record);
    std::fprintf(stderr, "fake: %s -> %d\n", what, int(answer));
    if (first == 0) first = answer;
    return answer;
  }
};

std::string Mode() {
  const char* mode = std::getenv("PLMHOST_FAKE_MODE");
  return mode ? mode : "";
}

int32_t Allocate(Call& call, const char* what, void* control, int32_t controlSize, void* data,
                 int32_t dataSize) {
  HostAllocateRec rec{call.info->theHostReference, control, controlSize, data, dataSize};
  int32_t answer = call.Send(what, kHostAllocate, int32_t(sizeof rec), &rec);
  call.info->theControlData = rec.theControlData;
  call.info->theControlDataSize = rec.theControlDataSize;
  call.info->thePluginData = rec.thePluginData;
  call.info->thePluginDataSize = rec.thePluginDataSize;
  return answer;
}

int32_t Initialize(PluginInfoRec& info) {
  Call call{&info};
  if (Mode() == "initfail") return kPluginResourceError;
  if (Mode() == "aloc") {
    static char foreign[16];
    Allocate(call, "ALOC negative", info.theControlData, -1, info.thePluginData, 64);
    Allocate(call, "ALOC huge", info.theControlData, 16, info.thePluginData, INT32_MAX);
    Allocate(call, "ALOC foreign", foreign, 16, info.thePluginData, 64);
    // The refusals leave the records as they were: the stored settings.
    std::fprintf(stderr, "fake: after refusals size %d\n", int(info.theControlDataSize));
    if (Allocate(call, "ALOC grow", info.theControlData, info.theControlDataSize + 8,
                 info.thePluginData, 64) == 0) {
      const auto* bytes = static_cast<const uint8_t*>(info.theControlData);
      bool kept = true, zeroed = true;
      for (int32_t i = 0; i < info.theControlDataSize - 8; ++i) kept = kept && bytes[i] == uint8_t(0xA0 + i);
      for (int32_t i = info.theControlDataSize - 8; i < info.theControlDataSize; ++i)
        zeroed = zeroed && bytes[i] == 0;
      std::fprintf(stderr, "fake: grown kept %d zeroed %d\n", int(kept), int(zeroed));
    }
    Allocate(call, "ALOC shrink", info.theControlData, 4, info.thePluginData, 0);
    return 0;
  }
  // A 16-byte settings record 0xA0, 0xA1, ... and a 64-byte working block.
  if (Allocate(call, "ALOC", info.theControlData, 16, info.thePluginData, 64) != 0) return call.first;
  auto* bytes = static_cast<uint8_t*>(info.theControlData);
  for (int i = 0; i < 16; ++i) bytes[i] = uint8_t(0xA0 + i);
  return 0;
}

HostModelAddFacetRec Facet(void* reference, int16_t count, int32_t v0, int32_t v1 = 0) {
  HostModelAddFacetRec rec{};
  rec.theReference = reference;
  rec.theColor.a = 255;
  rec.theNumVertices = count;
  rec.theVertices[0] = v0;
  rec.theVertices[1] = v1;
  return rec;
}

// Three points: vertex k at (k, 2k, -k) with blur position (k, 2k - 1, -k),
// facet colour a = 255 - k, r = 10k, g = 20, b = 30.
void AddPoints(Call& call, void* reference) {
  HostModelAddGroupRec group{reference, nullptr, 0, nullptr};
  call.Send("ADDG", kHostAddGroup, int32_t(sizeof group), &group);
  for (int k = 0; k < 3; ++k) {
    HostModelAddVertexRec vertex{};
    vertex.theReference = reference;
    vertex.thePosition = {double(k), 2.0 * k, -double(k)};
    vertex.theBlurPosition = {double(k), 2.0 * k - 1, -double(k)};
    vertex.theColor.colorValue = 0xFFFFFFFF;
    call.Send("ADDV", kHostAddVertex, int32_t(sizeof vertex), &vertex);
    HostModelAddFacetRec facet = Facet(reference, 1, vertex.theIndex);
    facet.theColor = {};
    facet.theColor.a = uint8_t(255 - k);
    facet.theColor.r = uint8_t(10 * k);
    facet.theColor.g = 20;
    facet.theColor.b = 30;
    call.Send("ADDF", kHostAddFacet, int32_t(sizeof facet), &facet);
  }
}

int32_t Generate(PluginModelGenerateRec& command, int32_t frame) {
  PluginInfoRec& info = command.theInfo;
  Call call{&info};
  void* ref = info.theHostReference;
  std::string mode = Mode();
  if (mode == "badfacet") {
    HostModelAddVertexRec early{};
    early.theReference = ref;
    call.Send("ADDV before ADDG", kHostAddVertex, int32_t(sizeof early), &early);
    call.first = 0;
    AddPoints(call, ref);
    HostModelAddFacetRec facets[] = {Facet(ref, 0, 0), Facet(ref, 5, 0), Facet(ref, 1, 3),
                                     Facet(ref, 2, 0, -1), Facet(ref, 2, 0, 2)};
    const char* names[] = {"ADDF 0 vertices", "ADDF 5 vertices", "ADDF vertex 3 of 3",
                           "ADDF vertex -1", "ADDF 2 good vertices"};
    for (int i = 0; i < 5; ++i) call.Send(names[i], kHostAddFacet, int32_t(sizeof facets[i]), &facets[i]);
    return 0;  // latched, as a real plug-in would
  }
  if (mode == "selector") {
    HostModelResetRec rec{ref};
    call.Send("XXXX", MakeIFF("XXXX"), int32_t(sizeof rec), &rec);
    HostStatusRec status{};
    status.theReference = ref;
    call.Send("STAT short", kHostStatus, 10, &status);
    HostModelResetRec stranger{&status};
    call.Send("RSET stranger", kHostModelReset, int32_t(sizeof stranger), &stranger);
    return call.first;
  }
  if (mode == "memory") {
    HostMemMallocRec block{ref, 100, nullptr};
    call.Send("MMAL 100", kHostMemMalloc, int32_t(sizeof block), &block);
    HostMemMallocRec kept{ref, 10, nullptr};
    call.Send("MMAL kept", kHostMemMalloc, int32_t(sizeof kept), &kept);
    HostMemMallocRec huge{ref, 0xFFFFFFFFu, nullptr};
    call.Send("MMAL huge", kHostMemMalloc, int32_t(sizeof huge), &huge);
    HostMemFreeRec release{ref, block.thePtr};
    call.Send("MFRE", kHostMemFree, int32_t(sizeof release), &release);
    call.Send("MFRE again", kHostMemFree, int32_t(sizeof release), &release);
    int local = 0;
    HostMemFreeRec wild{ref, &local};
    call.Send("MFRE unknown", kHostMemFree, int32_t(sizeof wild), &wild);
    return 0;  // "kept" stays allocated: the host frees it at the end
  }
  if (mode == "head") {
    static char mine[16];
    info.theControlData = mine;
    return 0;
  }
  if (mode == "cancel" && frame == 2) raise(SIGINT);
  HostStatusRec status{};
  status.theReference = ref;
  CopyStr(status.theStatusUnit, "Point");
  CopyStr(status.theStatusInfo, "Placing Points");
  status.theStatusMax = 3;
  call.Send("STAT", kHostStatus, int32_t(sizeof status), &status);
  if (call.first != 0) return 0;  // latched
  AddPoints(call, ref);
  return 0;
}

int32_t lastFrame = 0;

}  // namespace

FAKE_EXPORT int32_t Main(IFFType command, int32_t size, void* record) {
  auto* info = static_cast<PluginInfoRec*>(record);
  switch (command) {
    case kCmdInitialize: return Initialize(*info);
    case kCmdInformation: {
      auto* rec = static_cast<PluginInformationRec*>(record);
      rec->thePluginType = MakeIFF("FAKE");
      rec->thePluginVersion = 7;
      CopyStr(rec->thePluginName, "Fake \245 Points");  // Mac OS Roman bullet
      return 0;
    }
    case kCmdDescribe: {
      auto* rec = static_cast<PluginDescribeRec*>(record);
      DescribePluginError(rec->theResult, rec->theDescription);
      return 0;
    }
    case kCmdCheck:
      return static_cast<PluginCheckRec*>(record)->theCommand == kCmdGenerate ? 0 : 3;
    case kCmdSetup: {
      const auto& setup = *static_cast<PluginModelSetupRec*>(record);
      lastFrame = setup.theFrameIndex;
      // The matrices sit at even offsets only: copy them out.
      Matrix4 g, b;
      const char* bytes = static_cast<const char*>(record);
      std::memcpy(&g, bytes + offsetof(PluginModelSetupRec, theGroupMatrix), sizeof g);
      std::memcpy(&b, bytes + offsetof(PluginModelSetupRec, theGroupBlurMatrix), sizeof b);
      std::fprintf(stderr, "fake: SETM frame %d time %g step %g group %g %g %g blur %g %g %g\n",
                   int(setup.theFrameIndex), setup.theFrameTime, setup.theFrameTimeDelta, g.m.m30,
                   g.m.m31, g.m.m32, b.m.m30, b.m.m31, b.m.m32);
      return 0;
    }
    case kCmdGenerate:
      return Generate(*static_cast<PluginModelGenerateRec*>(record), lastFrame);
    case kCmdFinish: return 0;
    default: (void)size; return kPluginUnsupportedCommand;
  }
}
