#include "tools/hddiag/view/progress_view.h"

#include <algorithm>

#include "drive/hdd_constants.h"
#include "tools/hddiag/latency/latency_text.h"
#include "tools/hddiag/text/text_escape.h"
#include "tools/hddiag/view/time_left.h"

namespace hddiag {

namespace {
constexpr int kBarWidth = 30;
}

void ProgressView::OnTestStart(const TestRecord& record, size_t index, size_t count)
{
    m_label = std::string(Describe(record.kind).name) + " " + Printable(record.selector);
    if (count > 1) {
        m_label += " [" + std::to_string(index + 1) + "/" + std::to_string(count) + "]";
    }
    m_refusal.clear();
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
    // The line of 100 % waits for the test's end, which may be a refusal.
    const INT step = m_percent / 10;
    if (step > m_lastPlainStep && step < 10) {
        m_lastPlainStep = step;
        m_err << Line() << '\n';
    }
}

void ProgressView::OnTestEnd(const TestRecord& record, size_t, size_t)
{
    if (record.outcome == Outcome::Refused) {
        m_refusal = std::string("refused (") + ResultCodeName(record.code) + ")";
    }
    if (m_terminal) {
        if (m_refusal.empty()) {
            m_label += std::string(": ") + OutcomeName(record.outcome);
        }
        Draw("\n");
    } else if (!m_refusal.empty() || (m_percent == 100 && m_lastPlainStep < 10)) {
        m_lastPlainStep = 10;
        m_err << Line() << '\n';
    }
}

std::string ProgressView::Line() const
{
    std::string line = m_label;
    if (!m_refusal.empty()) {
        return line + ": " + m_refusal;
    }
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
    const std::string left = TimeLeftText(m_minutes, m_estimate != nullptr ? m_estimate->SecondsLeft() : -1);
    if (!left.empty()) {
        line += ", ";
        line += left;
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
