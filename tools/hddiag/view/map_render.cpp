#include "tools/hddiag/view/map_render.h"

#include <algorithm>
#include <vector>

#include "tools/hddiag/latency/latency_text.h"
#include "tools/hddiag/session/result_codes.h"
#include "tools/hddiag/view/time_left.h"

namespace hddiag {

namespace {

struct MarkStyle {
    char glyph;
    const char* label;
    const char* sgr;   // ANSI select-graphic-rendition parameters
    const char* html;  // colour on the page
};

// Denser and warmer as reads get slower; a scan's unsettled sectors in blue,
// apart from every class.
constexpr MarkStyle kStyles[kMarkCount] = {
    {'.', "not read", "2", "#c8c8c8"},     {'-', "< 5 ms", "90", "#9e9e9e"},   {'=', "< 20 ms", "37", "#616161"},
    {'+', "< 50 ms", "97", "#212121"},     {'*', "< 150 ms", "32", "#2e7d32"}, {'%', "< 500 ms", "33", "#e69500"},
    {'#', ">= 500 ms", "31", "#c62828"},   {'X', "failed", "1;35", "#7b1fa2"}, {'?', "unsettled", "1;34", "#1565c0"},
    {':', "read earlier", "36", "#80a8b8"},
};

// The legend's order: by rank, what only a scan's map gives left out of a test's.
constexpr CellMark kLegendOrder[kMarkCount] = {kNotRead,       kReadEarlierMark, 1, 2, 3, 4, 5, 6, kUnsettledMark,
                                               kFailedMark};
bool ScanOnly(CellMark mark) { return mark == kUnsettledMark || mark == kReadEarlierMark; }

// Text made of runs of one mark (or none), measured in visible columns.
class Painter {
public:
    explicit Painter(ColourMode colour) : m_colour(colour) {}

    void Text(const std::string& text)
    {
        Switch(-1);
        Escaped(text);
    }
    void Glyph(CellMark mark)
    {
        Switch(mark);
        m_line += kStyles[mark].glyph;
        ++m_columns;
    }
    // Only a page's map labels its rows: a terminal has no room to spare.
    bool Labels() const { return m_colour == ColourMode::Html; }
    // A row's label, in a span of its own and outside the width.
    void Label(const std::string& text)
    {
        Switch(-1);
        m_line += "<span class=\"r\">" + text + "</span> ";
    }
    size_t Columns() const { return m_columns; }
    // Closes the line and starts the next.
    void EndLine(std::string& out)
    {
        Switch(-1);
        if (!out.empty() || m_started) {
            out += '\n';
        }
        m_started = true;
        out += m_line;
        m_line.clear();
        m_columns = 0;
    }

private:
    void Escaped(const std::string& text)
    {
        m_columns += text.size();
        if (m_colour != ColourMode::Html) {
            m_line += text;
            return;
        }
        for (char c : text) {
            switch (c) {
            case '<':
                m_line += "&lt;";
                break;
            case '>':
                m_line += "&gt;";
                break;
            case '&':
                m_line += "&amp;";
                break;
            default:
                m_line += c;
            }
        }
    }
    void Switch(int mark)
    {
        if (mark == m_mark || m_colour == ColourMode::Off) {
            m_mark = mark;
            return;
        }
        if (m_mark >= 0) {
            m_line += m_colour == ColourMode::Ansi ? "\x1b[0m" : "</span>";
        }
        if (mark >= 0) {
            if (m_colour == ColourMode::Ansi) {
                m_line += "\x1b[";
                m_line += kStyles[mark].sgr;
                m_line += 'm';
            } else {
                m_line += "<span class=\"m";
                m_line += static_cast<char>('0' + mark);
                m_line += "\">";
            }
        }
        m_mark = mark;
    }

