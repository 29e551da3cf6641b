#include "validate/TestHost.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "protocol/MacRoman.h"
#include "text/System.h"

namespace {

constexpr uint8_t kGuardByte = 0xA7;
constexpr uint8_t kPoisonByte = 0x5A;
constexpr double kFramesPerSecond = 30.0;
// Beyond these the host refuses with 1, as a real host runs out of memory.
constexpr int32_t kMaxBlockBytes = 1 << 28;
constexpr int64_t kMaxVertices = int64_t(1) << 24;
// A kind noted this often is not noted again: one finding says enough.
constexpr int kMaxNotesPerKind = 8;

TestHost* activeHost = nullptr;

int32_t HostProc(IFFType theSelector, int32_t theSize, void* theRecord) {
  if (activeHost == nullptr) return kPluginOutOfSequence;
  return activeHost->OnCallback(theSelector, theSize, theRecord);
}

void* ReferenceOf(const void* theRecord) {
  void* theReference;
  std::memcpy(&theReference, theRecord, sizeof theReference);
  return theReference;
}

// FNV-1a, over the values of every model call.
void Mix(uint64_t& theDigest, const void* theBytes, size_t theCount) {
  const auto* p = static_cast<const uint8_t*>(theBytes);
  if (theDigest == 0) theDigest = 1469598103934665603ull;
  for (size_t i = 0; i < theCount; ++i) {
    theDigest ^= p[i];
    theDigest *= 1099511628211ull;
  }
}

bool Finite(const DCoordinate& c) {
  double v[3];
  std::memcpy(v, &c, sizeof v);
  return std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]);
}

// Calls that the error latch silences once a callback has failed.
bool Latched(IFFType theSelector) {
  return theSelector == kHostStatus || theSelector == kHostAddGroup ||
         theSelector == kHostAddVertex || theSelector == kHostAddFacet;
}

struct SelectorSize {
  IFFType selector;
  size_t size;
};
const SelectorSize kSelectorSizes[] = {
    {kHostAllocate, sizeof(HostAllocateRec)},       {kHostModelReset, sizeof(HostModelResetRec)},
    {kHostStatus, sizeof(HostStatusRec)},           {kHostAddGroup, sizeof(HostModelAddGroupRec)},
    {kHostAddVertex, sizeof(HostModelAddVertexRec)}, {kHostAddFacet, sizeof(HostModelAddFacetRec)},
    {kHostMemMalloc, sizeof(HostMemMallocRec)},     {kHostMemFree, sizeof(HostMemFreeRec)},
};

struct CommandSize {
  IFFType command;
  int32_t size;
};
const CommandSize kCommandSizes[] = {
    {kCmdInitialize, sizeof(PluginInitializeRec)}, {kCmdFinish, sizeof(PluginFinishRec)},
    {kCmdInformation, sizeof(PluginInformationRec)}, {kCmdCheck, sizeof(PluginCheckRec)},
    {kCmdDescribe, sizeof(PluginDescribeRec)},     {kCmdInterface, sizeof(PluginInterfaceRec)},
    {kCmdSetup, sizeof(PluginModelSetupRec)},      {kCmdGINF, sizeof(PluginModelGINFRec)},
    {kCmdGATR, sizeof(PluginModelGATRRec)},        {kCmdGBLR, sizeof(PluginModelGBLRRec)},
    {kCmdTMAP, sizeof(PluginModelTMAPRec)},        {kCmdBMAP, sizeof(PluginModelBMAPRec)},
    {kCmdRMAP, sizeof(PluginModelRMAPRec)},        {kCmdGenerate, sizeof(PluginModelGenerateRec)},
};

bool IsGeometryCommand(IFFType c) {
  return c == kCmdGINF || c == kCmdGATR || c == kCmdGBLR || c == kCmdTMAP || c == kCmdBMAP ||
         c == kCmdRMAP;
}

void CopyText(char* theSlot, size_t theCapacity, const std::string& theText) {
  size_t n = theText.size() < theCapacity - 1 ? theText.size() : theCapacity - 1;
  std::memcpy(theSlot, theText.data(), n);
  theSlot[n] = '\0';
}

}  // namespace

int32_t CommandRecordSize(IFFType theCommand) {
  for (const auto& c : kCommandSizes)
    if (c.command == theCommand) return c.size;
  return int32_t(sizeof(PluginInfoRec));
}

