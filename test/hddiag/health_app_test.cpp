// health in-process on a machine whose disks carry smartctl output with a
// self-test log, --smartctl-type against the machine's disks, and the
// machine file's self-test entries read as a front end reads them.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "platform/sim/machine_description.h"
#include "test/hddiag/run_hddiag.h"
#include "tools/hddiag/app.h"
#include "tools/hddiag/health/smartctl_json.h"

namespace hddiag::testing {
namespace {

// Disk 0's last extended self-test met an unreadable sector; disk 1's last
// short test was interrupted by a host reset.
const char* const kMachine = R"json({ "disks": [
  { "geometry": { "cylinders": 8, "tracks_per_cylinder": 255, "sectors_per_track": 63 },
    "partitions": [ { "number": 1, "offset": 1048576, "length": 4194304, "letter": "C" } ],
    "smartctl": { "smartctl": { "exit_status": 128 }, "device": { "protocol": "ATA" }, "smart_status": { "passed": true },
                  "power_on_time": { "hours": 500 },
                  "ata_smart_self_test_log": { "standard": { "table": [
                    { "type": { "value": 2, "string": "Extended offline" },
                      "status": { "value": 118, "string": "Completed: read failure", "passed": false },
                      "lifetime_hours": 490, "lba": 123456 } ] } } },
    "self_test": { "short": { "type": { "value": 1, "string": "Short offline" },
                              "status": { "value": 0, "string": "Completed without error", "passed": true },
                              "lifetime_hours": 501 } } },
  { "geometry": { "cylinders": 8, "tracks_per_cylinder": 255, "sectors_per_track": 63 },
    "partitions": [ { "number": 1, "offset": 1048576, "length": 4194304, "letter": "D" } ],
    "smartctl": { "device": { "protocol": "ATA" }, "smart_status": { "passed": true },
                  "ata_smart_self_test_log": { "standard": { "table": [
                    { "type": { "value": 1, "string": "Short offline" },
                      "status": { "value": 40, "string": "Interrupted (host reset)" },
                      "lifetime_hours": 12 } ] } } } } ] })json";

class MachineFile {
public:
    MachineFile() : m_path((std::filesystem::temp_directory_path() / "hddiag_health_app_test.json").string())
    {
        std::ofstream(m_path, std::ios::binary) << kMachine;
    }
    ~MachineFile()
    {
        std::error_code ignored;
        std::filesystem::remove(m_path, ignored);
    }
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

TEST(HealthApp, SelfTestLogJudgedAndShown)
{
    const MachineFile machine;
    const RunOutput table = Hddiag({"--machine", machine.Path(), "health"});
    EXPECT_EQ(table.code, 1) << table.err;
    EXPECT_NE(table.out.find("failing"), std::string::npos) << table.out;
    EXPECT_NE(table.out.find("the last extended self-test ended in a read failure at LBA 123456\n"), std::string::npos)
        << table.out;
    EXPECT_NE(table.out.find("the last short self-test was stopped by the host: Interrupted (host reset)\n"),
              std::string::npos)
        << table.out;
    EXPECT_NE(table.out.find("Self-tests of disk 0: extended, 10 power-on hours ago: ended in a read failure at LBA "
                             "123456\nSelf-tests of disk 1: short, at 12 power-on hours: stopped by the host "
                             "(Interrupted (host reset))\n"),
              std::string::npos)
        << table.out;

    const RunOutput json = Hddiag({"--machine", machine.Path(), "--json", "health", "1"});
    EXPECT_EQ(json.code, 0) << json.err;
    const nlohmann::json disk = nlohmann::json::parse(json.out)["health"][0];
    EXPECT_EQ(disk["verdict"], "good");
    EXPECT_EQ(disk["noted"],
              nlohmann::json::parse(R"json(["the last short self-test was stopped by the host: Interrupted (host reset)"])json"));
    EXPECT_EQ(disk["smart"]["self_tests"]["entries"][0]["result"], "stopped");
}

TEST(HealthApp, SmartctlTypeMustNameADisk)
{
    const MachineFile machine;
    struct Row {
        std::vector<std::string> args;
        int code;
        const char* err;
    };
    const Row rows[] = {
        {{"--smartctl-type", "1=sat,12", "health", "1"}, 0, ""},
        {{"--smartctl-type", "PhysicalDrive0=usbjmicron", "--smartctl-type", "1=sat", "info"}, 0, ""},
        {{"--smartctl-type", "2=sat", "health"}, 2, "hddiag: --smartctl-type 2=sat: there is no disk '2'\n"},
        {{"run", "--smartctl-type", "sdq=sat"}, 2, "hddiag: --smartctl-type sdq=sat: there is no disk 'sdq'\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.args.front() + " " + row.args[1]);
        std::vector<std::string> args{"--machine", machine.Path()};
        args.insert(args.end(), row.args.begin(), row.args.end());
        const RunOutput run = Hddiag(args);
        EXPECT_EQ(run.code, row.code) << run.err;
        EXPECT_EQ(run.err, row.err);
    }
}

// What a front end does with a machine's self-test entry when it runs that
// test: the entry goes to the head of the disk's log, and health reads it.
TEST(HealthApp, MachineSelfTestEntryJoinsTheLogAsSmartctlWouldWriteIt)
{
    const hdd::sim::MachineDescription m = hdd::sim::ParseMachine(kMachine);
    ASSERT_FALSE(m.disks[0].shortSelfTestEntry.empty());
    EXPECT_TRUE(m.disks[0].extendedSelfTestEntry.empty());
    EXPECT_TRUE(m.disks[1].shortSelfTestEntry.empty());
    nlohmann::json smartctl = nlohmann::json::parse(m.disks[0].smartctlJson);
    nlohmann::json& table = smartctl["ata_smart_self_test_log"]["standard"]["table"];
    table.insert(table.begin(), nlohmann::json::parse(m.disks[0].shortSelfTestEntry));
    const DiskHealth after = HealthFromSmartctl(0, smartctl.dump(), std::nullopt);
    ASSERT_TRUE(after.reading.selfTests);
    ASSERT_EQ(after.reading.selfTests->entries.size(), 2u);
    EXPECT_EQ(after.reading.selfTests->entries[0].kind, SelfTestKind::Short);
    EXPECT_EQ(after.reading.selfTests->entries[0].result, SelfTestResult::Passed);
    // A short test passing does not pass over the extended one's failure.
    EXPECT_EQ(after.verdict, Verdict::Failing);
}

}  // namespace
}  // namespace hddiag::testing
