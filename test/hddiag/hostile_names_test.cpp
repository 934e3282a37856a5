// Names from outside (device paths, models, selectors) may hold any bytes.
// Each writer gets the same table of hostile names and must keep its format:
// JSON that parses, a page that is valid UTF-8 without markup from the name,
// OpenMetrics label values with the format's escapes, a text table whose
// control characters are shown rather than sent to the terminal.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>

#include "tools/hddiag/session/real_disks.h"
#include "tools/hddiag/text/text_escape.h"
#include "tools/hddiag/writers/html_report.h"
#include "tools/hddiag/writers/metrics_writer.h"
#include "tools/hddiag/writers/output.h"
#include "tools/hddiag/writers/run_files.h"
#include "tools/hddiag/text/text_escape.h"

namespace hddiag::testing {
namespace {

struct Name {
    const char* what;
    std::string raw;
    std::string utf8;     // as JSON and OpenMetrics carry it (before their own escapes)
    std::string shown;    // as a terminal and the page show it
    std::string label;    // as an OpenMetrics label value
};

const Name kNames[] = {
    {"invalid byte", "bad\xff.img", "bad\xEF\xBF\xBD.img", "bad\\xff.img", "bad\xEF\xBF\xBD.img"},
    {"overlong slash", "a\xC0\xAF" "b", "a\xEF\xBF\xBD\xEF\xBF\xBD" "b", "a\\xc0\\xaf" "b",
     "a\xEF\xBF\xBD\xEF\xBF\xBD" "b"},
    {"surrogate", "s\xED\xA0\x80", "s\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD", "s\\xed\\xa0\\x80",
     "s\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
    // A sequence cut short is one bad character, however many bytes it had.
    {"cut short", "x\xE2\x82y\xF0\x9F", "x\xEF\xBF\xBDy\xEF\xBF\xBD", "x\\xe2\\x82y\\xf0\\x9f",
     "x\xEF\xBF\xBDy\xEF\xBF\xBD"},
    {"controls", "a\nb\x1b[2J\r\tc\x7f", "a\nb\x1b[2J\r\tc\x7f", "a\\nb\\x1b[2J\\r\\tc\\x7f",
     "a\\nb\x1b[2J\r\tc\x7f"},
    {"C1 control", "csi\xC2\x9B" "1m", "csi\xC2\x9B" "1m", "csi\\u009b1m", "csi\xC2\x9B" "1m"},
    {"quotes", "say \"hi\" 'there'", "say \"hi\" 'there'", "say \"hi\" 'there'", "say \\\"hi\\\" 'there'"},
    {"backslashes", "C:\\disk\\n", "C:\\disk\\n", "C:\\disk\\n", "C:\\\\disk\\\\n"},
    {"markup", "<script>alert(1)</script>&amp;", "<script>alert(1)</script>&amp;",
     "<script>alert(1)</script>&amp;", "<script>alert(1)</script>&amp;"},
    {"4-byte UTF-8", "disk \xF0\x9F\x92\xBE \xE2\x82\xAC", "disk \xF0\x9F\x92\xBE \xE2\x82\xAC",
     "disk \xF0\x9F\x92\xBE \xE2\x82\xAC", "disk \xF0\x9F\x92\xBE \xE2\x82\xAC"},
};

RunResult ResultNaming(const std::string& name)
{
    RunResult result;
    result.report.text = "0-1-8";
    result.report.items = {{0, 1, 8, 'C'}};
    DiskRow row;
    row.path = name;
    row.device = name;  // an image file's device is its path
    row.bus = "SATA";
    row.model = name;
    row.serial = name;
    row.volumes = {{'C', 1, {}}, {0, 2, "extended container"}};
    result.disks = {row};
    TestRecord test;
    test.selector = "0-" + name;
    test.outcome = Outcome::Refused;
    test.code = 0x20010003;
    result.tests = {test};
    return result;
}

bool NoControlBytes(const std::string& text, const std::string& allowed)
{
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte < 0x20 || byte == 0x7F) && allowed.find(c) == std::string::npos) {
            return false;
        }
    }
    return true;
}

TEST(HostileNames, EveryWriterKeepsItsFormat)
{
    const RunInfo info{"builtin", "1.0", 1.7e9};
    for (const Name& name : kNames) {
        SCOPED_TRACE(name.what);
        const RunResult result = ResultNaming(name.raw);
        EXPECT_EQ(ValidUtf8(name.raw), name.utf8);
        EXPECT_EQ(Printable(name.raw), name.shown);

        std::ostringstream json;
        PrintJson(json, result, true);
        const nlohmann::json doc = nlohmann::json::parse(json.str(), nullptr, false);
        ASSERT_FALSE(doc.is_discarded()) << json.str();
        EXPECT_EQ(doc.at("disks").at(0).at("device"), name.utf8);
        EXPECT_EQ(doc.at("disks").at(0).at("model"), name.utf8);
        EXPECT_EQ(doc.at("disks").at(0).at("serial"), name.utf8);
        EXPECT_EQ(doc.at("results").at(0).at("selector"), "0-" + name.utf8);

        std::ostringstream page;
        WriteHtmlReport(page, result, info);
        EXPECT_EQ(ValidUtf8(page.str()), page.str());
        EXPECT_TRUE(NoControlBytes(page.str(), "\n"));
        EXPECT_EQ(page.str().find("<script"), std::string::npos);
        EXPECT_NE(page.str().find(EscapeHtml(name.shown)), std::string::npos);

        std::ostringstream metrics;
        WriteMetrics(metrics, result, info);
        EXPECT_EQ(ValidUtf8(metrics.str()), metrics.str());
        EXPECT_NE(metrics.str().find("hddiag_test_passed{disk=\"0\",device=\"" + name.label + "\",serial=\"" +
                                     name.label + "\",partition=\"" + name.label + "\",test=\"linear\"} 0\n"),
                  std::string::npos)
            << metrics.str();

        std::ostringstream table;
        PrintDiskTable(table, result.disks);
        PrintSummary(table, result);
        EXPECT_EQ(ValidUtf8(table.str()), table.str());
        EXPECT_TRUE(NoControlBytes(table.str(), "\n"));
        EXPECT_NE(table.str().find(name.shown), std::string::npos) << table.str();
    }
}

}  // namespace
}  // namespace hddiag::testing