std::string Describe(const FrameOutput& o) {
  char text[160];
  std::snprintf(text, sizeof text, "%lld groups, %lld vertices, %lld facets, digest %016llx",
                (long long)o.groups, (long long)o.vertices, (long long)o.facets,
                (unsigned long long)o.digest);
  return text;
}

// ------------------------------------------------------------ guarded bytes

GuardedBlock::GuardedBlock(size_t theSize)
    : storage_(new uint8_t[kGuard + theSize + kTail]), size_(theSize) {
  std::memset(storage_.get(), kGuardByte, kGuard);
  std::memset(storage_.get() + kGuard, 0, theSize);
  std::memset(storage_.get() + kGuard + theSize, kGuardByte, kTail);
}

bool GuardedBlock::GuardsIntact() const {
  const uint8_t* s = storage_.get();
  for (size_t i = 0; i < kGuard; ++i)
    if (s[i] != kGuardByte) return false;
  for (size_t i = 0; i < kTail; ++i)
    if (s[kGuard + size_ + i] != kGuardByte) return false;
  return true;
}

void GuardedBlock::Poison() { std::memset(data(), kPoisonByte, size_); }

bool GuardedBlock::PoisonIntact() const {
  for (size_t i = 0; i < size_; ++i)
    if (data()[i] != kPoisonByte) return false;
  return true;
}

// ------------------------------------------------------------------- host

TestHost::TestHost(const std::string& thePluginPath) : plugin_(LoadPlugin(thePluginPath)) {
  activeHost = this;
}

TestHost::~TestHost() {
  if (activeHost == this) activeHost = nullptr;
  instances_.clear();
  UnloadPlugin(plugin_);
}

void TestHost::Note(ViolationKind theKind, const std::string& theText) {
  if (++noted_[theKind] > kMaxNotesPerKind) return;
  violations.push_back({theKind, theText});
  if (trace) Trace("      !! " + theText, false);
}

void TestHost::Trace(const std::string& theLine, bool isCallback) {
  if (cycle_ > 0 && isCallback && theLine == recent_[recent_.size() - cycle_ + cyclePos_]) {
    cyclePos_ = (cyclePos_ + 1) % cycle_;
    ++folded_;
    return;
  }
  if (folded_ > 0) std::fprintf(stderr, "      ... %lld more repeating the line(s) above\n", (long long)folded_);
  folded_ = 0;
  cycle_ = cyclePos_ = 0;
  std::fprintf(stderr, "%s\n", theLine.c_str());
  if (!isCallback) {
    recent_.clear();
    return;
  }
  recent_.push_back(theLine);
  if (recent_.size() > 4) recent_.erase(recent_.begin());
  size_t n = recent_.size();
  if (n >= 2 && recent_[n - 1] == recent_[n - 2]) cycle_ = 1;
  else if (n >= 4 && recent_[n - 1] == recent_[n - 3] && recent_[n - 2] == recent_[n - 4]) cycle_ = 2;
}

void TestHost::Tell(const std::string& theCommand, const std::string& theCallback) {
  if (slot == nullptr) return;
  slot->calls += 1;
  if (!theCommand.empty()) CopyText(slot->command, sizeof slot->command, theCommand);
  if (!theCallback.empty()) CopyText(slot->callback, sizeof slot->callback, theCallback);
}

HostInstance& TestHost::NewInstance(const std::vector<uint8_t>& theSettings) {
  instances_.push_back(std::make_unique<HostInstance>());
  HostInstance& theInstance = *instances_.back();
  if (!theSettings.empty()) {
    theInstance.control = std::make_unique<GuardedBlock>(theSettings.size());
    std::memcpy(theInstance.control->data(), theSettings.data(), theSettings.size());
    theInstance.controlSize = int32_t(theSettings.size());
  }
  return theInstance;
}

std::vector<uint8_t> TestHost::Settings(const HostInstance& theInstance) const {
  if (!theInstance.control || theInstance.controlSize <= 0) return {};
  const uint8_t* p = theInstance.control->data();
  return std::vector<uint8_t>(p, p + theInstance.controlSize);
}

void TestHost::FillHead(HostInstance& theInstance, PluginInfoRec& theInfo) const {
  theInfo.theControlData = theInstance.control ? theInstance.control->data() : nullptr;
  theInfo.theControlDataSize = theInstance.controlSize;
  theInfo.thePluginData = theInstance.data ? theInstance.data->data() : nullptr;
  theInfo.thePluginDataSize = theInstance.dataSize;
  theInfo.theHostProc = HostProc;
  theInfo.theHostReference = &theInstance;
}

