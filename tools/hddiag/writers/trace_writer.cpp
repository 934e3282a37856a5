#include "tools/hddiag/writers/trace_writer.h"

#include <charconv>
#include <cstring>

namespace hddiag {

namespace {

// One trace line, formatted on the stack: a word, then numbers.
class Line {
public:
    explicit Line(const char* word) : m_end(m_text)
    {
        while (*word != '\0') {
            *m_end++ = *word++;
        }
    }
    template <typename T>
    Line& Number(T value)
    {
        *m_end++ = ' ';
        m_end = std::to_chars(m_end, m_text + kRoom, value).ptr;
        return *this;
    }
    void WriteTo(std::ostream& out)
    {
        *m_end++ = '\n';
        out.write(m_text, m_end - m_text);
    }

private:
    // The longest line, "event" and three 32-bit numbers, takes 42 characters.
    static constexpr size_t kRoom = 64;
    char m_text[kRoom + 2];
    char* m_end;
};

}  // namespace

void TraceWriter::Read(LONG disk, ULONGLONG sector) { Line("read").Number(disk).Number(sector).WriteTo(m_out); }

void TraceWriter::OnEvent(INT kind, INT value, INT tag)
{
    Line("event").Number(kind).Number(value).Number(tag).WriteTo(m_out);
}

void TraceWriter::OnTestEnd(const TestRecord& record, size_t, size_t)
{
    m_out << "result " << Describe(record.kind).method << ' ' << static_cast<LONG>(record.status) << ' '
          << Hex32(static_cast<ULONG>(record.code)) << '\n';
}

}  // namespace hddiag
