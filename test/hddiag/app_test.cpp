// hddiag run in-process on simulated machines, with the component linked in:
// the exact trace, the JSON document, exit statuses, Ctrl-C, bad machine files.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>

#include "test/hddiag/run_hddiag.h"
#include "tools/hddiag/app.h"

namespace hddiag::testing {
namespace {

// Disk 0: partition 1 is C: (sectors 2048..10239), partition 2 is D:
// (sectors 10240..20239, 10,000 sectors); partition 3 carries no letter.
// Disk 1 is a USB stick with E:.
std::string SmallMachine(const std::string& unreadable = "[]", const std::string& latency = "\"instant\"",
                         const std::string& more = "")
{
    return R"({ "disks": [
      { "bus": "sata", "media": "fixed",
        "geometry": { "cylinders": 8, "tracks_per_cylinder": 255, "sectors_per_track": 63, "bytes_per_sector": 512 },
        "partitions": [ { "number": 1, "offset": 1048576, "length": 4194304, "letter": "C" },
                        { "number": 2, "offset": 5242880, "length": 5120000, "letter": "D" },
                        { "number": 3, "offset": 10362880, "length": 1048576 } ],
        "unreadable": )" +
           unreadable + R"(, "latency": )" + latency + more + R"( },
      { "bus": "usb", "media": "removable",
        "geometry": { "cylinders": 2, "tracks_per_cylinder": 255, "sectors_per_track": 63, "bytes_per_sector": 512 },
        "partitions": [ { "number": 1, "offset": 1048576, "length": 8388608, "letter": "E" } ] } ] })";
}

