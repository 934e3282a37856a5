#include "tools/hddiag/latency/latency_text.h"

#include <iomanip>
#include <sstream>

#include "tools/hddiag/session/result_codes.h"

namespace hddiag {

std::string FormatFixed(double value, int decimals)
{
    std::ostringstream text;
    text << std::fixed << std::setprecision(decimals) << value;
    return text.str();
}

std::string FormatLatency(ULONGLONG ns)
{
    const double ms = static_cast<double>(ns) / 1e6;
    if (ns < 100000) {
        return FormatFixed(static_cast<double>(ns) / 1e3, 1) + " us";
    }
    return FormatFixed(ms, ms < 10 ? 2 : 1) + " ms";
}

std::string FormatDuration(ULONGLONG seconds)
{
    if (seconds < 60) {
        return std::to_string(seconds) + " s";
    }
    const ULONGLONG minutes = seconds / 60;
    if (minutes < 60) {
        return std::to_string(minutes) + " min";
    }
    const ULONGLONG rest = minutes % 60;
    return std::to_string(minutes / 60) + " h " + (rest < 10 ? "0" : "") + std::to_string(rest) + " min";
}

std::string LatencyLine(const LatencySummary& latency)
{
    std::string line = std::to_string(latency.reads) + " reads, ";
    line += latency.elapsedNs == 0 ? std::string("no time passed") : FormatFixed(latency.ReadsPerSecond(), 1) + "/s";
    if (latency.SuccessfulReads() > 0) {
        line += ", p99 " + FormatLatency(latency.p99Ns);
    }
    for (size_t i = 0; i < kLatencyClassCount; ++i) {
        line += i == 0 ? "; " : ", ";
        line += LatencyClassLabel(i);
        line += ": " + std::to_string(latency.classes[i]);
    }
    line += ", failed: " + std::to_string(latency.failedReads);
    return line;
}

std::string SlowAreaLine(const LatencySummary& latency)
{
    const PositionBucket* area = latency.SlowestBucket();
    if (area == nullptr || area->maxNs == 0 || latency.slowest.empty()) {
        return std::string();
    }
    const TimedRead& read = latency.slowest.front();
    return "slowest area: sectors " + std::to_string(area->firstSector) + "-" + std::to_string(area->lastSector) +
           " (max " + FormatLatency(area->maxNs) + ", mean " + FormatLatency(area->meanNs) +
           "); slowest read: sector " + std::to_string(read.sector) + " (" + FormatLatency(read.nanoseconds) + ")";
}

std::string FirstFailedReadLine(const LatencySummary& latency)
{
    if (latency.failed.empty()) {
        return latency.openError != 0 ? "open failed: " + Win32ErrorText(latency.openError) : std::string();
    }
    const FailedRead& read = latency.failed.front();
    return "read error at sector " + std::to_string(read.sector) + ": " + Win32ErrorText(read.error);
}

}  // namespace hddiag
