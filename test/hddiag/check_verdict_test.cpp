// The verdict of hddiag check: every rule of its table met by the facts it
// is about, the notes on what could not be checked and the cross-checks,
// and the user guide's table held to the code's, row for row.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "tools/hddiag/check/check_verdict.h"

namespace hddiag::testing {
namespace {

SmartAttribute Raw(ULONG id, const char* name, ULONGLONG raw)
{
    SmartAttribute a;
    a.id = id;
    a.name = name;
    a.raw = raw;
    return a;
}

// A disk whose SMART was read and says nothing bad, scanned clean.
CheckFacts Clean()
{
    CheckFacts f;
    f.before.state = HealthState::Read;
    f.before.reading.attributes = {Raw(5, "Reallocated_Sector_Ct", 0), Raw(197, "Current_Pending_Sector", 0)};
    f.after = f.before;
    f.scan.ran = true;
    f.scan.end = hdd::scan::ScanEnd::Finished;
    f.scan.endText = "every sector read";
    return f;
}

bool Mentions(const std::vector<std::string>& texts, const std::string& part)
{
    for (const std::string& t : texts) {
        if (t.find(part) != std::string::npos) {
            return true;
        }
    }
    return false;
}

TEST(CheckVerdict, EveryRuleAndNote)
{
    struct Row {
        const char* name;
        void (*change)(CheckFacts&);
        Verdict verdict;
        const char* reason;  // a part of one reason; empty: none expected
        const char* note;    // a part of one note; empty: none checked
    };
    const Row rows[] = {
        {"a clean scan of a healthy disk", [](CheckFacts&) {}, Verdict::Good, "", ""},
        {"SMART failing", [](CheckFacts& f) {
             f.after.verdict = Verdict::Failing;
             f.after.reasons = {"the drive's overall assessment is FAILED"};
         }, Verdict::Failing, "SMART: the drive's overall assessment is FAILED", ""},
        {"SMART warns", [](CheckFacts& f) {
             f.after.verdict = Verdict::Warning;
             f.after.reasons = {"attribute 5 counts 3 reallocated sectors"};
         }, Verdict::Warning, "SMART: attribute 5", ""},
        {"the self-test failed at an LBA the scan lists", [](CheckFacts& f) {
             f.selfTest = {true, true, "extended", false, "ended in a read failure at LBA 4096", 4096, ""};
             f.scan.unreadableSectors = 1;
             f.scan.unreadable = {{4096, 4097}};
         }, Verdict::Failing, "the extended self-test hddiag ran ended in a read failure at LBA 4096",
         "the self-test's failing LBA 4096 is in the scan's list"},
        {"the self-test failed at an LBA the scan does not list", [](CheckFacts& f) {
             f.selfTest = {true, true, "short", false, "ended in a read failure at LBA 77", 77, ""};
         }, Verdict::Failing, "short self-test", "LBA 77 is missing from the scan's list"},
        {"the self-test passed", [](CheckFacts& f) { f.selfTest = {true, true, "short", true, "passed", {}, ""}; },
         Verdict::Good, "", ""},
        {"the self-test could not run", [](CheckFacts& f) {
             f.selfTest = {true, false, "short", false, "", {}, "the drive would not start it"};
         }, Verdict::Good, "", "the self-test did not run: the drive would not start it"},
        {"unreadable sectors", [](CheckFacts& f) {
             f.scan.unreadableSectors = 17;
             f.scan.unreadable = {{4096, 4097}, {300000, 300016}};
         }, Verdict::Failing, "17 unreadable sectors (from sector 4096)", ""},
        {"the disk went away", [](CheckFacts& f) {
             f.scan.end = hdd::scan::ScanEnd::DiskGone;
             f.scan.endText = "the disk went away (error 1167)";
         }, Verdict::Failing, "the disk went away (error 1167)", ""},
        {"slow areas", [](CheckFacts& f) {
             f.scan.slowAreas = {{90112, 8, 812000000}, {500000, 2048, 600000000}};
         }, Verdict::Warning, "2 slow areas (reads of 500 ms or more; the worst 812 ms, from sector 90112)", ""},
        {"a predictor rose during the scan", [](CheckFacts& f) {
             f.after.reading.attributes = {Raw(5, "Reallocated_Sector_Ct", 0), Raw(197, "Current_Pending_Sector", 8)};
             f.scan.unreadableSectors = 8;
             f.scan.unreadable = {{100, 108}};
         }, Verdict::Failing, "attribute 197 (Current_Pending_Sector) rose from 0 to 8 during the check",
         "the drive counts 8 pending sectors; the scan found 8 unreadable"},
        {"NVMe media errors rose", [](CheckFacts& f) {
             f.before.reading.nvme = NvmeHealthLog{};
             f.before.reading.nvme->mediaErrors = 1;
             f.after.reading.nvme = NvmeHealthLog{};
             f.after.reading.nvme->mediaErrors = 4;
         }, Verdict::Warning, "NVMe media errors rose from 1 to 4", ""},
        {"no SMART: judged by the scan alone", [](CheckFacts& f) {
             f.before = DiskHealth{};
             f.before.state = HealthState::NotSupported;
             f.after = f.before;
         }, Verdict::Good, "", "SMART could not be read"},
        {"asleep", [](CheckFacts& f) {
             f.before.state = HealthState::Asleep;
             f.after.state = HealthState::Asleep;
         }, Verdict::Good, "", "SMART could not be read: the disk was asleep"},
        {"not scanned", [](CheckFacts& f) {
             f.scan = ScanFacts{};
             f.scan.asked = false;
         }, Verdict::Good, "", "the surface was not scanned (--no-scan)"},
        {"stopped", [](CheckFacts& f) {
             f.scan.end = hdd::scan::ScanEnd::Stopped;
             f.scan.untriedSectors = 1000;
         }, Verdict::Good, "", "the scan was stopped: 1000 sectors not read yet"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        CheckFacts f = Clean();
        row.change(f);
        const CheckVerdict v = JudgeCheck(f);
        EXPECT_EQ(v.verdict, row.verdict);
        if (*row.reason == '\0') {
            EXPECT_TRUE(v.reasons.empty()) << v.reasons.front();
        } else {
            EXPECT_TRUE(Mentions(v.reasons, row.reason)) << (v.reasons.empty() ? "no reason" : v.reasons.front());
        }
        if (*row.note != '\0') {
            EXPECT_TRUE(Mentions(v.notes, row.note)) << (v.notes.empty() ? "no note" : v.notes.front());
        }
    }
}

// The user guide's check table is the code's, row for row, in order.
TEST(CheckVerdict, TheUserGuideListsTheRules)
{
    std::ifstream in(std::string(HDD_SOURCE_DIR) + "/docs/hddiag.md");
    std::stringstream text;
    text << in.rdbuf();
    const std::string guide = text.str();
    if (guide.empty()) {
        GTEST_SKIP() << "docs/hddiag.md is not reachable from here";
    }
    const std::string header = "| check verdict | rule |\n|---|---|\n";
    const size_t start = guide.find(header);
    ASSERT_NE(start, std::string::npos) << "docs/hddiag.md has no check verdict table";
    std::vector<std::string> shown;
    std::istringstream lines(guide.substr(start + header.size()));
    for (std::string line; std::getline(lines, line) && line.rfind("| ", 0) == 0;) {
        shown.push_back(line);
    }
    std::vector<std::string> rules;
    for (const CheckRule& rule : CheckRules()) {
        rules.push_back(std::string("| ") + VerdictName(rule.verdict) + " | " + rule.rule + " |");
    }
    rules.push_back("| good | everything else: what was checked found nothing (the notes name what was not) |");
    EXPECT_EQ(shown, rules);
}

}  // namespace
}  // namespace hddiag::testing