    ColourMode m_colour;
    std::string m_line;
    size_t m_columns = 0;
    int m_mark = -1;
    bool m_started = false;
};

std::string Fit(std::string text, size_t width)
{
    if (text.size() > width) {
        text.resize(width);
    }
    return text;
}

// The header's parts, most important first; those that do not fit are left out.
std::vector<std::string> HeaderParts(const ViewHeader& h, const ReadMap& map)
{
    std::string name = h.test + " " + h.selector;
    if (h.count > 1) {
        name += " [" + std::to_string(h.index + 1) + "/" + std::to_string(h.count) + "]";
    }
    if (!h.outcome.empty()) {
        return {name + ": " + h.outcome};
    }
    std::vector<std::string> parts{name + "  " + std::to_string(h.percent) + "%"};
    if (map.AnyRead()) {
        parts.push_back("sector " + std::to_string(map.LastSector()));
    }
    if (h.readsPerSecond >= 0) {
        parts.push_back(FormatFixed(h.readsPerSecond, 1) + " reads/s");
    }
    const std::string left = TimeLeftText(h.minutes, h.estimateSeconds);
    if (!left.empty()) {
        parts.push_back(left);
    }
    return parts;
}

std::string HeaderLine(const ViewHeader& h, const ReadMap& map, size_t width)
{
    const std::vector<std::string> parts = HeaderParts(h, map);
    std::string line = Fit(parts.front(), width);
    for (size_t i = 1; i < parts.size() && line.size() + 2 + parts[i].size() <= width; ++i) {
        line += "  " + parts[i];
    }
    return line;
}

// Splits at blanks into lines of the width (a word longer than that is cut).
std::vector<std::string> Wrap(const std::string& text, size_t width)
{
    std::vector<std::string> lines(1);
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(' ', start);
        end = end == std::string::npos ? text.size() : end;
        const std::string word = Fit(text.substr(start, end - start), width);
        if (!lines.back().empty() && lines.back().size() + 1 + word.size() > width) {
            lines.emplace_back();
        }
        lines.back() += (lines.back().empty() ? "" : " ") + word;
        start = end + 1;
    }
    return lines;
}

// Legend entries: a glyph and its text, packed into lines of the width.
struct Entry {
    CellMark mark;
    std::string text;
};

// Marks no read is counted under go without a count.
std::vector<Entry> LegendEntries(const ReadMap& map)
{
    std::vector<Entry> entries;
    for (CellMark m : kLegendOrder) {
        if (ScanOnly(m) && !map.Settled()) {
            continue;
        }
        const bool counted = m != kNotRead && !ScanOnly(m);
        entries.push_back(
            {m, std::string(" ") + kStyles[m].label + (counted ? ": " + std::to_string(map.Count(m)) : "")});
    }
    return entries;
}

std::vector<std::string> TrailingLines(const ReadMap& map, size_t width)
{
    std::vector<std::string> lines;
    if (map.Settled()) {
        // A scan names the lowest sector its map holds unreadable, not the
        // failed block that led to it.
        if (map.AnyUnreadable()) {
            const DWORD error = map.FirstUnreadableError();
            lines = Wrap("first unreadable sector: " + std::to_string(map.FirstUnreadable()) +
                             (error != 0 ? ", " + Win32ErrorText(error) : std::string()),
                         width);
        }
    } else if (map.Count(kFailedMark) > 0) {
        lines = Wrap("first failed read: sector " + std::to_string(map.FirstFailedSector()) + ", " +
                         Win32ErrorText(map.FirstFailedError()),
                     width);
    }
    if (map.Outside() > 0) {
        for (const std::string& part : Wrap(std::to_string(map.Outside()) + " reads outside the map's range", width)) {
            lines.push_back(part);
        }
    }
    return lines;
}

// How many lines the legend takes at this width.
size_t LegendLineCount(const std::vector<Entry>& entries, size_t width)
{
    size_t lines = 1;
    size_t used = 0;
    for (const Entry& e : entries) {
        const size_t need = 1 + e.text.size() + (used > 0 ? 2 : 0);
        if (used > 0 && used + need > width) {
            ++lines;
            used = 1 + e.text.size();
        } else {
            used += need;
        }
    }
    return lines;
}

void PaintLegend(Painter& p, std::string& out, const std::vector<Entry>& entries, size_t width, size_t maxLines)
{
    size_t lines = 0;
    for (const Entry& e : entries) {
        const size_t need = 1 + e.text.size() + (p.Columns() > 0 ? 2 : 0);
        if (p.Columns() > 0 && p.Columns() + need > width) {
            p.EndLine(out);
            if (++lines >= maxLines) {
                return;
            }
        }
        if (p.Columns() > 0) {
            p.Text("  ");
        }
        p.Glyph(e.mark);
        p.Text(Fit(e.text, width - p.Columns()));
    }
    p.EndLine(out);
}

// The map's cells in at most `rows` lines of the width; returns the lines used.
size_t PaintCells(Painter& p, std::string& out, const ReadMap& map, size_t width, size_t rows)
{
    const size_t cells = map.CellCount();
    rows = std::min(rows, cells == 0 ? 0 : (cells + width - 1) / width);
    const size_t shown = std::min(cells, rows * width);
    // Display cell j covers the map's cells [j*cells/shown, (j+1)*cells/shown).
    const auto firstSector = [&](size_t row) { return map.CellFirstSector(row * width * cells / shown); };
    const size_t labelWidth = p.Labels() && rows > 0 ? std::to_string(firstSector(rows - 1)).size() : 0;
    for (size_t row = 0; row < rows; ++row) {
        if (p.Labels()) {
            const std::string label = std::to_string(firstSector(row));
            p.Label(std::string(labelWidth - label.size(), ' ') + label);
        }
        for (size_t col = 0; col < width; ++col) {
            const size_t j = row * width + col;
            if (j >= shown) {
                break;
            }
            p.Glyph(map.Worst(j * cells / shown, (j + 1) * cells / shown));
        }
        p.EndLine(out);
    }
    return rows;
}

// The map's rows, then the legend, in at most `height` lines.
void PaintMap(Painter& p, std::string& out, const ReadMap& map, size_t width, size_t height)
{
    const std::vector<Entry> entries = LegendEntries(map);
    const std::vector<std::string> trailing = TrailingLines(map, width);
    const size_t legendLines = LegendLineCount(entries, width) + trailing.size();
    const size_t cells = map.CellCount();
    const size_t rowsWanted = cells == 0 ? 0 : (cells + width - 1) / width;
    const size_t rowsRoom = height > legendLines ? height - legendLines : 1;
    const size_t rows = PaintCells(p, out, map, width, std::min(rowsWanted, rowsRoom));
    if (cells == 0) {
        p.Text(Fit("(no sectors to map)", width));
        p.EndLine(out);
    }
    const size_t used = std::max<size_t>(rows, 1);
    if (used >= height) {
        return;
    }
    size_t left = height - used;
    PaintLegend(p, out, entries, width, std::min(left, LegendLineCount(entries, width)));
    left -= std::min(left, LegendLineCount(entries, width));
    for (size_t i = 0; i < trailing.size() && i < left; ++i) {
        p.Text(trailing[i]);
        p.EndLine(out);
    }
}

}  // namespace

