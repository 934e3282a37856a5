// What `hddiag check` found, disk by disk, for its outputs.
#pragma once

#include <vector>

#include "tools/hddiag/check/check_verdict.h"
#include "tools/hddiag/scanning/scan_output.h"

namespace hddiag {

struct DiskCheck {
    DiskRow row;
    CheckFacts facts;
    CheckVerdict verdict;
    const TargetFigures* figures = nullptr;  // the scan's, when it ran
};

struct CheckRun {
    std::vector<DiskCheck> disks;
    ScanRun scan;  // the figures point into it
    bool interrupted = false;
    double endTime = 0;  // seconds since 1970 (UTC)
};

// 130 when interrupted (maps saved), 1 when a disk is failing, else 0.
int CheckExitCode(const CheckRun& run);

}  // namespace hddiag
