// The drive's self-test log: how smartctl's JSON of it is read, how each
// verdict and note rule judges it, and how it is shown.
#include <gtest/gtest.h>

#include <sstream>

#include "tools/hddiag/health/health_html.h"
#include "tools/hddiag/health/health_metrics.h"
#include "tools/hddiag/health/health_output.h"
#include "tools/hddiag/health/self_test.h"
#include "tools/hddiag/health/smartctl_json.h"

namespace hddiag::testing {
namespace {

// A disk whose SMART passed, with the given parts added.
std::string Doc(const std::string& parts, ULONG exit = 0, const char* protocol = "ATA")
{
    return std::string(R"({"smartctl": {"exit_status": )") + std::to_string(exit) + R"(}, "device": {"protocol": ")" +
           protocol + R"("}, "smart_status": {"passed": true}, "power_on_time": {"hours": 12034})" +
           (parts.empty() ? "" : ", " + parts) + "}";
}

// An ATA log entry: its test's type number, the status byte, hours, LBA.
std::string Ata(int type, int status, int hours, const std::string& more = "")
{
    return R"({"type": {"value": )" + std::to_string(type) + R"(, "string": "T"}, "status": {"value": )" +
           std::to_string(status) + R"(, "string": "S"}, "lifetime_hours": )" + std::to_string(hours) + more + "}";
}

std::string AtaLog(const std::string& entries, const std::string& counts = "")
{
    return R"("ata_smart_self_test_log": {"standard": {"table": [)" + entries + "]" + counts + "}}";
}

std::string Nvme(int code, int result, int hours, const std::string& more = "")
{
    return R"({"self_test_code": {"value": )" + std::to_string(code) + R"(}, "self_test_result": {"value": )" +
           std::to_string(result) + R"(, "string": "R"}, "power_on_hours": )" + std::to_string(hours) + more + "}";
}

std::string NvmeLog(const std::string& entries)
{
    return R"("nvme_self_test_log": {"table": [)" + entries + "]}";
}

// kind result [status] [left%] [hNNN] [lbaNNN] [segN], entries joined by " | ".
std::string Entries(const SelfTestLog& log)
{
    std::string text;
    for (const SelfTestEntry& e : log.entries) {
        text += text.empty() ? "" : " | ";
        text += std::string(SelfTestKindName(e.kind)) + " " + SelfTestResultName(e.result);
        text += e.status ? " " + std::to_string(*e.status) : "";
        text += e.remainingPercent.value_or(0) > 0 ? " " + std::to_string(*e.remainingPercent) + "%" : "";
        text += e.hours ? " h" + std::to_string(*e.hours) : "";
        text += e.lba ? " lba" + std::to_string(*e.lba) : "";
        text += e.segment ? " seg" + std::to_string(*e.segment) : "";
    }
    return text;
}