class TempFile {
public:
    explicit TempFile(const std::string& text)
    {
        static int counter = 0;
        m_path = (std::filesystem::temp_directory_path() /
                  ("hddiag_test_" + std::to_string(++counter) + ".json"))
                     .string();
        std::ofstream(m_path, std::ios::binary) << text;
    }
    ~TempFile()
    {
        std::error_code ignored;
        std::filesystem::remove(m_path, ignored);
    }
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

TEST(App, TraceOfOneLinearTestIsExact)
{
    const TempFile machine(SmallMachine());
    struct Case {
        const char* selector;
        int code;
        const char* trace;
    };
    const Case cases[] = {
        // 10,000 sectors from 10240: reads at 10240 and 18432; the second
        // iteration computes 81 percent and passes on 80.
        {"0-2", 0,
         "event 0 0 2\n"
         "read 0 10240\n"
         "event 0 80 2\n"
         "read 0 18432\n"
         "event 0 100 2\n"
         "result HDDLinearSeekTest 0 0x00000000\n"},
        // Partition 1 is tested from sector 0 to its end (10,240 sectors).
        {"0-1", 0,
         "event 0 0 2\n"
         "read 0 0\n"
         "event 0 79 2\n"
         "read 0 8192\n"
         "event 0 100 2\n"
         "result HDDLinearSeekTest 0 0x00000000\n"},
        // No volume table entry: refused before any read.
        {"0-3", 1,
         "event 0 100 2\n"
         "result HDDLinearSeekTest 1 0xA0010003\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.selector);
        const RunOutput run = Hddiag({"--machine", machine.Path(), "--trace", "test", "linear", c.selector});
        EXPECT_EQ(run.code, c.code) << run.err;
        EXPECT_EQ(run.out, c.trace);
    }
}

TEST(App, ReadErrorFailsTheRunAndIsNamed)
{
    const TempFile machine(SmallMachine("[8192]"));
    const RunOutput trace = Hddiag({"--machine", machine.Path(), "--trace", "test", "linear", "0-1"});
    EXPECT_EQ(trace.code, 1);
    EXPECT_EQ(trace.out,
              "event 0 0 2\n"
              "read 0 0\n"
              "event 0 79 2\n"
              "read 0 8192\n"
              "event 0 100 2\n"
              "result HDDLinearSeekTest 1 0x20010001\n");

    // The summary and the report name the first failed read, its code and its meaning.
    const std::string report = (std::filesystem::temp_directory_path() / "hddiag_read_error_report.html").string();
    const RunOutput run = Hddiag({"--machine", machine.Path(), "--report", report, "run", "--tests", "linear"});
    EXPECT_EQ(run.code, 1);
    const std::string named = "read error at sector 8192: error 23 (data error: CRC)";
    EXPECT_NE(run.out.find("HDDLinearSeekTest   0-1       failed   0x20010001 HDD_TEST_READ_ERROR; " + named + "\n"),
              std::string::npos)
        << run.out;
    std::string html;
    {
        std::ifstream page(report);  // closed before the removal: Windows refuses to remove an open file
        html.assign(std::istreambuf_iterator<char>(page), std::istreambuf_iterator<char>());
    }
    std::filesystem::remove(report);
    EXPECT_NE(html.find("<td>HDD_TEST_READ_ERROR; " + named + "</td>"), std::string::npos) << html;
    EXPECT_NE(html.find("<p>HDD_TEST_READ_ERROR: " + named + "</p>"), std::string::npos) << html;
    EXPECT_NE(run.out.find("HDDLinearSeekTest   0-2       passed   0x00000000 S_OK"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("Summary: 2 tests, 1 passed, 1 failed, 0 refused, 0 aborted, 0 not run"),
              std::string::npos)
        << run.out;
}

TEST(App, TraceOfAWholeRunHasOnlyTraceLines)
{
    const TempFile machine(SmallMachine());
    const RunOutput run = Hddiag({"--machine", machine.Path(), "--trace", "run"});
    EXPECT_EQ(run.code, 0) << run.err;
    const std::regex line(R"((read 0 \d+|event [01] \d+ 2|result HDD\w+ 0 0x00000000))");
    std::istringstream in(run.out);
    std::string text;
    std::vector<std::string> results;
    size_t reads = 0;
    while (std::getline(in, text)) {
        EXPECT_TRUE(std::regex_match(text, line)) << text;
        if (text.rfind("result ", 0) == 0) {
            results.push_back(text);
        }
        reads += text.rfind("read ", 0) == 0 ? 1 : 0;
    }
    // Each chosen test over each reported partition, tests in the default order.
    EXPECT_EQ(results, (std::vector<std::string>{
                           "result HDDLinearSeekTest 0 0x00000000", "result HDDLinearSeekTest 0 0x00000000",
                           "result HDDFunnelSeekTest 0 0x00000000", "result HDDFunnelSeekTest 0 0x00000000",
                           "result HDDRandomSeekTest 0 0x00000000", "result HDDRandomSeekTest 0 0x00000000",
                           "result HDDSurfaceScanTest 0 0x00000000", "result HDDSurfaceScanTest 0 0x00000000"}));
    // linear 2+2, funnel 4+4, random 3000+3000, surface: blocks of 252 sectors
    // over 10,240 and 10,000 sectors.
    EXPECT_EQ(reads, 2u + 2u + 4u + 4u + 6000u + 41u + 40u);
    EXPECT_EQ(run.out.back(), '\n');
}

TEST(App, InfoAsTableAndAsJson)
{
    const TempFile machine(SmallMachine());
    const RunOutput table = Hddiag({"--machine", machine.Path(), "info"});
    EXPECT_EQ(table.code, 0) << table.err;
    EXPECT_EQ(table.out,
              "Letter  Disk  Partition  Size (MiB)\n"
              "C:      0     1          4\n"
              "D:      0     2          4\n"
              "Report: 0-1-4,0-2-4\n"
              "\n"
              "Disk  Device          Model  Serial  Health         Temp  Hours  Why\n"
              "0     PhysicalDrive0  -      -       not supported  -     -      the machine gives no SMART for it\n"
              "1     PhysicalDrive1  -      -       not supported  -     -      the machine gives no SMART for it\n"
              "\n"
              // Every partition, as on block devices and images: the stick
              // the report leaves out too.
              "Letter  Disk  Partition  Device              Bus   Model\n"
              "C:      0     1          \\\\.\\PhysicalDrive0  SATA  -\n"
              "D:      0     2          \\\\.\\PhysicalDrive0  SATA  -\n"
              "-       0     3          \\\\.\\PhysicalDrive0  SATA  - (no letter: none in the machine)\n"
              "E:      1     1          \\\\.\\PhysicalDrive1  USB   -\n");

    // The disks with their identity from the machine file.
    const TempFile named(SmallMachine("[]", "\"instant\"", R"(, "model": "M 1", "serial": "S1", "wwn": "0x5")"));
    const RunOutput json = Hddiag({"--machine", named.Path(), "--json", "info"});
    EXPECT_EQ(json.code, 0) << json.err;
    nlohmann::json doc = nlohmann::json::parse(json.out);
    // When each disk's health was read is the clock's; the rest is pinned.
    for (nlohmann::json& disk : doc["health"]) {
        EXPECT_GT(disk["read_time"].get<double>(), 1.7e9);
        disk.erase("read_time");
    }
    EXPECT_EQ(doc, nlohmann::json::parse(R"({"report": {"status": 0, "text": "0-1-4,0-2-4", "volumes": [
        {"letter": "C", "disk": 0, "partition": 1, "size_mib": 4},
        {"letter": "D", "disk": 0, "partition": 2, "size_mib": 4}]},
      "disks": [
        {"disk": 0, "device": "PhysicalDrive0", "path": "\\\\.\\PhysicalDrive0", "bus": "SATA", "model": "M 1",
         "serial": "S1", "wwn": "0x5", "size_bytes": 65802240, "bytes_per_sector": 512, "problem": null,
         "volumes": [{"letter": "C", "partition": 1}, {"letter": "D", "partition": 2},
                     {"letter": null, "partition": 3, "reason": "none in the machine"}]},
        {"disk": 1, "device": "PhysicalDrive1", "path": "\\\\.\\PhysicalDrive1", "bus": "USB", "model": null,
         "serial": null, "wwn": null, "size_bytes": 16450560, "bytes_per_sector": 512, "problem": null,
         "volumes": [{"letter": "E", "partition": 1}]}],
      "health": [
        {"disk": 0, "state": "not supported", "verdict": null, "reasons": [], "noted": [],
         "note": "the machine gives no SMART for it"},
        {"disk": 1, "state": "not supported", "verdict": null, "reasons": [], "noted": [],
         "note": "the machine gives no SMART for it"}]})"));
}

TEST(App, RunAsJson)
{
    const TempFile machine(SmallMachine("[\"18000-18432\"]"));
    const RunOutput run = Hddiag({"--machine", machine.Path(), "--json", "run", "0-2", "0-3", "--tests", "linear"});
    EXPECT_EQ(run.code, 1);
    nlohmann::json doc = nlohmann::json::parse(run.out);
    EXPECT_EQ(doc["plan"], nlohmann::json::parse(R"({"items": "0-2,0-3", "mask": 1, "status": 1})"));
    for (nlohmann::json& result : doc["results"]) {
        EXPECT_TRUE(result.contains("latency"));
        result.erase("latency");
    }
    EXPECT_EQ(doc["results"], nlohmann::json::parse(R"([
        {"test": "linear", "method": "HDDLinearSeekTest", "selector": "0-2", "outcome": "failed",
         "status": 1, "code": "0x20010001", "code_name": "HDD_TEST_READ_ERROR"},
        {"test": "linear", "method": "HDDLinearSeekTest", "selector": "0-3", "outcome": "refused",
         "status": 1, "code": "0xA0010003", "code_name": "HDD_PARTITION_NOT_TESTABLE"}])"));
    EXPECT_EQ(doc["aborted"], false);
    EXPECT_EQ(doc["passed"], false);
}

// The surface scan of D (10,000 sectors from 10240): reads sectors 10240,
// 10492, ..., 20068 (40 reads) at 2.5 ms each; sector 15280 lies in a slow area.
TEST(App, ReadLatenciesOfATest)
{
    const std::string slow = R"(, "slow": [ { "sectors": "15240-15340", "ms": 30 } ])";
    struct Case {
        const char* what;
        std::string unreadable;
        std::string faults;
        const char* classes;  // the JSON object
        const char* failed;   // the JSON list
        ULONGLONG reads;
    };
    const Case cases[] = {
        {"all read", "[]", "", R"({"lt_5ms": 39, "lt_20ms": 0, "lt_50ms": 1, "lt_150ms": 0, "lt_500ms": 0,
            "ge_500ms": 0, "failed": 0})", "[]", 40},
        {"an unreadable sector ends the scan", "[17800]", "",
         R"({"lt_5ms": 29, "lt_20ms": 0, "lt_50ms": 1, "lt_150ms": 0, "lt_500ms": 0, "ge_500ms": 0, "failed": 1})",
         R"([{"sector": 17800, "error": 23, "ms": 2.5}])", 31},
        {"a failed seek is a failed read that took no time", "[]",
         R"(, "faults": [ { "op": "seek", "disk": 0, "nth": 22, "error": 87 } ])",
         R"({"lt_5ms": 20, "lt_20ms": 0, "lt_50ms": 1, "lt_150ms": 0, "lt_500ms": 0, "ge_500ms": 0, "failed": 1})",
         R"([{"sector": 15532, "error": 87, "ms": 0.0}])", 22},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string text = SmallMachine(c.unreadable, "2.5", slow);
        text.insert(text.rfind('}'), c.faults);
        const TempFile machine(text);
        const RunOutput run = Hddiag({"--machine", machine.Path(), "--json", "test", "surface", "0-2"});
        const nlohmann::json latency = nlohmann::json::parse(run.out)["results"][0]["latency"];
        EXPECT_EQ(latency["reads"], c.reads);
        EXPECT_EQ(latency["classes"], nlohmann::json::parse(c.classes));
        EXPECT_EQ(latency["failed"], nlohmann::json::parse(c.failed));
        EXPECT_NEAR(latency["p50_ms"].get<double>(), 2.5, 2.5 / 64);  // the histogram's resolution
        EXPECT_EQ(latency["max_ms"], 32.5);
        EXPECT_EQ(latency["slowest"][0], nlohmann::json::parse(R"({"sector": 15280, "ms": 32.5})"));
        // The buckets start at the one of sector 10240; the slow one holds 15280.
        const nlohmann::json& map = latency["by_position"];
        const ULONGLONG width = map["sectors_per_bucket"];
        ASSERT_GT(width, 0u);
        EXPECT_EQ(map["buckets"][0]["first_sector"], 10240 / width * width);
        const nlohmann::json& bucket = map["buckets"][15280 / width - 10240 / width];
        EXPECT_EQ(bucket["first_sector"], 15280 / width * width);
        EXPECT_EQ(bucket["max_ms"], 32.5);
    }

