// Every saved smartctl output under test/smartctl through the reader and the
// verdict: what state, which verdict, and the reason an operator reads.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <vector>

#include "tools/hddiag/health/health_output.h"
#include "tools/hddiag/health/smartctl_json.h"
#include "tools/hddiag/health/verdict.h"

namespace hddiag::testing {
namespace {

const std::string kFolder = std::string(HDD_SOURCE_DIR) + "/test/smartctl";

std::string Read(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

struct Row {
    const char* file;
    HealthState state;
    Verdict verdict;   // when Read
    const char* why;   // a part of the reasons (or the note); "" for none at all
    bool notes;        // parts of unknown shape are named
};

const Row kRows[] = {
    {"ata-good.json", HealthState::Read, Verdict::Good, "", false},
    {"qemu-ahci.json", HealthState::Read, Verdict::Good, "", false},
    {"qemu-nvme.json", HealthState::Read, Verdict::Good, "", false},
    {"qemu-ahci-selftest.json", HealthState::Read, Verdict::Good, "", false},
    {"ata-reallocated.json", HealthState::Read, Verdict::Warning, "attribute 5 Reallocated_Sector_Ct: raw value 12", false},
    {"ata-pending.json", HealthState::Read, Verdict::Warning, "attribute 197 Current_Pending_Sector: raw value 8", false},
    {"ata-prefail-failing-now.json", HealthState::Read, Verdict::Failing,
     "prefail attribute 5 Reallocated_Sector_Ct is at or below its threshold now (value 130, threshold 140)", false},
    {"ata-threshold-zero.json", HealthState::Read, Verdict::Good, "", false},
    {"ata-assessment-failed.json", HealthState::Read, Verdict::Failing, "the drive's own assessment failed", false},
    {"ata-threshold-past.json", HealthState::Read, Verdict::Warning,
     "attribute 3 Spin_Up_Time crossed its threshold in the past", false},
    {"ata-exit-bit5-only.json", HealthState::Read, Verdict::Warning, "exit status bit 5", false},
    {"ata-188-packed.json", HealthState::Read, Verdict::Good, "", false},
    {"ata-188-failing.json", HealthState::Read, Verdict::Warning,
     "attribute 188 Command_Timeout is at or below its threshold now", false},
    {"ata-no-smart.json", HealthState::NotSupported, Verdict::Good, "the device has no SMART", false},
    {"ata-wrong-types.json", HealthState::Read, Verdict::Warning, "attribute 197 Current_Pending_Sector: raw value 8", true},
    {"ata-truncated.json", HealthState::NotRead, Verdict::Good, "not complete JSON", false},
    {"not-an-object.json", HealthState::NotRead, Verdict::Good, "not a JSON object", false},
    {"nvme-good.json", HealthState::Read, Verdict::Good, "", false},
    {"nvme-spare-low.json", HealthState::Read, Verdict::Failing, "available spare is below its threshold (5% < 10%)", false},
    {"nvme-spare-below-threshold-only.json", HealthState::Read, Verdict::Failing, "available spare is below", false},
    {"nvme-reliability.json", HealthState::Read, Verdict::Failing, "NVMe critical warning: reliability degraded", false},
    {"nvme-temperature.json", HealthState::Read, Verdict::Warning, "temperature outside its thresholds", false},
    {"nvme-media-errors.json", HealthState::Read, Verdict::Warning, "NVMe media errors: 3", false},
    {"nvme-worn-out.json", HealthState::Read, Verdict::Warning, "NVMe percentage used: 104%", false},
    {"scsi-good.json", HealthState::Read, Verdict::Good, "", false},
    {"scsi-grown-defects.json", HealthState::Read, Verdict::Warning, "SCSI grown defect list: 17", false},
    {"scsi-read-errors.json", HealthState::Read, Verdict::Warning, "SCSI uncorrected read errors: 2", false},
    {"scsi-assessment-failed.json", HealthState::Read, Verdict::Failing, "the drive's own assessment failed", false},
    {"virtio-blk.json", HealthState::NotSupported, Verdict::Good, "Unable to detect device type", false},
    {"standby.json", HealthState::Asleep, Verdict::Good, "in standby", false},
    {"open-failed.json", HealthState::NotRead, Verdict::Good, "could not open the device: Smartctl open device", false},
    {"ata-selftest-read-failure.json", HealthState::Read, Verdict::Failing,
     "the last extended self-test ended in a read failure at LBA 123456", false},
    {"ata-selftest-fatal.json", HealthState::Read, Verdict::Failing,
     "the last short self-test was stopped by a fatal or unknown error", false},
    {"ata-selftest-interrupted.json", HealthState::Read, Verdict::Good,
     "the last short self-test was stopped by the host: Interrupted (host reset)", false},
    {"ata-selftest-exit-bit7.json", HealthState::Read, Verdict::Warning,
     "smartctl found errors in the self-test log (exit status bit 7)", false},
    {"nvme-selftest-failed.json", HealthState::Read, Verdict::Failing,
     "the last extended self-test failed in segment 2 at LBA 987654", false},
    {"nvme-selftest-running.json", HealthState::Read, Verdict::Good, "", false},
};

DiskHealth Expected(HealthState state, Verdict verdict)
{
    DiskHealth h;
    h.state = state;
    h.verdict = verdict;
    return h;
}

TEST(SmartctlFiles, EachSavedOutputGivesItsVerdict)
{
    if (!std::filesystem::is_directory(kFolder)) {
        GTEST_SKIP() << kFolder << " is not reachable from here";
    }
    std::set<std::string> listed;
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.file);
        listed.insert(row.file);
        const DiskHealth h = HealthFromSmartctl(0, Read(kFolder + "/" + row.file), std::nullopt);
        EXPECT_EQ(HealthSummary(h), HealthSummary(Expected(row.state, row.verdict)));
        const std::string why = HealthWhy(h);
        if (*row.why == '\0') {
            EXPECT_EQ(why, "");
        } else {
            EXPECT_NE(why.find(row.why), std::string::npos) << why;
        }
        EXPECT_EQ(!h.reading.notes.empty(), row.notes) << (h.reading.notes.empty() ? "" : h.reading.notes[0]);
    }
    // A file added to the folder is added to the table too.
    for (const auto& entry : std::filesystem::directory_iterator(kFolder)) {
        const std::string name = entry.path().filename().string();
        if (entry.path().extension() == ".json") {
            EXPECT_TRUE(listed.count(name) == 1) << name << " is not in the table";
        }
    }
}

TEST(SmartctlFiles, WrongTypesAreNamedAndLeftOut)
{
    const DiskHealth h = HealthFromSmartctl(0, Read(kFolder + "/ata-wrong-types.json"), std::nullopt);
    if (h.state == HealthState::NotRead && h.note.find("not complete") != std::string::npos) {
        GTEST_SKIP() << kFolder << " is not reachable from here";
    }
    const std::vector<std::string> expected = {
        "json_format_version is not 1.x, the version hddiag knows; read as if it were",
        "smart_status.passed is not true or false; left out",
        "ata_smart_attributes.table[0].value is not a whole number of 0 or more; left out",
        "ata_smart_attributes.table[1].id is not an attribute number (1-255); left out",
        "ata_smart_attributes.table[3].raw.value is not a number; left out",
        "ata_smart_attributes.table[12] is not an object; left out",
        "temperature is not an object; left out",
        "power_on_time.hours is not a whole number of 0 or more; left out",
    };
    EXPECT_EQ(h.reading.notes, expected);
    EXPECT_EQ(h.reading.Attribute(3), nullptr);
    ASSERT_NE(h.reading.Attribute(5), nullptr);
    EXPECT_FALSE(h.reading.Attribute(5)->raw.has_value());
    EXPECT_FALSE(h.reading.passed.has_value());
}

// The user guide's verdict table is the code's, row for row, in order: the
// verdict rules, the default, then what is only noted.
TEST(SmartctlFiles, TheUserGuideListsTheVerdictRules)
{
    const std::string guide = Read(std::string(HDD_SOURCE_DIR) + "/docs/hddiag.md");
    if (guide.empty()) {
        GTEST_SKIP() << "docs/hddiag.md is not reachable from here";
    }
    const std::string header = "| verdict | rule |\n|---|---|\n";
    const size_t start = guide.find(header);
    ASSERT_NE(start, std::string::npos) << "docs/hddiag.md has no verdict table";
    std::vector<std::string> shown;
    std::istringstream rows(guide.substr(start + header.size()));
    for (std::string line; std::getline(rows, line) && line.rfind("| ", 0) == 0;) {
        shown.push_back(line);
    }
    std::vector<std::string> rules;
    for (const VerdictRule& rule : VerdictRules()) {
        rules.push_back(std::string("| ") + VerdictName(rule.verdict) + " | " + rule.rule + " |");
    }
    rules.push_back("| good | everything else |");
    for (const NoteRule& rule : NoteRules()) {
        rules.push_back(std::string("| note | ") + rule.rule + " |");
    }
    EXPECT_EQ(shown, rules);
}

}  // namespace
}  // namespace hddiag::testing
