// hddiag scan run in-process on simulated machines and image files: the
// unreadable list against what was planted, the bad-blocks list, the map
// files and resuming from them, several disks at once, and every refusal.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

#include "scan/map_file.h"
#include "test/hddiag/run_hddiag.h"
#include "tools/hddiag/app.h"
#include "tools/hddiag/latency/read_map.h"

namespace hddiag::testing {
namespace {

namespace fs = std::filesystem;

// Disk 0: 128,520 sectors of 512 bytes, partition 1 at sector 2048 (8,192
// sectors), partition 2 at sector 10240 (10,000 sectors); disk 1: a USB
// stick with 4096-byte sectors.
std::string Machine(const std::string& unreadable, const std::string& latency = "\"instant\"")
{
    return R"({ "disks": [
      { "bus": "sata", "media": "fixed", "model": "M0", "serial": "S 0/a",
        "geometry": { "cylinders": 8, "tracks_per_cylinder": 255, "sectors_per_track": 63, "bytes_per_sector": 512 },
        "partitions": [ { "number": 1, "offset": 1048576, "length": 4194304, "letter": "C" },
                        { "number": 2, "offset": 5242880, "length": 5120000, "letter": "D" } ],
        "unreadable": )" +
           unreadable + R"(, "latency": )" + latency + R"( },
      { "bus": "usb", "media": "removable",
        "geometry": { "cylinders": 2, "tracks_per_cylinder": 255, "sectors_per_track": 8, "bytes_per_sector": 4096 },
        "partitions": [], "unreadable": ["100-101"] } ] })";
}

class Folder {
public:
    Folder()
    {
        static int counter = 0;
        m_path = fs::temp_directory_path() / ("hddiag_scan_" + std::to_string(++counter));
        fs::remove_all(m_path);
        fs::create_directory(m_path);
    }
    ~Folder()
    {
        std::error_code ignored;
        fs::remove_all(m_path, ignored);
    }
    std::string File(const std::string& name) const { return (m_path / name).string(); }
    std::string Write(const std::string& name, const std::string& text) const
    {
        std::ofstream(File(name), std::ios::binary) << text;
        return File(name);
    }

private:
    fs::path m_path;
};

