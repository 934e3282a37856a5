// What the component makes of the answers failing devices and damaged
// partition tables give, played from machine files as a front end would play
// them: zeros in the geometry, a partition past the end of its disk, and
// reads that fail with last error 0.
#include <gtest/gtest.h>

#include <string>

#include "platform/sim/machine_description.h"
#include "test/support/disk_test_support.h"

namespace hdd {
namespace {

using namespace hdd::testing;

// One SATA disk of 64 MiB (130 cylinders of 16 x 63 sectors, less a little)
// with C: as partition 1 of 32 MiB from 1 MiB on, and whatever `more` says.
std::string MachineFile(const std::string& tracks, const std::string& sectors, const std::string& bytes,
                        const std::string& partitionLength = "33554432", const std::string& more = "")
{
    return R"({"disks": [{"bus": "sata", "size": 67108864,
                          "geometry": {"cylinders": 130, "tracks_per_cylinder": )" +
           tracks + R"(, "sectors_per_track": )" + sectors + R"(, "bytes_per_sector": )" + bytes + R"(},
                          "partitions": [{"number": 1, "offset": 1048576, "length": )" +
           partitionLength + R"(, "letter": "C"}]}])" + more + "}";
}

TEST(FailingDevice, EachTestAnswersWhatTheMachineFilePlays)
{
    constexpr LONG ok = 0;
    constexpr LONG notTestable = HDD_DRIVE_NOT_TESTABLE;
    constexpr LONG readError = HDD_TEST_READ_ERROR;
    struct Row {
        const char* what;
        std::string machine;
        LONG code[4];  // linear, funnel, random, surface; status 1 for every nonzero code
    };
    const Row rows[] = {
        {"sound drive", MachineFile("16", "63", "512"), {ok, ok, ok, ok}},
        // The reads take whole sectors of 512 to 4096 bytes: none of 0 bytes (nor
        // is there anything to divide by), and none larger than 4096.
        {"0 bytes per sector", MachineFile("16", "63", "0"), {notTestable, notTestable, notTestable, notTestable}},
        {"8192 bytes per sector", MachineFile("16", "63", "8192"),
         {notTestable, notTestable, notTestable, notTestable}},
        // The surface block and the random test's disk size need the sectors per track.
        {"0 sectors per track", MachineFile("16", "0", "512"), {ok, ok, notTestable, notTestable}},
        {"0 tracks per cylinder", MachineFile("0", "63", "512"), {ok, ok, notTestable, ok}},
        // C: ends 32 MiB past the disk's 64 MiB: the sweeps reach the missing part.
        {"partition past the end", MachineFile("16", "63", "512", "100663296"),
         {readError, readError, ok, readError}},
        // Every read fails, but with last error 0: each counts as done.
        {"reads fail with last error 0",
         MachineFile("16", "63", "512", "33554432", R"(, "faults": [{"op": "read", "error": 0}])"),
         {ok, ok, ok, ok}},
        {"reads fail with their natural code",
         MachineFile("16", "63", "512", "33554432", R"(, "faults": [{"op": "read", "nth": 2}])"),
         {readError, readError, readError, readError}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const sim::MachineDescription machine = sim::ParseMachine(row.machine);
        for (size_t t = 0; t < 4; ++t) {
            SCOPED_TRACE(kAllTests[t].name);
            const MachineRun run = RunOnMachine(machine, kAllTests[t].method, L"0-1");
            EXPECT_EQ(run.outcome.ret, row.code[t]);
            EXPECT_EQ(run.outcome.status, row.code[t] == ok ? HDD_STATUS_OK : HDD_STATUS_FAILED);
        }
    }
}

}  // namespace
}  // namespace hdd
