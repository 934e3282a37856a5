// The live view as text: a header, the map of the test's range and a
// legend, fitted to a width and a height. A pure function of its inputs, so
// that the terminal, the tests and the HTML page draw the same picture.
#pragma once

#include <string>

#include "platform/win32.h"
#include "tools/hddiag/latency/read_map.h"

namespace hddiag {

enum class ColourMode { Off, Ansi, Html };

// What the header line says besides the map.
struct ViewHeader {
    std::string test;      // "linear"
    std::string selector;  // "0-2"
    size_t index = 0;      // [index + 1/count] when count > 1
    size_t count = 1;
    INT percent = 0;
    double readsPerSecond = -1;  // < 0: not known yet
    INT minutes = -1;            // the component's estimate; < 0: none
    LONGLONG estimateSeconds = -1;  // hddiag's own; < 0: none
    std::string outcome;         // after the test: "passed", "refused (...)", ...
};

// One glyph per mark, so that the map reads without colour.
char MarkGlyph(CellMark mark);
// "not read", "< 5 ms", ..., ">= 500 ms", "failed", "unsettled", "read earlier".
const char* MarkLabel(CellMark mark);
// The page's colour of a mark (#rrggbb).
const char* MarkHtmlColour(CellMark mark);
// The style rules that colour a page's maps ("pre.map .m1 { color: ...; }").
std::string MapHtmlStyle();

// Lines joined by '\n' (none after the last), at most `height` of them, none
// wider than `width` visible columns. Ansi adds SGR colour sequences and
// nothing else; Html wraps runs in <span> elements and escapes the text.
std::string RenderView(const ViewHeader& header, const ReadMap& map, int width, int height, ColourMode colour);

// The map and its legend alone, as the report shows a finished test.
std::string RenderMap(const ReadMap& map, int width, int height, ColourMode colour);

// The map's cells alone in at most `rows` lines (several maps share a
// screen), and the legend without counts that goes once below them.
std::string RenderMapRows(const ReadMap& map, int width, int rows, ColourMode colour);
std::string RenderLegend(int width, ColourMode colour);

}  // namespace hddiag