std::string Read(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// [[first, sectors], ...] of the JSON's unreadable areas.
std::vector<std::pair<ULONGLONG, ULONGLONG>> Areas(const nlohmann::json& scan)
{
    std::vector<std::pair<ULONGLONG, ULONGLONG>> areas;
    for (const nlohmann::json& a : scan["unreadable_areas"]) {
        areas.emplace_back(a["first_sector"].get<ULONGLONG>(), a["sectors"].get<ULONGLONG>());
    }
    return areas;
}

TEST(Scan, FindsEveryPlantedSectorAndListsItInTheTargetsUnits)
{
    using Areas_ = std::vector<std::pair<ULONGLONG, ULONGLONG>>;
    struct Case {
        const char* what;
        std::string unreadable;
        std::vector<std::string> args;  // after "scan"
        int code;
        Areas_ areas;              // disk sectors
        const char* badBlocks;     // units from the target's start
    };
    const Case cases[] = {
        {"the first sector, one across a block boundary, two close together, the last",
         R"([0, "2047-2048", "5000-5001", 5010, 128519])", {"0", "--block-size", "1M"}, 1,
         Areas_{{0, 1}, {2047, 2}, {5000, 2}, {5010, 1}, {128519, 1}}, "0\n2047\n2048\n5000\n5001\n5010\n128519\n"},
        {"a partition counts from its own start; what lies outside is not read",
         R"([100, 10240, "12000-12003", 20240])", {"0-2"}, 1, Areas_{{10240, 1}, {12000, 4}}, "0\n1760\n1761\n1762\n1763\n"},
        {"units of 4096 bytes: a unit is listed when any sector in it is unreadable",
         R"([12001, "12008-12009"])", {"0-2", "--bad-block-size", "4096"}, 1, Areas_{{12001, 1}, {12008, 2}}, "220\n221\n"},
        {"small blocks and no scrape: still every unreadable edge sector is found by the trim",
         R"(["30000-30001"])", {"0", "--block-size", "4096", "--no-scrape"}, 1, Areas_{{30000, 2}}, "30000\n30001\n"},
        {"a clean disk", "[]", {"0"}, 0, Areas_{}, ""},
        {"4096-byte sectors: the machine plants 512-byte sectors 100-101, which lie in sector 12", "[]", {"1"}, 1,
         Areas_{{12, 1}}, "12\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Folder folder;
        const std::string machine = folder.Write("machine.json", Machine(c.unreadable));
        std::vector<std::string> args = {"--machine", machine, "--json", "scan", "--map", folder.File("disk.map"),
                                         "--bad-blocks", folder.File("bad.txt")};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const RunOutput run = Hddiag(args);
        ASSERT_EQ(run.code, c.code) << run.err << run.out;
        const nlohmann::json doc = nlohmann::json::parse(run.out);
        ASSERT_EQ(doc["scans"].size(), 1u);
        const nlohmann::json& scan = doc["scans"][0];
        EXPECT_EQ(Areas(scan), c.areas);
        EXPECT_EQ(Read(folder.File("bad.txt")), c.badBlocks);
        ULONGLONG unreadable = 0;
        for (const auto& a : c.areas) {
            unreadable += a.second;
        }
        EXPECT_EQ(scan["sectors_unreadable"], unreadable);
        EXPECT_EQ(scan["sectors_read"].get<ULONGLONG>() + unreadable, scan["sectors"].get<ULONGLONG>());
        EXPECT_EQ(scan["complete"], true);

        // The map covers the disk; outside the target nothing is known.
        hdd::scan::RangeMap map;
        hdd::scan::MapIdentity identity;
        bool hasIdentity = false;
        std::string error;
        ASSERT_TRUE(hdd::scan::ParseMapFile(Read(folder.File("disk.map")), map, identity, hasIdentity, error)) << error;
        EXPECT_TRUE(hasIdentity);
        const ULONGLONG sector = scan["sector_size"];
        const ULONGLONG first = scan["first_sector"].get<ULONGLONG>() * sector;
        const ULONGLONG end = first + scan["sectors"].get<ULONGLONG>() * sector;
        EXPECT_EQ(map.BytesIn(hdd::scan::SectorState::Untried, 0, map.DiskBytes()), map.DiskBytes() - (end - first));
        EXPECT_EQ(map.BytesIn(hdd::scan::SectorState::Unreadable, first, end), unreadable * sector);
    }
}

TEST(Scan, ResumesFromItsMapAndRefusesAnotherDisksMap)
{
    const Folder folder;
    const std::string machine = folder.Write("machine.json", Machine(R"(["40000-40002"])"));
    const std::string map = folder.File("disk0.map");
    const RunOutput first = Hddiag({"--machine", machine, "--json", "scan", "0", "--map", map});
    ASSERT_EQ(first.code, 1) << first.err;

    // Everything is settled: the second run reads nothing and says the same.
    const RunOutput again = Hddiag({"--machine", machine, "--json", "scan", "0", "--map", map});
    ASSERT_EQ(again.code, 1) << again.err;
    const nlohmann::json a = nlohmann::json::parse(first.out)["scans"][0];
    const nlohmann::json b = nlohmann::json::parse(again.out)["scans"][0];
    EXPECT_EQ(Areas(a), Areas(b));
    EXPECT_EQ(b["reads"], 0);
    EXPECT_EQ(b["sectors_read"], a["sectors_read"]);
    const std::string saved = Read(map);

    struct Case {
        const char* what;
        std::vector<std::string> args;
        const char* message;
    };
    const Case refusals[] = {
        {"another disk's map", {"1", "--map", map}, "cannot be used for"},
        {"a map that is not one", {"0", "--map", folder.Write("junk.map", "hello\n")}, "cannot be used for"},
        {"the machine file it reads", {"0", "--map", machine}, "which this run reads"},
        {"a folder for one file of several disks", {"0", "1", "--map", folder.Write("plain", "x")}, "not a folder"},
    };
    for (const Case& c : refusals) {
        SCOPED_TRACE(c.what);
        std::vector<std::string> args = {"--machine", machine, "scan"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const RunOutput run = Hddiag(args);
        EXPECT_EQ(run.code, 2);
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    }
    EXPECT_EQ(Read(map), saved);  // a refused run leaves the map alone
}

// Reads that take real time, and a stop as soon as the first map is saved:
// exit 130 with the map saved; the next run goes on and ends as one
// uninterrupted scan would, reading nothing twice.
TEST(Scan, StopSavesTheMapAndTheNextRunFinishesIt)
{
    const Folder folder;
    const std::string machine = folder.Write("machine.json", Machine(R"([100, "90000-90001"])", "2"));
    const std::string map = folder.File("disk.map");
    std::atomic<bool> stop{false};
    std::atomic<bool> done{false};
    std::thread watcher([&] {
        while (!done.load() && !fs::exists(map)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        stop.store(true);
    });
    const RunOutput stopped = Hddiag({"--machine", machine, "--pace", "--json", "scan", "0", "--map", map,
                                      "--block-size", "256K", "--save-interval", "0.05"},
                                     &stop);
    done.store(true);
    watcher.join();
    ASSERT_EQ(stopped.code, 130) << stopped.err << stopped.out;
    const nlohmann::json s = nlohmann::json::parse(stopped.out)["scans"][0];
    EXPECT_EQ(s["end"], "stopped");
    EXPECT_GT(s["sectors_untried"].get<ULONGLONG>(), 0u);

    const RunOutput rest = Hddiag({"--machine", machine, "--json", "scan", "0", "--map", map});
    ASSERT_EQ(rest.code, 1) << rest.err;
    const nlohmann::json r = nlohmann::json::parse(rest.out)["scans"][0];
    EXPECT_EQ(Areas(r), (std::vector<std::pair<ULONGLONG, ULONGLONG>>{{100, 1}, {90000, 2}}));
    // The map saved at the stop was current: no sector was read well twice.
    EXPECT_EQ(s["bytes_read_this_run"].get<ULONGLONG>() + r["bytes_read_this_run"].get<ULONGLONG>(),
              (128520u - 3u) * 512u);
}

TEST(Scan, SeveralDisksAtOnceEachWithItsMap)
{
    const Folder folder;
    const std::string machine = folder.Write("machine.json", Machine("[3000]"));
    const std::string maps = folder.File("maps");
    const std::string metrics = folder.File("scan.prom");
    const std::string report = folder.File("scan.html");
    const RunOutput run = Hddiag({"--machine", machine, "--metrics", metrics, "--report", report, "scan", "1", "0-1",
                                  "0-2", "--map", maps});
    ASSERT_EQ(run.code, 1) << run.err;
    EXPECT_TRUE(fs::exists(maps + "/PhysicalDrive0_S_0_a.map"));
    EXPECT_TRUE(fs::exists(maps + "/PhysicalDrive1.map"));
    EXPECT_NE(run.out.find("Scan of disk 0 (PhysicalDrive0, serial S 0/a) 0-1: 1 unreadable sector\n"),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("Scan of disk 0 (PhysicalDrive0, serial S 0/a) 0-2: every sector read\n"),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("Scan of disk 1 (PhysicalDrive1) 1: 1 unreadable sector\n"), std::string::npos) << run.out;

    // The metrics file holds the scan's series only, one per target.
    const std::string text = Read(metrics);
    EXPECT_EQ(text.find("hddiag_run_"), std::string::npos);
    EXPECT_EQ(text.find("hddiag_disk_info"), std::string::npos);
    EXPECT_NE(text.find("hddiag_scan_unreadable_sectors{disk=\"0\",device=\"PhysicalDrive0\",serial=\"S 0/a\","
                        "partition=\"1\"} 1\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("hddiag_scan_complete{disk=\"1\",device=\"PhysicalDrive1\",serial=\"\",partition=\"\"} 1\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(text.substr(text.size() - 6), "# EOF\n");
    EXPECT_NE(Read(report).find("<pre class=\"map\">"), std::string::npos);
}

TEST(Scan, UsageErrorsExitWith2BeforeAnythingIsRead)
{
    const Folder folder;
    const std::string machine = folder.Write("machine.json", Machine("[]"));
    struct Case {
        std::vector<std::string> args;
        const char* message;
    };
    const Case cases[] = {
        {{"scan"}, "scan needs at least one target"},
        {{"scan", "x"}, "'x' is not a target"},
        {{"scan", "0-"}, "'0-' is not a target"},
        {{"scan", "7"}, "there is no disk 7"},
        {{"scan", "0-9"}, "has no partition 9"},
        {{"scan", "1", "--block-size", "6K"}, "not a whole number of disk 1's sectors of 4096 bytes"},
        {{"scan", "0", "--block-size", "0"}, "--block-size needs a number of bytes"},
        {{"scan", "0", "--block-size", "65M"}, "--block-size needs a number of bytes"},
        {{"scan", "1", "--bad-block-size", "1024"}, "--bad-block-size 1024 is not a whole number"},
        {{"scan", "0", "1", "--bad-blocks", folder.File("b")}, "--bad-blocks takes one target"},
        {{"scan", "0", "--bad-blocks", folder.File("same"), "--metrics", folder.File("same")}, "same file"},
        {{"scan", "0", "--map", folder.File("m"), "--report", folder.File("m")}, "same file"},
        {{"scan", "0", "--slow", "0"}, "--slow needs"},
        {{"scan", "0", "--save-interval", "0"}, "--save-interval needs"},
        {{"--trace", "scan", "0"}, "scan reads the disks itself"},
    };
    for (const Case& c : cases) {
        std::string joined;
        for (const std::string& a : c.args) {
            joined += a + " ";
        }
        SCOPED_TRACE(joined);
        std::vector<std::string> args = {"--machine", machine};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const RunOutput run = Hddiag(args);
        EXPECT_EQ(run.code, 2);
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        EXPECT_TRUE(run.out.empty()) << run.out;
    }
    EXPECT_FALSE(fs::exists(folder.File("m")));
    EXPECT_FALSE(fs::exists(folder.File("same")));
}

// An image file through the real reading path (the Linux machine, or
// hddiag.exe's image seam): a protective MBR whose GPT is missing cannot be
// read as a partition table, and the whole disk is scanned all the same.
TEST(Scan, ImageWithUnreadableTableIsScannedWhole)
{
    const Folder folder;
    std::string image(3u << 20, '\0');
    image[446 + 4] = static_cast<char>(0xEE);  // a protective MBR entry
    image[446 + 8] = 1;
    image[446 + 12] = static_cast<char>(0xFF);
    image[446 + 13] = static_cast<char>(0xFF);
    image[510] = 0x55;
    image[511] = static_cast<char>(0xAA);
    const std::string path = folder.Write("disk.img", image);
    const RunOutput run = Hddiag({"--disk", path, "--json", "scan", "0", "--map", folder.File("disk.map")});
    ASSERT_EQ(run.code, 0) << run.err;
    const nlohmann::json scan = nlohmann::json::parse(run.out)["scans"][0];
    EXPECT_EQ(scan["sectors"], 6144);
    EXPECT_EQ(scan["sectors_read"], 6144);
    EXPECT_NE(Read(folder.File("disk.map")).find("0x00000000  0x00300000  +"), std::string::npos);
}

// The report's map rows and legend as plain text: tags dropped, entities read.
std::vector<std::string> ReportMapLines(const std::string& page)
{
    const size_t start = page.find("<pre class=\"map\">");
    const size_t end = page.find("</pre>", start);
    std::string text;
    bool inTag = false;
    for (size_t i = page.find('>', start) + 1; i < end; ++i) {
        if (page[i] == '<' || page[i] == '>') {
            inTag = page[i] == '<';
        } else if (!inTag) {
            text += page[i];
        }
    }
    for (const auto& [entity, c] : {std::pair<std::string, std::string>{"&lt;", "<"}, {"&gt;", ">"}, {"&amp;", "&"}}) {
        for (size_t at = text.find(entity); at != std::string::npos; at = text.find(entity, at + 1)) {
            text.replace(at, entity.size(), c);
        }
    }
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

// A scan's map draws what the map file holds: a sector's cell is X exactly
// when the map holds it unreadable, unsettled when a failed block's sectors
// wait for their one-sector reads, and a read class (read earlier, on a
// resumed map) otherwise; the legend names the lowest unreadable sector. One
// cell a sector: a partition of 1000 sectors at sector 2048 on a 100-column map.
TEST(Scan, MapCellsAreTheMapFilesStates)
{
    const Folder folder;
    struct Case {
        const char* name;
        const char* unreadable;
        std::vector<std::string> options;  // --block-size first
        bool resume;  // a second run on the first one's map
        ULONGLONG firstUnreadable;
    };
    const Case cases[] = {
        {"eight bad sectors inside one block", R"(["2500-2507"])", {"--block-size", "64k"}, false, 2500},
        {"a run across two blocks and a lone sector", R"(["2555-2562", 2900])", {"--block-size", "64k"}, false, 2555},
        {"no scrape: the inside untried", R"(["2500-2507"])", {"--block-size", "64k", "--no-scrape"}, false, 2500},
        {"one read a partition: the whole failed block settled", R"(["2050-2051"])", {"--block-size", "1M"},
         false, 2050},
        {"resumed from a finished map: nothing read, every cell drawn", R"(["2500-2507"])", {"--block-size", "64k"}, true, 2500},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string machine = folder.Write("cells.json", R"({ "disks": [
          { "bus": "sata", "media": "fixed",
            "geometry": { "cylinders": 1, "tracks_per_cylinder": 255, "sectors_per_track": 63, "bytes_per_sector": 512 },
            "partitions": [ { "number": 1, "offset": 1048576, "length": 512000 } ],
            "unreadable": )" + std::string(c.unreadable) + R"(, "latency": "instant" } ] })");
        const std::string map = folder.File("cells.map");
        std::filesystem::remove(map);
        std::vector<std::string> args = {"--machine", machine, "--view=none", "--report", folder.File("cells.html"),
                                         "scan", "0-1", "--map", map};
        args.insert(args.end(), c.options.begin(), c.options.end());
        if (c.resume) {
            ASSERT_EQ(Hddiag(args).code, 1);
        }
        const RunOutput run = Hddiag(args);
        ASSERT_EQ(run.code, 1) << run.err;

        hdd::scan::RangeMap states;
        hdd::scan::MapIdentity identity;
        bool hasIdentity = false;
        std::string error;
        ASSERT_TRUE(hdd::scan::ParseMapFile(Read(map), states, identity, hasIdentity, error)) << error;
        std::string expected;
        for (ULONGLONG sector = 2048; sector < 3048; ++sector) {
            switch (states.StateAt(sector * 512)) {
            case hdd::scan::SectorState::Unreadable:
                expected += 'X';
                break;
            case hdd::scan::SectorState::NotTrimmed:
            case hdd::scan::SectorState::NotScraped:
                expected += '?';
                break;
            case hdd::scan::SectorState::Read:
                expected += c.resume ? ':' : '-';  // a simulated disk's reads are all "< 5 ms"
                break;
            case hdd::scan::SectorState::Untried:
                expected += '.';
                break;
            }
        }
        const std::vector<std::string> lines = ReportMapLines(Read(folder.File("cells.html")));
        ASSERT_GE(lines.size(), 11u);
        std::string drawn;
        for (size_t row = 0; row < 10; ++row) {
            ASSERT_GE(lines[row].size(), 100u);
            drawn += lines[row].substr(lines[row].size() - 100);  // the cells, after any label
        }
        EXPECT_EQ(drawn, expected);
        EXPECT_EQ(lines.back().rfind("first unreadable sector: " + std::to_string(c.firstUnreadable), 0), 0u)
            << lines.back();
    }
}

// A block read marks every cell it covers, not only its first.
TEST(Scan, BlockReadMarksEveryCellItCovers)
{
    ReadMap map;
    map.Begin({{100, 100 + 4 * ReadMap::kMaxCells}});  // four sectors a cell
    map.RecordClassSpan(100 + 8, 12, 1);               // cells 2, 3 and 4
    map.RecordFailureSpan(100 + 40, 1, 23);            // cell 10
    for (size_t cell = 0; cell < 12; ++cell) {
        SCOPED_TRACE(cell);
        const CellMark expected = cell >= 2 && cell <= 4 ? MarkOfClass(1) : cell == 10 ? kFailedMark : kNotRead;
        EXPECT_EQ(map.Cell(cell), expected);
    }
    EXPECT_EQ(map.Reads(), 2u);
    EXPECT_EQ(map.FirstFailedSector(), 140u);
}

}  // namespace
}  // namespace hddiag::testing
