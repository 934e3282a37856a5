// Random seek test: rounds of 3000 draws over the whole disk, percentages
// across extents, the draw's range and its failures.
#include <gtest/gtest.h>

#include <memory>

#include "test/support/disk_test_support.h"
#include "support/object_state.h"

namespace hdd {
namespace {

using namespace hdd::testing;

// Eight words whose bits 7 to 14 spell v, most significant byte first; the
// other bits are set to show that they are ignored.
std::vector<unsigned int> WordsFor(ULONGLONG v)
{
    std::vector<unsigned int> words;
    for (int i = 0; i < 8; ++i) {
        const unsigned int byte = static_cast<unsigned int>((v >> (56 - 8 * i)) & 0xFF);
        words.push_back((byte << 7) | 0xFFFF807Fu);
    }
    return words;
}

// One disk whose geometry describes `sectors` sectors in one cylinder of one
// track, readable throughout, with partitions 2 and 3 on D: and E:.
sim::MachineDescription DiskOfSectors(LONGLONG cylinders, DWORD tracks, DWORD sectorsPerTrack)
{
    sim::SimDisk disk = FixedDisk({{2, 0, 1, L'D'}, {3, 1, 1, L'E'}});
    disk.cylinders = cylinders;
    disk.tracksPerCylinder = tracks;
    disk.sectorsPerTrack = sectorsPerTrack;
    disk.size = static_cast<ULONGLONG>(cylinders) * tracks * sectorsPerTrack * kSector;
    return Machine({disk});
}

class RandomSeek : public ::testing::Test {
protected:
    void Start(const sim::MachineDescription& d)
    {
        scope.reset();
        machine = std::make_unique<sim::SimMachine>(d);
        scope = std::make_unique<ScopedOsApi>(*machine);
        FillVolumeTable(*object, d);
        ObjectState::UnitsDone(*object) = 0;
        callback.events.clear();
        LONG set = 0;
        object->SetCallback(&callback, &set);
    }
    Outcome Run(const wchar_t* selector) { return RunTest(*object, &CCHDDObject::HDDRandomSeekTest, selector); }

