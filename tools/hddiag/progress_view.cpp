#include "tools/hddiag/progress_view.h"

#include <algorithm>

#include "drive/hdd_constants.h"

namespace hddiag {

namespace {
constexpr int kBarWidth = 30;
}

void ProgressView::OnTestStart(const TestRecord& record, size_t index, size_t count)
{
    m_label = std::string(Describe(record.kind).name) + " " + record.selector;
    if (count > 1) {
        m_label += " [" + std::to_string(index + 1) + "/" + std::to_string(count) + "]";
    }
    m_percent = 0;
    m_minutes = -1;
    m_lastPlainStep = -1;
    m_drawnLength = 0;
    if (m_terminal) {
        Draw("");
    }
}

void ProgressView::OnEvent(INT kind, INT value, INT)
{
    if (kind == hdd::HDD_EVENT_PERCENT) {
        m_percent = std::clamp(value, 0, 100);
    } else if (kind == hdd::HDD_EVENT_MINUTES) {
        m_minutes = value;
    } else {
        return;
    }
    if (m_terminal) {
        Draw("");
        return;
    }
    // Plain text: a line every ten percent, with the estimate as it stands.
    const INT step = m_percent / 10;
    if (step > m_lastPlainStep) {
        m_lastPlainStep = step;
        m_err << Line() << '\n';
    }
}

void ProgressView::OnTestEnd(const TestRecord& record, size_t, size_t)
{
    if (m_terminal) {
        m_label += std::string(": ") + OutcomeName(record.outcome);
        Draw("\n");
    }
}

std::string ProgressView::Line() const
{
    std::string line = m_label;
    line += ' ';
    if (m_terminal) {
        const size_t filled = static_cast<size_t>(m_percent * kBarWidth / 100);
        line += '[';
        line.append(filled, '#');
        line.append(static_cast<size_t>(kBarWidth) - filled, '.');
        line += "] ";
    }
    const std::string percent = std::to_string(m_percent);
    line.append(percent.size() < 3 ? 3 - percent.size() : 0, ' ');
    line += percent;
    line += '%';
    if (m_minutes >= 0) {
        line += ", about ";
        line += std::to_string(m_minutes);
        line += " min left";
    }
    return line;
}

void ProgressView::Draw(const char* ending)
{
    // Redraw in place; blanks wipe what a longer earlier line left behind.
    std::string line = Line();
    const size_t length = line.size();
    if (length < m_drawnLength) {
        line.append(m_drawnLength - length, ' ');
    }
    m_drawnLength = length;
    m_err << '\r' << line << ending << std::flush;
}

}  // namespace hddiag
