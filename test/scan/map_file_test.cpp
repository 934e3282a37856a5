// The scan's map: the range list against a byte-per-unit model, the map file
// written and read back, the refusals, and the bad-blocks list.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
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

// Numbers in C syntax, as the other tool reads them (strtoull, base 0):
// decimal, 0x hexadecimal, a leading 0 octal. Each accepted form is the
// status line's position and the size of the one block.
struct NumberRow {
    const char* word;
    ULONGLONG value;
};
constexpr ULONGLONG kMax = ~0ull;
const NumberRow kAcceptedNumbers[] = {
    {"0", 0},
    {"00", 0},
    {"7", 7},
    {"512", 512},
    {"8422686720", 8422686720ull},
    {"18446744073709551615", kMax},
    {"0x200", 512},
    {"0X1F", 31},
    {"0xabcDEF", 0xABCDEF},
    {"0x00000000", 0},
    {"0x0000000000000000000001", 1},
    {"0x1ECE02000", 0x1ECE02000ull},
    {"0xFFFFFFFFFFFFFFFF", kMax},
    {"0100", 64},
    {"0777", 511},
    {"0000000000000000000000000010", 8},
    {"01777777777777777777777", kMax},
};

// "WORD ? 1" and one block of WORD bytes (or, for 0, one at WORD).
std::string MapWithNumber(const std::string& word, ULONGLONG value)
{
    return "# number " + word + "\n" + word + " ? 1\n" + (value == 0 ? word + " 0x10 +\n" : "0 " + word + " +\n");
}

TEST(MapFileTest, ReadsNumbersInCSyntax)
{
    for (const NumberRow& row : kAcceptedNumbers) {
        SCOPED_TRACE(row.word);
        RangeMap map;
        MapIdentity found;
        bool hasIdentity = true;
        std::string error;
        ASSERT_TRUE(scan::ParseMapFile(MapWithNumber(row.word, row.value), map, found, hasIdentity, error)) << error;
        EXPECT_FALSE(hasIdentity);
        EXPECT_EQ(map.Position(), row.value);
        const std::vector<MapRange> expected{row.value == 0 ? MapRange{0, 16, SectorState::Read}
                                                            : MapRange{0, row.value, SectorState::Read}};
        EXPECT_EQ(map.Ranges(), expected);
    }
}

TEST(MapFileTest, RefusesWhatIsNotANumber)
{
    const char* const words[] = {
        "08",                       // 8 or 9 after a leading 0: not octal
        "09",
        "0128",
        "0x",                       // no hexadecimal digit
        "0X",
        "0xg",
        "0x1g",
        "-1",                       // signs
        "+1",
        "-0",
        "1a",                       // trailing junk
        "12z",
        "0b101",
        "1e3",
        "1,000",
        "\xEF\xBC\x91",             // a full-width 1
        "1\v0",                     // a blank that is not a separator
        "18446744073709551616",     // 2^64
        "0x10000000000000000",
        "02000000000000000000000",
        "99999999999999999999999",
    };
    for (const char* word : words) {
        SCOPED_TRACE(word);
        const std::string w = word;
        struct Case {
            std::string text;
            const char* error;
        };
        const Case cases[] = {
            {"# a map\n" + w + " ? 1\n0 0x10 +\n", "line 2: not a status line (position, status, pass)"},
            {"# a map\n0 ? 1\n0 " + w + " +\n", "line 3: not a data line (position, size, status ?*/-+)"},
            {"# a map\n0 ? 1\n\n" + w + " 0x10 +\n", "line 4: not a data line (position, size, status ?*/-+)"},
        };
        for (const Case& c : cases) {
            RangeMap map(7);
            MapIdentity found;
            bool hasIdentity = false;
            std::string error;
            EXPECT_FALSE(scan::ParseMapFile(c.text, map, found, hasIdentity, error)) << c.text;
            EXPECT_EQ(error, c.error) << c.text;
            EXPECT_EQ(map.DiskBytes(), 7u) << "the map was changed";
        }
    }
    // Blanks inside a number, and a number missing.
    const struct {
        const char* text;
        const char* error;
    } lines[] = {
        {"0 ? 1\n0 0x 10 +\n", "line 2: not a data line (position, size, status ?*/-+)"},
        {"0 ? 1\n0 1 0 +\n", "line 2: not a data line (position, size, status ?*/-+)"},
        {"0 ? 1\n0 +\n", "line 2: not a data line (position, size, status ?*/-+)"},
        {"0 ? 1\n+\n", "line 2: not a data line (position, size, status ?*/-+)"},
        {"? 1\n0 0x10 +\n", "line 1: not a status line (position, status, pass)"},
        {"0 ? -1\n0 0x10 +\n", "line 1: not a status line (position, status, pass)"},
        {"0 ? 0x\n0 0x10 +\n", "line 1: not a status line (position, status, pass)"},
    };
    for (const auto& row : lines) {
        SCOPED_TRACE(row.text);
        RangeMap map;
        MapIdentity found;
        bool hasIdentity = false;
        std::string error;
        EXPECT_FALSE(scan::ParseMapFile(row.text, map, found, hasIdentity, error));
        EXPECT_EQ(error, row.error);
    }
}

