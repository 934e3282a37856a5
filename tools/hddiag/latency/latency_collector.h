// Times the reads of each test: attaches a recorder to the timing seam while
// a test runs and keeps what each test's reads came to.
#pragma once

#include <optional>
#include <vector>

#include "tools/hddiag/latency/latency_recorder.h"
#include "tools/hddiag/session/session.h"
#include "tools/hddiag/latency/timed_os.h"

namespace hddiag {

class LatencyCollector final : public SessionObserver {
public:
    LatencyCollector(TimedOs& os, LatencyClock& clock) : m_os(os), m_clock(clock) {}
    ~LatencyCollector() override { m_os.Attach(nullptr); }
    LatencyCollector(const LatencyCollector&) = delete;
    LatencyCollector& operator=(const LatencyCollector&) = delete;

    void OnTestStart(const TestRecord& record, size_t index, size_t count) override;
    void OnTestEnd(const TestRecord& record, size_t index, size_t count) override;

    // Where the reads are recorded, for a view that also wants to see them.
    LatencyRecorder& Recorder() { return m_recorder; }

    // By test index; empty for a test that was not run.
    const std::vector<std::optional<LatencySummary>>& Results() const { return m_results; }

private:
    TimedOs& m_os;
    LatencyClock& m_clock;
    LatencyRecorder m_recorder;
    std::vector<std::optional<LatencySummary>> m_results;
};

}  // namespace hddiag
