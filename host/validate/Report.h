// The results of a validation: a table for the terminal, JSON for tools and
// JUnit XML for CI.
#ifndef PLMHOST_VALIDATE_REPORT_H
#define PLMHOST_VALIDATE_REPORT_H

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "validate/Checks.h"

struct CheckResult {
  const CheckDefinition* check;
  Outcome outcome;
  std::vector<Finding> findings;
  double seconds;
};

struct ValidationRun {
  std::string pluginPath;
  int strictness;
  uint32_t seed;
  double seconds;
  std::vector<CheckResult> results;
};

// The command that runs one check alone, in this process.
std::string ReproduceCommand(const ValidationRun& theRun, const CheckDefinition& theCheck);

void PrintTable(std::FILE* out, const ValidationRun& theRun);
// Each throws a HostError when the file cannot be written.
void WriteJson(const std::string& thePath, const ValidationRun& theRun);
void WriteJUnit(const std::string& thePath, const ValidationRun& theRun);

#endif
