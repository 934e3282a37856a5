#include "tools/hddiag/text/html_page.h"

#include "tools/hddiag/text/text_escape.h"

namespace hddiag {

namespace {

// One sheet for the run, scan and check pages alike: a rule a page does not
// use costs nothing, and a page never lacks one another page has.
const char* const kStyle = R"(
body { font-family: sans-serif; margin: 2em; color: #222; max-width: 1000px; }
h1 { font-size: 1.6em; } h2 { font-size: 1.3em; margin-top: 2em; border-bottom: 1px solid #ccc; }
h3 { font-size: 1.05em; margin-bottom: 0.3em; }
table { border-collapse: collapse; margin: 0.5em 0; }
th, td { border: 1px solid #ccc; padding: 0.2em 0.6em; text-align: left; vertical-align: top; }
td.n { text-align: right; font-variant-numeric: tabular-nums; }
.passed { color: #1a7f37; } .failed, .aborted { color: #c62828; } .refused, .notrun { color: #8a6d00; }
.warning { color: #b34700; font-weight: bold; }
svg text { font-size: 11px; fill: #333; }
svg .grid line { stroke: #e4e4e4; } svg .axis line { stroke: #666; }
.side { display: flex; gap: 3em; align-items: flex-start; }
pre.map { line-height: 1.1; font-size: 12px; }
svg rect.max { fill: #9ecae1; } svg rect.mean { fill: #3182bd; } svg rect.failed { fill: #d62728; }
)";

}  // namespace

void BeginHtmlPage(std::ostream& out, const std::string& title, const std::string& pageRules)
{
    const std::string escaped = EscapeHtml(title);
    out << "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\"/>\n<title>" << escaped
        << "</title>\n<style>" << kStyle << pageRules << "</style>\n</head>\n<body>\n<h1>" << escaped << "</h1>\n";
}

void EndHtmlPage(std::ostream& out) { out << "</body>\n</html>\n"; }

std::string HtmlCell(const std::string& text, const std::string& cssClass)
{
    const std::string open = cssClass.empty() ? std::string("<td>") : "<td class=\"" + EscapeHtml(cssClass) + "\">";
    return open + EscapeHtml(text) + "</td>";
}

std::string NumberCell(const std::string& text) { return HtmlCell(text, "n"); }

std::string NumberCell(ULONGLONG n) { return NumberCell(std::to_string(n)); }

std::string ValueCell(const std::string& text)
{
    const size_t digit = !text.empty() && (text[0] == '-' || text[0] == '+') ? 1 : 0;
    const bool figure = digit < text.size() && text[digit] >= '0' && text[digit] <= '9';
    return figure ? NumberCell(text) : HtmlCell(text);
}

std::string HeadingCell(const std::string& text) { return "<th>" + EscapeHtml(text) + "</th>"; }

std::string HtmlRow(const std::string& cells) { return "<tr>" + cells + "</tr>\n"; }

std::string HtmlTableStart(std::initializer_list<std::string> headings)
{
    std::string row;
    for (const std::string& heading : headings) {
        row += HeadingCell(heading);
    }
    return "<table>\n" + HtmlRow(row);
}

}  // namespace hddiag
