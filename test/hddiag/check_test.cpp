// hddiag check run in-process on a simulated machine: a disk whose scan, SMART
// and self-test all say failing, with the cross-checks; a clean disk without
// SMART judged by its scan alone; disks named by device; refusals.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "test/hddiag/run_hddiag.h"
#include "tools/hddiag/app.h"

namespace hddiag::testing {
namespace {

namespace fs = std::filesystem;

// Disk 0: unreadable sectors 1000-1007, its drive counting 8 pending ones and
// an extended self-test that stops at a read failure at LBA 1003. Disk 1:
// clean, no SMART.
const char* const kMachine = R"({ "disks": [
  { "bus": "sata", "media": "fixed", "model": "M0", "serial": "S0",
    "geometry": { "cylinders": 8, "tracks_per_cylinder": 255, "sectors_per_track": 63, "bytes_per_sector": 512 },
    "partitions": [ { "number": 1, "offset": 1048576, "length": 4194304, "letter": "C" } ],
    "unreadable": ["1000-1007"],
    "smartctl": {
      "json_format_version": [1, 0],
      "smartctl": { "exit_status": 0 },
      "device": { "name": "/dev/sda", "type": "sat", "protocol": "ATA" },
      "smart_support": { "available": true, "enabled": true },
      "smart_status": { "passed": true },
      "ata_smart_attributes": { "table": [
        { "id": 197, "name": "Current_Pending_Sector", "value": 100, "worst": 100, "thresh": 0,
          "flags": { "prefailure": false }, "raw": { "value": 8, "string": "8" } } ] } },
    "self_test": {
      "extended": { "type": { "value": 2, "string": "Extended offline" },
                    "status": { "value": 119, "string": "Completed: read failure", "passed": false },
                    "lifetime_hours": 1000, "lba": 1003 } } },
  { "bus": "sata", "media": "fixed",
    "geometry": { "cylinders": 2, "tracks_per_cylinder": 255, "sectors_per_track": 63, "bytes_per_sector": 512 },
    "partitions": [] } ] })";

bool Mentions(const nlohmann::json& texts, const std::string& part)
{
    for (const nlohmann::json& t : texts) {
        if (t.get<std::string>().find(part) != std::string::npos) {
            return true;
        }
    }
    return false;
}

class CheckCommand : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_folder = fs::temp_directory_path() / ("hddiag_check_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                                                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(m_folder);
        fs::create_directories(m_folder);
        m_machine = (m_folder / "machine.json").string();
        std::ofstream(m_machine) << kMachine;
    }
    void TearDown() override
    {
        std::error_code ignored;
        fs::remove_all(m_folder, ignored);
    }
    std::string File(const char* name) const { return (m_folder / name).string(); }

    fs::path m_folder;
    std::string m_machine;
};

TEST_F(CheckCommand, AFailingDiskAndAGoodOneWithoutSmart)
{
    const RunOutput run = Hddiag({"--machine", m_machine, "--json", "--metrics", File("check.prom"), "check",
                                  "--self-test", "long", "--map", File("maps")});
    ASSERT_EQ(run.code, 1) << run.err << run.out;
    const nlohmann::json doc = nlohmann::json::parse(run.out);
    ASSERT_EQ(doc["checks"].size(), 2u);
    const nlohmann::json& bad = doc["checks"][0];
    EXPECT_EQ(bad["verdict"], "failing");
    EXPECT_TRUE(Mentions(bad["reasons"], "8 unreadable sectors (from sector 1000)")) << bad["reasons"];
    EXPECT_TRUE(Mentions(bad["reasons"], "extended self-test hddiag ran ended in a read failure at LBA 1003"))
        << bad["reasons"];
    EXPECT_TRUE(Mentions(bad["notes"], "the drive counts 8 pending sectors; the scan found 8 unreadable")) << bad["notes"];
    EXPECT_TRUE(Mentions(bad["notes"], "failing LBA 1003 is in the scan's list")) << bad["notes"];
    EXPECT_EQ(bad["self_test"]["lba"], 1003);
    EXPECT_EQ(bad["scan"]["sectors_unreadable"], 8);

    const nlohmann::json& good = doc["checks"][1];
    EXPECT_EQ(good["verdict"], "good");
    EXPECT_TRUE(good["reasons"].empty());
    EXPECT_TRUE(Mentions(good["notes"], "SMART could not be read")) << good["notes"];
    EXPECT_TRUE(Mentions(good["notes"], "the self-test did not run")) << good["notes"];
    EXPECT_FALSE(doc["passed"].get<bool>());

    std::ifstream metrics(File("check.prom"));
    std::stringstream text;
    text << metrics.rdbuf();
    EXPECT_NE(text.str().find("hddiag_check_verdict{disk=\"0\",device=\"PhysicalDrive0\",serial=\"S0\",verdict=\"failing\"} 1"),
              std::string::npos)
        << text.str();
    EXPECT_TRUE(fs::exists(m_folder / "maps"));
}

TEST_F(CheckCommand, NamesDisksByNumberOrDeviceAndRefusesOthers)
{
    struct Row {
        std::vector<std::string> args;  // after check
        int code;
        const char* out;  // a part of the output (or the error)
    };
    const Row rows[] = {
        {{"1"}, 0, "disk 1 (PhysicalDrive1): good"},
        {{"\\\\.\\PhysicalDrive1", "--no-scan"}, 0, "the surface was not scanned (--no-scan)"},
        // Without the scan, the pending sectors are only SMART's warning.
        {{"0", "--no-scan"}, 0, "disk 0 (PhysicalDrive0, M0, serial S0): warning"},
        {{"7"}, 2, "check: no disk '7'"},
        {{"1-1"}, 2, "check: no disk '1-1'"},
        {{"1", "--self-test", "weekly"}, 2, "--self-test"},
    };
    for (const Row& row : rows) {
        std::vector<std::string> args = {"--machine", m_machine, "check"};
        args.insert(args.end(), row.args.begin(), row.args.end());
        SCOPED_TRACE(args.back());
        const RunOutput run = Hddiag(args);
        EXPECT_EQ(run.code, row.code) << run.err << run.out;
        EXPECT_NE((run.out + run.err).find(row.out), std::string::npos) << run.out << run.err;
    }
}

}  // namespace
}  // namespace hddiag::testing
