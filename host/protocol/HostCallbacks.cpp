#include "protocol/HostCallbacks.h"

#include <unistd.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "cli/Interrupt.h"
#include "protocol/MacRoman.h"
#include "protocol/PluginInstance.h"
#include "text/System.h"

namespace {

PluginInstance* activeInstance = nullptr;
int64_t memoryLimit = DefaultPluginMemoryLimit();
std::string memoryLimitSource = "half of this machine's memory";

// What the instance holds besides the records.
int64_t BlockBytes(const PluginInstance& theInstance) {
  int64_t total = 0;
  for (const auto& block : theInstance.blocks) total += block.second;
  return total;
}

// True when theTotal bytes fit the limit; the first refusal of an instance
// says what the limit is and how to raise it.
bool WithinMemoryLimit(PluginInstance& theInstance, int64_t theTotal) {
  if (theTotal <= memoryLimit) return true;
  if (!theInstance.memoryLimitNoted) {
    theInstance.memoryLimitNoted = true;
    if (theInstance.progress != nullptr) ProgressBreakLine(*theInstance.progress);
    std::fflush(stdout);
    std::fprintf(stderr,
                 "plmhost: the plug-in asked for %s in all, more than plmhost's memory limit of %s (%s); "
                 "raise it with --memory-limit SIZE, for example --memory-limit %lldG\n",
                 MemorySizeText(theTotal).c_str(), MemorySizeText(memoryLimit).c_str(), memoryLimitSource.c_str(),
                 (long long)((theTotal >> 30) + 1));
  }
  return false;
}

// Every callback record starts with the host reference.
void* ReferenceOf(const void* theRecord) {
  void* theReference;
  std::memcpy(&theReference, theRecord, sizeof theReference);
  return theReference;
}

// A zero-filled block of newSize bytes holding the first bytes of oldBlock;
// *failed is set when the memory cannot be had.
void* ResizedCopy(const void* oldBlock, int32_t oldSize, int32_t newSize, bool* failed) {
  if (newSize == 0) return nullptr;
  void* block = std::calloc(size_t(newSize), 1);
  if (block == nullptr) {
    *failed = true;
    return nullptr;
  }
  int32_t keep = oldSize < newSize ? oldSize : newSize;
  if (oldBlock != nullptr && keep > 0) std::memcpy(block, oldBlock, size_t(keep));
  return block;
}

// Both records are resized or neither: a failure leaves the old ones, and the
// record names them, as the plug-in copies it back whatever the answer.
int32_t DoAllocate(PluginInstance& theInstance, void* theRecord) {
  auto& theRec = *static_cast<HostAllocatePtr>(theRecord);
  HostRecords& held = theInstance.records;
  int32_t theResult = kPluginNoError;
  if (theRec.theControlData != held.control || theRec.thePluginData != held.data) {
    theResult = kPluginBadParameters;  // not the records this host gave out
  } else if (theRec.theControlDataSize < 0 || theRec.thePluginDataSize < 0 ||
             !WithinMemoryLimit(theInstance, int64_t(theRec.theControlDataSize) + theRec.thePluginDataSize +
                                                 BlockBytes(theInstance))) {
    theResult = kPluginMemoryError;
  } else {
    bool failed = false;
    void* control = ResizedCopy(held.control, held.controlSize, theRec.theControlDataSize, &failed);
    void* data = ResizedCopy(held.data, held.dataSize, theRec.thePluginDataSize, &failed);
    if (failed) {
      std::free(control);
      std::free(data);
      theResult = kPluginMemoryError;
    } else {
      std::free(held.control);
      std::free(held.data);
      held = {control, theRec.theControlDataSize, data, theRec.thePluginDataSize};
    }
  }
  theRec.theControlData = held.control;
  theRec.theControlDataSize = held.controlSize;
  theRec.thePluginData = held.data;
  theRec.thePluginDataSize = held.dataSize;
  return theResult;
}

int32_t DoModelReset(PluginInstance& theInstance, void*) {
  ResetModel(theInstance.model);
  ++theInstance.modelResets;
  return kPluginNoError;
}

int32_t DoStatus(PluginInstance& theInstance, void* theRecord) {
  auto& theRec = *static_cast<HostStatusPtr>(theRecord);
  if (theInstance.progress != nullptr) {
    PluginReport theReport;
    theReport.heading = PStringToUtf8(theRec.theStatusInfo);
    theReport.unit = PStringToUtf8(theRec.theStatusUnit);
    theReport.value = theRec.theStatusValue;
    theReport.maximum = theRec.theStatusMax;
    theReport.fraction = theRec.theStatusPos;
    ProgressReportPlugin(*theInstance.progress, theReport);
  }
  // The tick field is signed; the plug-in compares it as unsigned, so store
  // the wrapped bit pattern.
  uint32_t nextTick = TickCount() + kStatusTicks;
  std::memcpy(&theRec.theStatusTick, &nextTick, sizeof nextTick);
  if (InterruptRequested() || (theInstance.cancelRequest != nullptr && theInstance.cancelRequest->load())) {
    theInstance.cancelled = true;
    return kPluginUserCanceled;
  }
  return kPluginNoError;
}

int32_t DoAddGroup(PluginInstance& theInstance, void* theRecord) {
  return AddModelGroup(theInstance.model, *static_cast<HostModelAddGroupPtr>(theRecord));
}

int32_t DoAddVertex(PluginInstance& theInstance, void* theRecord) {
  return AddModelVertex(theInstance.model, *static_cast<HostModelAddVertexPtr>(theRecord));
}

int32_t DoAddFacet(PluginInstance& theInstance, void* theRecord) {
  return AddModelFacet(theInstance.model, *static_cast<HostModelAddFacetPtr>(theRecord));
}

int32_t DoMemMalloc(PluginInstance& theInstance, void* theRecord) {
  auto& theRec = *static_cast<HostMemMallocPtr>(theRecord);
  if (!WithinMemoryLimit(theInstance, int64_t(theRec.theSize) + theInstance.records.controlSize +
                                           theInstance.records.dataSize + BlockBytes(theInstance)))
    return kPluginMemoryError;
  // Zero-filled, and never null on success, even for 0 bytes.
  void* block = std::calloc(theRec.theSize == 0 ? 1 : theRec.theSize, 1);
  if (block == nullptr) return kPluginMemoryError;
  theInstance.blocks[block] = theRec.theSize;
  theRec.thePtr = block;
  return kPluginNoError;
}

int32_t DoMemFree(PluginInstance& theInstance, void* theRecord) {
  void* block = static_cast<HostMemFreePtr>(theRecord)->thePtr;
  if (block == nullptr) return kPluginNoError;  // as free(NULL)
  auto found = theInstance.blocks.find(block);
  if (found == theInstance.blocks.end()) return kPluginBadParameters;
  std::free(block);
  theInstance.blocks.erase(found);
  return kPluginNoError;
}

struct SelectorEntry {
  IFFType selector;
  size_t recordSize;
  int32_t (*handler)(PluginInstance&, void*);
};

const SelectorEntry kSelectors[] = {
    {kHostAllocate, sizeof(HostAllocateRec), DoAllocate},
    {kHostModelReset, sizeof(HostModelResetRec), DoModelReset},
    {kHostStatus, sizeof(HostStatusRec), DoStatus},
    {kHostAddGroup, sizeof(HostModelAddGroupRec), DoAddGroup},
    {kHostAddVertex, sizeof(HostModelAddVertexRec), DoAddVertex},
    {kHostAddFacet, sizeof(HostModelAddFacetRec), DoAddFacet},
    {kHostMemMalloc, sizeof(HostMemMallocRec), DoMemMalloc},
    {kHostMemFree, sizeof(HostMemFreeRec), DoMemFree},
};

int32_t Dispatch(IFFType theSelector, int32_t theSize, void* theRecord) {
  const SelectorEntry* entry = nullptr;
  for (const auto& candidate : kSelectors)
    if (candidate.selector == theSelector) entry = &candidate;
  if (entry == nullptr) return kPluginUnsupportedCommand;
  if (theRecord == nullptr || theSize < 0 || size_t(theSize) < entry->recordSize)
    return kPluginBadParameters;
  if (activeInstance == nullptr || ReferenceOf(theRecord) != activeInstance)
    return kPluginBadParameters;
  return entry->handler(*activeInstance, theRecord);
}

}  // namespace

