// The frame of every hddiag page: the head with the one style sheet, the
// title again as the body's first heading, the body's end, and the cells,
// rows and tables the sections are written with. Pages are self-contained
// (no script, no outside resource) and well-formed XML.
#pragma once

#include <initializer_list>
#include <ostream>
#include <string>

#include "platform/win32.h"

namespace hddiag {

// Everything up to the body's <h1>; pageRules are style rules only that page
// needs (a scan's map colours), written into the same style block.
void BeginHtmlPage(std::ostream& out, const std::string& title, const std::string& pageRules = std::string());
void EndHtmlPage(std::ostream& out);

// A cell of escaped text; an empty cssClass writes no class attribute.
std::string HtmlCell(const std::string& text, const std::string& cssClass = std::string());
// A figure: right-aligned, in digits of one width.
std::string NumberCell(const std::string& text);
std::string NumberCell(ULONGLONG n);
// A value that may be a figure or a word ("34", "passed"): a NumberCell when
// it starts with a digit (or a sign before one), else a plain, left-aligned cell.
std::string ValueCell(const std::string& text);
std::string HeadingCell(const std::string& text);

// "<tr>" cells "</tr>\n".
std::string HtmlRow(const std::string& cells);
// "<table>\n" and its row of headings; the caller closes it with "</table>\n".
std::string HtmlTableStart(std::initializer_list<std::string> headings);

}  // namespace hddiag
