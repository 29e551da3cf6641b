#include "protocol/PluginInstance.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>

#include "protocol/HostCallbacks.h"
#include "protocol/MacRoman.h"

const IFFType kProtocolCommands[14] = {kCmdInitialize, kCmdFinish, kCmdInformation, kCmdCheck,
                                       kCmdDescribe,   kCmdInterface, kCmdSetup, kCmdGINF,
                                       kCmdGATR,       kCmdGBLR,   kCmdTMAP,  kCmdBMAP,
                                       kCmdRMAP,       kCmdGenerate};
const int32_t kProtocolResults[8] = {kPluginNoError,       kPluginMemoryError,
                                     kPluginUnsupportedCommand, kPluginBadParameters,
                                     kPluginUserCanceled,  kPluginOutOfSequence,
                                     kPluginResourceError, kPluginUnsupportedFeature};

namespace {

void FillHead(PluginInstance& theInstance, PluginInfoRec& theInfo) {
  theInfo.theControlData = theInstance.records.control;
  theInfo.theControlDataSize = theInstance.records.controlSize;
  theInfo.thePluginData = theInstance.records.data;
  theInfo.thePluginDataSize = theInstance.records.dataSize;
  theInfo.theHostProc = HostCallback;
  theInfo.theHostReference = &theInstance;
}

// Sends one command with its record and takes the head back.  The plug-in
// may only change the records through "ALOC", so the head must come back
// naming exactly what the host holds; anything else is refused rather than
// trusted.
template <typename Rec>
int32_t Send(PluginInstance& theInstance, IFFType theCommand, Rec& theRec) {
  FillHead(theInstance, theRec.theInfo);
  int32_t theResult;
  {
    ActiveInstanceScope scope(theInstance);
    theResult = theInstance.plugin.main(theCommand, int32_t(sizeof theRec), &theRec);
  }
  const PluginInfoRec& back = theRec.theInfo;
  const HostRecords& held = theInstance.records;
  if (back.theControlData != held.control || back.theControlDataSize != held.controlSize ||
      back.thePluginData != held.data || back.thePluginDataSize != held.dataSize) {
    if (theResult == kPluginNoError) theResult = kPluginBadParameters;
  }
  return theResult;
}

}  // namespace

void OpenInstance(PluginInstance& theInstance, LoadedPlugin thePlugin) {
  theInstance.plugin = thePlugin;
}

void CloseInstance(PluginInstance& theInstance, bool sendFinish) {
  if (sendFinish && theInstance.plugin.main != nullptr) SendFinish(theInstance);
  std::free(theInstance.records.control);
  std::free(theInstance.records.data);
  theInstance.records = HostRecords();
  for (auto& block : theInstance.blocks) std::free(block.first);
  theInstance.blocks.clear();
  ResetModel(theInstance.model);
  UnloadPlugin(theInstance.plugin);
}

void SetSettingsRecord(PluginInstance& theInstance, const std::vector<uint8_t>& theBytes) {
  std::free(theInstance.records.control);
  theInstance.records.control = nullptr;
  theInstance.records.controlSize = 0;
  if (theBytes.empty()) return;
  void* copy = std::malloc(theBytes.size());
  if (copy == nullptr) throw std::bad_alloc();
  std::memcpy(copy, theBytes.data(), theBytes.size());
  theInstance.records.control = copy;
  theInstance.records.controlSize = int32_t(theBytes.size());
}

std::vector<uint8_t> SettingsRecord(const PluginInstance& theInstance) {
  const auto* bytes = static_cast<const uint8_t*>(theInstance.records.control);
  if (bytes == nullptr) return {};
  return std::vector<uint8_t>(bytes, bytes + theInstance.records.controlSize);
}

bool PluginKeptStoredSettings(const PluginInstance& theInstance, const std::vector<uint8_t>& theStored) {
  return SettingsRecord(theInstance) == theStored;
}

int32_t SendInitialize(PluginInstance& theInstance) {
  PluginInitializeRec theRec{};
  return Send(theInstance, kCmdInitialize, theRec);
}

int32_t SendFinish(PluginInstance& theInstance) {
  PluginFinishRec theRec{};
  return Send(theInstance, kCmdFinish, theRec);
}

int32_t SendInformation(PluginInstance& theInstance, PluginInformation* theInformation) {
  PluginInformationRec theRec{};
  int32_t theResult = Send(theInstance, kCmdInformation, theRec);
  // A P-string's length byte cannot exceed its buffer, so any bytes the
  // plug-in wrote read safely.
  theInformation->type = theRec.thePluginType;
  theInformation->version = theRec.thePluginVersion;
  theInformation->name = PStringToUtf8(theRec.thePluginName);
  theInformation->copyright = PStringToUtf8(theRec.thePluginCopyright);
  theInformation->author = PStringToUtf8(theRec.thePluginAuthor);
  theInformation->description = PStringToUtf8(theRec.thePluginDescription);
  theInformation->permission = theRec.thePluginPermission;
  return theResult;
}

int32_t SendCheck(PluginInstance& theInstance, IFFType theCommand) {
  PluginCheckRec theRec{};
  theRec.theCommand = theCommand;
  return Send(theInstance, kCmdCheck, theRec);
}

int32_t SendInterface(PluginInstance& theInstance) {
  PluginInterfaceRec theRec{};
  return Send(theInstance, kCmdInterface, theRec);
}

std::string DescribeResult(PluginInstance& theInstance, int32_t theResult) {
  PluginDescribeRec theRec{};
  theRec.theResult = theResult;
  if (theInstance.plugin.main == nullptr || Send(theInstance, kCmdDescribe, theRec) != kPluginNoError)
    return "";
  return PStringToUtf8(theRec.theDescription);
}

int32_t SendSetup(PluginInstance& theInstance, const FrameSetup& theSetup) {
  PluginModelSetupRec theRec{};
  theRec.theFrameIndex = theSetup.frameIndex;
  theRec.theFrameTime = theSetup.frameTime;
  theRec.theFrameTimeDelta = theSetup.frameTimeDelta;
  // The matrices sit at even offsets only, so they are copied as bytes.
  const struct {
    size_t offset;
    const Matrix4* matrix;
  } kMatrices[] = {
      {offsetof(PluginModelSetupRec, theCameraMatrix), &theSetup.camera},
      {offsetof(PluginModelSetupRec, theCameraRotMatrix), &theSetup.cameraRotation},
      {offsetof(PluginModelSetupRec, theCameraBlurMatrix), &theSetup.cameraBlur},
      {offsetof(PluginModelSetupRec, theGroupMatrix), &theSetup.group},
      {offsetof(PluginModelSetupRec, theGroupRotMatrix), &theSetup.groupRotation},
      {offsetof(PluginModelSetupRec, theGroupBlurMatrix), &theSetup.groupBlur},
  };
  for (const auto& m : kMatrices)
    std::memcpy(reinterpret_cast<char*>(&theRec) + m.offset, m.matrix, sizeof(Matrix4));
  return Send(theInstance, kCmdSetup, theRec);
}

int32_t SendGenerate(PluginInstance& theInstance, uint32_t theVertexFlags) {
  PluginModelGenerateRec theRec{};
  theRec.theChildGroups = 0;
  theRec.theVertexFlags = theVertexFlags;
  return Send(theInstance, kCmdGenerate, theRec);
}
