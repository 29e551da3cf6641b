#include "validate/Validate.h"

#include <fnmatch.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>

#include "cli/HostError.h"
#include "validate/ChildRunner.h"
#include "validate/Exports.h"
#include "validate/Report.h"

const char* const kStrictnessHelp =
    "Strictness levels (each adds to the one below):\n"
    "  1  what takes a host down: loading, bad command records, damaged settings records\n"
    "  2  the protocol: self-description, life cycle, allocation, failing callbacks, memory, model output\n"
    "  3  long work: STAT offered at least every 0.5 s, and cancel through STAT honoured within 1 s\n"
    "  4  determinism; accepting a bad command record fails\n"
    "  5  every warning fails (other exported symbols, missing DESC texts, ...); the default";

namespace {

// A name matches itself, its group ("records" for "records.null"), or a
// pattern with * and ?.
bool Matches(const std::string& thePattern, const std::string& theName) {
  if (thePattern.find_first_of("*?[") != std::string::npos)
    return fnmatch(thePattern.c_str(), theName.c_str(), 0) == 0;
  return theName == thePattern || theName.rfind(thePattern + ".", 0) == 0;
}

void PrintList() {
  std::string group;
  for (const CheckDefinition& c : CheckTable()) {
    if (CheckGroup(c) != group) {
      group = CheckGroup(c);
      std::printf("%s%s\n", group == CheckGroup(CheckTable().front()) ? "" : "\n", group.c_str());
    }
    std::printf("  %-20s [%d] %s\n", c.name, c.strictness, c.description);
  }
  std::printf("\n%zu checks; [N] is the lowest strictness that runs the check.\n%s\n", CheckTable().size(),
              kStrictnessHelp);
}

// Judged from the file alone, before any of its code runs in this process.
void RequirePlugin(const std::string& thePath) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(thePath, ec)) throw UsageError(thePath + ": no plug-in file there");
  ExportList theList = ReadExports(thePath);
  if (!theList.readable) throw UsageError(thePath + ": not a model plug-in (the file " + theList.problem + ")");
  if (std::find(theList.symbols.begin(), theList.symbols.end(), "Main") == theList.symbols.end())
    throw UsageError(thePath + ": not a model plug-in (it exports no Main)");
}

double Since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int RunValidate(const ValidateOptions& o) {
  if (o.list) {
    PrintList();
    return kExitDone;
  }
  if (o.pluginPath.empty()) throw UsageError("validate: name the plug-in to check (or use --list)");
  std::vector<const CheckDefinition*> selected;
  for (const CheckDefinition& c : CheckTable())
    if (o.filter.empty() || Matches(o.filter, c.name)) selected.push_back(&c);
  if (selected.empty()) throw UsageError("--filter " + o.filter + " names no check (see --list)");

  // A child runs its one check and leaves the findings to its parent.
  if (o.reportFd >= 0) {
    ProgressSlot* slot = MapProgressSlot(o.reportFd);
    if (slot == nullptr || selected.size() != 1) throw UsageError("--report-fd is for plmhost's own use");
    LeaveFindings(*slot, RunCheckHere(*selected[0], o.pluginPath, o.strictness, o.seed, o.trace, slot));
    return kExitDone;
  }

  RequirePlugin(o.pluginPath);
  auto start = std::chrono::steady_clock::now();
  ValidationRun theRun{o.pluginPath, o.strictness, o.seed, 0, {}};
  for (const CheckDefinition* c : selected) {
    auto begin = std::chrono::steady_clock::now();
    std::vector<Finding> findings;
    if (o.strictness < c->strictness) {
      findings.push_back({Outcome::kSkip, "runs from strictness " + std::to_string(c->strictness)});
    } else if (o.inProcess) {
      if (o.trace) std::fprintf(stderr, "[%s]\n", c->name);
      findings = RunCheckHere(*c, o.pluginPath, o.strictness, o.seed, o.trace, nullptr);
    } else {
      if (o.trace) std::fprintf(stderr, "[%s]\n", c->name);
      findings = RunCheckInChild(*c, o);
    }
    theRun.results.push_back({c, Summarise(findings), findings, Since(begin)});
  }
  theRun.seconds = Since(start);

  PrintTable(stdout, theRun);
  if (!o.jsonPath.empty()) WriteJson(o.jsonPath, theRun);
  if (!o.junitPath.empty()) WriteJUnit(o.junitPath, theRun);
  for (const CheckResult& r : theRun.results)
    if (r.outcome == Outcome::kFail) return kExitPluginError;
  return kExitDone;
}
