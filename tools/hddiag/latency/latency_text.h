// Latency figures as people read them, shared by the terminal summary, the
// progress line and the HTML page.
#pragma once

#include <string>

#include "platform/win32.h"
#include "tools/hddiag/latency/latency_recorder.h"

namespace hddiag {

// "12.3 us" below 0.1 ms, "4.67 ms" below 10 ms, "304.2 ms" above.
std::string FormatLatency(ULONGLONG ns);

// "45 s", "12 min", "3 h 05 min".
std::string FormatDuration(ULONGLONG seconds);

// A number with a fixed count of decimals.
std::string FormatFixed(double value, int decimals);

// "3063377 reads, 213.5/s, p99 4.74 ms; < 5 ms: 3062980, ..., >= 500 ms: 0, failed: 0"
std::string LatencyLine(const LatencySummary& latency);

// "slowest area: sectors A-B (max X, mean Y); slowest read: sector S (Z)",
// or empty without a successful read that took any time.
std::string SlowAreaLine(const LatencySummary& latency);

// "read error at sector S: error 23 (data error: CRC)" for the test's first
// failed read; without one, "open failed: error 2 (...)" for its first device
// path that did not open; else empty.
std::string FirstFailedReadLine(const LatencySummary& latency);

}  // namespace hddiag
