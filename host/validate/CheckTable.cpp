#include <algorithm>
#include <exception>

#include "validate/Checks.h"

namespace {

constexpr uint32_t K(ViolationKind k) { return KindBit(k); }

void CallbackRSET(CheckContext& c) { checks::CallbackFails(c, kHostModelReset); }
void CallbackSTAT(CheckContext& c) { checks::CallbackFails(c, kHostStatus); }
void CallbackADDG(CheckContext& c) { checks::CallbackFails(c, kHostAddGroup); }
void CallbackADDV(CheckContext& c) { checks::CallbackFails(c, kHostAddVertex); }
void CallbackADDF(CheckContext& c) { checks::CallbackFails(c, kHostAddFacet); }
void CallbackMMAL(CheckContext& c) { checks::CallbackFails(c, kHostMemMalloc); }
void CallbackMFRE(CheckContext& c) { checks::CallbackFails(c, kHostMemFree); }

constexpr uint32_t kFailedCallback = K(ViolationKind::kSilence) | K(ViolationKind::kBadFree);

}  // namespace

const char* OutcomeName(Outcome theOutcome) {
  switch (theOutcome) {
    case Outcome::kPass: return "pass";
    case Outcome::kWarn: return "warn";
    case Outcome::kFail: return "fail";
    case Outcome::kSkip: return "skip";
  }
  return "?";
}

const std::vector<CheckDefinition>& CheckTable() {
  static const std::vector<CheckDefinition> kTable = {
      {"load.main", 1, 0, checks::LoadMain, "the library loads and exports Main"},
      {"load.exports", 2, 0, checks::LoadExports,
       "the library exports nothing besides Main (a warning; a failure at strictness 5)"},
      {"info.strings", 2, 0, checks::InfoStrings,
       "INFO answers 0, sets the type, writes a name, and its four texts are P-strings of printable text"},
      {"info.check", 2, 0, checks::InfoCheck,
       "CHEK accepts INIT, FINI, INFO, SETM and GENM, refuses unknown codes, and every command it accepts "
       "answers something other than 2 (INTF runs its dialog confirmed unchanged)"},
      {"info.describe", 2, 0, checks::InfoDescribe,
       "DESC gives a text for every result code the plug-in returned here (a missing text for the other "
       "codes of the protocol is a warning)"},
      {"records.null", 1, 0, checks::RecordsNull,
       "every command with a null record: no crash or hang, and a refusal (accepting one is a warning; a "
       "failure from strictness 4)"},
      {"records.short", 1, 0, checks::RecordsShort,
       "every command with a record one byte short and half its size: no write outside it, and a refusal"},
      {"records.size", 1, 0, checks::RecordsSize,
       "every command with a size of 0, -1 or -2147483648: the record untouched, and a refusal"},
      {"records.hostproc", 1, 0, checks::RecordsHostProc,
       "every command but INTF with a null theHostProc, before and after INIT: no crash or hang"},
      {"life.repeat", 2, 0, checks::LifeRepeat,
       "INIT twice, INIT/FINI repeated and FINI twice all answer, and frames after a new INIT are those "
       "of the first"},
      {"life.fini-first", 2, 0, checks::LifeFinishFirst,
       "FINI as the first command after loading does no harm: INIT and frames work after it"},
      {"life.two-instances", 2, 0, checks::LifeTwoInstances,
       "two instances side by side: frames of one are not changed by the other running between them"},
      {"alloc.move", 2, 0, checks::AllocMove,
       "the host moves both records to new addresses before every command: same frames, and nothing "
       "written where they were"},
      {"alloc.refused", 2, 0, checks::AllocRefused,
       "ALOC refused: the command says so, later commands neither crash nor use records they lack, and "
       "all works once ALOC is granted"},
      {"alloc.short", 2, 0, checks::AllocShort,
       "ALOC answers 0 but hands out half the bytes asked for: nothing written past them"},
      {"callbacks.records", 2, K(ViolationKind::kReference), checks::CallbacksRecords,
       "every callback record is at least its selector's size and names the command's theHostReference; "
       "no unknown selectors; callbacks only while a command runs"},
      {"callbacks.RSET", 2, kFailedCallback, CallbackRSET,
       "RSET failing once: frames stay silent as the latch requires until an RSET succeeds, then recover"},
      {"callbacks.STAT", 2, kFailedCallback, CallbackSTAT,
       "STAT failing once, first and in the middle: the plug-in stops cleanly, stays silent, recovers"},
      {"callbacks.ADDG", 2, kFailedCallback, CallbackADDG,
       "ADDG failing once: the plug-in stops cleanly, stays silent, recovers after the next reset"},
      {"callbacks.ADDV", 2, kFailedCallback, CallbackADDV,
       "ADDV failing once, first and in the middle: the plug-in stops cleanly, stays silent, recovers"},
      {"callbacks.ADDF", 2, kFailedCallback, CallbackADDF,
       "ADDF failing once, first and in the middle: the plug-in stops cleanly, stays silent, recovers"},
      {"callbacks.MMAL", 2, kFailedCallback, CallbackMMAL,
       "MMAL failing once: no crash, no MFRE of the block it did not get, and later frames work"},
      {"callbacks.MFRE", 2, kFailedCallback, CallbackMFRE,
       "MFRE failing once: no crash, and later frames work"},
      {"cancel.stat", 3, K(ViolationKind::kSilence), checks::CancelStatus,
       "a jump of 30000 frames cancelled at its first STAT after 50 ms returns within 1 s, stays silent, "
       "and the next frame works"},
      {"memory.mmal", 2, K(ViolationKind::kLeak) | K(ViolationKind::kBadFree), checks::MemoryBlocks,
       "every MMAL block is released by MFRE by the end of FINI, and only blocks the host gave are freed"},
      {"model.facets", 2, K(ViolationKind::kFacet), checks::ModelRun,
       "facets name only vertices added to the same group"},
      {"model.counts", 2, K(ViolationKind::kCount), checks::ModelRun,
       "model calls only in GENM, vertices and facets after an ADDG, facets of 1 to 4 vertices, at most "
       "2^24 vertices a frame"},
      {"model.finite", 2, K(ViolationKind::kNonFinite), checks::ModelRun,
       "every vertex and blur position is finite"},
      {"determinism.repeat", 4, 0, checks::DeterminismRepeat, "the same frame twice gives the same model"},
      {"determinism.fresh", 4, 0, checks::DeterminismFresh,
       "a fresh instance given the first's settings record builds the same frames"},
      {"determinism.reload", 4, 0, checks::DeterminismReload,
       "a settings record stored after frame 10 and reloaded into a fresh instance gives the same frames "
       "run again from frame 0"},
      {"settings.byteorder", 1, 0, checks::SettingsByteOrder,
       "the plug-in's own settings record reversed in 2-, 4- and 8-byte units: refused or repaired, no "
       "crash, hang or write outside"},
      {"settings.truncated", 1, 0, checks::SettingsTruncated,
       "the settings record cut to 1 byte, half and one byte short: refused or repaired, no crash"},
      {"settings.oversized", 1, 0, checks::SettingsOversized,
       "the settings record with 1, 8 and its own size of bytes added: refused or repaired, no crash"},
      {"settings.random", 1, 0, checks::SettingsRandom,
       "random records of the settings record's size and the record with random bytes changed (--seed): "
       "refused or repaired, no crash"},
      {"work.stat", 3, 0, checks::WorkStatus,
       "no command runs longer than 0.5 s without offering a STAT (frames 0, 30000, 30001 and 5)"},
  };
  return kTable;
}

