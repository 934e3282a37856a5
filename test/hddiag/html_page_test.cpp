// The frame every page is written in: cells escape what they hold, figures
// get the right-aligned class and words do not, and a page has one style sheet that styles
// every class the pages use.
#include <gtest/gtest.h>

#include <functional>
#include <sstream>

#include "tools/hddiag/text/html_page.h"

namespace hddiag::testing {
namespace {

size_t Count(const std::string& text, const std::string& what)
{
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) {
        ++n;
    }
    return n;
}

TEST(HtmlPage, CellsEscapeTheirText)
{
    const struct {
        const char* what;
        std::function<std::string()> make;
        std::string want;
    } cases[] = {
        {"markup and quotes", [] { return HtmlCell("<b>\"x\" & 'y'</b>"); },
         "<td>&lt;b&gt;&quot;x&quot; &amp; &#39;y&#39;&lt;/b&gt;</td>"},
        {"control bytes shown", [] { return HtmlCell("a\nb\x1b[2J"); }, "<td>a\\nb\\x1b[2J</td>"},
        {"invalid UTF-8 shown", [] { return HtmlCell("bad\xff"); }, "<td>bad\\xff</td>"},
        {"empty", [] { return HtmlCell(""); }, "<td></td>"},
        {"number as text", [] { return NumberCell("1.5 ms"); }, "<td class=\"n\">1.5 ms</td>"},
        {"number", [] { return NumberCell(18446744073709551615ULL); }, "<td class=\"n\">18446744073709551615</td>"},
        {"number escapes", [] { return NumberCell("<1"); }, "<td class=\"n\">&lt;1</td>"},
        {"value, a figure", [] { return ValueCell("34 (10)"); }, "<td class=\"n\">34 (10)</td>"},
        {"value, negative", [] { return ValueCell("-5"); }, "<td class=\"n\">-5</td>"},
        {"value, a word", [] { return ValueCell("passed"); }, "<td>passed</td>"},
        {"value, a dash", [] { return ValueCell("-"); }, "<td>-</td>"},
        {"value, empty", [] { return ValueCell(""); }, "<td></td>"},
        {"value escapes", [] { return ValueCell("<1"); }, "<td>&lt;1</td>"},
        {"class", [] { return HtmlCell("failed", "failed"); }, "<td class=\"failed\">failed</td>"},
        {"two classes", [] { return HtmlCell("3", "n refused"); }, "<td class=\"n refused\">3</td>"},
        {"heading", [] { return HeadingCell("Size & <bytes>"); }, "<th>Size &amp; &lt;bytes&gt;</th>"},
        {"row", [] { return HtmlRow(NumberCell(1) + HtmlCell("a")); }, "<tr><td class=\"n\">1</td><td>a</td></tr>\n"},
        {"table", [] { return HtmlTableStart({"Disk", "A & B"}); },
         "<table>\n<tr><th>Disk</th><th>A &amp; B</th></tr>\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.make(), c.want) << c.what;
    }
}

TEST(HtmlPage, OneStyleBlockAndTheTitleEscaped)
{
    const struct {
        const char* what;
        std::string title;
        std::string rules;
        std::string shownTitle;
    } cases[] = {
        {"plain", "hddiag report", "", "hddiag report"},
        {"page rules", "hddiag scan", "pre.map .m1 { color: #123456; }\n", "hddiag scan"},
        {"markup in title", "a <b> & c", "", "a &lt;b&gt; &amp; c"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::ostringstream out;
        BeginHtmlPage(out, c.title, c.rules);
        out << "<p>body</p>\n";
        EndHtmlPage(out);
        const std::string page = out.str();
        EXPECT_EQ(page.rfind("<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\"/>\n", 0), 0u);
        EXPECT_EQ(Count(page, "<style>"), 1u);
        EXPECT_EQ(Count(page, "</style>"), 1u);
        const size_t styleEnd = page.find("</style>");
        EXPECT_LT(page.find(c.rules), styleEnd);
        EXPECT_NE(page.find("<title>" + c.shownTitle + "</title>"), std::string::npos);
        EXPECT_NE(page.find("</head>\n<body>\n<h1>" + c.shownTitle + "</h1>\n<p>body</p>\n</body>\n</html>\n"),
                  std::string::npos)
            << page;
    }
}

// Every class the run, scan and check pages write has its rule in the sheet.
TEST(HtmlPage, TheSheetStylesEveryPagesClasses)
{
    std::ostringstream out;
    BeginHtmlPage(out, "t");
    const std::string page = out.str();
    const std::string sheet = page.substr(0, page.find("</style>"));
    for (const char* rule : {"td.n {", ".passed {", ".failed, .aborted {", ".refused, .notrun {", ".warning {", ".side {",
                             "pre.map {", "h3 {", "svg .grid line {", "svg rect.failed {"}) {
        EXPECT_NE(sheet.find(rule), std::string::npos) << rule;
    }
}

}  // namespace
}  // namespace hddiag::testing