char MarkGlyph(CellMark mark) { return mark < kMarkCount ? kStyles[mark].glyph : '?'; }

const char* MarkLabel(CellMark mark) { return mark < kMarkCount ? kStyles[mark].label : "?"; }

const char* MarkHtmlColour(CellMark mark) { return mark < kMarkCount ? kStyles[mark].html : "#000000"; }

std::string MapHtmlStyle()
{
    std::string rules;
    for (CellMark m = 0; m < kMarkCount; ++m) {
        rules += "pre.map .m" + std::to_string(m) + " { color: " + MarkHtmlColour(m) + "; }\n";
    }
    return rules + "pre.map .r { color: #777; }\n";
}

std::string RenderView(const ViewHeader& header, const ReadMap& map, int width, int height, ColourMode colour)
{
    const size_t w = static_cast<size_t>(std::max(width, 1));
    const size_t h = static_cast<size_t>(std::max(height, 1));
    std::string out;
    Painter p(colour);
    p.Text(HeaderLine(header, map, w));
    p.EndLine(out);
    if (h > 1) {
        PaintMap(p, out, map, w, h - 1);
    }
    return out;
}

std::string RenderMapRows(const ReadMap& map, int width, int rows, ColourMode colour)
{
    std::string out;
    Painter p(colour);
    PaintCells(p, out, map, static_cast<size_t>(std::max(width, 1)), static_cast<size_t>(std::max(rows, 0)));
    return out;
}

std::string RenderLegend(int width, ColourMode colour)
{
    std::vector<Entry> entries;
    for (CellMark m : kLegendOrder) {
        entries.push_back({m, std::string(" ") + kStyles[m].label});
    }
    const size_t w = static_cast<size_t>(std::max(width, 1));
    std::string out;
    Painter p(colour);
    PaintLegend(p, out, entries, w, LegendLineCount(entries, w));
    return out;
}

std::string RenderMap(const ReadMap& map, int width, int height, ColourMode colour)
{
    std::string out;
    Painter p(colour);
    PaintMap(p, out, map, static_cast<size_t>(std::max(width, 1)), static_cast<size_t>(std::max(height, 1)));
    return out;
}

}  // namespace hddiag