// The pass takes the same syntax; the clamp to 1..3 is unchanged.
TEST(MapFileTest, ReadsThePassInCSyntax)
{
    const struct {
        const char* pass;
        DWORD expected;
    } rows[] = {{"1", 1}, {"2", 2}, {"02", 2}, {"0x2", 2}, {"3", 3}, {"5", 3}, {"07", 3}, {"010", 3}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.pass);
        RangeMap map;
        MapIdentity found;
        bool hasIdentity = false;
        std::string error;
        ASSERT_TRUE(scan::ParseMapFile(std::string("0x200 ? ") + row.pass + "\n0 0x1000 +\n", map, found, hasIdentity,
                                       error))
            << error;
        EXPECT_EQ(map.Pass(), row.expected);
    }
}

// The disk comment is ours, written in decimal, and never read by the other
// tool: a leading zero there is refused rather than taken for octal.
TEST(MapFileTest, TheDiskCommentKeepsDecimalOrHexadecimal)
{
    const std::string body = "\n0 ? 1\n0 0x100000 +\n";
    const struct {
        const char* comment;
        ULONGLONG size;       // 0: refused
        const char* error;
    } rows[] = {
        {"size=1048576 sector_size=512", 1048576, ""},
        {"size=0x100000 sector_size=0x200", 1048576, ""},
        {"size=\"1048576\" sector_size=512 range_pos=0 range_size=0", 1048576, ""},
        {"size=04000000 sector_size=512", 0, "line 1: the disk comment's size is not a number: 04000000"},
        {"size=1048576 sector_size=01000", 0, "line 1: the disk comment's sector_size is not a number: 01000"},
        {"size=1048576 sector_size=512 range_pos=00", 0, "line 1: the disk comment's range_pos is not a number: 00"},
        {"size=-1 sector_size=512", 0, "line 1: the disk comment's size is not a number: -1"},
        {"size=0x sector_size=512", 0, "line 1: the disk comment's size is not a number: 0x"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.comment);
        RangeMap map;
        MapIdentity found;
        bool hasIdentity = false;
        std::string error;
        const bool parsed =
            scan::ParseMapFile(std::string("# Disk: ") + row.comment + body, map, found, hasIdentity, error);
        EXPECT_EQ(parsed, row.size != 0) << error;
        EXPECT_EQ(error, row.error);
        if (parsed) {
            EXPECT_TRUE(hasIdentity);
            EXPECT_EQ(found.diskBytes, row.size);
            EXPECT_EQ(found.sectorBytes, 512u);
        }
    }
}

// Where GNU ddrescuelog is installed: it reads each accepted form as we do.
// It rewrites the map in hexadecimal (changing no block type), and we read
// that the same. Skipped without it (package gddrescue), and on Windows.
TEST(MapFileTest, ReadsNumbersAsDdrescuelogDoes)
{
#ifdef _WIN32
    GTEST_SKIP() << "POSIX only";
#else
    if (std::system("command -v ddrescuelog >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "ddrescuelog is not installed (package gddrescue)";
    }
    const std::string path = ::testing::TempDir() + "map_file_test_numbers.map";
    for (const NumberRow& row : kAcceptedNumbers) {
        if (row.value > static_cast<ULONGLONG>(~0ull >> 1)) {
            continue;  // past its largest position (it reads signed 64-bit numbers)
        }
        SCOPED_TRACE(row.word);
        const std::string text = MapWithNumber(row.word, row.value);
        std::ofstream(path, std::ios::binary) << text;
        std::string rewritten;
        FILE* out = popen(("ddrescuelog -a '?,?' '" + path + "' 2>&1").c_str(), "r");
        ASSERT_NE(out, nullptr);
        char buffer[512];
        for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, out)) > 0;) {
            rewritten.append(buffer, n);
        }
        ASSERT_EQ(pclose(out), 0) << rewritten;
        RangeMap ours;
        RangeMap theirs;
        MapIdentity found;
        bool hasIdentity = false;
        std::string error;
        ASSERT_TRUE(scan::ParseMapFile(text, ours, found, hasIdentity, error)) << error;
        ASSERT_TRUE(scan::ParseMapFile(rewritten, theirs, found, hasIdentity, error)) << error << "\n" << rewritten;
        EXPECT_EQ(ours.Ranges(), theirs.Ranges()) << rewritten;
        EXPECT_EQ(ours.Position(), theirs.Position()) << rewritten;
    }
    std::remove(path.c_str());
#endif
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