TEST(SelfTestLog, ReadsTheAtaAndNvmeLogs)
{
    struct Row {
        const char* what;
        std::string doc;
        bool present;
        const char* entries;
        const char* note;  // the first note on a part of unknown shape; "" for none
    };
    const Row rows[] = {
        {"no log", Doc(""), false, "", ""},
        {"an empty log", Doc(AtaLog("")), true, "", ""},
        {"the status byte: code high, tenths left low",
         Doc(AtaLog(Ata(2, 0x76, 12030, R"(, "lba": 123456)") + "," + Ata(1, 0, 12000))),
         true, "extended failed 7 60% h12030 lba123456 | short passed 0 h12000", ""},
        {"captive tests, conveyance, selective and offline",
         Doc(AtaLog(Ata(0x81, 0, 5) + "," + Ata(0x82, 0, 4) + "," + Ata(3, 0, 3) + "," + Ata(4, 0, 2) + "," +
                    Ata(0, 0, 1))),
         true, "short passed 0 h5 | extended passed 0 h4 | conveyance passed 0 h3 | selective passed 0 h2 | "
               "other passed 0 h1", ""},
        {"running, stopped by the host, each failure",
         Doc(AtaLog(Ata(1, 0xF9, 9) + "," + Ata(1, 0x10, 8) + "," + Ata(1, 0x28, 7) + "," + Ata(1, 0x30, 6) + "," +
                    Ata(1, 0x40, 5) + "," + Ata(1, 0x50, 4) + "," + Ata(1, 0x60, 3) + "," + Ata(1, 0x80, 2))),
         true, "short running 15 90% h9 | short stopped 1 h8 | short stopped 2 80% h7 | short failed 3 h6 | "
               "short failed 4 h5 | short failed 5 h4 | short failed 6 h3 | short failed 8 h2", ""},
        {"an unknown code: smartctl's passed decides",
         Doc(AtaLog(R"({"status": {"value": 144, "passed": false}}, {"status": {"value": 160, "passed": true}},
                      {"status": {"value": 176}})")),
         true, "other failed 9 | other passed 10 | other unknown 11", ""},
        {"no type number: its name; no status byte: passed",
         Doc(AtaLog(R"({"type": {"string": "Conveyance offline"}, "status": {"passed": true}})")), true,
         "conveyance passed", ""},
        {"the extended log when smartctl read it",
         Doc(R"("ata_smart_self_test_log": {"standard": {"table": [)" + Ata(1, 0, 1) + R"(]},
                 "extended": {"table": [)" + Ata(2, 0x70, 2, R"(, "lba": 5000000000)") + "]}}"),
         true, "extended failed 7 h2 lba5000000000", ""},
        {"a status byte out of range is left out",
         Doc(AtaLog(R"({"type": {"value": 1}, "status": {"value": 300, "passed": false}})")), true, "short failed",
         "ata_smart_self_test_log.standard.table[0].status.value is out of range (300); left out"},
        {"an entry that is no object",
         Doc(AtaLog("7, " + Ata(1, 0, 3))), true, "short passed 0 h3",
         "ata_smart_self_test_log.standard.table[0] is not an object; left out"},
        {"a table that is no list", Doc(R"("ata_smart_self_test_log": {"standard": {"table": 3}})"), true, "",
         "ata_smart_self_test_log.standard.table is not a list; left out"},
        {"NVMe: segment and LBA; null and unused slots passed over",
         Doc(NvmeLog(Nvme(2, 7, 4500, R"(, "segment": 2, "lba": 987654)") + ", null, " + Nvme(1, 15, 0) + ", " +
                     Nvme(1, 0, 4400)),
             0, "NVMe"),
         true, "extended failed 7 h4500 lba987654 seg2 | short passed 0 h4400", ""},
        {"NVMe: each result",
         Doc(NvmeLog(Nvme(1, 1, 9) + "," + Nvme(1, 2, 8) + "," + Nvme(1, 3, 7) + "," + Nvme(1, 4, 6) + "," +
                     Nvme(1, 5, 5) + "," + Nvme(1, 6, 4) + "," + Nvme(0xe, 8, 3) + "," + Nvme(1, 9, 2) + "," +
                     Nvme(1, 12, 1)),
             0, "NVMe"),
         true,
         "short stopped 1 h9 | short stopped 2 h8 | short stopped 3 h7 | short stopped 4 h6 | short failed 5 h5 | "
         "short failed 6 h4 | other unknown 8 h3 | short stopped 9 h2 | short unknown 12 h1",
         ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const DiskHealth h = HealthFromSmartctl(0, row.doc, std::nullopt);
        ASSERT_EQ(h.state, HealthState::Read) << h.note;
        ASSERT_EQ(h.reading.selfTests.has_value(), row.present);
        if (row.present) {
            EXPECT_EQ(Entries(*h.reading.selfTests), row.entries);
        }
        EXPECT_EQ(h.reading.notes.empty() ? std::string() : h.reading.notes.front(), row.note);
    }
}

TEST(SelfTestLog, NvmeRunningTestAndCounts)
{
    const DiskHealth h = HealthFromSmartctl(
        0,
        Doc(R"("nvme_self_test_log": {"current_self_test_operation": {"value": 2, "string": "Extended self-test in progress"},
               "current_self_test_completion_percent": 42, "error_count_total": 3, "error_count_outdated": 1})",
            0, "NVMe"),
        std::nullopt);
    ASSERT_TRUE(h.reading.selfTests);
    const SelfTestLog& log = *h.reading.selfTests;
    EXPECT_TRUE(log.nvme);
    EXPECT_EQ(log.running, "Extended self-test in progress");
    EXPECT_EQ(log.runningPercent, 42u);
    EXPECT_EQ(log.errorCount, 3u);
    EXPECT_EQ(log.outdatedErrors, 1u);
}

