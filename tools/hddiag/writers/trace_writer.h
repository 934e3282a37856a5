// The --trace lines, a stable format that other tools parse:
//   read <disk> <sector>             every sector the component reads
//   event <kind> <value> <tag>       every callback the component makes
//   result <method> <status> 0x%08X  after every test method
#pragma once

#include <ostream>

#include "tools/hddiag/session/session.h"

namespace hddiag {

class TraceWriter final : public SessionObserver {
public:
    explicit TraceWriter(std::ostream& out) : m_out(out) {}

    // Called for every read, so it formats into a fixed buffer.
    void Read(LONG disk, ULONGLONG sector);

    void OnEvent(INT kind, INT value, INT tag) override;
    void OnTestEnd(const TestRecord& record, size_t index, size_t count) override;

private:
    std::ostream& m_out;
};

}  // namespace hddiag
