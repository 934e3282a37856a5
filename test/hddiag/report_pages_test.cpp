// The --report pages of run, health, scan and check, made in-process on the
// simulated machines: one style sheet each, the date, labelled map rows,
// words left-aligned and figures right-aligned, and what a refused test, a
// failed read, a health warning and a slow area show.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>

#include "test/hddiag/run_hddiag.h"

namespace hddiag::testing {
namespace {

const std::string kTroubled = std::string(HDD_SOURCE_DIR) + "/test/machines/troubled.json";

std::string Page(const std::vector<std::string>& args)
{
    const std::string path = (std::filesystem::temp_directory_path() / "hddiag_report_pages_test.html").string();
    std::vector<std::string> argv = {"--view=none", "--report", path};
    argv.insert(argv.end(), args.begin(), args.end());
    const RunOutput run = Hddiag(argv);
    EXPECT_NE(run.code, 2) << run.err;
    std::string html;
    {
        std::ifstream in(path);  // closed before the removal: Windows refuses to remove an open file
        html.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    std::filesystem::remove(path);
    return html;
}

size_t Count(const std::string& text, const std::string& what)
{
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) {
        ++n;
    }
    return n;
}

// A cell of the right-aligned class holds no word, and a plain cell no bare figure.
void ExpectAlignedCells(const std::string& html)
{
    static const std::regex cell("<td(?: class=\"([^\"]*)\")?>([^<]*)</td>");
    static const std::regex figure("[0-9][0-9.,]*(?: (?:us|ms|s|%))?");
    for (auto it = std::sregex_iterator(html.begin(), html.end(), cell); it != std::sregex_iterator(); ++it) {
        const std::string classes = " " + (*it)[1].str() + " ";
        const std::string text = (*it)[2];
        if (classes.find(" n ") != std::string::npos) {
            EXPECT_FALSE(!text.empty() && std::isalpha(static_cast<unsigned char>(text[0]))) << it->str();
        } else {
            EXPECT_FALSE(std::regex_match(text, figure)) << it->str();
        }
    }
}

// Every line of cells in a map starts with its row's label.
void ExpectLabelledMapRows(const std::string& html)
{
    size_t rows = 0;
    for (size_t at = html.find("<pre class=\"map\">"); at != std::string::npos;
         at = html.find("<pre class=\"map\">", at + 1)) {
        std::istringstream map(html.substr(at + 17, html.find("</pre>", at) - at - 17));
        for (std::string line; std::getline(map, line);) {
            if (line.find("not read") != std::string::npos) {
                break;  // the legend
            }
            EXPECT_TRUE(std::regex_search(line, std::regex("^<span class=\"r\"> *[0-9]+</span> <span class=\"m")))
                << line;
            ++rows;
        }
    }
    EXPECT_EQ(rows == 0, html.find("<pre class=\"map\">") == std::string::npos);
}

TEST(ReportPages, EveryPageKeepsTheSameRules)
{
    const struct {
        const char* what;
        std::vector<std::string> args;
        bool maps;
        std::vector<std::string> shows;
    } cases[] = {
        {"run", {"--machine", "builtin", "run", "--tests", "linear"}, true,
         {"<td class=\"passed\">passed</td>", "<span class=\"warning\">warning</span>",
          "<td class=\"warning\">warning</td></tr>", "<td class=\"failed\">failing</td></tr>"}},
        {"health", {"--machine", "builtin", "health"}, false,
         {"<tr><th>Overall assessment</th><td>passed</td></tr>", "<span class=\"warning\">warning</span>",
          "<span class=\"failed\">failing</span>"}},
        {"scan", {"--machine", "builtin", "scan", "2"}, true,
         {"<th>Worst read</th></tr>\n<tr><td class=\"n\">19998720</td><td class=\"n\">20002815</td>"
          "<td class=\"n\">4096</td><td class=\"n\">81"}},
        {"check", {"--machine", "builtin", "check", "2"}, true,
         {"<td class=\"failed\">failing</td>", "<th>Worst read</th>"}},
        {"refused test", {"--machine", kTroubled, "test", "linear", "255-3"}, false,
         {"<p>No reads (HDD_PARTITION_NOT_TESTABLE: a selected partition cannot be resolved:"}},
        {"failed read", {"--machine", kTroubled, "test", "linear", "1-1"}, true,
         {"<td>error 87 (invalid parameter)</td><td class=\"failed\">failed</td></tr>"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string html = Page(c.args);
        ASSERT_FALSE(html.empty());
        EXPECT_EQ(Count(html, "<style>"), 1u);
        EXPECT_TRUE(std::regex_search(html, std::regex("; ended [0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2} UTC")));
        EXPECT_EQ(html.find("0.0 us"), std::string::npos);
        EXPECT_EQ(html.find("class=\"refused\">warning"), std::string::npos);
        ExpectAlignedCells(html);
        ExpectLabelledMapRows(html);
        EXPECT_EQ(html.find("<pre class=\"map\">") != std::string::npos, c.maps);
        for (const std::string& shown : c.shows) {
            EXPECT_NE(html.find(shown), std::string::npos) << shown;
        }
    }
}

}  // namespace
}  // namespace hddiag::testing
