// Where each test reads, on drives of 512- and 4096-byte sectors whose
// partitions do not start at sector 0: the linear, funnel and surface tests
// read only inside the selected partitions, the random test anywhere on the
// disk, and every read takes one whole sector P at byte P x the sector size.
// A bad area that lies only inside a selected partition is found.
#include <gtest/gtest.h>

#include <cwchar>
#include <string>
#include <vector>

#include "test/support/disk_test_support.h"

namespace hdd {
namespace {

using namespace hdd::testing;

// In 512-byte units, all multiples of 8 so that 4096-byte sectors fit:
// partitions 1 (C:), 2 (D:) and 3 (E:), and a bad area inside D: only that
// spans two steps of 8192 sectors even on 4096-byte sectors.
constexpr ULONGLONG kBadFirst = 800000;
constexpr ULONGLONG kBadUnits = 2 * 8192 * 8;

sim::SimDisk Disk(DWORD bytesPerSector, bool withBadArea)
{
    sim::SimDisk disk =
        FixedDisk({{1, 2048, 400000, L'C'}, {2, 500000, 600000, L'D'}, {3, 1200000, 300000, L'E'}}, 63, bytesPerSector);
    if (withBadArea) {
        disk.unreadable.push_back({kBadFirst, kBadFirst + kBadUnits - 1});
    }
    return disk;
}

// Byte ranges [first, end) of the selected extents. Partition 1's extent
// takes in the sectors in front of it, from byte 0.
struct ByteRange {
    ULONGLONG first;
    ULONGLONG end;
};

std::vector<ByteRange> Selected(const sim::SimDisk& disk, const std::vector<DWORD>& partitions)
{
    std::vector<ByteRange> out;
    for (DWORD number : partitions) {
        for (const sim::SimPartition& p : disk.partitions) {
            if (p.number == number) {
                out.push_back({number == 1 ? 0 : p.offset, p.offset + p.length});
            }
        }
    }
    return out;
}

struct Reads {
    Outcome outcome;
    size_t count = 0;
};

// Runs one test and checks every read against where it may lie.
Reads RunAndCheck(const sim::SimDisk& disk, const NamedTest& test, const wchar_t* selector,
                  const std::vector<ByteRange>& allowed)
{
    const sim::MachineDescription d = Machine({disk});
    sim::SimMachine m(d);
    ScopedOsApi scope(m);
    ObjectRef object;
    FillVolumeTable(*object, d);
    Reads reads{RunTest(*object, test.method, selector)};
    const ULONGLONG bytes = disk.bytesPerSector;
    ULONGLONG seekOffset = 0;
    for (const sim::CallRecord& call : m.Calls()) {
        if (call.kind == sim::CallKind::Seek) {
            seekOffset = call.offset;
            continue;
        }
        if (call.kind != sim::CallKind::Read || call.disk != 0) {
            continue;
        }
        ++reads.count;
        SCOPED_TRACE("sector " + std::to_string(call.sector));
        EXPECT_EQ(seekOffset, call.sector * bytes);
        EXPECT_EQ(call.bytes, bytes);
        bool inside = false;
        for (const ByteRange& r : allowed) {
            inside = inside || (seekOffset >= r.first && seekOffset + bytes <= r.end);
        }
        EXPECT_TRUE(inside);
        if (!inside) {
            break;  // one message is enough
        }
    }
    ExpectTestEnded(*object, m);
    return reads;
}

TEST(ReadPositions, EachTestReadsWhereItShouldInTheDrivesOwnSectors)
{
    struct Selection {
        const wchar_t* text;
        std::vector<DWORD> partitions;
    };
    // Several items, also out of disk order: each later extent starts at its
    // own offset, not at the previous extent's length.
    const Selection selections[] = {{L"0-2", {2}}, {L"0-3,0-2", {3, 2}}, {L"0-1,0-3", {1, 3}}};
    for (DWORD bytesPerSector : {512u, 4096u}) {
        const sim::SimDisk disk = Disk(bytesPerSector, false);
        const std::vector<ByteRange> wholeDisk{{0, disk.size}};
        for (const Selection& selection : selections) {
            for (const NamedTest& test : kAllTests) {
                SCOPED_TRACE(std::to_string(bytesPerSector) + " bytes, " + test.name + " on " +
                             std::string(selection.text, selection.text + std::wcslen(selection.text)));
                const std::vector<ByteRange> allowed =
                    test.method == kRandom.method ? wholeDisk : Selected(disk, selection.partitions);
                const Reads reads = RunAndCheck(disk, test, selection.text, allowed);
                EXPECT_EQ(reads.outcome.status, HDD_STATUS_OK);
                EXPECT_EQ(reads.outcome.ret, 0);
                EXPECT_GT(reads.count, 0u);
            }
        }
    }
}

TEST(ReadPositions, ABadAreaInsideThePartitionIsFound)
{
    for (DWORD bytesPerSector : {512u, 4096u}) {
        const sim::SimDisk disk = Disk(bytesPerSector, true);
        for (const NamedTest& test : {kLinear, kFunnel, kSurface}) {
            SCOPED_TRACE(std::to_string(bytesPerSector) + " bytes, " + test.name);
            const Reads reads = RunAndCheck(disk, test, L"0-2", Selected(disk, {2}));
            EXPECT_EQ(reads.outcome.status, HDD_STATUS_FAILED);
            EXPECT_EQ(reads.outcome.ret, HDD_TEST_READ_ERROR);
        }
    }
}

}  // namespace
}  // namespace hdd