// Every verdict and note rule on the self-test log, and what leaves it alone.
TEST(SelfTestVerdict, EachRuleAndWhatItSays)
{
    const std::string failedCounts = R"(, "error_count_total": 1, "error_count_outdated": 0)";
    struct Row {
        const char* what;
        std::string doc;
        Verdict verdict;
        std::vector<std::string> reasons;
        std::vector<std::string> noted;
    };
    const Row rows[] = {
        {"a read failure names its LBA", Doc(AtaLog(Ata(2, 0x76, 12030, R"(, "lba": 123456)") + "," + Ata(1, 0, 12000))),
         Verdict::Failing, {"the last extended self-test ended in a read failure at LBA 123456"}, {}},
        {"a fault stopped it", Doc(AtaLog(Ata(1, 0x39, 12030))), Verdict::Failing,
         {"the last short self-test was stopped by a fatal or unknown error"}, {}},
        {"unknown, electrical, servo/seek failures and handling damage, one per kind",
         Doc(AtaLog(Ata(1, 0x40, 4) + "," + Ata(2, 0x50, 3) + "," + Ata(3, 0x60, 2) + "," + Ata(4, 0x80, 1))),
         Verdict::Failing,
         {"the last short self-test ended in an unknown failure",
          "the last extended self-test ended in an electrical failure",
          "the last conveyance self-test ended in a servo/seek failure", "the last selective self-test found handling damage"},
         {}},
        {"a code hddiag does not know that smartctl calls failed",
         Doc(AtaLog(
             R"x({"type": {"value": 1}, "status": {"value": 144, "string": "Unknown status (0x09)", "passed": false}})x")),
         Verdict::Failing, {"the last short self-test failed (Unknown status (0x09))"}, {}},
        {"a test of a type hddiag does not name",
         Doc(AtaLog(R"x({"type": {"value": 85, "string": "Vendor (0x55)"}, "status": {"value": 112}, "lba": 7})x")),
         Verdict::Failing, {"the last self-test of type 'Vendor (0x55)' ended in a read failure at LBA 7"}, {}},
        {"a later short test does not pass over a failed extended one",
         Doc(AtaLog(Ata(1, 0, 12030) + "," + Ata(2, 0x70, 12000, R"(, "lba": 99)")), 128), Verdict::Failing,
         {"the last extended self-test ended in a read failure at LBA 99"}, {}},
        {"a later extended test that passed does",
         Doc(AtaLog(Ata(2, 0, 12030) + "," + Ata(1, 0x70, 12000, R"(, "lba": 99)"))), Verdict::Good, {}, {}},
        {"an older failure smartctl still counts: exit status bit 7",
         Doc(AtaLog(Ata(1, 0, 12030) + "," + Ata(1, 0x70, 12000) + "," + Ata(2, 0, 9000), failedCounts), 128),
         Verdict::Warning, {"smartctl found errors in the self-test log (exit status bit 7)"}, {}},
        {"the same without smartctl's exit status: the log's counts",
         Doc(AtaLog(Ata(1, 0, 12030) + "," + Ata(1, 0x70, 12000) + "," + Ata(2, 0, 9000), failedCounts)),
         Verdict::Warning, {"the self-test log holds 1 failed self-test(s) no later extended self-test passed over"}, {}},
        {"errors outdated by a later extended test",
         Doc(AtaLog(Ata(2, 0, 12030), R"(, "error_count_total": 2, "error_count_outdated": 2)")), Verdict::Good, {}, {}},
        {"the bit says no more than a failure named",
         Doc(AtaLog(Ata(2, 0x70, 12030, R"(, "lba": 5)"), failedCounts), 128), Verdict::Failing,
         {"the last extended self-test ended in a read failure at LBA 5"}, {}},
        {"aborted by the host: noted",
         Doc(AtaLog(R"({"type": {"value": 1}, "status": {"value": 16, "string": "Aborted by host"}})")),
         Verdict::Good, {}, {"the last short self-test was stopped by the host: Aborted by host"}},
        {"interrupted by a host reset, over an older failure",
         Doc(AtaLog(Ata(1, 0x28, 12030) + "," + Ata(2, 0x70, 12000, R"(, "lba": 8)"))), Verdict::Failing,
         {"the last extended self-test ended in a read failure at LBA 8"},
         {"the last short self-test was stopped by the host: S"}},
        {"a test running is neither judged nor noted", Doc(AtaLog(Ata(1, 0xF9, 12034) + "," + Ata(1, 0, 12000))),
         Verdict::Good, {}, {}},
        {"only the last test is noted", Doc(AtaLog(Ata(1, 0, 12030) + "," + Ata(1, 0x10, 12000))), Verdict::Good, {}, {}},
        {"NVMe: failed segments and a fatal error",
         Doc(NvmeLog(Nvme(2, 7, 4500, R"(, "segment": 2, "lba": 987654)") + "," + Nvme(1, 5, 4400)), 0, "NVMe"),
         Verdict::Failing,
         {"the last extended self-test failed in segment 2 at LBA 987654",
          "the last short self-test was stopped by a fatal or unknown error"},
         {}},
        {"NVMe: an unknown segment", Doc(NvmeLog(Nvme(1, 6, 1)), 0, "NVMe"), Verdict::Failing,
         {"the last short self-test failed in an unknown segment"}, {}},
        {"NVMe: a controller reset is the host's", Doc(NvmeLog(Nvme(1, 2, 1)), 0, "NVMe"), Verdict::Good, {},
         {"the last short self-test was stopped by the host: R"}},
        {"NVMe: aborted for an unknown reason", Doc(NvmeLog(Nvme(1, 8, 1)), 0, "NVMe"), Verdict::Good, {}, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const DiskHealth h = HealthFromSmartctl(0, row.doc, std::nullopt);
        ASSERT_EQ(h.state, HealthState::Read) << h.note;
        EXPECT_EQ(h.verdict, row.verdict);
        EXPECT_EQ(h.reasons, row.reasons);
        EXPECT_EQ(h.noted, row.noted);
        EXPECT_TRUE(h.reading.notes.empty()) << h.reading.notes.front();
    }
}

TEST(SelfTestVerdict, AgeInPowerOnHours)
{
    struct Row {
        bool nvme;
        std::optional<ULONGLONG> powerOn;
        std::optional<ULONGLONG> ended;
        std::optional<ULONGLONG> age;
    };
    const Row rows[] = {
        {false, 12034, 12030, 4},
        {false, 65540, 65530, 10},
        {false, 70010, 70010 & 0xFFFF, 0},
        {false, 131082, 10, 0},      // two wraps on: the log cannot tell
        {false, 70010, 65530, 4480}, // the log's 16 bits wrapped since
        {true, 70010, 70000, 10},
        {true, 100, 200, std::nullopt},
        {false, std::nullopt, 10, std::nullopt},
        {false, 10, std::nullopt, std::nullopt},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(row.powerOn.value_or(0)) + " " + std::to_string(row.ended.value_or(0)));
        SelfTestEntry e;
        e.hours = row.ended;
        EXPECT_EQ(SelfTestAgeHours(e, row.nvme, row.powerOn), row.age);
    }
}