std::string CheckGroup(const CheckDefinition& theCheck) {
  std::string name = theCheck.name;
  return name.substr(0, name.find('.'));
}

Outcome Summarise(const std::vector<Finding>& theFindings) {
  Outcome theOutcome = Outcome::kPass;
  bool skipped = false;
  for (const Finding& f : theFindings) {
    if (f.outcome == Outcome::kFail) return Outcome::kFail;
    if (f.outcome == Outcome::kWarn) theOutcome = Outcome::kWarn;
    if (f.outcome == Outcome::kSkip) skipped = true;
  }
  return theOutcome == Outcome::kPass && skipped ? Outcome::kSkip : theOutcome;
}

std::vector<Finding> RunCheckHere(const CheckDefinition& theCheck, const std::string& thePluginPath,
                                  int theStrictness, uint32_t theSeed, bool theTrace, ProgressSlot* theSlot) {
  std::vector<Finding> theFindings;
  try {
    TestHost theHost(thePluginPath);
    theHost.trace = theTrace;
    theHost.slot = theSlot;
    CheckContext theContext{theHost, thePluginPath, theStrictness, theSeed, {}};
    theCheck.run(theContext);
    theHost.NoteLeaks();
    theFindings = std::move(theContext.findings);
    uint32_t reported = theCheck.reports | kEveryCheck;
    for (const Violation& v : theHost.violations)
      if (reported & KindBit(v.kind)) theFindings.push_back({Outcome::kFail, v.text});
  } catch (const std::exception& e) {
    theFindings.push_back({Outcome::kFail, e.what()});
  }
  // Failures first: the table shows the first finding of each check.
  auto rank = [](const Finding& f) { return f.outcome == Outcome::kFail ? 0 : f.outcome == Outcome::kWarn ? 1 : 2; };
  std::stable_sort(theFindings.begin(), theFindings.end(),
                   [&](const Finding& a, const Finding& b) { return rank(a) < rank(b); });
  return theFindings;
}