    const TempFile machine(SmallMachine("[]", "2.5", slow));
    const RunOutput run = Hddiag({"--machine", machine.Path(), "run", "0-2", "--tests", "surface"});
    EXPECT_EQ(run.code, 0) << run.err;
    // 40 reads in 40 x 2.5 + 30 ms.
    EXPECT_NE(run.out.find("      40 reads, 307.7/s, p99 32.5 ms; < 5 ms: 39, < 20 ms: 0, < 50 ms: 1, < 150 ms: 0, "
                           "< 500 ms: 0, >= 500 ms: 0, failed: 0\n"
                           "      slowest area: sectors 15232-15359 (max 32.5 ms, mean 32.5 ms); slowest read: sector "
                           "15280 (32.5 ms)\n"),
              std::string::npos)
        << run.out;
}

TEST(App, RefusedTestSaysSoInItsProgressLine)
{
    const TempFile machine(SmallMachine());
    const RunOutput run = Hddiag({"--machine", machine.Path(), "run", "0-3", "--tests", "linear"});
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.err.find("linear 0-3: refused (HDD_PARTITION_NOT_TESTABLE)\n"), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("100%"), std::string::npos) << run.err;
}

TEST(App, CtrlCAbortsTheRunningTestAndSkipsTheRest)
{
    const TempFile machine(SmallMachine());
    {
        // Pressed during the first callback of the first test: Abort from
        // there; the test reads nothing and sends no further event.
        std::atomic<bool> interrupt{false};
        const RunOutput run = Hddiag({"--machine", machine.Path(), "--trace", "run", "--tests", "linear,surface"},
                               &interrupt, [&](INT, INT, INT) { interrupt = true; });
        EXPECT_EQ(run.code, 1);
        EXPECT_EQ(run.out,
                  "event 0 0 2\n"
                  "result HDDLinearSeekTest 1 0x20010000\n");
    }
    {
        std::atomic<bool> interrupt{false};
        const RunOutput run = Hddiag({"--machine", machine.Path(), "run", "--tests", "surface,linear"}, &interrupt,
                               [&](INT kind, INT value, INT) {
                                   if (kind == 0 && value >= 40) {
                                       interrupt = true;  // halfway through the surface scan of 0-1
                                   }
                               });
        EXPECT_EQ(run.code, 1);
        EXPECT_NE(run.out.find("Summary: 4 tests, 0 passed, 0 failed, 0 refused, 1 aborted, 3 not run"),
                  std::string::npos)
            << run.out;
        EXPECT_NE(run.out.find("HDDSurfaceScanTest  0-1       aborted  0x20010000 HDD_TEST_ABORTED"),
                  std::string::npos)
            << run.out;
        EXPECT_NE(run.out.find("  HDDLinearSeekTest   0-2       not run  \n"), std::string::npos) << run.out;
        EXPECT_NE(
            run.out.find("Aborted: Ctrl-C stopped the run; HDDSurfaceScanTest 0-1 ended with HDD_TEST_ABORTED."),
            std::string::npos)
            << run.out;
    }
    {
        // Pressed before any test: none runs.
        std::atomic<bool> interrupt{true};
        const RunOutput run = Hddiag({"--machine", machine.Path(), "--json", "test", "random", "0-1"}, &interrupt);
        EXPECT_EQ(run.code, 1);
        const nlohmann::json doc = nlohmann::json::parse(run.out);
        EXPECT_EQ(doc["results"][0]["outcome"], "not run");
        EXPECT_EQ(doc["aborted"], true);
    }
}

