// Surface scan: block sizes, each extent scanned from its own first sector,
// and the per-extent geometry check.
#include <gtest/gtest.h>

#include "test/support/disk_test_support.h"

namespace hdd {
namespace {

using namespace hdd::testing;

MachineRun RunScan(const sim::MachineDescription& d, const wchar_t* selector,
              const std::vector<sim::Fault>& faults = {})
{
    return RunOnMachine(d, &CCHDDObject::HDDSurfaceScanTest, selector, faults);
}

std::vector<ULONGLONG> Steps(ULONGLONG first, ULONGLONG end, ULONGLONG step)
{
    std::vector<ULONGLONG> out;
    for (ULONGLONG s = first; s < end; s += step) {
        out.push_back(s);
    }
    return out;
}

TEST(SurfaceScan, BlockIsFourTracksAtMost256Sectors)
{
    struct Row {
        DWORD sectorsPerTrack;
        ULONGLONG block;
    };
    const Row rows[] = {{32, 128}, {63, 252}, {64, 256}, {65, 256}, {1, 4}, {1000, 256}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.sectorsPerTrack);
        // An extent of 1000 sectors in the middle of the disk: the scan covers
        // its sectors 300,000 to 300,999.
        const MachineRun run = RunScan(Machine({FixedDisk({{2, 300000, 1000, L'D'}}, row.sectorsPerTrack)}), L"0-2");
        EXPECT_EQ(run.outcome.status, HDD_STATUS_OK);
        EXPECT_EQ(run.outcome.ret, 0);
        EXPECT_EQ(run.reads, Steps(300000, 301000, row.block));
        EXPECT_EQ(run.units, run.reads.size());
    }
}

TEST(SurfaceScan, EachExtentIsScannedFromItsOwnStart)
{
    // 1000, 600 and 400 sectors at 50,000, 60,000 and 70,000: ranges
    // 50,000-50,999, 60,000-60,599 and 70,000-70,399. Sectors done grow by
    // 252 per block, to 2016 of 2000.
    const sim::MachineDescription d =
        Machine({FixedDisk({{2, 50000, 1000, L'D'}, {3, 60000, 600, L'E'}, {4, 70000, 400, L'F'}})});
    const MachineRun run = RunScan(d, L"0-2,0-3,0-4");
    EXPECT_EQ(run.outcome.ret, 0);
    EXPECT_EQ(run.reads,
              (std::vector<ULONGLONG>{50000, 50252, 50504, 50756, 60000, 60252, 60504, 70000, 70252}));
    EXPECT_EQ(run.percents, (std::vector<INT>{0, 11, 24, 36, 49, 62, 74, 87, 99, 100}));
    EXPECT_EQ(run.units, 9u);
}

TEST(SurfaceScan, ExtentShorterThanASectorIsSkipped)
{
    sim::SimDisk disk = FixedDisk({{2, 50000, 1, L'D'}, {3, 60000, 600, L'E'}});
    disk.partitions[0].length = 300;
    const MachineRun run = RunScan(Machine({disk}), L"0-2,0-3");
    EXPECT_EQ(run.outcome.ret, 0);
    EXPECT_EQ(run.reads, (std::vector<ULONGLONG>{60000, 60252, 60504}));  // 300 bytes are 0 sectors
}

TEST(SurfaceScan, FailuresAndTheExtentsGeometryCheck)
{
    const sim::MachineDescription d =
        Machine({FixedDisk({{2, 50000, 1000, L'D'}, {3, 60000, 600, L'E'}, {4, 70000, 400, L'F'}})});
    const std::vector<ULONGLONG> all{50000, 50252, 50504, 50756, 60000, 60252, 60504, 70000, 70252};
    struct Row {
        const char* what;
        sim::Fault fault;
        HRESULT status;
        LONG ret;
        std::vector<ULONGLONG> reads;
    };
    const Row rows[] = {
        {"third block of the second extent", {sim::FaultOp::Read, L"", 0, 0, 7, 0}, HDD_STATUS_FAILED,
         HDD_TEST_READ_ERROR, {50000, 50252, 50504, 50756, 60000, 60252, 60504}},
        {"reopen for the second extent", {sim::FaultOp::Open, L"\\\\.\\PHYSICALDRIVE0", 0, -1, 3, 0},
         HDD_STATUS_FAILED, HDD_DRIVE_NOT_TESTABLE, {50000, 50252, 50504, 50756}},
        // The record still holds the drive check's answer, which passes.
        {"geometry of the first extent", {sim::FaultOp::Ioctl, L"", IOCTL_DISK_GET_DRIVE_GEOMETRY, -1, 2, 0},
         HDD_STATUS_OK, 0, all},
        {"geometry of the drive check", {sim::FaultOp::Ioctl, L"", IOCTL_DISK_GET_DRIVE_GEOMETRY, -1, 1, 0},
         HDD_STATUS_FAILED, HDD_DRIVE_NOT_TESTABLE, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const MachineRun run = RunScan(d, L"0-2,0-3,0-4", {row.fault});
        EXPECT_EQ(run.outcome.status, row.status);
        EXPECT_EQ(run.outcome.ret, row.ret);
        EXPECT_EQ(run.reads, row.reads);
        EXPECT_EQ(run.units, row.reads.size());
    }
}

TEST(SurfaceScan, GeometryWithoutABlockIsNotTestable)
{
    // 0 sectors per track, and 2^30 whose four tracks wrap to 0 in 32 bits.
    for (DWORD sectorsPerTrack : {0u, 0x40000000u}) {
        SCOPED_TRACE(sectorsPerTrack);
        sim::SimDisk disk = FixedDisk({{2, 50000, 1000, L'D'}});
        disk.sectorsPerTrack = sectorsPerTrack;
        const MachineRun run = RunScan(Machine({disk}), L"0-2");
        EXPECT_EQ(run.outcome.status, HDD_STATUS_FAILED);
        EXPECT_EQ(run.outcome.ret, HDD_DRIVE_NOT_TESTABLE);
        EXPECT_TRUE(run.reads.empty());
        // The extent's check failed before its FireProgress(0).
        EXPECT_EQ(run.percents, (std::vector<INT>{100}));
    }
}

}  // namespace
}  // namespace hdd
