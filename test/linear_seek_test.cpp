// Linear seek test: read positions, percentages and units.
#include <gtest/gtest.h>

#include "test/support/disk_test_support.h"

namespace hdd {
namespace {

using namespace hdd::testing;

MachineRun RunLinear(const sim::MachineDescription& d, const wchar_t* selector,
              const std::vector<sim::Fault>& faults = {})
{
    return RunOnMachine(d, &CCHDDObject::HDDLinearSeekTest, selector, faults);
}

TEST(LinearSeek, OneExtentReadsEvery8192ndSectorFromItsStart)
{
    struct Row {
        const char* what;
        ULONGLONG lengthBytes;
        std::vector<ULONGLONG> reads;
        std::vector<INT> percents;
    };
    const ULONGLONG s = 4096;  // first sector of the partition
    const Row rows[] = {
        {"8192 sectors", 8192 * kSector, {s}, {0, 100}},
        {"8193 sectors", 8193 * kSector, {s, s + 8192}, {0, 98, 100}},
        {"one sector", kSector, {s}, {0, 100}},
        {"shorter than a sector", 256, {}, {0, 100}},
        {"a remainder is dropped", 3 * 8192 * kSector + 511, {s, s + 8192, s + 16384}, {0, 32, 65, 100}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        sim::SimDisk disk = FixedDisk({{2, s, 1, L'D'}}, 63, 512, 100000);
        disk.partitions[0].length = row.lengthBytes;
        const MachineRun run = RunLinear(Machine({disk}), L"0-2");
        EXPECT_EQ(run.outcome.status, HDD_STATUS_OK);
        EXPECT_EQ(run.outcome.ret, 0);
        EXPECT_EQ(run.reads, row.reads);
        EXPECT_EQ(run.percents, row.percents);
        EXPECT_EQ(run.units, row.reads.size());
    }
}

TEST(LinearSeek, TwoExtentsPassTheEndOfTheSectorTotal)
{
    // Sector total 20,000: computed 0, 40, 81 and 122; FireProgress gets 39,
    // 80 and 121, and neither 121 nor the ending's 100 reach the client.
    const sim::MachineDescription d = Machine({FixedDisk({{2, 100000, 10000, L'D'}, {3, 200000, 10000, L'E'}})});
    const MachineRun run = RunLinear(d, L"0-2,0-3");
    EXPECT_EQ(run.outcome.status, HDD_STATUS_OK);
    EXPECT_EQ(run.outcome.ret, 0);
    EXPECT_EQ(run.reads, (std::vector<ULONGLONG>{100000, 108192, 200000, 208192}));
    EXPECT_EQ(run.percents, (std::vector<INT>{0, 39, 80}));
    EXPECT_EQ(run.units, 4u);
}

TEST(LinearSeek, PartitionOneIsSweptFromSectorZero)
{
    const sim::MachineDescription d = Machine({FixedDisk({{1, 2048, 20000, L'C'}})});
    const MachineRun run = RunLinear(d, L"0-1");
    EXPECT_EQ(run.reads, (std::vector<ULONGLONG>{0, 8192, 16384}));
}

TEST(LinearSeek, LargeSectorsAreReadWholeAtTheirOwnOffsets)
{
    // 4096-byte sectors: the partition at byte 1 MiB starts at drive sector
    // 256 and has 10,000 of them; the reads take sectors 256 and 8448 whole,
    // at bytes 256 x 4096 and 8448 x 4096.
    const sim::MachineDescription d = Machine({FixedDisk({{2, 2048, 80000, L'D'}}, 63, 4096)});
    sim::SimMachine m(d);
    ScopedOsApi scope(m);
    ObjectRef object;
    FillVolumeTable(*object, d);
    RecordingDispatch callback;
    LONG set = 0;
    object->SetCallback(&callback, &set);
    EXPECT_EQ(RunTest(*object, &CCHDDObject::HDDLinearSeekTest, L"0-2").ret, 0);
    EXPECT_EQ(SectorsRead(m), (std::vector<ULONGLONG>{256, 8448}));
    std::vector<ULONGLONG> seeks;
    for (const sim::CallRecord& call : m.Calls()) {
        if (call.kind == sim::CallKind::Seek) {
            seeks.push_back(call.offset);
        } else if (call.kind == sim::CallKind::Read) {
            EXPECT_EQ(call.bytes, 4096u);
        }
    }
    EXPECT_EQ(seeks, (std::vector<ULONGLONG>{256 * 4096, 8448 * 4096}));
    EXPECT_EQ(callback.Values(HDD_EVENT_PERCENT), (std::vector<INT>{0, 80, 100}));
    ExpectTestEnded(*object, m);
}

TEST(LinearSeek, FailuresEndTheSweep)
{
    const sim::MachineDescription d = Machine({FixedDisk({{2, 100000, 10000, L'D'}, {3, 200000, 10000, L'E'}})});
    struct Row {
        const char* what;
        sim::Fault fault;
        LONG ret;
        std::vector<ULONGLONG> reads;  // read calls made, failed ones included
        std::vector<INT> percents;
        ULONGLONG units;
    };
    const Row rows[] = {
        {"read at S + 8192 of the first extent", {sim::FaultOp::Read, L"", 0, 0, 2, 0}, HDD_TEST_READ_ERROR,
         {100000, 108192}, {0, 39, 100}, 2},
        {"seek to S + 8192 of the first extent", {sim::FaultOp::Seek, L"", 0, 0, 2, 0}, HDD_TEST_READ_ERROR,
         {100000}, {0, 39, 100}, 2},
        {"reopen for the second extent", {sim::FaultOp::Open, L"\\\\.\\PHYSICALDRIVE0", 0, -1, 3, 0},
         HDD_TEST_ABORTED, {100000, 108192}, {0, 39, 100}, 2},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const MachineRun run = RunLinear(d, L"0-2,0-3", {row.fault});
        EXPECT_EQ(run.outcome.status, HDD_STATUS_FAILED);
        EXPECT_EQ(run.outcome.ret, row.ret);
        EXPECT_EQ(run.reads, row.reads);
        EXPECT_EQ(run.percents, row.percents);
        EXPECT_EQ(run.units, row.units);
    }
}

}  // namespace
}  // namespace hdd
