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

// A 16-byte settings record 0xA0, 0xA1, ... and a 64-byte working block.
int32_t Initialize(PluginInfoRec& info) {
  Call call{&info};
  if (Mode() == "initfail") return kPluginResourceError;
  HostAllocateRec rec{info.theHostReference, info.theControlData, 16, info.thePluginData, 64};
  if (call.Send("ALOC", kHostAllocate, int32_t(sizeof rec), &rec) != 0) return call.first;
  info.theControlData = rec.theControlData;
  info.theControlDataSize = rec.theControlDataSize;
  info.thePluginData = rec.thePluginData;
  info.thePluginDataSize = rec.thePluginDataSize;
  for (int i = 0; i < 16; ++i) static_cast<uint8_t*>(info.theControlData)[i] = uint8_t(0xA0 + i);
  return 0;
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
    HostModelAddFacetRec facet{};
    facet.theReference = reference;
    facet.theNumVertices = 1;
    facet.theVertices[0] = vertex.theIndex;
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
  if (mode == "badfacet") {  // a vertex before any group: the host refuses it
    HostModelAddVertexRec early{};
    early.theReference = ref;
    call.Send("ADDV before ADDG", kHostAddVertex, int32_t(sizeof early), &early);
    AddPoints(call, ref);
    return 0;  // latched, as a real plug-in would
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
