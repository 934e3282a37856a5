// hddiag's own time-remaining estimate for a run of tests, shown beside the
// component's coarse one: the run's elapsed time scaled by the work left
// over the work done. A test's work is the reads it is expected to make
// (from its shape and the reported partition sizes); a running test has done
// its percentage of them.
#pragma once

#include <vector>

#include "tools/hddiag/latency/latency_clock.h"
#include "tools/hddiag/session/report.h"
#include "tools/hddiag/session/session.h"

namespace hddiag {

// Reads a test is expected to make on `sectors` 512-byte sectors.
double ExpectedReads(TestKind kind, ULONGLONG sectors);

class BatchEstimate final : public SessionObserver {
public:
    explicit BatchEstimate(LatencyClock& clock) : m_clock(clock) {}

    // The tests to come, with the report that sizes their items.
    void Plan(const std::vector<TestCall>& calls, const std::vector<ReportItem>& items);

    void OnTestStart(const TestRecord& record, size_t index, size_t count) override;
    void OnEvent(INT kind, INT value, INT tag) override;

    // Seconds left, or -1 while nothing is done to judge by.
    LONGLONG SecondsLeft();

private:
    LatencyClock& m_clock;
    std::vector<double> m_work;  // by test
    double m_total = 0;
    double m_doneBefore = 0;  // of the tests before the running one
    size_t m_current = 0;
    INT m_percent = 0;
    bool m_started = false;
    ULONGLONG m_startNs = 0;
};

}  // namespace hddiag
