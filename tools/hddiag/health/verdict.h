// The verdict on a disk's SMART: the rules as one table, in the order the
// user guide lists them.
#pragma once

#include <string>
#include <vector>

#include "tools/hddiag/health/disk_health.h"

namespace hddiag {

struct VerdictRule {
    Verdict verdict;
    const char* rule;  // the rule as the user guide states it
    // Appends a reason for every way the reading meets the rule.
    void (*check)(const SmartReading& reading, std::vector<std::string>& reasons);
};

const std::vector<VerdictRule>& VerdictRules();

// What is said beside the verdict and never changes it (a self-test the host
// stopped), in the order the user guide lists it after the verdict rules.
struct NoteRule {
    const char* rule;  // as the user guide states it
    void (*check)(const SmartReading& reading, std::vector<std::string>& notes);
};

const std::vector<NoteRule>& NoteRules();

// The attributes whose raw values predict failure (also the metrics' set, with 188).
bool IsPredictor(ULONG id);
bool IsMetricAttribute(ULONG id);

// Sets health.verdict and health.reasons from health.reading: the worst
// verdict of the rules met, with every reason in rule order; and
// health.noted from the note rules.
void Judge(DiskHealth& health);

}  // namespace hddiag