// The host may keep records wherever it likes between commands: copy both
// to new places and poison the old ones, which are checked after the next
// command.
void TestHost::MoveRecords(HostInstance& theInstance) {
  auto move = [&](std::unique_ptr<GuardedBlock>& theBlock) {
    if (!theBlock) return;
    auto moved = std::make_unique<GuardedBlock>(theBlock->size());
    std::memcpy(moved->data(), theBlock->data(), theBlock->size());
    theBlock->Poison();
    theInstance.movedAway.push_back(std::move(theBlock));
    theBlock = std::move(moved);
  };
  move(theInstance.control);
  move(theInstance.data);
}

void TestHost::CheckBlocks(HostInstance& theInstance, const std::string& where) {
  if (theInstance.control && !theInstance.control->GuardsIntact())
    Note(ViolationKind::kOutside, where + " wrote outside the settings record");
  if (theInstance.data && !theInstance.data->GuardsIntact())
    Note(ViolationKind::kOutside, where + " wrote outside the working record");
  for (auto& block : theInstance.blocks)
    if (!block.second->GuardsIntact())
      Note(ViolationKind::kOutside, where + " wrote outside an MMAL block of " +
                                        std::to_string(block.second->size()) + " bytes");
}

int32_t TestHost::Raw(HostInstance* theInstance, IFFType theCommand, int32_t theSize, void* theRecord) {
  if (theInstance != nullptr && moveRecords) MoveRecords(*theInstance);
  // Records moved away before the previous command must still hold their
  // poison: anything else was written through a pointer kept too long.
  std::vector<std::unique_ptr<GuardedBlock>> checkAfter;
  if (theInstance != nullptr) checkAfter.swap(theInstance->movedAway);

  current_ = FourCharText(theCommand);
  if (theCommand == kCmdSetup || theCommand == kCmdGenerate)
    current_ += " (frame " + std::to_string(frame_) + ")";
  std::string described = current_ + ", " + std::to_string(theSize) + " bytes" +
                          (theRecord == nullptr ? ", null record" : "");
  if (trace) Trace("  -> " + described, false);
  Tell(described, "");

  HostInstance* previous = active_;
  active_ = theInstance;
  activeHost = this;
  commandStart_ = lastStatus_ = Clock::now();
  commandStatus_ = 0;
  cancelled = false;
  if (theInstance != nullptr && theCommand == kCmdGenerate) {
    theInstance->frame = FrameOutput();
    theInstance->groupVertices = -1;
    theInstance->generating = true;
  }
  int32_t theResult = plugin_.main(theCommand, theSize, theRecord);
  Clock::time_point end = Clock::now();
  if (theInstance != nullptr) theInstance->generating = false;
  active_ = previous;

  double quiet = std::chrono::duration<double>(end - lastStatus_).count();
  if (quiet > longestQuiet) {
    longestQuiet = quiet;
    longestQuietWhere = current_ + (commandStatus_ == 0 ? ", which offered no STAT at all"
                                                         : ", after its last STAT");
  }
  if (cancelled) cancelLatency = std::chrono::duration<double>(end - cancelAt_).count();
  resultsReturned.push_back(theResult);
  if (trace) Trace("  <- " + FourCharText(theCommand) + " = " + std::to_string(theResult), false);

  if (theInstance != nullptr) {
    CheckBlocks(*theInstance, current_);
    for (auto& block : checkAfter) {
      if (!block->PoisonIntact())
        Note(ViolationKind::kOutside,
             current_ + " or the command before it wrote into a record the host had moved away");
      theInstance->retired.push_back(std::move(block));
    }
  }
  return theResult;
}

