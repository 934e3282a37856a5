// What run says per disk: a disk it did not test is never passed over in
// silence (its reason and the command that reads it), slow reads are a
// warning, the tests are said to sample, and the metrics' verdict is not 1
// for a run that tested nothing. The exit status stays the tests' own.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>

#include "test/hddiag/run_hddiag.h"
#include "tools/hddiag/app.h"
#include "tools/hddiag/writers/disk_coverage.h"
#include "tools/hddiag/writers/output.h"

namespace hddiag::testing {
namespace {

const std::string kMachines = std::string(HDD_SOURCE_DIR) + "/test/machines/";
const char* const kSampling =
    "The tests read a sample of each disk's sectors, so a disk that passed may still hold unreadable ones; "
    "hddiag check N or hddiag scan N reads every sector of disk N.\n";

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The summary's part from "Disks:" to the blank line before the health table.
std::string DisksPart(const std::string& out)
{
    const size_t from = out.find("Disks:");
    return from == std::string::npos ? out : out.substr(from, out.find("\n\n", from) + 1 - from);
}

TEST(RunDisks, EachDiskIsTestedOrSaysWhyNot)
{
    struct Case {
        const char* machine;
        std::vector<std::string> options;  // of run
        int code;
        std::string disks;  // MACHINE stands for the machine file's path
        size_t testsRun;
        bool passed;
        std::vector<std::string> states;
        std::vector<std::string> metrics;
        std::vector<std::string> pageClasses;  // of each disk's row on the page
    };
    const Case cases[] = {
        {"nvme-only.json", {}, 0,
         "Disks:\n"
         "  0  PhysicalDrive0  NVMe  not tested: its bus is NVMe; the tests take ATA, SATA and RAID disks only; "
         "to test it: hddiag --machine MACHINE check 0; health: good\n"
         "Nothing was tested: no test ran to its end on any disk.\n" +
             std::string(kSampling),
         0, false, {"not tested"},
         {"hddiag_run_passed 0\n", "hddiag_run_tests 0\n",
          "hddiag_disk_tested{disk=\"0\",device=\"PhysicalDrive0\",serial=\"SIMNV0256\"} 0\n"},
         {"notrun"}},
        // Every test passes; 1880 reads of about 800 ms say otherwise.
        {"slow.json", {}, 0,
         "Disks:\n"
         "  0  PhysicalDrive0  SATA  tested: 8 tests, 8 passed; 42407 reads of its 16450560 sectors; "
         "health: not supported\n"
         "     warning: 1880 reads took 500 ms or more, the slowest 797.5 ms (sector 4007936)\n"
         "  1  PhysicalDrive1  USB   not tested: its bus is USB; the tests take ATA, SATA and RAID disks only; "
         "to test it: hddiag --machine MACHINE check 1; health: not supported\n" +
             std::string(kSampling),
         8, true, {"slow", "not tested"},
         {"hddiag_run_passed 1\n", "hddiag_run_tests 8\n",
          "hddiag_disk_tested{disk=\"0\",device=\"PhysicalDrive0\",serial=\"SIMSLOW01\"} 1\n",
          "hddiag_disk_tested{disk=\"1\",device=\"PhysicalDrive1\",serial=\"\"} 0\n",
          "hddiag_disk_slow_reads{disk=\"0\",device=\"PhysicalDrive0\",serial=\"SIMSLOW01\"} 1880\n",
          "hddiag_run_slow_read_seconds 0.5\n"},
         {"warning", "notrun"}},
        // Disk 0's unreadable sectors lie between the sectors its tests
        // read; the tests of the volume across disks 0 and 1 are refused.
        {"troubled.json", {}, 1,
         "Disks:\n"
         "  0  PhysicalDrive0  SATA  tested: 8 tests, 8 passed; 42407 reads of its 16450560 sectors; "
         "health: not supported\n"
         "  1  PhysicalDrive1  RAID  tested: 4 tests, 3 passed, 1 failed; 4113 reads of its 8225280 sectors; "
         "health: not supported\n"
         "  2  PhysicalDrive2  USB   not tested: its bus is USB; the tests take ATA, SATA and RAID disks only; "
         "to test it: hddiag --machine MACHINE check 2; health: not supported\n" +
             std::string(kSampling),
         12, false, {"tested", "tested", "not tested"},
         {"hddiag_run_passed 0\n", "hddiag_run_tests 12\n", "hddiag_disk_tested{disk=\"0\",device=\"PhysicalDrive0\",serial=\"\"} 1\n",
          "hddiag_disk_tested{disk=\"2\",device=\"PhysicalDrive2\",serial=\"\"} 0\n",
          "hddiag_disk_slow_reads{disk=\"0\",device=\"PhysicalDrive0\",serial=\"\"} 0\n"},
         {"passed", "failed", "notrun"}},
        // The slow area's reads take 797.5 ms: below this bound.
        {"slow.json", {"--slow", "798"}, 0,
         "Disks:\n"
         "  0  PhysicalDrive0  SATA  tested: 8 tests, 8 passed; 42407 reads of its 16450560 sectors; "
         "health: not supported\n"
         "  1  PhysicalDrive1  USB   not tested: its bus is USB; the tests take ATA, SATA and RAID disks only; "
         "to test it: hddiag --machine MACHINE check 1; health: not supported\n" +
             std::string(kSampling),
         8, true, {"tested", "not tested"},
         {"hddiag_disk_slow_reads{disk=\"0\",device=\"PhysicalDrive0\",serial=\"SIMSLOW01\"} 0\n",
          "hddiag_run_slow_read_seconds 0.798\n"},
         {"passed", "notrun"}},
    };
    const std::string metrics = (std::filesystem::temp_directory_path() / "hddiag_run_disks.prom").string();
    const std::string page = (std::filesystem::temp_directory_path() / "hddiag_run_disks.html").string();
    const std::regex row(R"re(<tr><td class="n">\d+</td><td>[^<]*</td><td>[^<]*</td><td class="(\w+)">)re");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.machine);
        const std::string machine = kMachines + c.machine;
        std::string disks = c.disks;
        for (size_t at = disks.find("MACHINE"); at != std::string::npos; at = disks.find("MACHINE", at)) {
            disks.replace(at, 7, machine);
        }