TEST(App, UnusableMachineFilesAreUsageErrors)
{
    const TempFile notJson("{ \"disks\": [ ");
    const TempFile badField(R"({ "disks": [ { "bus": "floppy", "geometry": { "cylinders": 1,
        "tracks_per_cylinder": 1, "sectors_per_track": 1 } } ] })");
    const std::string missing = (std::filesystem::temp_directory_path() / "hddiag_no_such_machine.json").string();
    for (const std::string& path : {notJson.Path(), badField.Path(), missing}) {
        SCOPED_TRACE(path);
        const RunOutput run = Hddiag({"--machine", path, "info"});
        EXPECT_EQ(run.code, 2);
        EXPECT_EQ(run.out, "");
        EXPECT_NE(run.err.find("hddiag: cannot use machine file '" + path + "': "), std::string::npos) << run.err;
    }
    const RunOutput floppy = Hddiag({"--machine", badField.Path(), "info"});
    EXPECT_NE(floppy.err.find("floppy"), std::string::npos) << floppy.err;
}

TEST(App, BuiltinMachineReport)
{
    const RunOutput run = Hddiag({"--machine", "builtin", "info"});
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.out,
              "Letter  Disk  Partition  Size (MiB)\n"
              "C:      0     1          100000\n"
              "D:      0     2          376938\n"
              "Report: 0-1-100000,0-2-376938\n"
              "\n"
              "Disk  Device          Model                Serial      Health         Temp  Hours  Why\n"
              "0     PhysicalDrive0  SIMULATED HDD 500GB  SIM0000500  warning        34 C  12034  "
              "attribute 197 Current_Pending_Sector: raw value 8\n"
              "1     PhysicalDrive1  SIMULATED STICK 8GB  SIM0000008  not supported  -     -      "
              "the machine gives no SMART for it\n"
              "2     PhysicalDrive2  SIMULATED HDD 80GB   SIM0000080  failing        34 C  21040  "
              "the last extended self-test ended in a read failure at LBA 20000003; attribute 5 "
              "Reallocated_Sector_Ct: raw value 6; attribute 197 Current_Pending_Sector: raw value 24; attribute 198 "
              "Offline_Uncorrectable: raw value 24\n"
              "Self-tests of disk 2: extended, 30 power-on hours ago: ended in a read failure at LBA 20000003; "
              "short, 1040 power-on hours ago: passed\n"
              "\n"
              "Letter  Disk  Partition  Device              Bus   Model\n"
              "C:      0     1          \\\\.\\PhysicalDrive0  SATA  SIMULATED HDD 500GB\n"
              "D:      0     2          \\\\.\\PhysicalDrive0  SATA  SIMULATED HDD 500GB\n"
              "E:      1     1          \\\\.\\PhysicalDrive1  USB   SIMULATED STICK 8GB\n"
              "-       2     1          \\\\.\\PhysicalDrive2  SATA  SIMULATED HDD 80GB (no letter: none in the machine)\n");
}