    std::unique_ptr<sim::SimMachine> machine;
    std::unique_ptr<ScopedOsApi> scope;
    ObjectRef object;
    RecordingDispatch callback;
};

TEST_F(RandomSeek, PercentagesRunOnAcrossExtents)
{
    struct Row {
        const wchar_t* selector;
        ULONGLONG reads;
        INT lastBeforeEnd;  // the client sees 0 ... this, then 100
    };
    const Row rows[] = {
        {L"0-2", 3000, 98},
        {L"0-2,0-3,0-2", 9000, 98},  // 0-33, 33-66, 66-99 computed
        {L"0-2,0-3,0-2,0-3,0-2,0-3,0-2", 21000, 97},  // 14 per extent: the last runs 84-98
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::PrintToString(std::wstring(row.selector)));
        Start(DiskOfSectors(1000, 255, 63));
        const Outcome outcome = Run(row.selector);
        EXPECT_EQ(outcome.status, HDD_STATUS_OK);
        EXPECT_EQ(outcome.ret, 0);
        EXPECT_EQ(callback.Values(HDD_EVENT_PERCENT), Concat(Range(0, row.lastBeforeEnd), {100}));
        const std::vector<ULONGLONG> reads = SectorsRead(*machine);
        EXPECT_EQ(reads.size(), row.reads);
        EXPECT_EQ(ObjectState::UnitsDone(*object), row.reads);
        EXPECT_EQ(machine->RandomCallCount(), 8 * row.reads);
        const ULONGLONG disk = 1000ull * 255 * 63;
        for (ULONGLONG sector : reads) {
            ASSERT_LT(sector, disk - 1);  // the last sector is never drawn
        }
        ExpectTestEnded(*object, *machine);
    }
}

TEST_F(RandomSeek, DrawsSpanTheWholeDiskBelowItsLastSector)
{
    const ULONGLONG disk = 1000ull * 255 * 63;
    Start(DiskOfSectors(1000, 255, 63));
    for (ULONGLONG v : std::vector<ULONGLONG>{12345, disk - 1, disk - 2, ~0ull}) {
        machine->QueueRandomWords(WordsFor(v));
    }
    EXPECT_EQ(Run(L"0-2").ret, 0);
    const std::vector<ULONGLONG> reads = SectorsRead(*machine);
    ASSERT_EQ(reads.size(), 3000u);
    EXPECT_EQ(reads[0], 12345u);
    EXPECT_EQ(reads[1], 0u);  // v modulo (D - 1)
    EXPECT_EQ(reads[2], disk - 2);
    EXPECT_EQ(reads[3], ~0ull % (disk - 1));
}

TEST_F(RandomSeek, DiskSizeDoesNotWrapAt32Bits)
{
    // 2^32 + 2^20 sectors: a 32-bit size would be 2^20 and the read below
    // would land on sector 5.
    Start(DiskOfSectors(65552, 1, 65536));
    const ULONGLONG farSector = (1ull << 32) + 5;
    machine->QueueRandomWords(WordsFor(farSector));
    EXPECT_EQ(Run(L"0-2").ret, 0);
    EXPECT_EQ(SectorsRead(*machine).front(), farSector);
}

TEST_F(RandomSeek, OneSectorDiskReadsSectorZeroWithoutDrawing)
{
    Start(DiskOfSectors(1, 1, 1));
    EXPECT_EQ(Run(L"0-2").ret, 0);
    EXPECT_EQ(SectorsRead(*machine), std::vector<ULONGLONG>(3000, 0));
    EXPECT_EQ(machine->RandomCallCount(), 0u);
}

TEST_F(RandomSeek, EmptyGeometryIsNotTestable)
{
    Start(DiskOfSectors(0, 255, 63));
    const Outcome outcome = Run(L"0-2");
    EXPECT_EQ(outcome.status, HDD_STATUS_FAILED);
    EXPECT_EQ(outcome.ret, HDD_DRIVE_NOT_TESTABLE);
    EXPECT_EQ(machine->RandomCallCount(), 0u);
    EXPECT_TRUE(SectorsRead(*machine).empty());
    EXPECT_EQ(callback.Values(HDD_EVENT_PERCENT), (std::vector<INT>{100}));
    ExpectTestEnded(*object, *machine);
}

TEST_F(RandomSeek, FailedDrawStopsBeforeTheUnitIsCounted)
{
    Start(DiskOfSectors(1000, 255, 63));
    // The sixth draw fails at its third word.
    machine->AddFault(sim::Fault{sim::FaultOp::Random, L"", 0, -1, 8 * 5 + 3, 0});
    ObjectState::UnitsDone(*object) = 10;
    const Outcome outcome = Run(L"0-2");
    EXPECT_EQ(outcome.status, HDD_STATUS_FAILED);
    EXPECT_EQ(outcome.ret, HDD_TEST_READ_ERROR);
    EXPECT_EQ(SectorsRead(*machine).size(), 5u);
    EXPECT_EQ(ObjectState::UnitsDone(*object), 15u);
    EXPECT_EQ(machine->RandomCallCount(), 8 * 5 + 3u);  // no word drawn after the failure
    ExpectTestEnded(*object, *machine);
}

TEST_F(RandomSeek, EachExtentReopensAndRechecksTheDrive)
{
    struct Row {
        const char* what;
        sim::Fault fault;
        HRESULT status;
        LONG ret;
        size_t reads;
    };
    const sim::Fault noFault{sim::FaultOp::Open, L"\\\\.\\Z:", 0, -1, 0, 0};
    const Row rows[] = {
        {"no fault", noFault, HDD_STATUS_OK, 0, 6000},
        {"open for the first extent", {sim::FaultOp::Open, L"\\\\.\\PHYSICALDRIVE0", 0, -1, 1, 0}, HDD_STATUS_FAILED,
         HDD_DRIVE_NOT_TESTABLE, 0},
        {"open for the second extent", {sim::FaultOp::Open, L"\\\\.\\PHYSICALDRIVE0", 0, -1, 2, 0}, HDD_STATUS_FAILED,
         HDD_DRIVE_NOT_TESTABLE, 3000},
        {"geometry of the first extent", {sim::FaultOp::Ioctl, L"", IOCTL_DISK_GET_DRIVE_GEOMETRY, -1, 1, 0},
         HDD_STATUS_FAILED, HDD_DRIVE_NOT_TESTABLE, 0},
        // A later extent is judged on the previous extent's answer.
        {"geometry of the second extent", {sim::FaultOp::Ioctl, L"", IOCTL_DISK_GET_DRIVE_GEOMETRY, -1, 2, 0},
         HDD_STATUS_OK, 0, 6000},
        {"read 3001", {sim::FaultOp::Read, L"", 0, 0, 3001, 0}, HDD_STATUS_FAILED, HDD_TEST_READ_ERROR, 3001},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        Start(DiskOfSectors(1000, 255, 63));
        machine->AddFault(row.fault);
        const Outcome outcome = Run(L"0-2,0-3");
        EXPECT_EQ(outcome.status, row.status);
        EXPECT_EQ(outcome.ret, row.ret);
        EXPECT_EQ(SectorsRead(*machine).size(), row.reads);
        ExpectTestEnded(*object, *machine);
    }
}

}  // namespace
}  // namespace hdd
