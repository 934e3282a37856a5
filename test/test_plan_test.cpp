// StartHDDTest: the plan per mask bit, its failure cases, and a whole batch
// whose minutes events follow the estimator's arithmetic.
#include <gtest/gtest.h>

#include <map>

#include "test/support/disk_test_support.h"
#include "support/object_state.h"

namespace hdd {
namespace {

using namespace hdd::testing;

constexpr ULONGLONG kPartitionSectors = 300 * 8192;

// Disk 0 (63 sectors per track): partition 1 on C: ending at sector
// 2,457,600, partition 2 on D: of 2,457,600 sectors. Disk 1 (32 sectors per
// track, 4096-byte sectors): partition 2 on E: of 81,920 drive sectors.
sim::MachineDescription PlanMachine()
{
    return Machine({FixedDisk({{1, 2048, kPartitionSectors - 2048, L'C'}, {2, 3000000, kPartitionSectors, L'D'}}),
                    FixedDisk({{2, 2048, 655360, L'E'}}, 32, 4096)});
}

class PlanTest : public ::testing::Test {
protected:
    PlanTest() : description(PlanMachine()), m(description), scope(m)
    {
        FillVolumeTable(*object, description);
        LONG set = 0;
        object->SetCallback(&callback, &set);
    }

    HRESULT Plan(const wchar_t* items, ULONG mask, ULONGLONG planBefore = 777)
    {
        ObjectState::UnitsPlanned(*object) = planBefore;
        ObjectState::UnitsDone(*object) = 55;
        m.SetTickCount(123456);
        const Bstr text(items);
        const HRESULT status = object->StartHDDTest(text, mask);
        EXPECT_EQ(ObjectState::UnitsDone(*object), 0u);  // restarted on every path
        EXPECT_EQ(ObjectState::StartTick(*object), 123456u);
        EXPECT_EQ(m.OpenHandleCount(), 0u);
        EXPECT_TRUE(callback.events.empty());
        return status;
    }

