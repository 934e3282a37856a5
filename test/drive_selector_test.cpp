// The drive selector: splitting, "%d-%d" reading, resolution through the
// volume table and the volumes, and the extent rule.
#include <gtest/gtest.h>

#include "drive/selector_items.h"
#include "test/support/disk_test_support.h"
#include "support/object_state.h"

namespace hdd {
namespace {

using namespace hdd::testing;

TEST(SelectorRead, ItemsReadLikeDecimalPairs)
{
    struct Row {
        const wchar_t* item;
        int count;
        LONG disk;
        LONG partition;
    };
    const Row rows[] = {
        {L"0-1", 2, 0, 1},
        {L"0-1-238475", 2, 0, 1},  // a report item: the size is ignored
        {L"+0-1", 2, 0, 1},
        {L"0- 1", 2, 0, 1},        // white space before the second number
        {L"0-\t+1", 2, 0, 1},
        {L"0 -1", 1, 0, -7},       // but not before the hyphen
        {L"-1-2", 2, -1, 2},
        {L"1--2", 2, 1, -2},
        {L"3-4x", 2, 3, 4},
        {L"3-", 1, 3, -7},
        {L"3-x", 1, 3, -7},
        {L"3", 1, 3, -7},
        {L"abc", 0, -7, -7},
        {L"", 0, -7, -7},
        {L"+-1", 0, -7, -7},
        {L"-", 0, -7, -7},
        {L"00000000000000000007-3", 2, 7, 3},
        {L"2147483647-1", 2, 2147483647, 1},
        {L"-2147483648-1", 2, static_cast<LONG>(-2147483647 - 1), 1},
        {L"2147483648-1", 0, -7, -7},     // does not fit: nothing read
        {L"-2147483649-1", 0, -7, -7},
        {L"1-99999999999", 1, 1, -7},      // the reading stops at the second number
        {L"1-4294967297", 1, 1, -7},       // no wrap to 1
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::PrintToString(std::wstring(row.item)));
        LONG disk = -7;
        LONG partition = -7;
        EXPECT_EQ(ReadItemNumbers(row.item, disk, partition), row.count);
        EXPECT_EQ(disk, row.disk);
        EXPECT_EQ(partition, row.partition);
    }
}

TEST(SelectorSplit, ItemsAreStrippedRunsOfNonCommas)
{
    struct Row {
        std::wstring text;
        std::vector<std::wstring> items;
    };
    const Row rows[] = {
        {L" 0-1 , 0-2 ,,", {L"0-1", L"0-2"}},
        {L"0-1, ,0-2", {L"0-1", L"", L"0-2"}},  // white space only: an empty item that counts
        {L"", {}},
        {L",,,", {}},
        {L",,0-2,,", {L"0-2"}},
        {L"abc", {L"abc"}},
        {L"\t0-1\n\v", {L"0-1"}},
        {L"0 - 1", {L"0 - 1"}},  // inner white space stays
        {std::wstring(L"0-1\0,0-2", 8), {L"0-1"}},  // read up to the first NUL
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::PrintToString(row.text));
        std::vector<std::wstring> items;
        EXPECT_EQ(SplitSelectorItems(row.text.c_str(), 26, items), SplitResult::Ok);
        EXPECT_EQ(items, row.items);
    }
    std::vector<std::wstring> items;
    EXPECT_EQ(SplitSelectorItems(nullptr, 26, items), SplitResult::Ok);
    EXPECT_TRUE(items.empty());
}

// Disk 0: partition 1 at 1 MiB (100 MiB long) on C:, partition 2 behind it on
// D:. Disk 1: partition 1 on F:, partition 2 on E:.
class SelectorParse : public ::testing::Test {
protected:
    SelectorParse()
        : description(Machine({FixedDisk({{1, 2048, 204800, L'C'}, {2, 206848, 40960, L'D'}}),
                               FixedDisk({{1, 63, 1000, L'F'}, {2, 2048, 3000, L'E'}})})),
          m(description),
          scope(m)
    {
        FillVolumeTable(*object, description);
        for (PartitionExtent& e : extents) {
            e = PartitionExtent{};
        }
    }

    HRESULT Parse(const wchar_t* text)
    {
        const Bstr selector(text);
        result = kJunk;
        disk = kJunk;
        const HRESULT status = object->ParseDriveSelector(&result, selector, &disk, extents);
        EXPECT_EQ(m.OpenHandleCount(), 0u);
        return status;
    }

    size_t VolumeOpens() const
    {
        size_t n = 0;
        for (const sim::CallRecord& c : m.Calls()) {
            n += c.kind == sim::CallKind::Open ? 1 : 0;
        }
        return n;
    }

    sim::MachineDescription description;
    sim::SimMachine m;
    ScopedOsApi scope;
    ObjectRef object;
    LONG result = kJunk;
    LONG disk = kJunk;
    PartitionExtent extents[HDD_MAX_EXTENTS];
};

