// The checks: a table of named checks, each run against a fresh TestHost,
// and the findings they report.
#ifndef PLMHOST_VALIDATE_CHECKS_H
#define PLMHOST_VALIDATE_CHECKS_H

#include <cstdint>
#include <string>
#include <vector>

#include "validate/TestHost.h"

enum class Outcome { kPass, kWarn, kFail, kSkip };
const char* OutcomeName(Outcome theOutcome);

struct Finding {
  Outcome outcome;  // kFail, kWarn or kSkip
  std::string reason;
};

struct CheckContext {
  TestHost& host;
  std::string pluginPath;
  int strictness;
  uint32_t seed;
  std::vector<Finding> findings;

  void Fail(const std::string& theReason) { findings.push_back({Outcome::kFail, theReason}); }
  // A warning that counts as a failure from strictness failFrom on.
  void Warn(int failFrom, const std::string& theReason) {
    findings.push_back({strictness >= failFrom ? Outcome::kFail : Outcome::kWarn, theReason});
  }
  void Skip(const std::string& theReason) { findings.push_back({Outcome::kSkip, theReason}); }
};

// Violations of these kinds are reported by the checks that name them in
// `reports`; the kinds in kEveryCheck by every check.
constexpr uint32_t KindBit(ViolationKind k) { return 1u << unsigned(k); }
constexpr uint32_t kEveryCheck = KindBit(ViolationKind::kOutside) | KindBit(ViolationKind::kHead);

struct CheckDefinition {
  const char* name;
  int strictness;  // the lowest strictness that runs it
  uint32_t reports;
  void (*run)(CheckContext&);
  const char* description;
};

const std::vector<CheckDefinition>& CheckTable();
// The group is the name up to its first dot.
std::string CheckGroup(const CheckDefinition& theCheck);

// Runs one check in this process: a fresh host, the check, then the
// violations it reports.
std::vector<Finding> RunCheckHere(const CheckDefinition& theCheck, const std::string& thePluginPath,
                                  int theStrictness, uint32_t theSeed, bool theTrace, ProgressSlot* theSlot);
Outcome Summarise(const std::vector<Finding>& theFindings);

// The checks, by group (CheckTable lists them with their descriptions).
namespace checks {
void LoadMain(CheckContext&);
void LoadExports(CheckContext&);
void InfoStrings(CheckContext&);
void InfoCheck(CheckContext&);
void InfoDescribe(CheckContext&);
void RecordsNull(CheckContext&);
void RecordsShort(CheckContext&);
void RecordsSize(CheckContext&);
void RecordsHostProc(CheckContext&);
void LifeRepeat(CheckContext&);
void LifeFinishFirst(CheckContext&);
void LifeTwoInstances(CheckContext&);
void AllocMove(CheckContext&);
void AllocRefused(CheckContext&);
void AllocShort(CheckContext&);
void CallbacksRecords(CheckContext&);
void CallbackFails(CheckContext&, IFFType theSelector);
void CancelStatus(CheckContext&);
void MemoryBlocks(CheckContext&);
void ModelRun(CheckContext&);
void DeterminismRepeat(CheckContext&);
void DeterminismFresh(CheckContext&);
void DeterminismReload(CheckContext&);
void SettingsByteOrder(CheckContext&);
void SettingsTruncated(CheckContext&);
void SettingsOversized(CheckContext&);
void SettingsRandom(CheckContext&);
void WorkStatus(CheckContext&);

// The plug-in's own settings record (from INIT with none, then FINI); false,
// with a failure, when INIT refuses.
bool PluginSettings(CheckContext& c, std::vector<uint8_t>* theSettings);
// The first frame at which two runs of theFrames differ, described; "" when
// they agree.
std::string FramesDiffer(const std::vector<FrameOutput>& expected, const std::vector<FrameOutput>& got,
                         const std::vector<int32_t>& theFrames);
}  // namespace checks

// Frames used by the checks that run a short animation: continuous steps, a
// jump forward, and a step after it.
extern const std::vector<int32_t> kAnimationFrames;
// The settings record the plug-in makes for itself on "INIT" with none.
std::vector<uint8_t> OwnSettings(TestHost& theHost);

#endif
