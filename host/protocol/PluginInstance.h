// protocol/: talking to a plug-in.  The loader opens the library and finds
// Main, an instance holds the records the host owns for it, the callbacks
// answer its requests, and the model collects what it builds in a frame.
//
// One instance of a loaded plug-in: the two records the host owns for it
// (the settings record, stored with the scene, and the working block), the
// host memory blocks it asked for, and the model of the frame in progress.
// The host never looks inside either record.
#ifndef PLMHOST_PLUGININSTANCE_H
#define PLMHOST_PLUGININSTANCE_H

#include <atomic>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "protocol/Model.h"
#include "protocol/PluginLoader.h"
#include "cli/Progress.h"

struct HostRecords {
  void* control = nullptr;
  int32_t controlSize = 0;
  void* data = nullptr;
  int32_t dataSize = 0;
};

// The first callback the host refused during a command, for the message.
struct RefusedCallback {
  IFFType selector = 0;
  int32_t code = 0;
};

struct PluginInstance {
  LoadedPlugin plugin;
  HostRecords records;
  std::map<void*, uint32_t> blocks;  // "MMAL" blocks not yet freed
  FrameModel model;
  ProgressDisplay* progress = nullptr;  // "STAT" reports go here when set
  bool cancelled = false;               // a "STAT" was answered with 4
  RefusedCallback refused;              // since the last ClearRefusals
  int modelResets = 0;                  // "RSET" callbacks answered
  // A host that cancels from another thread (the web page's Cancel) points
  // this at its flag: "STAT" answers 4 once the flag is set.
  const std::atomic<bool>* cancelRequest = nullptr;
  bool memoryLimitNoted = false;        // the memory limit was named once
};

struct PluginInformation {
  IFFType type = 0;
  int32_t version = 0;
  std::string name, copyright, author, description;
  uint32_t permission = 0;
};

// Takes ownership of the plug-in; the instance must stay at one address
// while commands run (its address is the host reference).
void OpenInstance(PluginInstance& theInstance, LoadedPlugin thePlugin);
// Sends "FINI" when asked, then frees every record and block and unloads.
void CloseInstance(PluginInstance& theInstance, bool sendFinish);

// Replaces the settings record by a copy of theBytes.
void SetSettingsRecord(PluginInstance& theInstance, const std::vector<uint8_t>& theBytes);
std::vector<uint8_t> SettingsRecord(const PluginInstance& theInstance);
// After "INIT" with the settings record a scene stored: true when the
// plug-in kept it byte for byte.  A plug-in replaces a record it cannot read
// with its defaults, and may convert an older form or correct a value; the
// host does not read the record, so any change counts as not kept.
bool PluginKeptStoredSettings(const PluginInstance& theInstance, const std::vector<uint8_t>& theStored);

// The commands; each returns the plug-in's result code, or 3 when the
// plug-in handed back records the host had not given it.
int32_t SendInitialize(PluginInstance& theInstance);
int32_t SendFinish(PluginInstance& theInstance);
int32_t SendInformation(PluginInstance& theInstance, PluginInformation* theInformation);
int32_t SendCheck(PluginInstance& theInstance, IFFType theCommand);
// "INTF": the plug-in shows its settings dialog through the host's services.
int32_t SendInterface(PluginInstance& theInstance);
// The text the plug-in gives for theResult ("" when it cannot say).
std::string DescribeResult(PluginInstance& theInstance, int32_t theResult);

struct FrameSetup {
  int32_t frameIndex;
  double frameTime;
  double frameTimeDelta;
  Matrix4 camera, cameraRotation, cameraBlur;
  Matrix4 group, groupRotation, groupBlur;
};
int32_t SendSetup(PluginInstance& theInstance, const FrameSetup& theSetup);
int32_t SendGenerate(PluginInstance& theInstance, uint32_t theVertexFlags);

// The protocol's command and result codes, for "CHEK" and "DESC" listings.
extern const IFFType kProtocolCommands[14];
extern const int32_t kProtocolResults[8];

#endif