std::vector<uint8_t> TestHost::Template(HostInstance& theInstance, IFFType theCommand) {
  std::vector<uint8_t> theRecord(size_t(CommandRecordSize(theCommand)), 0);
  uint8_t* r = theRecord.data();
  PluginInfoRec head;
  FillHead(theInstance, head);
  std::memcpy(r, &head, sizeof head);
  if (IsGeometryCommand(theCommand)) {
    void* p = geometry_.data();
    std::memcpy(r + sizeof(PluginInfoRec), &p, sizeof p);
    r[sizeof(PluginInfoRec) + sizeof p] = 1;  // the change flag
  } else if (theCommand == kCmdSetup) {
    auto& rec = *reinterpret_cast<PluginModelSetupRec*>(r);
    rec.theFrameIndex = frame_;
    rec.theFrameTime = frame_ / kFramesPerSecond;
    rec.theFrameTimeDelta = 1 / kFramesPerSecond;
    // Identity matrices; they sit at even offsets, so bytes are copied.
    const size_t matrices[] = {
        offsetof(PluginModelSetupRec, theCameraMatrix), offsetof(PluginModelSetupRec, theCameraRotMatrix),
        offsetof(PluginModelSetupRec, theCameraBlurMatrix), offsetof(PluginModelSetupRec, theGroupMatrix),
        offsetof(PluginModelSetupRec, theGroupRotMatrix), offsetof(PluginModelSetupRec, theGroupBlurMatrix)};
    const double one = 1.0;
    for (size_t m : matrices)
      for (int i = 0; i < 4; ++i) std::memcpy(r + m + sizeof(double) * size_t(5 * i), &one, sizeof one);
  }
  return theRecord;
}

int32_t TestHost::Command(HostInstance& theInstance, IFFType theCommand,
                          const std::function<void(uint8_t*)>& fill, std::vector<uint8_t>* theRecordAfter) {
  if (moveRecords) MoveRecords(theInstance);
  std::vector<uint8_t> bytes = Template(theInstance, theCommand);
  if (fill) fill(bytes.data());
  GuardedBlock theRecord(bytes.size());
  std::memcpy(theRecord.data(), bytes.data(), bytes.size());
  bool wasMoving = moveRecords;
  moveRecords = false;  // moved once, just above, before the head was filled
  int32_t theResult = Raw(&theInstance, theCommand, int32_t(bytes.size()), theRecord.data());
  moveRecords = wasMoving;

  if (!theRecord.GuardsIntact()) Note(ViolationKind::kOutside, current_ + " wrote outside its command record");
  if (!geometry_.GuardsIntact()) Note(ViolationKind::kOutside, current_ + " wrote outside the geometry record");
  // The plug-in changes the records only through "ALOC", so the head must
  // come back naming what the host holds.
  PluginInfoRec back;
  std::memcpy(&back, theRecord.data(), sizeof back);
  PluginInfoRec held;
  FillHead(theInstance, held);
  if (back.theControlData != held.theControlData || back.theControlDataSize != held.theControlDataSize ||
      back.thePluginData != held.thePluginData || back.thePluginDataSize != held.thePluginDataSize)
    Note(ViolationKind::kHead, current_ + " handed back a head naming records the host does not hold");
  if (theRecordAfter != nullptr) theRecordAfter->assign(theRecord.data(), theRecord.data() + theRecord.size());
  return theResult;
}

int32_t TestHost::Initialize(HostInstance& theInstance) { return Command(theInstance, kCmdInitialize); }
int32_t TestHost::Finish(HostInstance& theInstance) { return Command(theInstance, kCmdFinish); }

int32_t TestHost::Setup(HostInstance& theInstance, int32_t theFrame) {
  frame_ = theFrame;
  return Command(theInstance, kCmdSetup);
}

int32_t TestHost::Generate(HostInstance& theInstance) {
  return Command(theInstance, kCmdGenerate);
}

FrameOutput TestHost::Frame(HostInstance& theInstance, int32_t theFrame) {
  FrameOutput theOutput;
  theOutput.setupResult = Setup(theInstance, theFrame);
  if (theOutput.setupResult != kPluginNoError) {
    theOutput.result = theOutput.setupResult;
    return theOutput;
  }
  theOutput.result = Generate(theInstance);
  FrameOutput built = theInstance.frame;
  built.result = theOutput.result;
  built.setupResult = theOutput.setupResult;
  return built;
}

std::vector<FrameOutput> TestHost::Frames(HostInstance& theInstance, const std::vector<int32_t>& theFrames) {
  std::vector<FrameOutput> theOutputs;
  for (int32_t f : theFrames) theOutputs.push_back(Frame(theInstance, f));
  return theOutputs;
}

