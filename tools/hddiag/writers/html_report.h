// The results as one self-contained HTML page: the run's summary, the disk
// report, and per test its latency figures, a chart of latency by position,
// the latency classes, and the slowest and failed reads. No script, no
// outside resource; the page is also well-formed XML.
#pragma once

#include <ostream>
#include <string>

#include "tools/hddiag/text/text_escape.h"
#include "tools/hddiag/writers/output.h"
#include "tools/hddiag/writers/run_files.h"

namespace hddiag {

void WriteHtmlReport(std::ostream& out, const RunResult& result, const RunInfo& info);

}  // namespace hddiag
