// A model plug-in that misbehaves on purpose, to show that plmhost answers
// with the right codes and survives.  PLMHOST_FAKE_MODE picks the behaviour;
// every callback answer is printed to standard error as "fake: WHAT -> CODE"
// so that the tests can read what the host said.
#include <signal.h>
#include <unistd.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "host/PluginRecords.h"

namespace {

int32_t lastFrame = 0;

template <typename Record>
int32_t Send(const PluginInfoRec& info, const char* what, IFFType selector, Record& record) {
  int32_t answer = info.theHostProc(selector, int32_t(sizeof record), &record);
  std::fprintf(stderr, "fake: %s -> %d\n", what, int(answer));
  return answer;
}

std::string Mode() { return std::getenv("PLMHOST_FAKE_MODE") ? std::getenv("PLMHOST_FAKE_MODE") : ""; }

// A 16-byte settings record and a 64-byte working block.
int32_t Initialize(PluginInfoRec& info) {
  void* ref = info.theHostReference;
  if (Mode() == "initfail") return kPluginResourceError;
  HostAllocateRec rec{ref, info.theControlData, 16, info.thePluginData, 64};
  if (int32_t answer = Send(info, "ALOC", kHostAllocate, rec)) return answer;
  info = {rec.theControlData, rec.theControlDataSize, rec.thePluginData, rec.thePluginDataSize, info.theHostProc, ref};
  return 0;
}

// "bad": a call the host must refuse, answered 0 with it in the latch;
// "head": records the host did not give handed back; "phases": a quick
// "Aging Points" report first, and 0.4 s of quiet work after the "Placing
// Points" one.  Otherwise three
// points: vertex k at (k, 2k, -k) with blur position (k, 2k - 1, -k), facet
// colour a = 255 - k, r = 10k, g = 20, b = 30.
int32_t Generate(PluginInfoRec& info) {
  void* ref = info.theHostReference;
  const std::string mode = Mode();
  static char mine[16];
  HostModelResetRec reset{ref};
  if (mode == "bad") Send(info, "XXXX", MakeIFF("XXXX"), reset);
  if (mode == "head") info.theControlData = mine;
  if (mode == "cancel" && lastFrame == 2) raise(SIGINT);
  HostStatusRec status{ref, 0, {}, {}, 0, 3, 0, 0};
  CopyStr(status.theStatusUnit, "Point");
  CopyStr(status.theStatusInfo, "Placing Points");
  if (mode == "phases") {
    HostStatusRec aging{ref, 0, {}, {}, 0, 1, 0, 0};
    CopyStr(aging.theStatusUnit, "Step");
    CopyStr(aging.theStatusInfo, "Aging Points");
    Send(info, "STAT", kHostStatus, aging);
  }
  if (mode == "bad" || mode == "head" || Send(info, "STAT", kHostStatus, status) != 0) return 0;  // a refusal stays in the latch
  if (mode == "phases") usleep(400000);
  HostModelAddGroupRec group{ref, nullptr, 0, nullptr};
  Send(info, "ADDG", kHostAddGroup, group);
  for (int k = 0; k < 3; ++k) {
    HostModelAddVertexRec vertex{ref, {double(k), 2.0 * k, -double(k)}, {{255, 255, 255, 255}}, {},
                                 {double(k), 2.0 * k - 1, -double(k)}, {}, -1};
    Send(info, "ADDV", kHostAddVertex, vertex);
    HostModelAddFacetRec facet{ref, {{uint8_t(255 - k), uint8_t(10 * k), 20, 30}}, 1, {vertex.theIndex}};
    Send(info, "ADDF", kHostAddFacet, facet);
  }
  return 0;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int32_t Main(IFFType command, int32_t, void* record) {
  switch (command) {
    case kCmdInitialize: return Initialize(*static_cast<PluginInfoRec*>(record));
    case kCmdInformation:
      static_cast<PluginInformationRec*>(record)->thePluginType = MakeIFF("FAKE");
      CopyStr(static_cast<PluginInformationRec*>(record)->thePluginName, "Fake \245 Points");  // Mac OS Roman bullet
      return 0;
    case kCmdCheck: return static_cast<PluginCheckRec*>(record)->theCommand == kCmdGenerate ? 0 : 3;
    case kCmdSetup: {
      // Copied out: the matrices sit at even offsets only.
      Matrix4 g, b;
      std::memcpy(&g, static_cast<char*>(record) + offsetof(PluginModelSetupRec, theGroupMatrix), sizeof g);
      std::memcpy(&b, static_cast<char*>(record) + offsetof(PluginModelSetupRec, theGroupBlurMatrix), sizeof b);
      const auto& setup = *static_cast<PluginModelSetupRec*>(record);
      lastFrame = setup.theFrameIndex;
      std::fprintf(stderr, "fake: SETM frame %d time %g step %g group %g %g %g blur %g %g %g\n", int(lastFrame),
                   setup.theFrameTime, setup.theFrameTimeDelta, g.m.m30, g.m.m31, g.m.m32, b.m.m30, b.m.m31, b.m.m32);
      return 0;
    }
    case kCmdGenerate: return Generate(*static_cast<PluginInfoRec*>(record));
    case kCmdFinish: return 0;
    default: return kPluginUnsupportedCommand;
  }
}