// The line under the table, the JSON, the metrics and the page, from one log.
TEST(SelfTestOutput, EveryFormShowsTheLatestTests)
{
    DiskHealth h = HealthFromSmartctl(
        0, Doc(AtaLog(Ata(2, 0x76, 12030, R"(, "lba": 123456)") + "," + Ata(1, 0, 12000) + "," + Ata(1, 0x70, 11000))),
        std::nullopt);
    DiskRow row;
    row.device = "sda";
    row.serial = "S1";
    const std::vector<DiskRow> rows{row};
    const std::vector<DiskHealth> health{h};

    std::ostringstream table;
    PrintHealthTable(table, rows, health);
    EXPECT_NE(table.str().find("\nSelf-tests of disk 0: extended, 4 power-on hours ago: ended in a read failure at "
                               "LBA 123456; short, 34 power-on hours ago: passed\n"),
              std::string::npos)
        << table.str();

    const nlohmann::ordered_json tests = HealthJson(health)[0]["smart"]["self_tests"];
    EXPECT_EQ(tests["entries"].size(), 3u);
    EXPECT_EQ(tests["entries"][0], nlohmann::ordered_json::parse(R"({"kind": "extended", "type": "T", "result": "failed",
        "status": 7, "status_string": "S", "remaining_percent": 60, "power_on_hours": 12030, "age_hours": 4,
        "lba": 123456, "segment": null})"));
    EXPECT_TRUE(tests["running"].is_null());

    std::ostringstream metrics;
    WriteHealthMetrics(metrics, rows, health, {});
    const std::string m = metrics.str();
    for (const char* line : {
             "hddiag_smart_self_test_result{disk=\"0\",device=\"sda\",serial=\"S1\",kind=\"extended\",result=\"failed\"} 1\n",
             "hddiag_smart_self_test_result{disk=\"0\",device=\"sda\",serial=\"S1\",kind=\"extended\",result=\"passed\"} 0\n",
             "hddiag_smart_self_test_result{disk=\"0\",device=\"sda\",serial=\"S1\",kind=\"short\",result=\"passed\"} 1\n",
             "hddiag_smart_self_test_age_hours{disk=\"0\",device=\"sda\",serial=\"S1\",kind=\"short\"} 34\n",
             "# TYPE hddiag_smart_self_test_age_hours gauge\n"}) {
        EXPECT_NE(m.find(line), std::string::npos) << line << m;
    }

    std::ostringstream page;
    WriteHealthSection(page, rows, health);
    EXPECT_NE(page.str().find("<td>ended in a read failure at LBA 123456</td>"), std::string::npos) << page.str();
}

}  // namespace
}  // namespace hddiag::testing
