// The verdict of `hddiag check` on a disk: one table of rules, in the order
// the user guide lists them. The verdict comes from what was checked; the
// notes name what could not be, and set what was found side by side.
#pragma once

#include <string>
#include <vector>

#include "tools/hddiag/check/check_facts.h"

namespace hddiag {

struct CheckRule {
    Verdict verdict;
    const char* rule;  // as the user guide states it
    // Appends a reason for every way the facts meet the rule.
    void (*check)(const CheckFacts& facts, std::vector<std::string>& reasons);
};

const std::vector<CheckRule>& CheckRules();

struct CheckVerdict {
    Verdict verdict = Verdict::Good;
    std::vector<std::string> reasons;  // why it is not good, in rule order
    std::vector<std::string> notes;    // what was not checked; cross-checks
};

CheckVerdict JudgeCheck(const CheckFacts& facts);

// Whether the scan lists the sector (the self-test's failing LBA).
bool ScanListsSector(const ScanFacts& scan, ULONGLONG sector);

}  // namespace hddiag