TEST_F(SelectorParse, ResolvesAPartitionThroughItsVolume)
{
    EXPECT_EQ(Parse(L"0-2"), HDD_STATUS_OK);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(disk, 0);
    EXPECT_EQ(ObjectState::ItemCount(*object), 1);
    EXPECT_EQ(extents[0].nPartition, 2);
    EXPECT_EQ(extents[0].ullStartingOffset, 206848 * kSector);
    EXPECT_EQ(extents[0].ullLength, 40960 * kSector);
    // The volume is opened for reading, shared, with flags and attributes 0,
    // asked for its extents (512 bytes), then for its partition (144 bytes).
    const std::vector<sim::CallRecord>& calls = m.Calls();
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls[0].kind, sim::CallKind::Open);
    EXPECT_EQ(calls[0].path, L"\\\\.\\D:");
    EXPECT_EQ(calls[0].access, GENERIC_READ);
    EXPECT_EQ(calls[0].share, FILE_SHARE_READ | FILE_SHARE_WRITE);
    EXPECT_EQ(calls[0].disposition, static_cast<DWORD>(OPEN_EXISTING));
    EXPECT_EQ(calls[0].flags, 0u);
    EXPECT_EQ(calls[1].code, IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS);
    EXPECT_EQ(calls[1].inSize, 0u);
    EXPECT_EQ(calls[1].outSize, 512u);
    EXPECT_EQ(calls[2].code, IOCTL_DISK_GET_PARTITION_INFO_EX);
    EXPECT_EQ(calls[2].outSize, 144u);
    EXPECT_EQ(calls[3].kind, sim::CallKind::Close);
}

TEST_F(SelectorParse, PartitionOneRunsFromTheFirstByteOfTheDisk)
{
    EXPECT_EQ(Parse(L"0-1"), HDD_STATUS_OK);
    EXPECT_EQ(extents[0].ullStartingOffset, 0u);
    EXPECT_EQ(extents[0].ullLength, 105906176u);  // 1 MiB in front + 100 MiB
}

TEST_F(SelectorParse, OutcomesOfWholeSelectors)
{
    struct Row {
        const wchar_t* text;
        HRESULT status;
        LONG result;
        LONG disk;
        LONG itemCount;
        std::vector<LONG> partitions;  // of the slots in use
    };
    const Row rows[] = {
        {L" 0-1 , 0-2 ,,", HDD_STATUS_OK, 0, 0, 2, {1, 2}},
        {L"0-1, ,0-2", HDD_STATUS_FAILED, HDD_PARTITION_NOT_TESTABLE, 0, 3, {1, -1, 2}},
        {L"0-1,1-2", HDD_STATUS_OK, 0, 1, 2, {1, 2}},  // both looked up on disk 1
        {L"1-2,0-3", HDD_STATUS_FAILED, HDD_PARTITION_NOT_TESTABLE, 0, 2, {2, 3}},  // disk 0 has no partition 3
        {L"", HDD_STATUS_OK, 0, -1, 0, {}},
        {L",,,", HDD_STATUS_OK, 0, -1, 0, {}},
        {L"abc", HDD_STATUS_FAILED, HDD_PARTITION_NOT_TESTABLE, -1, 1, {-1}},
        {L"0 -1", HDD_STATUS_FAILED, HDD_PARTITION_NOT_TESTABLE, 0, 1, {-1}},
        {L"0-9", HDD_STATUS_FAILED, HDD_PARTITION_NOT_TESTABLE, 0, 1, {9}},
        {L"1-2,abc", HDD_STATUS_FAILED, HDD_PARTITION_NOT_TESTABLE, 1, 2, {2, -1}},  // keeps the earlier disk
        {L"5000000000-2", HDD_STATUS_FAILED, HDD_PARTITION_NOT_TESTABLE, -1, 1, {-1}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::PrintToString(std::wstring(row.text)));
        for (PartitionExtent& e : extents) {
            e = PartitionExtent{};
        }
        ObjectState::Items(*object).clear();
        EXPECT_EQ(Parse(row.text), row.status);
        EXPECT_EQ(result, row.result);
        EXPECT_EQ(disk, row.disk);
        EXPECT_EQ(ObjectState::ItemCount(*object), row.itemCount);
        EXPECT_EQ(ObjectState::Items(*object).size(), static_cast<size_t>(row.itemCount));
        for (size_t i = 0; i < row.partitions.size(); ++i) {
            EXPECT_EQ(extents[i].nPartition, row.partitions[i]) << "slot " << i;
        }
        for (size_t i = row.partitions.size(); i < HDD_MAX_EXTENTS; ++i) {
            EXPECT_EQ(extents[i].nPartition, -1) << "slot " << i;
        }
    }
}

TEST_F(SelectorParse, MissingArgumentsAreRejected)
{
    LONG lResult = kJunk;
    LONG lDisk = kJunk;
    const Bstr text(L"0-1");
    EXPECT_EQ(object->ParseDriveSelector(nullptr, text, &lDisk, extents), HDD_STATUS_FAILED);
    EXPECT_EQ(lDisk, kJunk);
    EXPECT_EQ(object->ParseDriveSelector(&lResult, nullptr, &lDisk, extents), HDD_STATUS_FAILED);
    EXPECT_EQ(lResult, E_INVALIDARG);
    EXPECT_EQ(lDisk, kJunk);
    lResult = kJunk;
    EXPECT_EQ(object->ParseDriveSelector(&lResult, text, nullptr, extents), HDD_STATUS_FAILED);
    EXPECT_EQ(lResult, E_INVALIDARG);
    EXPECT_TRUE(ObjectState::Items(*object).empty());
    EXPECT_TRUE(m.Calls().empty());
}