// The outputs are made before the first test; one that cannot be written
// after the tests (here: its folder is gone) is named as missing, and the
// exit status stays the tests' own.
TEST(App, OutputLostAfterTheTestsKeepsTheTestsStatus)
{
    const std::filesystem::path folder = std::filesystem::temp_directory_path() / "hddiag_lost_output";
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    const TempFile machine(SmallMachine());
    const std::string report = (folder / "r.html").string();
    bool tried = false;
    bool gone = false;
    const RunOutput run = Hddiag({"--machine", machine.Path(), "--report", report, "test", "linear", "0-1"}, nullptr,
                                 [&](INT, INT, INT) {
                                     if (!tried) {
                                         tried = true;
                                         std::error_code ignored;
                                         std::filesystem::remove_all(folder, ignored);
                                         gone = !std::filesystem::exists(folder);
                                     }
                                 });
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    if (!gone) {
        GTEST_SKIP() << "this system does not remove a folder with a file open in it";
    }
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_NE(run.err.find("the report '" + report + "' is missing: writing it failed"), std::string::npos) << run.err;
}

// Progress on standard error by --view and --color. The map is drawn at
// 80 x 24 when standard error is no terminal: partition 2 (10,000 sectors
// from 10240) in 20 rows of 79 cells, so the linear test's two reads, at
// 10240 and 18432, fall in cells 0 and 1294 (row 16, column 30).
TEST(App, ProgressOnStandardErrorByViewAndColour)
{
    const TempFile machine(SmallMachine());
    const std::regex sgr("\x1b\\[[0-9;]*m");
    struct Case {
        const char* name;
        std::vector<std::string> options;
        bool map;
        bool colour;
        const char* lines;  // a plain progress line, when expected
    };
    const Case cases[] = {
        {"a file", {}, false, false, "linear 0-2 100%\n"},
        {"--view=lines", {"--view=lines"}, false, false, "linear 0-2 100%\n"},
        {"--view=none", {"--view=none"}, false, false, nullptr},
        {"--view=map --color=never", {"--view=map", "--color=never"}, true, false, nullptr},
        {"--view=map --color=always", {"--view=map", "--color=always"}, true, true, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> args{"--machine", machine.Path()};
        args.insert(args.end(), c.options.begin(), c.options.end());
        args.insert(args.end(), {"test", "linear", "0-2"});
        const RunOutput run = Hddiag(args);
        EXPECT_EQ(run.code, 0);
        EXPECT_EQ(std::regex_search(run.err, sgr), c.colour) << run.err;
        if (c.lines != nullptr) {
            EXPECT_NE(run.err.find(c.lines), std::string::npos) << run.err;
        }
        if (!c.map) {
            EXPECT_EQ(run.err.find('\x1b'), std::string::npos);
            EXPECT_TRUE(c.lines != nullptr || run.err.empty()) << run.err;
            continue;
        }
        // The final frame, without its sequences.
        const size_t last = run.err.rfind("linear 0-2: passed");
        ASSERT_NE(last, std::string::npos) << run.err;
        std::istringstream frame(std::regex_replace(run.err.substr(last), std::regex("\x1b\\[[0-9;]*[A-Za-z]"), ""));
        std::vector<std::string> lines;
        for (std::string line; std::getline(frame, line);) {
            lines.push_back(line);
        }
        ASSERT_EQ(lines.size(), 23u);
        std::string cells;
        for (size_t row = 1; row <= 20; ++row) {
            EXPECT_EQ(lines[row].size(), 79u);
            cells += lines[row];
        }
        EXPECT_EQ(std::count(cells.begin(), cells.end(), '-'), 2) << run.err;
        EXPECT_EQ(cells[0], '-');
        EXPECT_EQ(cells[16 * 79 + 30], '-');
        EXPECT_NE(lines[21].find("- < 5 ms: 2"), std::string::npos) << lines[21];
    }

    // The random test's map is the whole disk: none of its reads falls outside.
    const RunOutput random = Hddiag({"--machine", machine.Path(), "--view=map", "test", "random", "0-2"});
    EXPECT_NE(random.err.find("< 5 ms: 3000"), std::string::npos) << random.err;
    EXPECT_EQ(random.err.find("outside"), std::string::npos) << random.err;

    // The page shows each test's map in the same glyphs, each row after its first sector.
    const TempFile page("");
    const RunOutput reported = Hddiag({"--machine", machine.Path(), "--report", page.Path(), "test", "linear", "0-2"});
    EXPECT_EQ(reported.err.find('\x1b'), std::string::npos);
    std::ifstream in(page.Path());
    const std::string html((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(html.find("<pre class=\"map\"><span class=\"r\">10240</span> <span class=\"m1\">-</span>"),
              std::string::npos)
        << html;
}

}  // namespace
}  // namespace hddiag::testing
