#include "tools/hddiag/view/terminal_frame.h"

namespace hddiag {

size_t VisibleColumns(const std::string& line)
{
    size_t columns = 0;
    for (size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '\x1b' && i + 1 < line.size() && line[i + 1] == '[') {
            i += 2;
            while (i < line.size() && !(line[i] >= '@' && line[i] <= '~')) {
                ++i;
            }
            continue;
        }
        ++columns;
    }
    return columns;
}

void TerminalFrame::Draw(const std::string& text, int width)
{
    const size_t w = static_cast<size_t>(width > 0 ? width : 1);
    std::string out;
    if (!m_columns.empty()) {
        size_t rows = 0;
        for (size_t columns : m_columns) {
            rows += columns == 0 ? 1 : (columns + w - 1) / w;
        }
        out += '\r';
        if (rows > 1) {
            out += "\x1b[" + std::to_string(rows - 1) + "A";
        }
    }
    m_columns.clear();
    size_t start = 0;
    while (true) {
        const size_t end = text.find('\n', start);
        const std::string line = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        m_columns.push_back(VisibleColumns(line));
        // Cleared whole before it is written: a terminal that rewrapped the
        // old block forgets that this row continued the one above.
        out += "\x1b[2K";
        out += line;
        if (end == std::string::npos) {
            break;
        }
        out += '\n';
        start = end + 1;
    }
    out += "\x1b[J";
    m_out << out << std::flush;
}

void TerminalFrame::Finish()
{
    if (!m_columns.empty()) {
        m_out << '\n' << std::flush;
        m_columns.clear();
    }
}

}  // namespace hddiag
