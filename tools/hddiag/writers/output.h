// What hddiag prints on standard output: tables and a summary for people, or
// one JSON document.
#pragma once

#include <ostream>
#include <string>

#include "tools/hddiag/session/session.h"
#include "tools/hddiag/writers/run_result.h"

namespace hddiag {

// 0 when every test passed and nothing was interrupted, else 1.
int ExitCodeFor(const RunResult& result);

// Whether the run passed as --json and --metrics say it: a test ran to its
// end, and the exit status is 0. A run that tested nothing exits with 0 but
// has not passed.
bool RunPassed(const RunResult& result);

void PrintReport(std::ostream& out, const ReportRecord& report);
void PrintSummary(std::ostream& out, const RunResult& result);
void PrintJson(std::ostream& out, const RunResult& result, bool withTests);

}  // namespace hddiag
