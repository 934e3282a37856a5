// Progress for people, on standard error: a bar redrawn in place on a
// terminal, a few plain lines otherwise.
#pragma once

#include <ostream>
#include <string>

#include "tools/hddiag/session.h"

namespace hddiag {

class ProgressView final : public SessionObserver {
public:
    ProgressView(std::ostream& err, bool terminal) : m_err(err), m_terminal(terminal) {}

    void OnTestStart(const TestRecord& record, size_t index, size_t count) override;
    void OnEvent(INT kind, INT value, INT tag) override;
    void OnTestEnd(const TestRecord& record, size_t index, size_t count) override;

private:
    void Draw(const char* ending);
    std::string Line() const;

    std::ostream& m_err;
    bool m_terminal;
    std::string m_label;
    INT m_percent = 0;
    INT m_minutes = -1;  // -1: not known (no plan, or no estimate yet)
    INT m_lastPlainStep = -1;
    size_t m_drawnLength = 0;
};

}  // namespace hddiag
