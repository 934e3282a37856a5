// The report page's health part: per disk its verdict and reasons, its
// attributes with the failure predictors first, and its self-test log.
#pragma once

#include <ostream>
#include <vector>

#include "tools/hddiag/health/disk_health.h"
#include "tools/hddiag/session/real_disks.h"

namespace hddiag {

// The page's class for a verdict: "passed", "warning" or "failed".
const char* VerdictClass(Verdict verdict);

void WriteHealthSection(std::ostream& out, const std::vector<DiskRow>& rows, const std::vector<DiskHealth>& health);

}  // namespace hddiag
