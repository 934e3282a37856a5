#include "tools/hddiag/view/map_view.h"

#include <algorithm>

#include "drive/hdd_constants.h"
#include "tools/hddiag/view/test_range.h"

namespace hddiag {

namespace {
// The reads' clock may run far ahead of the wall's (a simulated disk without
// pacing): the period on it doubles while frames come too early, up to this.
constexpr ULONGLONG kLongestPeriodNs = 3600ull * 1000000000ull;
}  // namespace

MapView::MapView(std::ostream& err, LatencyClock& clock, TimedOs& timed, LatencyRecorder& recorder,
                 MapViewSettings settings)
    : m_clock(clock), m_timed(timed), m_recorder(recorder), m_settings(std::move(settings)), m_frame(err)
{
}

MapView::~MapView()
{
    m_timed.SetFrameHook(nullptr);
    m_recorder.Feed(nullptr);
}

void MapView::OnTestStart(const TestRecord& record, size_t index, size_t count)
{
    m_map.Begin(TestRange(record.kind, record.selector, m_items));
    m_header = ViewHeader{};
    m_header.test = Describe(record.kind).name;
    m_header.selector = record.selector;
    m_header.index = index;
    m_header.count = count;
    m_testStartNs = m_clock.NowNanoseconds();
    m_recorder.Feed(&m_map);
    if (m_settings.draw) {
        m_timed.SetFrameHook(this);
        MaybeDraw(true);
    }
}

void MapView::OnEvent(INT kind, INT value, INT)
{
    if (kind == hdd::HDD_EVENT_PERCENT) {
        m_header.percent = std::clamp(value, 0, 100);
    } else if (kind == hdd::HDD_EVENT_MINUTES) {
        m_header.minutes = value;
    } else {
        return;
    }
    if (m_settings.draw) {
        MaybeDraw(false);
    }
}

void MapView::OnTestEnd(const TestRecord& record, size_t index, size_t count)
{
    m_timed.SetFrameHook(nullptr);
    m_recorder.Feed(nullptr);
    if (m_settings.draw) {
        m_header.outcome = record.outcome == Outcome::Refused
                               ? std::string("refused (") + ResultCodeName(record.code) + ")"
                               : std::string(OutcomeName(record.outcome));
        MaybeDraw(true);
        m_frame.Finish();
    }
    m_maps.resize(count);
    m_maps[index] = m_map;
}

ULONGLONG MapView::OnFrame(ULONGLONG nowNs)
{
    const ULONGLONG before = m_lastDrawNs;
    MaybeDraw(false);
    if (m_lastDrawNs == before) {
        m_periodNs = std::min(m_periodNs * 2, kLongestPeriodNs);  // too early on the wall's clock
    } else if (m_periodNs > kFrameNs) {
        m_periodNs /= 2;
    }
    return nowNs + m_periodNs;
}

void MapView::MaybeDraw(bool force)
{
    const ULONGLONG wall = m_settings.wallClock->NowNanoseconds();
    // A little early counts: the reads' clock and the wall's drift apart by a read or so.
    if (!force && m_drawnOnce && wall - m_lastDrawNs < kFrameNs * 9 / 10) {
        return;
    }
    m_drawnOnce = true;
    m_lastDrawNs = wall;
    const ULONGLONG now = m_clock.NowNanoseconds();
    const ULONGLONG elapsed = now > m_testStartNs ? now - m_testStartNs : 0;
    m_header.readsPerSecond =
        elapsed == 0 ? -1.0 : static_cast<double>(m_map.Reads()) * 1e9 / static_cast<double>(elapsed);
    m_header.estimateSeconds = m_settings.estimate != nullptr ? m_settings.estimate->SecondsLeft() : -1;
    const host::TerminalSize size = m_settings.size ? m_settings.size() : host::TerminalSize{};
    // One column and one row spare: no line reaches the last column, where
    // terminals differ in how they wrap, and the block never scrolls itself.
    const int width = std::max(size.columns - 1, 1);
    const int height = std::max(size.rows - 1, 1);
    m_frame.Draw(RenderView(m_header, m_map, width, height, m_settings.colour), size.columns);
}

}  // namespace hddiag
