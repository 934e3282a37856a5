// What `hddiag check` tells: per disk its verdict with every reason and
// note, for people, as JSON, as an HTML page (the verdicts over the scan's
// page) and as an OpenMetrics file of its own.
#pragma once

#include <ostream>
#include <string>

#include "tools/hddiag/check/check_run.h"

namespace hddiag {

void PrintCheckSummary(std::ostream& out, const CheckRun& run);
void PrintCheckJson(std::ostream& out, const CheckRun& run);
std::string CheckReportPage(const CheckRun& run, const std::string& machine);
// hddiag_check_* only, labelled with the disk's identity.
std::string CheckMetricsText(const CheckRun& run);

}  // namespace hddiag
