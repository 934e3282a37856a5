// The live view's picture at fixed sizes: worst class per cell, the legend's
// counts, failed reads, colour on and off, widths of 40, 80 and 200 columns,
// ranges of one sector and of 2^40 sectors; the in-place redraw and the
// choice of view.
#include <gtest/gtest.h>

#include <regex>
#include <sstream>

#include "tools/hddiag/view/map_render.h"
#include "tools/hddiag/view/terminal_frame.h"
#include "tools/hddiag/view/view_mode.h"

namespace hddiag::testing {
namespace {

constexpr ULONGLONG kMs = 1000000;
constexpr ULONGLONG kFailed = ~0ull;  // a read that failed with ERROR_CRC

struct Read {
    ULONGLONG sector;
    ULONGLONG ns;
};

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

std::string Repeat(char c, size_t n) { return std::string(n, c); }

TEST(MapRender, PicturesAtFixedSizes)
{
    struct Case {
        const char* name;
        std::vector<SectorSpan> spans;
        std::vector<Read> reads;
        int width;
        int height;
        // The expected map rows (between the header and the legend), or empty
        // to check only the properties below.
        std::vector<std::string> map;
    };
    const ULONGLONG tera = 1ull << 40;
    const Case cases[] = {
        // 400 sectors in 40 cells of 10: each cell the worst of its reads.
        {"worst of a cell",
         {{1000, 1400}},
         {{1005, 1 * kMs}, {1007, 30 * kMs}, {1015, 600 * kMs}, {1016, 1 * kMs}, {1025, kFailed},
          {1026, 600 * kMs}, {1399, 100 * kMs}},
         40,
         8,
         {"+#X" + Repeat('.', 36) + "*"}},
        // Two spans laid end to end; the gap between them is not on the map.
        {"two extents",
         {{5000, 5020}, {100, 120}},
         {{100, 1 * kMs}, {119, 10 * kMs}, {5000, 200 * kMs}, {5019, 40 * kMs}},
         40,
         6,
         {"-" + Repeat('.', 18) + "=%" + Repeat('.', 18) + "+"}},
        {"one sector", {{77, 78}}, {{77, 3 * kMs}}, 80, 6, {"-"}},
        {"one sector failed", {{77, 78}}, {{77, kFailed}}, 200, 6, {"X"}},
        {"2^40 sectors, width 80",
         {{0, tera}},
         {{0, 1 * kMs}, {tera / 2, 600 * kMs}, {tera - 1, kFailed}},
         80,
         7,
         {"-" + Repeat('.', 79), Repeat('.', 40) + "#" + Repeat('.', 39), Repeat('.', 79) + "X"}},
        {"2^40 sectors, width 200", {{0, tera}}, {{tera / 4, 60 * kMs}, {tera - 1, 1 * kMs}}, 200, 40, {}},
        {"no reads yet, width 40", {{0, 1000000}}, {}, 40, 10, {}},
        {"reads outside the range", {{0, 100}}, {{500, 1 * kMs}, {50, 1 * kMs}}, 80, 8, {}},
        {"no range", {}, {{5, 1 * kMs}}, 80, 8, {"(no sectors to map)"}},
        {"taller than needed", {{0, 30}}, {{29, 6 * kMs}}, 40, 30, {Repeat('.', 29) + "="}},
        {"only the header fits", {{0, 1000}}, {{1, 1 * kMs}}, 80, 1, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ReadMap map;
        map.Begin(c.spans);
        ULONGLONG failed = 0;
        for (const Read& r : c.reads) {
            if (r.ns == kFailed) {
                map.RecordFailure(r.sector, ERROR_CRC);
                ++failed;
            } else {
                map.RecordSuccess(r.sector, r.ns);
            }
        }
        ViewHeader header;
        header.test = "linear";
        header.selector = "0-2";
        header.percent = 42;
        const std::string plain = RenderView(header, map, c.width, c.height, ColourMode::Off);
        const std::string coloured = RenderView(header, map, c.width, c.height, ColourMode::Ansi);
        EXPECT_EQ(plain.find('\x1b'), std::string::npos);
        const std::vector<std::string> lines = Lines(plain);
        ASSERT_FALSE(lines.empty());
        EXPECT_LE(lines.size(), static_cast<size_t>(c.height));
        EXPECT_EQ(lines.front().rfind("linear 0-2  42%", 0), 0u) << lines.front();
        for (const std::string& line : lines) {
            EXPECT_LE(line.size(), static_cast<size_t>(c.width)) << line;
        }
        // Colour adds sequences and nothing else.
        const std::vector<std::string> colouredLines = Lines(coloured);
        ASSERT_EQ(colouredLines.size(), lines.size());
        for (size_t i = 0; i < lines.size(); ++i) {
            EXPECT_EQ(std::regex_replace(colouredLines[i], std::regex("\x1b\\[[0-9;]*m"), ""), lines[i]);
        }
        if (c.height == 1) {
            continue;
        }
        if (!c.map.empty()) {
            ASSERT_GT(lines.size(), c.map.size());
            EXPECT_EQ(std::vector<std::string>(lines.begin() + 1, lines.begin() + 1 + static_cast<long>(c.map.size())),
                      c.map);
        }
        // The legend's counts add up to the reads, failed ones included.
        ULONGLONG counted = 0;
        const std::regex count(": ([0-9]+)");
        for (std::sregex_iterator m(plain.begin(), plain.end(), count), end; m != end; ++m) {
            counted += std::stoull((*m)[1]);
        }
        EXPECT_EQ(counted, c.reads.size());
        EXPECT_NE(plain.find("failed: " + std::to_string(failed)), std::string::npos);
        if (failed > 0) {
            // Said in full, over as many lines as the width needs.
            const std::string joined = std::regex_replace(plain, std::regex("\n"), " ");
            EXPECT_NE(joined.find("first failed read: sector "), std::string::npos);
            EXPECT_NE(joined.find("error 23 (data error: CRC)"), std::string::npos);
        }
        EXPECT_NE(coloured.find("\x1b["), std::string::npos);
    }
}

TEST(MapRender, LegendAndHeaderInFull)
{
    ReadMap map;
    map.Begin({{0, 40}});
    map.RecordSuccess(3, 2 * kMs);
    map.RecordSuccess(4, 700 * kMs);
    map.RecordFailure(39, ERROR_SECTOR_NOT_FOUND);
    ViewHeader header{"surface", "0-1,0-2", 1, 3, 57, 212.5, 12, 185, ""};
    EXPECT_EQ(RenderView(header, map, 80, 10, ColourMode::Off),
              "surface 0-1,0-2 [2/3]  57%  sector 39  212.5 reads/s  3 min left (hddiag)\n" +
                  Repeat('.', 3) + "-#" + Repeat('.', 34) + "X\n"
                  ". not read  - < 5 ms: 1  = < 20 ms: 0  + < 50 ms: 0  * < 150 ms: 0\n"
                  "% < 500 ms: 0  # >= 500 ms: 1  X failed: 1\n"
                  "first failed read: sector 39, error 27 (sector not found)");
    header.outcome = "failed";
    EXPECT_EQ(Lines(RenderView(header, map, 80, 10, ColourMode::Off)).front(), "surface 0-1,0-2 [2/3]: failed");
    // The page's form: classes instead of sequences, its text escaped.
    const std::string html = RenderMap(map, 80, 10, ColourMode::Html);
    EXPECT_NE(html.find("<span class=\"m6\">#</span>"), std::string::npos);
    EXPECT_NE(html.find("&lt; 5 ms: 1"), std::string::npos);
}

// A page's map names each row's first sector, right-aligned to the widest;
// the terminal's picture of the same map has no labels.
TEST(MapRender, PageRowsNameTheirFirstSector)
{
    const ULONGLONG tera = 1ull << 40;
    const struct {
        const char* name;
        std::vector<SectorSpan> spans;
        int width;
        std::vector<std::string> labels;
    } cases[] = {
        {"one sector a cell", {{0, 40}}, 10, {" 0", "10", "20", "30"}},
        {"a range not from 0", {{1000, 1025}}, 10, {"1000", "1010", "1020"}},
        // The gap between two spans is not on the map: the second row starts in the second span.
        {"two spans", {{100, 110}, {200, 210}}, 10, {"100", "200"}},
        // 2^40 sectors in 16384 cells of 2^26: rows of 4096 cells.
        {"cells of many sectors", {{0, tera}}, 4096, {"           0", "274877906944", "549755813888", "824633720832"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ReadMap map;
        map.Begin(c.spans);
        std::vector<std::string> labels;
        const std::regex label("^<span class=\"r\">([ 0-9]+)</span> ");
        for (const std::string& line : Lines(RenderMapRows(map, c.width, 10, ColourMode::Html))) {
            std::smatch m;
            ASSERT_TRUE(std::regex_search(line, m, label)) << line;
            labels.push_back(m[1]);
        }
        EXPECT_EQ(labels, c.labels);
        EXPECT_EQ(RenderMapRows(map, c.width, 10, ColourMode::Off).find_first_of("0123456789"), std::string::npos);
    }
}

// A scan's map as the engine keeps it: one state a sector.
class FakeFates final : public SectorFates {
public:
    explicit FakeFates(ULONGLONG sectors) : m_states(sectors, CellFate::Untried) {}
    void Set(ULONGLONG first, ULONGLONG count, CellFate fate)
    {
        std::fill(m_states.begin() + first, m_states.begin() + first + count, fate);
    }
    CellFate FateOf(ULONGLONG first, ULONGLONG end) const override
    {
        return *std::max_element(m_states.begin() + first, m_states.begin() + end);
    }

private:
    std::vector<CellFate> m_states;
};

TEST(MapRender, ScanCellsSettleOnTheMapsStates)
{
    constexpr size_t kBad = ~size_t{0};  // the read failed
    struct Step {
        ULONGLONG first;
        ULONGLONG count;
        size_t latencyClass;  // or kBad
        CellFate after;       // what the map then holds of the sectors
    };
    using F = CellFate;
    struct Case {
        const char* name;
        ULONGLONG sectors;           // from sector 0
        std::vector<Step> earlier;   // what a loaded map holds before this run
        std::vector<Step> reads;
        int width;
        std::string row;
        ULONGLONG firstUnreadable;  // ~0: none
    };
    // Fast pass: 16 good, a failed block of 16, 8 good, in the class "< 20 ms".
    const std::vector<Step> fast = {
        {0, 16, 1, F::Read}, {16, 16, kBad, F::Unsettled}, {32, 8, 1, F::Read}};
    const auto with = [&fast](std::vector<Step> more) {
        std::vector<Step> steps = fast;
        steps.insert(steps.end(), more.begin(), more.end());
        return steps;
    };
    const Case cases[] = {
        {"stopped before the trim: the failed block unsettled", 40, {}, fast, 40,
         Repeat('=', 16) + Repeat('?', 16) + Repeat('=', 8), ~0ull},
        {"trim and scrape: the block's good sectors read, only its bad ones X", 40, {},
         with({{16, 4, 0, F::Read}, {20, 1, kBad, F::Unreadable}, {21, 1, kBad, F::Unreadable},
               {22, 10, 0, F::Read}}),
         40, Repeat('=', 16) + "----XX" + Repeat('-', 10) + Repeat('=', 8), 20},
        {"no scrape: the inside stays unsettled", 40, {},
         with({{16, 4, 0, F::Read}, {20, 1, kBad, F::Unreadable}, {21, 1, kBad, F::Unreadable},
               {31, 1, 0, F::Read}, {30, 1, kBad, F::Unreadable}}),
         40, Repeat('=', 16) + "----XX" + Repeat('?', 8) + "X-" + Repeat('=', 8), 20},
        {"four sectors a cell: one X for one bad sector", 160, {},
         {{0, 64, 1, F::Read}, {64, 64, kBad, F::Unsettled}, {128, 32, 1, F::Read}, {64, 6, 0, F::Read},
          {70, 1, kBad, F::Unreadable}, {71, 57, 0, F::Read}},
         40, Repeat('=', 16) + "-X" + Repeat('-', 14) + Repeat('=', 8), 70},
        {"a loaded map: read earlier, its unreadable sectors X", 40,
         {{0, 20, 0, F::Read}, {20, 4, 0, F::Unreadable}}, {{24, 16, 1, F::Read}}, 40,
         Repeat(':', 20) + "XXXX" + Repeat('=', 16), 20},
        // Two cells a column: unreadable over unsettled over this run's
        // classes over read earlier over not read.
        {"two cells a column", 40, {{1, 3, 0, F::Read}},
         {{3, 2, 1, F::Read}, {8, 8, kBad, F::Unsettled}, {9, 1, kBad, F::Unreadable}, {12, 1, 3, F::Read}},
         20, ":==.X???" + Repeat('.', 12), 9},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeFates fates(c.sectors);
        for (const Step& s : c.earlier) {
            fates.Set(s.first, s.count, s.after);
        }
        ReadMap map;
        map.Begin({{0, c.sectors}});
        map.SettleAll(fates);
        for (const Step& s : c.earlier) {
            if (s.after == F::Unreadable) {
                map.NoteUnreadable(s.first, 0);
            }
        }
        for (const Step& s : c.reads) {
            if (s.latencyClass == kBad) {
                map.RecordFailureSpan(s.first, s.count, ERROR_CRC);
            } else {
                map.RecordClassSpan(s.first, s.count, s.latencyClass);
            }
            fates.Set(s.first, s.count, s.after);
            map.Settle(s.first, s.count, fates);
        }
        EXPECT_EQ(RenderMapRows(map, c.width, 1, ColourMode::Off), c.row);
        EXPECT_EQ(map.AnyUnreadable(), c.firstUnreadable != ~0ull);
        if (map.AnyUnreadable()) {
            EXPECT_EQ(map.FirstUnreadable(), c.firstUnreadable);
        }
    }
}

// A scan's legend names the unsettled and read-earlier marks and the lowest
// unreadable sector, not the first failed read (a block before it).
TEST(MapRender, ScanLegendNamesTheFirstUnreadableSector)
{
    FakeFates fates(40);
    ReadMap map;
    map.Begin({{0, 40}});
    map.SettleAll(fates);
    map.RecordFailureSpan(8, 16, ERROR_CRC);
    fates.Set(8, 16, CellFate::Unsettled);
    map.RecordFailureSpan(12, 1, ERROR_CRC);
    fates.Set(12, 1, CellFate::Unreadable);
    map.Settle(12, 1, fates);
    EXPECT_EQ(Lines(RenderMap(map, 80, 10, ColourMode::Off)),
              (std::vector<std::string>{
                  Repeat('.', 8) + "????X" + Repeat('?', 11) + Repeat('.', 16),
                  ". not read  : read earlier  - < 5 ms: 0  = < 20 ms: 0  + < 50 ms: 0",
                  "* < 150 ms: 0  % < 500 ms: 0  # >= 500 ms: 0  ? unsettled  X failed: 2",
                  "first unreadable sector: 12, error 23 (data error: CRC)"}));
    // The live view's legend without counts has them too.
    EXPECT_EQ(RenderLegend(200, ColourMode::Off),
              ". not read  : read earlier  - < 5 ms  = < 20 ms  + < 50 ms  * < 150 ms  % < 500 ms  # >= 500 ms"
              "  ? unsettled  X failed");
}

TEST(TerminalFrame, RedrawsInPlaceAndCountsRewrappedLines)
{
    std::ostringstream out;
    TerminalFrame frame(out);
    frame.Draw("header\n\x1b[31m#####\x1b[0m\nlegend", 80);
    EXPECT_EQ(out.str(), "\x1b[2Kheader\n\x1b[2K\x1b[31m#####\x1b[0m\n\x1b[2Klegend\x1b[J");
    out.str("");
    frame.Draw("h\nm", 80);
    EXPECT_EQ(out.str(), "\r\x1b[2A\x1b[2Kh\n\x1b[2Km\x1b[J");
    out.str("");
    // Lines of 70 and 1 columns at 60: the first now takes two rows.
    frame.Draw(Repeat('x', 70) + "\ny", 80);
    out.str("");
    frame.Draw("z", 60);
    EXPECT_EQ(out.str(), "\r\x1b[2A\x1b[2Kz\x1b[J");
    out.str("");
    frame.Finish();
    frame.Draw("next", 60);
    EXPECT_EQ(out.str(), "\n\x1b[2Knext\x1b[J");
}

TEST(ViewMode, FromOptionsTerminalAndEnvironment)
{
    struct Case {
        const char* name;
        ViewOption view;
        ColorOption color;
        ViewEnvironment env;
        ViewMode mode;
        bool colour;
    };
    const ViewEnvironment terminal{true, false, false, true, true};
    ViewEnvironment noColor = terminal;
    noColor.noColor = true;
    ViewEnvironment dumb = terminal;
    dumb.dumb = true;
    ViewEnvironment file = terminal;
    file.terminal = false;
    ViewEnvironment installed = terminal;
    installed.readsTimed = false;
    ViewEnvironment noSequences = terminal;
    noSequences.sequencesOn = false;
    const Case cases[] = {
        {"a terminal", ViewOption::Auto, ColorOption::Auto, terminal, ViewMode::Map, true},
        {"NO_COLOR", ViewOption::Auto, ColorOption::Auto, noColor, ViewMode::Map, false},
        {"NO_COLOR, --color=always", ViewOption::Auto, ColorOption::Always, noColor, ViewMode::Map, true},
        {"--color=never", ViewOption::Auto, ColorOption::Never, terminal, ViewMode::Map, false},
        {"TERM=dumb", ViewOption::Auto, ColorOption::Auto, dumb, ViewMode::Lines, false},
        {"a file", ViewOption::Auto, ColorOption::Auto, file, ViewMode::Lines, false},
        {"a file, --view=map", ViewOption::Map, ColorOption::Auto, file, ViewMode::Map, false},
        {"--view=lines", ViewOption::Lines, ColorOption::Auto, terminal, ViewMode::Lines, true},
        {"--view=none", ViewOption::None, ColorOption::Auto, terminal, ViewMode::None, true},
        {"the installed component", ViewOption::Auto, ColorOption::Auto, installed, ViewMode::Bar, true},
        {"installed, --view=map", ViewOption::Map, ColorOption::Auto, installed, ViewMode::Bar, true},
        {"a console without sequences", ViewOption::Auto, ColorOption::Auto, noSequences, ViewMode::Lines, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ChooseViewMode(c.view, c.env), c.mode);
        EXPECT_EQ(ChooseColour(c.color, c.env), c.colour);
    }
}

}  // namespace
}  // namespace hddiag::testing
