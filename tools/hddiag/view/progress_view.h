// Progress for people, on standard error: a bar redrawn in place on a
// terminal, a few plain lines otherwise.
#pragma once

#include <ostream>
#include <string>

#include "tools/hddiag/latency/batch_estimate.h"
#include "tools/hddiag/session/session.h"

namespace hddiag {

class ProgressView final : public SessionObserver {
public:
    // estimate: hddiag's own time-remaining figure, shown instead of the
    // component's once it is known (optional; it must see the events before
    // this view).
    ProgressView(std::ostream& err, bool terminal, BatchEstimate* estimate = nullptr)
        : m_err(err), m_terminal(terminal), m_estimate(estimate)
    {
    }

    void OnTestStart(const TestRecord& record, size_t index, size_t count) override;
    void OnEvent(INT kind, INT value, INT tag) override;
    void OnTestEnd(const TestRecord& record, size_t index, size_t count) override;

private:
    void Draw(const char* ending);
    std::string Line() const;

    std::ostream& m_err;
    bool m_terminal;
    BatchEstimate* m_estimate;
    std::string m_label;
    std::string m_refusal;  // set when the test was refused: said instead of the percentage
    INT m_percent = 0;
    INT m_minutes = -1;  // -1: not known (no plan, or no estimate yet)
    INT m_lastPlainStep = -1;
    size_t m_drawnLength = 0;
};

}  // namespace hddiag
