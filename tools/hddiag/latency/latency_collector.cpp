#include "tools/hddiag/latency/latency_collector.h"

namespace hddiag {

void LatencyCollector::OnTestStart(const TestRecord&, size_t, size_t count)
{
    m_results.resize(count);
    m_recorder.Begin(m_clock.NowNanoseconds());
    m_os.Attach(&m_recorder);
}

void LatencyCollector::OnTestEnd(const TestRecord&, size_t index, size_t count)
{
    m_os.Attach(nullptr);
    m_results.resize(count);
    m_results[index] = m_recorder.Finish(m_clock.NowNanoseconds());
}

}  // namespace hddiag
