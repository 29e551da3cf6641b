// The host's side of the callback protocol: the procedure whose address goes
// to the plug-in in every command record, answering "ALOC", "RSET", "STAT",
// "ADDG", "ADDV", "ADDF", "MMAL" and "MFRE".  Any other selector answers 2; a
// record shorter than its type, or one naming a reference other than the
// instance whose command is running, answers 3.
#ifndef PLMHOST_HOSTCALLBACKS_H
#define PLMHOST_HOSTCALLBACKS_H

#include <cstdint>
#include <string>

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

// The most memory one instance may hold in its two records and its "MMAL"
// blocks together; a request beyond it answers 1, and the first such refusal
// of an instance prints the limit and how to raise it.  theSource says where
// the limit came from, for that message.
void SetPluginMemoryLimit(int64_t theBytes, const std::string& theSource);
int64_t PluginMemoryLimit();
// Half of this machine's physical memory (1 GiB when it cannot be read).
int64_t DefaultPluginMemoryLimit();
// "512 MiB", "1.5 GiB".
std::string MemorySizeText(int64_t theBytes);
// "4G", "512M", "1.5GiB", "65536": sizes in bytes with an optional binary
// suffix K, M, G or T (optionally followed by "iB" or "B"); false when the
// text is no size or is 0.
bool ParseMemorySize(const std::string& theText, int64_t* theBytes);

// Ticks between two progress reports the host wants (about ten a second).
constexpr uint32_t kStatusTicks = 6;

#endif
