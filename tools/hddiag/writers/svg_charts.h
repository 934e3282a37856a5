// Inline SVG charts of one test's latencies for the HTML page.
#pragma once

#include <string>

#include "tools/hddiag/latency/latency_recorder.h"

namespace hddiag {

// Maximum and mean latency of each position bucket on a logarithmic scale,
// buckets with failed reads marked; empty when no read took any time.
std::string PositionChart(const LatencySummary& latency);

// Reads per latency class and the failed reads, bars on a logarithmic scale.
std::string ClassChart(const LatencySummary& latency);

}  // namespace hddiag
