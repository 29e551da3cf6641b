// Runs one check in a child process: plmhost itself again, with
// --in-process and the check's exact name, and a shared page (ProgressSlot)
// through which the child tells its calls as it goes and leaves its
// findings.  A child that outlives the time limit is killed and reported
// with its last host call; one that dies of a signal, with the signal.
#ifndef PLMHOST_VALIDATE_CHILDRUNNER_H
#define PLMHOST_VALIDATE_CHILDRUNNER_H

#include <vector>

#include "validate/Checks.h"
#include "validate/Validate.h"

std::vector<Finding> RunCheckInChild(const CheckDefinition& theCheck, const ValidateOptions& theOptions);

// In the child: maps the slot the parent passed, or returns null.
ProgressSlot* MapProgressSlot(int theFd);
// Writes the findings into the slot and marks it finished.
void LeaveFindings(ProgressSlot& theSlot, const std::vector<Finding>& theFindings);

#endif