ActiveInstanceScope::ActiveInstanceScope(PluginInstance& theInstance) : previous(activeInstance) {
  activeInstance = &theInstance;
}

ActiveInstanceScope::~ActiveInstanceScope() { activeInstance = previous; }

PluginInstance* ActiveInstance() { return activeInstance; }

void SetPluginMemoryLimit(int64_t theBytes, const std::string& theSource) {
  memoryLimit = theBytes;
  memoryLimitSource = theSource;
}

int64_t PluginMemoryLimit() { return memoryLimit; }

int64_t DefaultPluginMemoryLimit() {
  long pages = sysconf(_SC_PHYS_PAGES), pageSize = sysconf(_SC_PAGE_SIZE);
  if (pages <= 0 || pageSize <= 0) return int64_t(1) << 30;
  return int64_t(pages) * pageSize / 2;
}

std::string MemorySizeText(int64_t theBytes) {
  const char* units[] = {"bytes", "KiB", "MiB", "GiB", "TiB"};
  double value = double(theBytes);
  int unit = 0;
  while (value >= 1024 && unit < 4) value /= 1024, ++unit;
  char text[48];
  if (unit == 0 || value == std::floor(value))
    std::snprintf(text, sizeof text, "%.0f %s", value, units[unit]);
  else
    std::snprintf(text, sizeof text, "%.1f %s", value, units[unit]);
  return text;
}

bool ParseMemorySize(const std::string& theText, int64_t* theBytes) {
  size_t digits = theText.find_first_not_of("0123456789.");
  std::string number = theText.substr(0, digits), suffix = digits == std::string::npos ? "" : theText.substr(digits);
  if (number.empty() || number.size() > 20 || number.find('.') != number.rfind('.') || number == ".") return false;
  int shift = 0;
  if (!suffix.empty()) {
    const char* letters = "KMGT";
    const char* found = std::strchr(letters, std::toupper(static_cast<unsigned char>(suffix[0])));
    if (found == nullptr || *found == '\0') return false;
    shift = 10 * int(found - letters + 1);
    std::string rest = suffix.substr(1);
    if (!(rest.empty() || rest == "B" || rest == "iB")) return false;
  }
  double bytes = std::strtod(number.c_str(), nullptr) * std::ldexp(1.0, shift);
  if (!(bytes >= 1 && bytes < std::ldexp(1.0, 62))) return false;
  *theBytes = int64_t(bytes);
  return true;
}

int32_t HostCallback(IFFType theSelector, int32_t theSize, void* theRecord) {
  int32_t theResult;
  // Nothing may unwind into the plug-in.
  try {
    theResult = Dispatch(theSelector, theSize, theRecord);
  } catch (const std::bad_alloc&) {
    theResult = kPluginMemoryError;
  } catch (...) {
    theResult = kPluginBadParameters;
  }
  if (theResult != kPluginNoError && activeInstance != nullptr &&
      activeInstance->refused.code == kPluginNoError) {
    activeInstance->refused = {theSelector, theResult};
  }
  return theResult;
}
