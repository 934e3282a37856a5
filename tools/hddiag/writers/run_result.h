// What one run of info, test, run or health learned, which every writer of
// its outputs reads.
#pragma once

#include <optional>
#include <vector>

#include "tools/hddiag/health/disk_health.h"
#include "tools/hddiag/latency/latency_recorder.h"
#include "tools/hddiag/latency/read_map.h"
#include "tools/hddiag/session/real_disks.h"
#include "tools/hddiag/session/session.h"
#include "tools/hddiag/writers/disk_coverage.h"

namespace hddiag {

// Everything one command learned, for the summary and the JSON form.
struct RunResult {
    ReportRecord report;
    PlanRecord plan;                // plan.made is false for "info"
    std::vector<TestRecord> tests;  // in call order; NotRun after a Ctrl-C
    bool interrupted = false;       // the user asked to stop
    // By test: what its reads came to; empty when reads were not timed (the
    // installed component) or the test did not run.
    std::vector<std::optional<LatencySummary>> latency;
    // By test: its map of latency classes over the sectors it read (kept
    // when the live view or the page needs it).
    std::vector<std::optional<ReadMap>> maps;
    // The real disks behind the report (--disk or this machine's disks read
    // by the linked component); empty on a simulated machine.
    std::vector<DiskRow> disks;
    // Each disk's SMART health (info, health, and run after its tests).
    std::vector<DiskHealth> health;
    // run: what it did to each disk (empty for the other commands), and the
    // bound from which its reads counted as slow.
    std::vector<DiskCoverage> coverage;
    ULONGLONG slowReadNs = kSlowReadNs;

    const LatencySummary* LatencyOf(size_t test) const
    {
        return test < latency.size() && latency[test] ? &*latency[test] : nullptr;
    }
    const ReadMap* MapOf(size_t test) const { return test < maps.size() && maps[test] ? &*maps[test] : nullptr; }
};

// 0 when every test passed and nothing was interrupted, else 1.
int ExitCodeFor(const RunResult& result);

}  // namespace hddiag