TEST_F(SelectorParse, MoreItemsThanSlotsOpenNothing)
{
    std::wstring text;
    for (int i = 0; i < 27; ++i) {
        text += L"0-2,";
    }
    EXPECT_EQ(Parse(text.c_str()), HDD_STATUS_FAILED);
    EXPECT_EQ(result, E_INVALIDARG);
    EXPECT_EQ(ObjectState::ItemCount(*object), 0);
    EXPECT_TRUE(ObjectState::Items(*object).empty());
    for (const PartitionExtent& e : extents) {
        EXPECT_EQ(e.nPartition, -1);
    }
    EXPECT_TRUE(m.Calls().empty());
}

TEST_F(SelectorParse, EmptyVolumeTableResolvesNothing)
{
    ObjectState::Volumes(*object).clear();
    EXPECT_EQ(Parse(L"0-1"), HDD_STATUS_FAILED);
    EXPECT_EQ(result, HDD_PARTITION_NOT_TESTABLE);
    EXPECT_TRUE(m.Calls().empty());
}

TEST_F(SelectorParse, FirstMatchingVolumeRowWins)
{
    // A stale row for D: on disk 1 (the letter lives on disk 0 now) in front
    // of a good one: the first matching row decides, and its volume does not
    // lie on disk 1.
    ObjectState::Volumes(*object).insert(ObjectState::Volumes(*object).begin(), VolumeEntry{1, 2, L'D'});
    EXPECT_EQ(Parse(L"1-2"), HDD_STATUS_FAILED);
    EXPECT_EQ(result, HDD_PARTITION_NOT_TESTABLE);
    EXPECT_EQ(VolumeOpens(), 1u);
}

TEST_F(SelectorParse, EachVolumeFailureIsPartitionNotTestable)
{
    struct Row {
        const char* what;
        sim::Fault fault;
        size_t opens;  // volumes opened before the parse gave up
        bool slot0Resolved;
        bool slot1Resolved;
    };
    const Row rows[] = {
        {"open of the first volume", {sim::FaultOp::Open, L"\\\\.\\C:", 0, -1, 1, 0}, 1, false, false},
        {"extents of the first volume", {sim::FaultOp::Ioctl, L"\\\\.\\C:", IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS, -1, 1, 0},
         1, false, false},
        // A failed partition request does not stop the remaining items.
        {"partition of the first volume", {sim::FaultOp::Ioctl, L"\\\\.\\C:", IOCTL_DISK_GET_PARTITION_INFO_EX, -1, 1, 0},
         2, false, true},
        {"open of the second volume", {sim::FaultOp::Open, L"\\\\.\\D:", 0, -1, 1, 0}, 2, true, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        m.ClearFaults();
        m.AddFault(row.fault);
        m.ClearCalls();
        for (PartitionExtent& e : extents) {
            e = PartitionExtent{};
        }
        ObjectState::Items(*object).clear();
        EXPECT_EQ(Parse(L"0-1,0-2"), HDD_STATUS_FAILED);
        EXPECT_EQ(result, HDD_PARTITION_NOT_TESTABLE);
        EXPECT_EQ(VolumeOpens(), row.opens);
        // A failed slot is left as it was.
        EXPECT_EQ(extents[0].ullLength, row.slot0Resolved ? 105906176u : 0u);
        EXPECT_EQ(extents[1].ullLength, row.slot1Resolved ? 40960 * kSector : 0u);
    }
}

TEST(SelectorVolume, AVolumeAcrossDisksServesEachOfThem)
{
    sim::MachineDescription d = Machine({FixedDisk({}), FixedDisk({})});
    d.volumes.push_back(sim::SimVolume{L'S', 3, {{0, 1048576, 1048576}, {1, 1048576, 2097152}}});
    sim::SimMachine m(d);
    ScopedOsApi scope(m);
    ObjectRef object;
    ObjectState::Volumes(*object).push_back(VolumeEntry{0, 3, L'S'});
    ObjectState::Volumes(*object).push_back(VolumeEntry{1, 3, L'S'});
    ObjectState::Volumes(*object).push_back(VolumeEntry{2, 3, L'S'});
    for (LONG disk : {0, 1}) {
        HANDLE h = object->OpenPartitionVolume(disk, 3);
        ASSERT_NE(h, INVALID_HANDLE_VALUE) << disk;
        EXPECT_EQ(m.OpenHandleCount(), 1u);
        Os().CloseHandle(h);
    }
    EXPECT_EQ(object->OpenPartitionVolume(2, 3), INVALID_HANDLE_VALUE);
    EXPECT_EQ(object->OpenPartitionVolume(0, 4), INVALID_HANDLE_VALUE);
    EXPECT_EQ(m.OpenHandleCount(), 0u);
}

}  // namespace
}  // namespace hdd