void TestHost::NoteLeaks() {
  for (auto& instance : instances_) {
    size_t bytes = 0;
    for (auto& block : instance->blocks) bytes += block.second->size();
    if (!instance->blocks.empty())
      Note(ViolationKind::kLeak, std::to_string(instance->blocks.size()) + " MMAL block(s) of " +
                                     std::to_string(bytes) + " bytes never freed by MFRE (the first asked for during " +
                                     instance->blockOrigin[instance->blocks.begin()->first] + ")");
  }
}

// -------------------------------------------------------------- callbacks

HostInstance* TestHost::InstanceOf(const void* theRecord) {
  void* theReference = ReferenceOf(theRecord);
  for (auto& instance : instances_)
    if (instance.get() == theReference) return instance.get();
  return nullptr;
}

int32_t TestHost::OnCallback(IFFType theSelector, int32_t theSize, void* theRecord) {
  std::string name = FourCharText(theSelector);
  Tell("", name + " during " + current_);
  ++callCounts[theSelector];
  const SelectorSize* known = nullptr;
  for (const auto& s : kSelectorSizes)
    if (s.selector == theSelector) known = &s;
  int32_t theResult = kPluginNoError;
  HostInstance* theInstance = nullptr;
  if (active_ == nullptr) {
    Note(ViolationKind::kReference, name + " called while no command of this instance was running");
    theResult = kPluginOutOfSequence;
  } else if (known == nullptr) {
    Note(ViolationKind::kReference, "unknown callback selector " + name + " during " + current_);
    theResult = kPluginUnsupportedCommand;
  } else if (theRecord == nullptr || theSize < 0 || size_t(theSize) < known->size) {
    Note(ViolationKind::kReference, name + " during " + current_ + " sent a record of " +
                                        std::to_string(theSize) + " bytes; it needs " +
                                        std::to_string(known->size));
    theResult = kPluginBadParameters;
  } else if ((theInstance = InstanceOf(theRecord)) != active_) {
    Note(ViolationKind::kReference, name + " during " + current_ +
                                        " named a reference other than the command's theHostReference");
    theResult = kPluginBadParameters;
  }
  if (theResult != kPluginNoError) {
    if (trace) Trace("      " + name + " = " + std::to_string(theResult), true);
    return theResult;
  }

  if (latched_ && Latched(theSelector))
    Note(ViolationKind::kSilence, name + " during " + current_ + " although " + latchCause_ +
                                      " and no RSET has succeeded since");
  if (theSelector != kHostModelReset && theSelector != kHostAllocate &&
      theSelector != kHostMemMalloc && theSelector != kHostMemFree && theSelector != kHostStatus &&
      !active_->generating)
    Note(ViolationKind::kCount, name + " during " + current_ + ": model calls belong in GENM");

  bool staged = fail.selector == theSelector && !fail.fired && callCounts[theSelector] >= fail.nth;
  if (staged) {
    fail.fired = true;
    theResult = fail.code;
    // A failed MMAL hands back no block, a failed ALOC the old records.
    if (theSelector == kHostAllocate) {
      auto& rec = *static_cast<HostAllocatePtr>(theRecord);
      rec.theControlData = theInstance->control ? theInstance->control->data() : nullptr;
      rec.theControlDataSize = theInstance->controlSize;
      rec.thePluginData = theInstance->data ? theInstance->data->data() : nullptr;
      rec.thePluginDataSize = theInstance->dataSize;
    }
  } else if (theSelector == kHostAllocate) {
    theResult = Allocate(*theInstance, theRecord);
  } else if (theSelector == kHostModelReset) {
    theInstance->frame = FrameOutput();
    theInstance->groupVertices = -1;
  } else if (theSelector == kHostStatus) {
    theResult = Status(*theInstance, theRecord);
  } else if (theSelector == kHostAddGroup) {
    theResult = AddGroup(*theInstance, theRecord);
  } else if (theSelector == kHostAddVertex) {
    theResult = AddVertex(*theInstance, theRecord);
  } else if (theSelector == kHostAddFacet) {
    theResult = AddFacet(*theInstance, theRecord);
  } else if (theSelector == kHostMemMalloc) {
    theResult = MemMalloc(*theInstance, theRecord);
  } else if (theSelector == kHostMemFree) {
    theResult = MemFree(*theInstance, theRecord);
  }

  if (theSelector == kHostModelReset) {
    latched_ = theResult != kPluginNoError;
    if (latched_) latchCause_ = "RSET during " + current_ + " answered " + std::to_string(theResult);
  } else if (Latched(theSelector) && theResult != kPluginNoError && !latched_) {
    latched_ = true;
    latchCause_ = name + " during " + current_ + " answered " + std::to_string(theResult);
  }
  if (trace) Trace("      " + name + " = " + std::to_string(theResult) + (staged ? " (staged failure)" : ""), true);
  return theResult;
}

