// The results as OpenMetrics text, for node_exporter's textfile collector:
// every disk's identity; per tested disk (with its device and serial),
// partitions and test its result code, reads, failed reads, time and a
// latency histogram whose buckets are the latency classes; the run's end
// time and verdict; for run, per disk whether it was tested and its slow
// reads, and how many tests ran.
#pragma once

#include <ostream>

#include "tools/hddiag/writers/output.h"
#include "tools/hddiag/writers/run_files.h"

namespace hddiag {

void WriteMetrics(std::ostream& out, const RunResult& result, const RunInfo& info);

}  // namespace hddiag
