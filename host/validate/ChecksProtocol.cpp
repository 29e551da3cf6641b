// Checks of loading, self-description, bad command records, life cycle and
// allocation.
#include <climits>
#include <cstring>
#include <set>

#include "protocol/MacRoman.h"
#include "protocol/PluginInstance.h"
#include "validate/Checks.h"
#include "validate/Exports.h"

namespace {

std::string Code(IFFType theCode) { return FourCharText(theCode); }
std::string Num(int64_t n) { return std::to_string(n); }

// Symbols every linker may leave in a shared library's table.
const char* const kLinkerSymbols[] = {"_init", "_fini", "_edata", "_end", "__bss_start"};

constexpr IFFType kUnknownCommand = MakeIFF("ZZZZ");

// Sends theCommand with a record of theSize bytes made from the command's
// template (as much of it as fits), under guard; returns the result and
// whether the plug-in wrote outside or (with unchanged) into the record.
struct BadRecordResult {
  int32_t result;
  bool outside, changed;
};
BadRecordResult SendBadRecord(TestHost& h, HostInstance& inst, IFFType theCommand, int32_t theSize,
                              size_t theBytes, bool nullProc = false) {
  std::vector<uint8_t> full = h.Template(inst, theCommand);
  if (nullProc) std::memset(full.data() + offsetof(PluginInfoRec, theHostProc), 0, sizeof(QVPluginRoutine));
  GuardedBlock rec(theBytes);
  std::memcpy(rec.data(), full.data(), theBytes < full.size() ? theBytes : full.size());
  int32_t r = h.Raw(&inst, theCommand, theSize, rec.data());
  return {r, !rec.GuardsIntact(), std::memcmp(rec.data(), full.data(), theBytes) != 0};
}

}  // namespace

const std::vector<int32_t> kAnimationFrames = {0, 1, 2, 3, 10, 11, 40, 41};

std::vector<uint8_t> OwnSettings(TestHost& theHost) {
  HostInstance& inst = theHost.NewInstance();
  if (theHost.Initialize(inst) != kPluginNoError) return {};
  std::vector<uint8_t> theSettings = theHost.Settings(inst);
  theHost.Finish(inst);
  return theSettings;
}