        std::vector<std::string> args{"--machine", machine, "--view=none", "run"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        std::vector<std::string> files = args;
        files.insert(files.end(), {"--metrics", metrics, "--report", page});
        const RunOutput text = Hddiag(files);
        EXPECT_EQ(text.code, c.code) << text.err;
        EXPECT_EQ(DisksPart(text.out), disks);
        const std::string prom = ReadFile(metrics);
        for (const std::string& line : c.metrics) {
            EXPECT_NE(prom.find("\n" + line), std::string::npos) << line << prom;
        }
        const std::string html = ReadFile(page);
        std::vector<std::string> classes;
        for (std::sregex_iterator m(html.begin(), html.end(), row), end; m != end; ++m) {
            classes.push_back((*m)[1]);
        }
        EXPECT_EQ(classes, c.pageClasses) << html;
        EXPECT_NE(html.find("hddiag check N or hddiag scan N reads every sector of disk N."), std::string::npos);
        EXPECT_EQ(html.find("Nothing was tested") != std::string::npos, c.testsRun == 0);

        args.push_back("--json");
        const RunOutput json = Hddiag(args);
        EXPECT_EQ(json.code, c.code);
        const nlohmann::json doc = nlohmann::json::parse(json.out);
        EXPECT_EQ(doc["tests_run"], c.testsRun);
        EXPECT_EQ(doc["passed"], c.passed);
        EXPECT_EQ(doc["slow_read_ms"], c.options.empty() ? 500 : std::stoi(c.options[1]));
        std::vector<std::string> states;
        for (const nlohmann::json& disk : doc["per_disk"]) {
            states.push_back(disk["state"]);
            EXPECT_EQ(disk["tested"], disk["not_tested_reason"].is_null());
            if (!disk["tested"].get<bool>()) {
                EXPECT_NE(disks.find("not tested: " + disk["not_tested_reason"].get<std::string>() + "; to test it: " +
                                     disk["full_read"][0].get<std::string>() + ";"),
                          std::string::npos)
                    << disk;
            }
        }
        EXPECT_EQ(states, c.states);
    }
    std::filesystem::remove(metrics);
    std::filesystem::remove(page);
}

DiskRow Row(const char* bus, DWORD busType, DWORD media = FixedMedia, std::vector<DiskVolume> volumes = {{'C', 1, ""}},
            const char* problem = "")
{
    DiskRow row;
    row.bus = bus;
    row.busType = busType;
    row.media = media;
    row.volumes = std::move(volumes);
    row.problem = problem;
    return row;
}

// A disk the report leaves out: the first thing the tests would not take.
TEST(RunDisks, WhyTheReportLeavesADiskOut)
{
    struct Case {
        DiskRow row;
        const char* reason;
    };
    const Case cases[] = {
        {Row("NVMe", BusTypeNvme), "its bus is NVMe; the tests take ATA, SATA and RAID disks only"},
        {Row("SCSI", BusTypeScsi, RemovableMedia), "its bus is SCSI; the tests take ATA, SATA and RAID disks only"},
        {Row("", BusTypeUnknown), "its bus is unknown; the tests take ATA, SATA and RAID disks only"},
        {Row("SATA", BusTypeSata, RemovableMedia), "removable media; the tests take fixed disks only"},
        {Row("ATA", BusTypeAta, 0), "media type 0; the tests take fixed disks only"},
        {Row("SATA", BusTypeSata, FixedMedia, {}, "cannot be opened: permission denied, error 5"),
         "cannot be opened: permission denied, error 5"},
        {Row("RAID", BusTypeRAID, FixedMedia, {}), "no partitions; the tests read partitions"},
        {Row("SATA", BusTypeSata, FixedMedia, {{0, 1, "extended container"}, {0, 5, "all 24 letters C-Z used"}}),
         "no partition has a drive letter"},
        {Row("SATA", BusTypeSata), "the component's report names none of its partitions"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reason);
        EXPECT_EQ(NotInReportReason(c.row), c.reason);
    }
}

// A disk the report names: tested once a test ran to its end on it (the
// selection's last item names the disk), else why none did.
TEST(RunDisks, WhyAReportedDiskWentUntested)
{
    RunResult result;
    result.disks = {Row("SATA", BusTypeSata), Row("SATA", BusTypeSata)};
    result.disks[1].disk = 1;
    result.report.items = {{0, 1, 100, 'C'}, {1, 1, 100, 'D'}};
    const auto test = [](const char* selector, Outcome outcome, LONG code = 0) {
        return TestRecord{TestKind::Linear, selector, outcome == Outcome::Passed ? 0 : 1, code, outcome};
    };
    struct Case {
        const char* name;
        std::vector<TestRecord> tests;
        std::string reason;  // of disk 0; empty: tested
        size_t tests0;
    };
    const Case cases[] = {
        {"not among the items", {test("1-1", Outcome::Passed)}, "none of its partitions is among this run's items", 0},
        {"a selection tests its last item's disk", {test("0-1,1-1", Outcome::Passed)},
         "none of its partitions is among this run's items", 0},
        {"tested through another disk's item", {test("1-1,0-1", Outcome::Failed)}, "", 1},
        {"refused", {test("0-1", Outcome::Refused, static_cast<LONG>(0xA0010003))},
         "its tests were refused (HDD_PARTITION_NOT_TESTABLE)", 1},
        {"Ctrl-C", {test("0-1", Outcome::Aborted), test("0-1", Outcome::NotRun)},
         "Ctrl-C stopped the run before its tests ended", 1},
        {"one refused, one passed", {test("0-1", Outcome::Refused), test("0-1", Outcome::Passed)}, "", 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        result.tests = c.tests;
        const std::vector<DiskCoverage> disks = CoverDisks(result, "hddiag");
        ASSERT_EQ(disks.size(), 2u);
        EXPECT_EQ(disks[0].notTested, c.reason);
        EXPECT_EQ(disks[0].Tests(), c.tests0);
        EXPECT_EQ(disks[0].fullRead, (std::vector<std::string>{"hddiag check 0", "hddiag scan 0"}));
    }
}

// The command that reads an untested disk names the same disks again, as a
// shell reads it.
TEST(RunDisks, FullReadCommandNamesTheSameDisks)
{
    struct Case {
        std::string machine;
        std::vector<DiskOption> disks;
        const char* prefix;
    };
    const Case cases[] = {
        {"builtin", {}, "hddiag --machine builtin"},
        {"", {{"/dev/sdb", BusTypeSata}, {"nv.img", BusTypeNvme}}, "hddiag --disk /dev/sdb --disk nv.img:nvme"},
        {"", {{"my disk.img", BusTypeUsb}}, "hddiag --disk 'my disk.img:usb'"},
        {"it's.json", {}, "hddiag --machine 'it'\\''s.json'"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.prefix);
        Options options;
        options.machine = c.machine;
        options.disks = c.disks;
        EXPECT_EQ(DiskCommandPrefix(options), c.prefix);
    }
}

// run's default --slow is the bucket the fleet's alert counts above.
TEST(RunDisks, SlowBoundIsTheAlertRulesBucket)
{
    const std::string rules = ReadFile(std::string(HDD_SOURCE_DIR) + "/deploy/prometheus/hddiag.rules.yml");
    const size_t alert = rules.find("alert: HddiagVerySlowReads");
    ASSERT_NE(alert, std::string::npos);
    const size_t le = rules.find("le=\"", alert);
    ASSERT_NE(le, std::string::npos);
    const std::string bound = rules.substr(le + 4, rules.find('"', le + 4) - le - 4);
    EXPECT_EQ(static_cast<ULONGLONG>(std::stod(bound) * 1000) * 1000000, kSlowReadNs) << bound;
}

}  // namespace
}  // namespace hddiag::testing