    sim::MachineDescription description;
    sim::SimMachine m;
    ScopedOsApi scope;
    ObjectRef object;
    RecordingDispatch callback;
};

TEST_F(PlanTest, UnitsPerMaskBit)
{
    struct Row {
        const wchar_t* items;
        ULONG mask;
        ULONGLONG planned;
    };
    const Row rows[] = {
        {L"0-2", 0x1, 300},
        {L"0-2", 0x2, 3000},
        {L"0-2", 0x3, 3300},
        {L"0-2", 0x4, 600},
        {L"0-2", 0x5, 900},
        {L"0-2", 0x8, kPartitionSectors / 252},
        {L"0-2", 0xF, 300 + 3000 + 600 + kPartitionSectors / 252},
        {L"0-2", 0x0, 0},
        {L"0-2", 0xFFFFFFF0u, 0},  // bits above 0x8 change nothing
        {L"0-2", 0xFFFFFFF1u, 300},
        {L"0-1", 0x1, 300},  // partition 1 counts the sectors in front of it
        {L"0-1,0-2", 0x2, 6000},
        {L"0-1,0-2", 0x5, 1800},
        // Each item has its own disk, sector size and block.
        {L"0-2,1-2", 0x1, (kPartitionSectors + 81920) >> 13},
        {L"0-2,1-2", 0x8, kPartitionSectors / 252 + 81920 / 128},
        {L",, 0-2 ,,", 0x2, 3000},  // one item
        {L"", 0xF, 0},
        {nullptr, 0xF, 0},
        {L",,,", 0xF, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::Message() << ::testing::PrintToString(std::wstring(row.items ? row.items : L"(null)"))
                                          << " mask " << row.mask);
        EXPECT_EQ(Plan(row.items, row.mask), HDD_STATUS_OK);
        EXPECT_EQ(ObjectState::UnitsPlanned(*object), row.planned);
    }
}

TEST_F(PlanTest, FailureLeavesThePlanOfThePreviousBatch)
{
    std::wstring tooMany;
    for (int i = 0; i < 261; ++i) {
        tooMany += L"0-2,";
    }
    struct Row {
        const char* what;
        const wchar_t* items;
        std::vector<sim::Fault> faults;
    };
    const std::wstring d = L"\\\\.\\D:";
    const Row rows[] = {
        {"not in the volume table", L"0-2,0-5", {}},
        {"unreadable item", L"abc", {}},
        {"empty item", L"0-2, ", {}},
        {"more than 260 items", tooMany.c_str(), {}},
        {"partition request fails", L"0-2", {{sim::FaultOp::Ioctl, d, IOCTL_DISK_GET_PARTITION_INFO_EX, -1, 1, 0}}},
        {"volume does not open again", L"0-2", {{sim::FaultOp::Open, d, 0, -1, 2, 0}}},
        {"geometry request fails", L"0-2", {{sim::FaultOp::Ioctl, d, IOCTL_DISK_GET_DRIVE_GEOMETRY, -1, 1, 0}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        m.ClearFaults();
        m.ClearCalls();
        for (const sim::Fault& f : row.faults) {
            m.AddFault(f);
        }
        EXPECT_EQ(Plan(row.items, 0xF), HDD_STATUS_FAILED);
        EXPECT_EQ(ObjectState::UnitsPlanned(*object), 777u);
    }
    // Nothing was opened for the overlong list.
    m.ClearFaults();
    m.ClearCalls();
    EXPECT_EQ(Plan(tooMany.c_str(), 0xF), HDD_STATUS_FAILED);
    EXPECT_TRUE(m.Calls().empty());
}

TEST(PlanDrive, MediaAndSectorSizeAreChecked)
{
    struct Row {
        const char* what;
        DWORD media;
        DWORD bytesPerSector;
        DWORD sectorsPerTrack;
        HRESULT status;
        ULONGLONG planned;
    };
    const Row rows[] = {
        {"fixed", FixedMedia, 512, 63, HDD_STATUS_OK, 300 + 8192 * 300 / 252},
        {"removable", RemovableMedia, 512, 63, HDD_STATUS_FAILED, 777},
        {"sector size 0", FixedMedia, 0, 63, HDD_STATUS_FAILED, 777},
        // No block to divide by: the surface pass ends with what it gathered.
        {"no sectors per track", FixedMedia, 512, 0, HDD_STATUS_FAILED, 300},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        sim::SimDisk disk = FixedDisk({{2, 2048, kPartitionSectors, L'D'}}, 63, row.bytesPerSector);
        disk.media = row.media;
        disk.sectorsPerTrack = row.sectorsPerTrack;
        const sim::MachineDescription d = Machine({disk});
        sim::SimMachine m(d);
        ScopedOsApi scope(m);
        ObjectRef object;
        FillVolumeTable(*object, d);
        ObjectState::UnitsPlanned(*object) = 777;
        const Bstr items(L"0-2");
        EXPECT_EQ(object->StartHDDTest(items, 0x9), row.status);
        EXPECT_EQ(ObjectState::UnitsPlanned(*object), row.planned);
        EXPECT_EQ(m.OpenHandleCount(), 0u);
    }
}

TEST_F(PlanTest, SurfacePassFailuresKeepAPartialPlan)
{
    const std::wstring d = L"\\\\.\\D:";
    const std::wstring e = L"\\\\.\\E:";
    const ULONGLONG linear = (kPartitionSectors + 81920) >> 13;
    const ULONGLONG surfaceD = kPartitionSectors / 252;
    struct Row {
        const char* what;
        sim::Fault fault;
        HRESULT status;
        ULONGLONG planned;
    };
    const Row rows[] = {
        {"second volume does not open", {sim::FaultOp::Open, e, 0, -1, 3, 0}, HDD_STATUS_FAILED, linear + surfaceD},
        {"first volume does not open", {sim::FaultOp::Open, d, 0, -1, 3, 0}, HDD_STATUS_FAILED, linear},
        // The record keeps the first item's geometry: 512-byte sectors, block 252.
        {"second geometry fails", {sim::FaultOp::Ioctl, e, IOCTL_DISK_GET_DRIVE_GEOMETRY, -1, 2, 0}, HDD_STATUS_OK,
         linear + surfaceD + 655360 / 252},
        // Nothing to divide by: ends like a volume that does not open.
        {"first geometry fails", {sim::FaultOp::Ioctl, d, IOCTL_DISK_GET_DRIVE_GEOMETRY, -1, 2, 0}, HDD_STATUS_FAILED,
         linear},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        m.ClearFaults();
        m.AddFault(row.fault);
        EXPECT_EQ(Plan(L"0-2,1-2", 0x9), row.status);
        EXPECT_EQ(ObjectState::UnitsPlanned(*object), row.planned);
    }
}

TEST_F(PlanTest, LeavesTheTestRunFieldsAlone)
{
    ObjectState::AbortFlag(*object) = true;
    ObjectState::ItemCount(*object) = 3;
    ObjectState::LastPercent(*object) = 17;
    ObjectState::LastMinutes(*object) = 4;
    ObjectState::Items(*object).assign(1, L"x");
    EXPECT_EQ(Plan(L"0-2", 0xF), HDD_STATUS_OK);
    EXPECT_TRUE(ObjectState::AbortFlag(*object));
    EXPECT_EQ(ObjectState::DriveHandle(*object), INVALID_HANDLE_VALUE);
    EXPECT_EQ(ObjectState::ItemCount(*object), 3);
    EXPECT_EQ(ObjectState::LastPercent(*object), 17);
    EXPECT_EQ(ObjectState::LastMinutes(*object), 4);
    EXPECT_EQ(ObjectState::Items(*object), std::vector<std::wstring>{L"x"});
}

// A whole batch on a disk whose every read takes 50 ms: StartHDDTest, then
// the four tests. Every minutes event must be what the estimator makes of the
// units done and the clock at that moment.
TEST(PlanBatch, MinutesFollowTheEstimatorThroughFourTests)
{
    sim::SimDisk disk = FixedDisk({{2, 100000, 600000, L'D'}});
    disk.latency = sim::Latency{sim::LatencyModel::FixedMs, 50};
    const sim::MachineDescription d = Machine({disk});
    sim::SimMachine m(d);
    ScopedOsApi scope(m);
    m.SetTickCount(5000);
    ObjectRef object;
    RecordingDispatch callback;
    LONG set = 0;
    object->SetCallback(&callback, &set);
    BSTR report = nullptr;
    object->GetHardDiskInfo(&report);
    SysFreeString(report);

    const Bstr items(L"0-2");
    ASSERT_EQ(object->StartHDDTest(items, 0xF), HDD_STATUS_OK);
    const ULONGLONG planned = (600000 >> 13) + 3000 + (600000 >> 13) * 2 + 600000 / 252;
    ASSERT_EQ(ObjectState::UnitsPlanned(*object), planned);
    const DWORD start = ObjectState::StartTick(*object);

    // The clock as each unit's read begins: the estimate for that unit is
    // made right before the read, after the previous reads were charged.
    std::map<ULONGLONG, DWORD> tickAtUnit;
    m.SetReadObserver([&](LONG, ULONGLONG) { tickAtUnit[ObjectState::UnitsDone(*object)] = m.GetTickCount(); });
    std::vector<INT> minutes;
    callback.onEvent = [&](const CallbackEvent& e) {
        if (e.kind == HDD_EVENT_MINUTES) {
            minutes.push_back(e.value);
        }
    };

    std::vector<INT> expected;
    for (const NamedTest& test : kAllTests) {
        SCOPED_TRACE(test.name);
        const ULONGLONG first = ObjectState::UnitsDone(*object) + 1;
        EXPECT_EQ(RunTest(*object, test.method, L"0-2").ret, 0);
        // Estimates every 200 units; a value goes out when it changes, and
        // every test starts with no last value.
        INT last = -1;
        for (ULONGLONG u = first; u <= ObjectState::UnitsDone(*object); ++u) {
            if (u % 200 != 0) {
                continue;
            }
            const ULONGLONG elapsed = static_cast<DWORD>(tickAtUnit.at(u) - start);
            const ULONGLONG product = planned >= u ? (planned - u) / u * elapsed : 0;
            const INT value = static_cast<INT>(product / 60000);
            if (value != last) {
                expected.push_back(value);
                last = value;
            }
        }
    }
    EXPECT_EQ(minutes, expected);
    // Plan 5599: after 200 units (10 s) the ratio is 26, 4 minutes; the
    // estimate falls to 0 once more than half the plan is done.
    EXPECT_EQ(minutes.front(), 4);
    EXPECT_GE(minutes.size(), 5u) << ::testing::PrintToString(minutes);
    EXPECT_EQ(minutes.back(), 0);
    EXPECT_EQ(m.OpenHandleCount(), 0u);
}

}  // namespace
}  // namespace hdd
