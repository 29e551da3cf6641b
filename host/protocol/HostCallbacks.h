// The host's side of the callback protocol: the procedure whose address goes
// to the plug-in in every command record, answering "ALOC", "RSET", "STAT",
// "ADDG", "ADDV", "ADDF", "MMAL" and "MFRE".  Any other selector answers 2; a
// record shorter than its type, or one naming a reference other than the
// instance whose command is running, answers 3.
#ifndef PLMHOST_HOSTCALLBACKS_H
#define PLMHOST_HOSTCALLBACKS_H

#include <cstdint>

#include "host/PluginRecords.h"

struct PluginInstance;

int32_t HostCallback(IFFType theSelector, int32_t theSize, void* theRecord);

// Marks theInstance as the one whose command is running, for as long as the
// scope lives; callbacks at other times, or naming another reference, are
// refused.
struct ActiveInstanceScope {
  explicit ActiveInstanceScope(PluginInstance& theInstance);
  ~ActiveInstanceScope();
  ActiveInstanceScope(const ActiveInstanceScope&) = delete;
  ActiveInstanceScope& operator=(const ActiveInstanceScope&) = delete;
  PluginInstance* previous;
};

// The instance whose command is running, or null.
PluginInstance* ActiveInstance();

// Ticks between two progress reports the host wants (about ten a second).
constexpr uint32_t kStatusTicks = 6;

#endif
