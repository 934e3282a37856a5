#include "tools/hddiag/latency/batch_estimate.h"

#include <algorithm>

#include "drive/hdd_constants.h"
#include "object/disk_test_shape.h"

namespace hddiag {

namespace {

// Four tracks of the usual 63 sectors: the surface scan's block on most disks.
constexpr double kTypicalSurfaceBlock = 4.0 * 63;

}  // namespace

double ExpectedReads(TestKind kind, ULONGLONG sectors)
{
    const double seekReads = static_cast<double>((sectors + hdd::HDD_SEEK_STEP - 1) >> hdd::HDD_SEEK_STEP_SHIFT);
    switch (kind) {
    case TestKind::Linear:
        return seekReads;
    case TestKind::Funnel:
        return 2 * seekReads;
    case TestKind::Random:
        return sectors == 0 ? 0 : hdd::HDD_RANDOM_READS;
    case TestKind::Surface:
        return static_cast<double>(sectors) / kTypicalSurfaceBlock;
    }
    return 0;
}

void BatchEstimate::Plan(const std::vector<TestCall>& calls, const std::vector<ReportItem>& items)
{
    m_work.clear();
    m_total = 0;
    for (const TestCall& call : calls) {
        double work = 0;
        for (const std::string& selector : SplitItems({call.selector})) {
            for (const ReportItem& item : items) {
                if (item.Selector() == selector && item.sizeMiB > 0) {
                    work += ExpectedReads(call.kind, static_cast<ULONGLONG>(item.sizeMiB) * 2048);
                    break;
                }
            }
        }
        m_work.push_back(work);
        m_total += work;
    }
    if (m_total <= 0) {
        // Nothing to size the tests by: take them as equal.
        std::fill(m_work.begin(), m_work.end(), 1.0);
        m_total = static_cast<double>(m_work.size());
    }
}

void BatchEstimate::OnTestStart(const TestRecord&, size_t index, size_t)
{
    if (!m_started) {
        m_started = true;
        m_startNs = m_clock.NowNanoseconds();
    }
    m_doneBefore = 0;
    for (size_t i = 0; i < index && i < m_work.size(); ++i) {
        m_doneBefore += m_work[i];
    }
    m_current = index;
    m_percent = 0;
}

void BatchEstimate::OnEvent(INT kind, INT value, INT)
{
    if (kind == hdd::HDD_EVENT_PERCENT) {
        m_percent = std::clamp(value, 0, 100);
    }
}

LONGLONG BatchEstimate::SecondsLeft()
{
    if (!m_started || m_total <= 0) {
        return -1;
    }
    const double current = m_current < m_work.size() ? m_work[m_current] : 0;
    const double done = m_doneBefore + current * m_percent / 100.0;
    const ULONGLONG now = m_clock.NowNanoseconds();
    const double elapsed = now > m_startNs ? static_cast<double>(now - m_startNs) / 1e9 : 0;
    if (done <= 0 || elapsed <= 0) {
        return -1;
    }
    const double left = elapsed * std::max(0.0, m_total - done) / done;
    return static_cast<LONGLONG>(left + 0.5);
}

}  // namespace hddiag
