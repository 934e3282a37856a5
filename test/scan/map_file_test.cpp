// The scan's map: the range list against a byte-per-unit model, the map file
// written and read back, the refusals, and the bad-blocks list.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "scan/bad_blocks.h"
#include "scan/map_file.h"
#include "scan/range_map.h"

namespace hdd::testing {
namespace {

using scan::MapIdentity;
using scan::MapRange;
using scan::RangeMap;
using scan::SectorState;

constexpr SectorState kStates[] = {SectorState::Untried, SectorState::NotTrimmed, SectorState::NotScraped,
                                   SectorState::Unreadable, SectorState::Read};

// Random sets of random spans against one state per byte: the ranges must
// be exactly the merged runs of the model.
TEST(RangeMapTest, MatchesAStatePerByteModel)
{
    constexpr ULONGLONG kBytes = 300;
    std::mt19937 random(7);
    for (int round = 0; round < 50; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        RangeMap map(kBytes);
        std::vector<SectorState> model(kBytes, SectorState::Untried);
        for (int step = 0; step < 200; ++step) {
            const ULONGLONG pos = random() % (kBytes + 5);
            const ULONGLONG bytes = random() % (round % 2 == 0 ? 8 : 120);
            const SectorState state = kStates[random() % 5];
            map.Set(pos, bytes, state);
            for (ULONGLONG b = pos; b < pos + bytes && b < kBytes; ++b) {
                model[b] = state;
            }
        }
        std::vector<MapRange> runs;
        for (ULONGLONG b = 0; b < kBytes; ++b) {
            if (!runs.empty() && runs.back().state == model[b]) {
                ++runs.back().size;
            } else {
                runs.push_back(MapRange{b, 1, model[b]});
            }
        }
        ASSERT_EQ(map.Ranges(), runs);
        for (const SectorState state : kStates) {
            ULONGLONG bytes = 0;
            for (ULONGLONG b = 10; b < 250; ++b) {
                bytes += model[b] == state ? 1 : 0;
            }
            ASSERT_EQ(map.BytesIn(state, 10, 250), bytes);
        }
    }
}

MapIdentity Disk()
{
    return MapIdentity{"/dev/sdb", "WDC \"Blue\" 1TB", "WD-123 456", 1048576, 512, 4096, 1040384};
}

RangeMap SampleMap()
{
    RangeMap map(1048576);
    map.Set(0, 4096, SectorState::Untried);
    map.Set(4096, 499712, SectorState::Read);
    map.Set(503808, 512, SectorState::Unreadable);
    map.Set(504320, 8192, SectorState::NotScraped);
    map.Set(512512, 512, SectorState::Unreadable);
    map.Set(513024, 4096, SectorState::NotTrimmed);
    map.SetProgress(scan::ScanPhase::Trim, 513024);
    return map;
}

TEST(MapFileTest, WritesTheMapfileFormatAndReadsItBack)
{
    const RangeMap map = SampleMap();
    const std::string text = scan::WriteMapFile(map, Disk(), {"Command line: hddiag scan 1\nx"});
    EXPECT_NE(text.find("# Command line: hddiag scan 1 x\n"), std::string::npos);
    EXPECT_NE(text.find("\n0x0007D400     *               1\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\n0x00001000  0x0007A000  +\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\n0x0007E400  0x00081C00  ?\n"), std::string::npos) << text;

    RangeMap back;
    MapIdentity found;
    bool hasIdentity = false;
    std::string error;
    ASSERT_TRUE(scan::ParseMapFile(text, back, found, hasIdentity, error)) << error;
    EXPECT_TRUE(hasIdentity);
    EXPECT_EQ(back.Ranges(), map.Ranges());
    EXPECT_EQ(back.Phase(), scan::ScanPhase::Trim);
    EXPECT_EQ(back.Position(), 513024u);
    EXPECT_EQ(found.model, Disk().model);
    EXPECT_EQ(found.serial, Disk().serial);
    EXPECT_EQ(found.rangePos, 4096u);
    EXPECT_EQ(found.rangeBytes, 1040384u);
    RangeMap loaded;
    EXPECT_TRUE(scan::LoadMapForDisk(text, Disk(), loaded, error)) << error;
}

TEST(MapFileTest, RefusesAnotherDisksMapOrAnUnparsableOne)
{
    const std::string good = scan::WriteMapFile(SampleMap(), Disk());
    MapIdentity bigger = Disk();
    bigger.diskBytes += 512;
    MapIdentity sectors = Disk();
    sectors.sectorBytes = 4096;
    MapIdentity serial = Disk();
    serial.serial = "WD-999";
    MapIdentity bare = Disk();
    bare.sectorBytes = 4096;
    const std::string foreign = "# made elsewhere\n0x00000000 + 1\n0x00000000 0x00000200 +\n0x00000200 0x000FFE00 -\n";
    struct Row {
        const char* name;
        std::string text;
        MapIdentity disk;
        const char* why;  // part of the reason
    };
    const Row rows[] = {
        {"another size", good, bigger, "bytes"},
        {"another sector size", good, sectors, "sectors"},
        {"another serial", good, serial, "serial"},
        {"empty", "", Disk(), "status line"},
        {"not a map", "hello world\n", Disk(), "line 1"},
        {"a gap", "0 ? 1\n0x0 0x200 +\n0x400 0xFFC00 +\n", Disk(), "gap"},
        {"an overlap", "0 ? 1\n0x0 0x400 +\n0x200 0xFFE00 +\n", Disk(), "overlaps"},
        {"a bad status", "0 ? 1\n0x0 0x100000 x\n", Disk(), "data line"},
        {"short of the disk", "0 ? 1\n0x0 0x200 +\n", Disk(), "cover"},
        {"another tool's map off whole sectors", foreign, bare, "whole sectors"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        RangeMap map(7);
        std::string why;
        EXPECT_FALSE(scan::LoadMapForDisk(row.text, row.disk, map, why));
        EXPECT_NE(why.find(row.why), std::string::npos) << why;
        EXPECT_EQ(map.DiskBytes(), 7u) << "the map was changed";
    }
    RangeMap map;
    std::string why;
    EXPECT_TRUE(scan::LoadMapForDisk(foreign, Disk(), map, why)) << "same size, no disk comment: " << why;
}

TEST(BadBlocksTest, ListsEveryUnitHoldingAnUnreadableSector)
{
    RangeMap map(1 << 20);
    map.Set(0, 512, SectorState::Unreadable);
    map.Set(8192, 1024, SectorState::Unreadable);         // sectors 16-17
    map.Set(8192 + 1536, 512, SectorState::Unreadable);   // sector 19: same 4 KiB unit
    map.Set(65536, 512, SectorState::NotScraped);          // untried: not listed
    map.Set((1 << 20) - 512, 512, SectorState::Unreadable);
    struct Row {
        ULONGLONG targetPos;
        ULONGLONG targetBytes;
        DWORD unit;
        const char* expected;
    };
    const Row rows[] = {
        {0, 1 << 20, 512, "0\n16\n17\n19\n2047\n"},
        {0, 1 << 20, 4096, "0\n2\n255\n"},
        {4096, (1 << 20) - 8192, 4096, "1\n"},
        {8192 + 512, 4096, 1024, "0\n1\n"},
        {0, 1 << 20, 0, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(row.targetPos) + "+" + std::to_string(row.targetBytes) + " in " +
                     std::to_string(row.unit));
        EXPECT_EQ(scan::BadBlocksText(map, row.targetPos, row.targetBytes, row.unit), row.expected);
    }
}

}  // namespace
}  // namespace hdd::testing