int32_t TestHost::Allocate(HostInstance& theInstance, void* theRecord) {
  auto& rec = *static_cast<HostAllocatePtr>(theRecord);
  void* heldControl = theInstance.control ? theInstance.control->data() : nullptr;
  void* heldData = theInstance.data ? theInstance.data->data() : nullptr;
  int32_t theResult = kPluginNoError;
  if (rec.theControlData != heldControl || rec.thePluginData != heldData) {
    Note(ViolationKind::kReference, "ALOC during " + current_ + " named records the host does not hold");
    theResult = kPluginBadParameters;
  } else if (refuseAllocate) {
    theResult = kPluginMemoryError;
  } else if (rec.theControlDataSize < 0 || rec.thePluginDataSize < 0 ||
             rec.theControlDataSize > kMaxBlockBytes || rec.thePluginDataSize > kMaxBlockBytes) {
    theResult = kPluginMemoryError;
  } else {
    auto resize = [&](std::unique_ptr<GuardedBlock>& theBlock, int32_t& theSize, int32_t wanted) {
      int32_t given = shortAllocate ? wanted / 2 : wanted;
      auto block = std::make_unique<GuardedBlock>(size_t(given));
      if (theBlock && !theBlock->GuardsIntact())
        Note(ViolationKind::kOutside, current_ + " wrote outside the " +
                                          std::string(&theBlock == &theInstance.control ? "settings" : "working") +
                                          " record before its ALOC");
      if (theBlock) {
        size_t keep = theBlock->size() < size_t(given) ? theBlock->size() : size_t(given);
        std::memcpy(block->data(), theBlock->data(), keep);
        theBlock->Poison();
        theInstance.movedAway.push_back(std::move(theBlock));
      }
      theBlock = std::move(block);
      theSize = given;
    };
    resize(theInstance.control, theInstance.controlSize, rec.theControlDataSize);
    resize(theInstance.data, theInstance.dataSize, rec.thePluginDataSize);
  }
  rec.theControlData = theInstance.control ? theInstance.control->data() : nullptr;
  rec.theControlDataSize = theInstance.controlSize;
  rec.thePluginData = theInstance.data ? theInstance.data->data() : nullptr;
  rec.thePluginDataSize = theInstance.dataSize;
  return theResult;
}

int32_t TestHost::Status(HostInstance&, void* theRecord) {
  auto& rec = *static_cast<HostStatusPtr>(theRecord);
  Clock::time_point now = Clock::now();
  double quiet = std::chrono::duration<double>(now - lastStatus_).count();
  if (quiet > longestQuiet) {
    longestQuiet = quiet;
    longestQuietWhere = current_ + (commandStatus_ == 0 ? ", before its first STAT" : ", between two STATs");
  }
  lastStatus_ = now;
  ++commandStatus_;
  ++statusCalls;
  // Like a real host, ask for the next report a tick from now.
  uint32_t nextTick = TickCount() + 1;
  std::memcpy(&rec.theStatusTick, &nextTick, sizeof nextTick);
  double running = std::chrono::duration<double>(now - commandStart_).count();
  bool cancel = (cancelAfterStatus >= 0 && commandStatus_ > cancelAfterStatus) ||
                (patienceSeconds > 0 && running > patienceSeconds);
  if (cancel && !cancelled) {
    cancelled = true;
    cancelAt_ = now;
  }
  return cancel ? kPluginUserCanceled : kPluginNoError;
}

int32_t TestHost::AddGroup(HostInstance& theInstance, void* theRecord) {
  auto& rec = *static_cast<HostModelAddGroupPtr>(theRecord);
  uint32_t flags = rec.theGroupVertexFlags;
  Mix(theInstance.frame.digest, "G", 1);
  Mix(theInstance.frame.digest, &flags, sizeof flags);
  ++theInstance.frame.groups;
  theInstance.groupVertices = 0;
  return kPluginNoError;
}