namespace checks {

// The host's constructor has loaded the library and found Main.
void LoadMain(CheckContext& c) {
  if (c.host.plugin().main == nullptr) c.Fail("no Main");
}

void LoadExports(CheckContext& c) {
  ExportList theList = ReadExports(c.pluginPath);
  if (!theList.readable) {
    c.Warn(5, "its exported symbols cannot be read: the file " + theList.problem);
    return;
  }
  std::vector<std::string> others;
  for (const std::string& s : theList.symbols) {
    bool linker = s == "Main";
    for (const char* l : kLinkerSymbols) linker = linker || s == l;
    if (!linker) others.push_back(s);
  }
  if (others.empty()) return;
  std::string names;
  for (size_t i = 0; i < others.size() && i < 5; ++i) names += (i ? ", " : "") + others[i];
  if (others.size() > 5) names += ", ...";
  c.Warn(5, "exports " + Num(int64_t(others.size())) + " symbol(s) besides Main: " + names +
                " (hide them: -fvisibility=hidden or a version script)");
}

void InfoStrings(CheckContext& c) {
  HostInstance& inst = c.host.NewInstance();
  std::vector<uint8_t> after;
  int32_t r = c.host.Command(inst, kCmdInformation, {}, &after);
  if (r != kPluginNoError) {
    c.Fail("INFO answered " + Num(r));
    return;
  }
  PluginInformationRec info;
  std::memcpy(&info, after.data(), sizeof info);
  if (info.thePluginType == 0) c.Fail("INFO left thePluginType 0");
  const struct {
    const char* field;
    const uint8_t* text;
  } kTexts[] = {{"thePluginName", info.thePluginName},
                {"thePluginCopyright", info.thePluginCopyright},
                {"thePluginAuthor", info.thePluginAuthor},
                {"thePluginDescription", info.thePluginDescription}};
  if (info.thePluginName[0] == 0) c.Fail("INFO wrote no thePluginName");
  for (const auto& t : kTexts) {
    for (int i = 1; i <= t.text[0]; ++i) {
      uint8_t ch = t.text[i];
      if (ch == 0) {
        c.Fail(std::string(t.field) + " holds a NUL within its " + Num(t.text[0]) +
               " characters: a C string where a P-string belongs?");
        break;
      }
      if (ch < 0x20 || ch == 0x7F) {
        c.Warn(5, std::string(t.field) + " holds the control character " + Num(ch) + " at " + Num(i));
        break;
      }
    }
  }
}

void InfoCheck(CheckContext& c) {
  HostInstance& inst = c.host.NewInstance();
  int32_t r = c.host.Initialize(inst);
  if (r != kPluginNoError) {
    c.Fail("INIT answered " + Num(r));
    return;
  }
  auto check = [&](IFFType theCode) {
    return c.host.Command(inst, kCmdCheck, [theCode](uint8_t* rec) {
      std::memcpy(rec + offsetof(PluginCheckRec, theCommand), &theCode, sizeof theCode);
    });
  };
  std::set<IFFType> accepted;
  for (IFFType cmd : kProtocolCommands)
    if (check(cmd) == kPluginNoError) accepted.insert(cmd);
  for (IFFType needed : {kCmdInitialize, kCmdFinish, kCmdInformation, kCmdSetup, kCmdGenerate})
    if (!accepted.count(needed)) c.Fail("CHEK refuses " + Code(needed) + ", which every model plug-in needs");
  if (check(kUnknownCommand) == kPluginNoError) c.Fail("CHEK accepts the unknown command ZZZZ");
  std::vector<uint8_t> head = c.host.Template(inst, kCmdInitialize);
  r = c.host.Raw(&inst, kUnknownCommand, int32_t(head.size()), head.data());
  if (r != kPluginUnsupportedCommand) c.Fail("the unknown command ZZZZ answered " + Num(r) + ", not 2");

  // Every command with a well-formed record; FINI last.
  for (IFFType cmd : kProtocolCommands) {
    if (cmd == kCmdFinish) continue;
    r = cmd == kCmdSetup ? c.host.Setup(inst, 1) : c.host.Command(inst, cmd);
    if (accepted.count(cmd) && r == kPluginUnsupportedCommand)
      c.Fail("CHEK accepts " + Code(cmd) + " but " + Code(cmd) + " answers 2");
    if (!accepted.count(cmd) && r != kPluginUnsupportedCommand)
      c.Warn(5, "CHEK refuses " + Code(cmd) + " but " + Code(cmd) + " answers " + Num(r));
  }
  r = c.host.Finish(inst);
  if (accepted.count(kCmdFinish) && r == kPluginUnsupportedCommand) c.Fail("CHEK accepts FINI but FINI answers 2");
}

void InfoDescribe(CheckContext& c) {
  // Make the plug-in return what it can: success, an unknown command, a
  // short record, frames.
  HostInstance& inst = c.host.NewInstance();
  c.host.Initialize(inst);
  std::vector<uint8_t> rec = c.host.Template(inst, kCmdCheck);
  c.host.Raw(&inst, kUnknownCommand, int32_t(rec.size()), rec.data());
  c.host.Raw(&inst, kCmdCheck, int32_t(rec.size()) - 1, rec.data());
  c.host.Frames(inst, {1, 2});
  std::set<int32_t> returned(c.host.resultsReturned.begin(), c.host.resultsReturned.end());

  std::set<int32_t> codes = returned;
  codes.insert(std::begin(kProtocolResults), std::end(kProtocolResults));
  for (int32_t code : codes) {
    std::vector<uint8_t> after;
    int32_t r = c.host.Command(inst, kCmdDescribe, [code](uint8_t* d) {
      std::memcpy(d + offsetof(PluginDescribeRec, theResult), &code, sizeof code);
    }, &after);
    const uint8_t* text = after.data() + offsetof(PluginDescribeRec, theDescription);
    bool own = returned.count(code) > 0;
    std::string why = own ? ", a code it returned" : ", a code of the protocol";
    if (r != kPluginNoError) {
      if (own) c.Fail("DESC of " + Num(code) + " answered " + Num(r) + why);
      else c.Warn(5, "DESC of " + Num(code) + " answered " + Num(r) + why);
    } else if (text[0] == 0) {
      if (own) c.Fail("DESC has no text for " + Num(code) + why);
      else c.Warn(5, "DESC has no text for " + Num(code) + why);
    }
  }
  // Codes nobody defined must still be answered without harm.
  for (int32_t code : {7, 9, -1, INT_MIN}) {
    c.host.Command(inst, kCmdDescribe, [code](uint8_t* d) {
      std::memcpy(d + offsetof(PluginDescribeRec, theResult), &code, sizeof code);
    });
  }
  c.host.Finish(inst);
}

void RecordsNull(CheckContext& c) {
  HostInstance& inst = c.host.NewInstance();
  c.host.Initialize(inst);
  for (IFFType cmd : kProtocolCommands) {
    int32_t r = c.host.Raw(&inst, cmd, CommandRecordSize(cmd), nullptr);
    if (r == kPluginNoError) c.Warn(4, Code(cmd) + " answered 0 for a null record");
  }
}

void RecordsShort(CheckContext& c) {
  HostInstance& inst = c.host.NewInstance();
  c.host.Initialize(inst);
  for (IFFType cmd : kProtocolCommands) {
    int32_t full = CommandRecordSize(cmd);
    for (int32_t size : {full - 1, full / 2}) {
      BadRecordResult b = SendBadRecord(c.host, inst, cmd, size, size_t(size));
      std::string what = Code(cmd) + " with a record of " + Num(size) + " bytes (it needs " + Num(full) + ")";
      if (b.outside) c.Fail(what + " wrote past its end");
      if (b.result == kPluginNoError) c.Warn(4, what + " answered 0");
      else if (b.changed) c.Warn(4, what + " answered " + Num(b.result) + " but changed the record");
    }
  }
}

void RecordsSize(CheckContext& c) {
  HostInstance& inst = c.host.NewInstance();
  c.host.Initialize(inst);
  for (IFFType cmd : kProtocolCommands) {
    int32_t full = CommandRecordSize(cmd);
    for (int32_t size : {0, -1, INT_MIN}) {
      // A zero-byte record is only guard; a negative size comes with the
      // whole record, which must stay as it is.
      BadRecordResult b = SendBadRecord(c.host, inst, cmd, size, size == 0 ? 0 : size_t(full));
      std::string what = Code(cmd) + " with a size of " + Num(size);
      if (b.outside) c.Fail(what + " wrote outside the record");
      if (b.changed) c.Fail(what + " wrote into the record");
      if (b.result == kPluginNoError) c.Warn(4, what + " answered 0");
    }
  }
}

void RecordsHostProc(CheckContext& c) {
  // Before INIT, with no records: a plug-in that needs them cannot ask.
  HostInstance& fresh = c.host.NewInstance();
  for (IFFType cmd : {kCmdInitialize, kCmdSetup, kCmdGenerate, kCmdFinish}) {
    int32_t full = CommandRecordSize(cmd);
    BadRecordResult b = SendBadRecord(c.host, fresh, cmd, full, size_t(full), true);
    if (b.outside) c.Fail(Code(cmd) + " with a null theHostProc and no records wrote outside its record");
  }
  HostInstance& inst = c.host.NewInstance();
  c.host.Initialize(inst);
  for (IFFType cmd : kProtocolCommands) {
    if (cmd == kCmdInterface) continue;  // would run the dialog
    int32_t full = CommandRecordSize(cmd);
    BadRecordResult b = SendBadRecord(c.host, inst, cmd, full, size_t(full), true);
    if (b.outside) c.Fail(Code(cmd) + " with a null theHostProc wrote outside its record");
  }
}

namespace {

// The first frame where two runs differ, described; "" when none does.
std::string FirstDifference(const std::vector<FrameOutput>& a, const std::vector<FrameOutput>& b,
                            const std::vector<int32_t>& frames) {
  for (size_t i = 0; i < a.size() && i < b.size(); ++i)
    if (a[i] != b[i] || a[i].result != b[i].result)
      return "frame " + Num(frames[i]) + ": " + Describe(b[i]) + " (result " + Num(b[i].result) +
             ") instead of " + Describe(a[i]) + " (result " + Num(a[i].result) + ")";
  return "";
}

// The plug-in's own settings record, or a failure saying why there is none.
bool Settings0(CheckContext& c, std::vector<uint8_t>* theSettings) {
  size_t before = c.host.resultsReturned.size();
  *theSettings = OwnSettings(c.host);
  if (c.host.resultsReturned.size() > before && c.host.resultsReturned[before] != kPluginNoError) {
    c.Fail("INIT answered " + Num(c.host.resultsReturned[before]));
    return false;
  }
  return true;
}

}  // namespace

std::string FramesDiffer(const std::vector<FrameOutput>& a, const std::vector<FrameOutput>& b,
                         const std::vector<int32_t>& frames) {
  return FirstDifference(a, b, frames);
}

bool PluginSettings(CheckContext& c, std::vector<uint8_t>* theSettings) { return Settings0(c, theSettings); }

void LifeRepeat(CheckContext& c) {
  std::vector<uint8_t> s0;
  if (!Settings0(c, &s0)) return;
  HostInstance& inst = c.host.NewInstance(s0);
  const std::vector<int32_t> frames = {1, 10};
  auto expect0 = [&](int32_t r, const std::string& what) {
    if (r != kPluginNoError) c.Fail(what + " answered " + Num(r));
  };
  expect0(c.host.Initialize(inst), "INIT");
  expect0(c.host.Initialize(inst), "a second INIT");
  std::vector<FrameOutput> first = c.host.Frames(inst, frames);
  expect0(c.host.Finish(inst), "FINI");
  expect0(c.host.Initialize(inst), "INIT after FINI");
  std::vector<FrameOutput> again = c.host.Frames(inst, frames);
  std::string d = FirstDifference(first, again, frames);
  if (!d.empty()) c.Fail("after FINI and INIT, " + d);
  expect0(c.host.Finish(inst), "FINI");
  c.host.Finish(inst);  // twice: any answer, no harm
  expect0(c.host.Initialize(inst), "INIT after FINI twice");
  for (const FrameOutput& o : c.host.Frames(inst, frames))
    if (o.result != kPluginNoError) c.Fail("a frame after FINI twice and INIT answered " + Num(o.result));
  c.host.Finish(inst);
}

void LifeFinishFirst(CheckContext& c) {
  HostInstance& inst = c.host.NewInstance();
  c.host.Finish(inst);  // the first command after loading
  int32_t r = c.host.Initialize(inst);
  if (r != kPluginNoError) c.Fail("INIT after a first FINI answered " + Num(r));
  for (const FrameOutput& o : c.host.Frames(inst, {1, 10}))
    if (o.result != kPluginNoError) c.Fail("a frame after a first FINI answered " + Num(o.result));
  c.host.Finish(inst);
}

void LifeTwoInstances(CheckContext& c) {
  std::vector<uint8_t> s0;
  if (!Settings0(c, &s0)) return;
  HostInstance& a = c.host.NewInstance(s0);
  HostInstance& b = c.host.NewInstance();
  c.host.Initialize(a);
  c.host.Initialize(b);
  // The other instance runs a different animation between every frame.
  const std::vector<int32_t> otherFrames = {30, 3, 60, 7, 5, 90, 2, 45};
  std::vector<FrameOutput> beside;
  for (size_t i = 0; i < kAnimationFrames.size(); ++i) {
    beside.push_back(c.host.Frame(a, kAnimationFrames[i]));
    c.host.Frame(b, otherFrames[i % otherFrames.size()]);
  }
  c.host.Finish(a);
  c.host.Finish(b);
  HostInstance& alone = c.host.NewInstance(s0);
  c.host.Initialize(alone);
  std::vector<FrameOutput> single = c.host.Frames(alone, kAnimationFrames);
  c.host.Finish(alone);
  std::string d = FirstDifference(single, beside, kAnimationFrames);
  if (!d.empty()) c.Fail("an instance running beside another differs from one alone at " + d);
}

void AllocMove(CheckContext& c) {
  std::vector<uint8_t> s0;
  if (!Settings0(c, &s0)) return;
  HostInstance& still = c.host.NewInstance(s0);
  c.host.Initialize(still);
  std::vector<FrameOutput> reference = c.host.Frames(still, kAnimationFrames);
  c.host.Finish(still);
  c.host.moveRecords = true;
  HostInstance& moving = c.host.NewInstance(s0);
  c.host.Initialize(moving);
  std::vector<FrameOutput> moved = c.host.Frames(moving, kAnimationFrames);
  c.host.Finish(moving);
  c.host.moveRecords = false;
  std::string d = FirstDifference(reference, moved, kAnimationFrames);
  if (!d.empty()) c.Fail("with the records moved between commands, " + d);
}

void AllocRefused(CheckContext& c) {
  c.host.refuseAllocate = true;
  HostInstance& inst = c.host.NewInstance();
  int64_t asked = c.host.callCounts[kHostAllocate];
  int32_t r = c.host.Initialize(inst);
  if (c.host.callCounts[kHostAllocate] == asked) {
    c.host.refuseAllocate = false;
    c.Skip("INIT asks for no records");
    return;
  }
  if (r == kPluginNoError) c.Fail("INIT answered 0 although the host refused its ALOC");
  // Later commands ask again and are refused again: they must say so too.
  for (IFFType cmd : {kCmdSetup, kCmdGenerate}) {
    asked = c.host.callCounts[kHostAllocate];
    r = cmd == kCmdSetup ? c.host.Setup(inst, 1) : c.host.Generate(inst);
    if (r == kPluginNoError && c.host.callCounts[kHostAllocate] > asked && !inst.control && !inst.data)
      c.Fail(Code(cmd) + " answered 0 although the host refused its ALOC");
  }
  c.host.Finish(inst);
  c.host.refuseAllocate = false;
  r = c.host.Initialize(inst);
  if (r != kPluginNoError) c.Fail("INIT answered " + Num(r) + " once the host granted ALOC again");
  for (const FrameOutput& o : c.host.Frames(inst, {1, 10}))
    if (o.result != kPluginNoError) c.Fail("a frame answered " + Num(o.result) + " once ALOC was granted again");
  c.host.Finish(inst);
}

void AllocShort(CheckContext& c) {
  c.host.shortAllocate = true;
  HostInstance& inst = c.host.NewInstance();
  int64_t asked = c.host.callCounts[kHostAllocate];
  c.host.Initialize(inst);
  if (c.host.callCounts[kHostAllocate] == asked) {
    c.host.shortAllocate = false;
    c.Skip("INIT asks for no records");
    return;
  }
  c.host.Frames(inst, {1, 10});
  c.host.shortAllocate = false;
  HostInstance& whole = c.host.NewInstance();
  int32_t r = c.host.Initialize(whole);
  if (r != kPluginNoError) c.Fail("INIT answered " + Num(r) + " once the host gave whole blocks again");
  c.host.Finish(inst);
  c.host.Finish(whole);
}

}  // namespace checks