int32_t TestHost::AddVertex(HostInstance& theInstance, void* theRecord) {
  auto& rec = *static_cast<HostModelAddVertexPtr>(theRecord);
  if (theInstance.groupVertices < 0) {
    Note(ViolationKind::kCount, "ADDV during " + current_ + " before any ADDG");
    return kPluginOutOfSequence;
  }
  if (theInstance.frame.vertices >= kMaxVertices) {
    Note(ViolationKind::kCount, "more than " + std::to_string(kMaxVertices) + " vertices in " + current_);
    return kPluginMemoryError;
  }
  DCoordinate position, blur;
  std::memcpy(&position, &rec.thePosition, sizeof position);
  std::memcpy(&blur, &rec.theBlurPosition, sizeof blur);
  if (!Finite(position) || !Finite(blur))
    Note(ViolationKind::kNonFinite, "vertex " + std::to_string(theInstance.groupVertices) + " of group " +
                                        std::to_string(theInstance.frame.groups) + " in " + current_ +
                                        " has a coordinate that is not finite");
  // The values, not the reference or the index the host answers.
  const uint8_t* bytes = static_cast<const uint8_t*>(theRecord);
  Mix(theInstance.frame.digest, "V", 1);
  Mix(theInstance.frame.digest, bytes + offsetof(HostModelAddVertexRec, thePosition),
      offsetof(HostModelAddVertexRec, theIndex) - offsetof(HostModelAddVertexRec, thePosition));
  rec.theIndex = theInstance.groupVertices++;
  ++theInstance.frame.vertices;
  return kPluginNoError;
}

int32_t TestHost::AddFacet(HostInstance& theInstance, void* theRecord) {
  auto& rec = *static_cast<HostModelAddFacetPtr>(theRecord);
  if (theInstance.groupVertices < 0) {
    Note(ViolationKind::kCount, "ADDF during " + current_ + " before any ADDG");
    return kPluginOutOfSequence;
  }
  int16_t count = rec.theNumVertices;
  if (count < 1 || count > 4) {
    Note(ViolationKind::kCount, "ADDF during " + current_ + " with " + std::to_string(count) +
                                    " vertices; a facet has 1 to 4");
    return kPluginBadParameters;
  }
  int32_t indices[4];
  std::memcpy(indices, &rec.theVertices, sizeof indices);
  for (int i = 0; i < count; ++i)
    if (indices[i] < 0 || indices[i] >= theInstance.groupVertices) {
      Note(ViolationKind::kFacet, "ADDF during " + current_ + " names vertex " + std::to_string(indices[i]) +
                                      " but group " + std::to_string(theInstance.frame.groups) + " has " +
                                      std::to_string(theInstance.groupVertices) + " vertices");
      return kPluginBadParameters;
    }
  const uint8_t* bytes = static_cast<const uint8_t*>(theRecord);
  Mix(theInstance.frame.digest, "F", 1);
  Mix(theInstance.frame.digest, bytes + offsetof(HostModelAddFacetRec, theColor),
      sizeof(ARGB) + sizeof(int16_t));
  Mix(theInstance.frame.digest, indices, sizeof(int32_t) * size_t(count));
  ++theInstance.frame.facets;
  return kPluginNoError;
}

int32_t TestHost::MemMalloc(HostInstance& theInstance, void* theRecord) {
  auto& rec = *static_cast<HostMemMallocPtr>(theRecord);
  if (rec.theSize > uint32_t(kMaxBlockBytes)) return kPluginMemoryError;
  auto block = std::make_unique<GuardedBlock>(rec.theSize);
  void* p = block->data();
  theInstance.blocks[p] = std::move(block);
  theInstance.blockOrigin[p] = current_;
  rec.thePtr = p;
  return kPluginNoError;
}

int32_t TestHost::MemFree(HostInstance& theInstance, void* theRecord) {
  void* p = static_cast<HostMemFreePtr>(theRecord)->thePtr;
  if (p == nullptr) return kPluginNoError;
  auto found = theInstance.blocks.find(p);
  if (found == theInstance.blocks.end()) {
    Note(ViolationKind::kBadFree, "MFRE during " + current_ + " of a block the host did not hand out or had freed");
    return kPluginBadParameters;
  }
  if (!found->second->GuardsIntact())
    Note(ViolationKind::kOutside, "an MMAL block freed during " + current_ + " was written outside its bytes");
  theInstance.blocks.erase(found);
  theInstance.blockOrigin.erase(p);
  return kPluginNoError;
}
