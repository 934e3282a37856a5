// hddiag scan run in-process on simulated machines and image files: the
// unreadable list against what was planted, the bad-blocks list, the map
// files and resuming from them, several disks at once, and every refusal.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>
#include <tuple>

#include "scan/map_file.h"
#include "test/hddiag/run_hddiag.h"
#include "tools/hddiag/app.h"
#include "tools/hddiag/host/stable_name.h"
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

// A map written as an earlier run on this image would have left it: the
// image's path, no model or serial, and each span's state.
std::string ImageMap(const std::string& image, ULONGLONG bytes,
                     const std::vector<std::tuple<ULONGLONG, ULONGLONG, hdd::scan::SectorState>>& spans,
                     const std::string& device = "", const std::string& model = "")
{
    hdd::scan::RangeMap map(bytes);
    for (const auto& [pos, size, state] : spans) {
        map.Set(pos, size, state);
    }
    map.SetProgress(hdd::scan::ScanPhase::FastPass, 0);
    return hdd::scan::WriteMapFile(map, {device.empty() ? image : device, model, "", bytes, 512, 0, bytes});
}

// What a resumed scan says before it reads and in its summary, and the exit
// status of a map that leaves nothing to read: the map's own result.
TEST(Scan, ResumedScanSaysWhatItsMapLeft)
{
    using hdd::scan::SectorState;
    constexpr ULONGLONG kBytes = 1 << 20;  // 2048 sectors
    struct Case {
        const char* what;
        std::vector<std::tuple<ULONGLONG, ULONGLONG, SectorState>> spans;
        int code;
        const char* first;     // on standard error, after "scan disk 0 (IMAGE) 0: "
        bool readsThisRun;     // the summary's "this run" line, or the map complete one
    };
    const Case cases[] = {
        {"a quarter read", {{0, kBytes / 4, SectorState::Read}}, 0, "resuming: 25% settled", true},
        {"a failed block not trimmed yet is not settled",
         {{0, kBytes, SectorState::Read}, {4096, 65536, SectorState::NotTrimmed}}, 0, "resuming: 93% settled", true},
        {"one sector left: never 100% while anything is", {{0, kBytes - 512, SectorState::Read}}, 0,
         "resuming: 99% settled", true},
        {"every sector read", {{0, kBytes, SectorState::Read}}, 0,
         "map complete: nothing to read; remove it to scan again", false},
        {"settled with unreadable sectors: still failing",
         {{0, kBytes, SectorState::Read}, {5120, 1024, SectorState::Unreadable}}, 1,
         "map complete: nothing to read; remove it to scan again", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Folder folder;
        const std::string image = folder.Write("disk.img", std::string(kBytes, '\0'));
        const std::string map = folder.Write("disk.map", ImageMap(image, kBytes, c.spans));
        const RunOutput run = Hddiag({"--disk", image, "--view=none", "scan", "0", "--map", map});
        EXPECT_EQ(run.code, c.code) << run.err << run.out;
        EXPECT_EQ(run.err, "scan disk 0 (" + image + ") 0: " + c.first + "\n");
        EXPECT_EQ(run.out.find("  this run: ") != std::string::npos, c.readsThisRun) << run.out;
        EXPECT_EQ(run.out.find("\n  map complete: nothing to read; remove it to scan again\n") != std::string::npos,
                  !c.readsThisRun)
            << run.out;
    }
    // A new map says nothing of resuming.
    const Folder folder;
    const std::string image = folder.Write("disk.img", std::string(kBytes, '\0'));
    const RunOutput fresh = Hddiag({"--disk", image, "--view=none", "scan", "0", "--map", folder.File("new.map")});
    EXPECT_EQ(fresh.code, 0);
    EXPECT_EQ(fresh.err, "");
}

// Whose map it is: serials where both have one; without, the model and the
// device (its stable name where both have one, else its path). --map-force
// passes over the identity, never over the size.
TEST(Scan, MapIdentityTable)
{
    using hdd::scan::MapCheck;
    using hdd::scan::MapIdentity;
    const auto disk = [](std::string device, std::string model, std::string serial, std::string stable) {
        MapIdentity id{std::move(device), std::move(model), std::move(serial), 1 << 20, 512, 0, 1 << 20};
        id.stableName = std::move(stable);
        return id;
    };
    const std::string sdb = "/dev/disk/by-id/usb-Bridge_0001-0:0";
    const std::string sdc = "/dev/disk/by-id/usb-Bridge_0002-0:0";
    struct Case {
        const char* what;
        MapIdentity map;
        MapIdentity disk;
        MapCheck check;
        const char* why;  // empty: resumed
    };
    MapIdentity bigger = disk("/dev/sdb", "M", "", "");
    bigger.diskBytes = 2 << 20;
    const Case cases[] = {
        {"serials agree, the disk renamed", disk("/dev/sdb", "M", "S1", ""), disk("/dev/sdc", "M", "S1", ""),
         MapCheck::Identity, ""},
        {"serials differ", disk("/dev/sdb", "M", "S1", ""), disk("/dev/sdb", "M", "S2", ""), MapCheck::Identity,
         "the map is of the disk with serial \"S1\"; this one has serial \"S2\""},
        {"a serial on the map only", disk("/dev/sdb", "M", "S1", ""), disk("/dev/sdb", "M", "", ""),
         MapCheck::Identity, "the map is of the disk with serial \"S1\"; this one has none"},
        {"a serial on the disk only", disk("/dev/sdb", "M", "", ""), disk("/dev/sdb", "M", "S2", ""),
         MapCheck::Identity, "the map is of a disk without a serial; this one has serial \"S2\""},
        {"no serials, the same model and path", disk("/dev/sdb", "M", "", ""), disk("/dev/sdb", "M", "", ""),
         MapCheck::Identity, ""},
        {"no serials, another model", disk("/dev/sdb", "M", "", ""), disk("/dev/sdb", "N", "", ""),
         MapCheck::Identity, "the map is of a disk of model \"M\"; this one's model is \"N\""},
        {"no serials, another size", bigger, disk("/dev/sdb", "M", "", ""), MapCheck::Identity,
         "the map is of a disk of 2097152 bytes; this one has 1048576"},
        {"no serials, the same stable name, the path renamed", disk("/dev/sdb", "M", "", sdb),
         disk("/dev/sdc", "M", "", sdb), MapCheck::Identity, ""},
        {"no serials, another stable name on the same path", disk("/dev/sdb", "M", "", sdb),
         disk("/dev/sdb", "M", "", sdc), MapCheck::Identity,
         "the map is of device \"/dev/disk/by-id/usb-Bridge_0001-0:0\"; this one is "
         "\"/dev/disk/by-id/usb-Bridge_0002-0:0\""},
        {"an old map without a stable name: the path decides", disk("/dev/sdb", "M", "", ""),
         disk("/dev/sdb", "M", "", sdb), MapCheck::Identity, ""},
        {"an old map without a stable name, another path", disk("/dev/sdb", "M", "", ""),
         disk("/dev/sdc", "M", "", sdb), MapCheck::Identity, "the map is of device \"/dev/sdb\"; this one is \"/dev/sdc\""},
        {"a loop device's map on its image", disk("/dev/loop1", "", "", ""), disk("disk.img", "", "", ""),
         MapCheck::Identity, "the map is of device \"/dev/loop1\"; this one is \"disk.img\""},
        {"--map-force: another path", disk("/dev/loop1", "", "", ""), disk("disk.img", "", "", ""),
         MapCheck::Geometry, ""},
        {"--map-force: another serial", disk("/dev/sdb", "M", "S1", ""), disk("/dev/sdb", "M", "S2", ""),
         MapCheck::Geometry, ""},
        {"--map-force: never another size", bigger, disk("/dev/sdb", "M", "", ""), MapCheck::Geometry,
         "the map is of a disk of 2097152 bytes"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string text = hdd::scan::WriteMapFile(hdd::scan::RangeMap(c.map.diskBytes), c.map);
        hdd::scan::RangeMap map;
        std::string why;
        const bool loaded = hdd::scan::LoadMapForDisk(text, c.disk, map, why, c.check);
        EXPECT_EQ(loaded, std::string(c.why).empty()) << why;
        EXPECT_NE(why.find(c.why), std::string::npos) << why;
    }
}

// The command's side of it: the refusal names the field and both values and
// exits 2 before anything is read; --map-force resumes the map.
TEST(Scan, LoopDevicesMapOnItsImageIsRefusedUnlessForced)
{
    using hdd::scan::SectorState;
    constexpr ULONGLONG kBytes = 1 << 20;
    const Folder folder;
    const std::string image = folder.Write("disk.img", std::string(kBytes, '\0'));
    const std::string map = folder.Write(
        "disk.map", ImageMap(image, kBytes, {{0, kBytes, SectorState::Read}}, "/dev/loop1", "loop of " + image));
    const std::string saved = Read(map);
    struct Case {
        std::vector<std::string> command;
        int code;
        const char* err;
    };
    const Case cases[] = {
        {{"scan", "0", "--map", map}, 2,
         "the map is of a disk of model \"loop of "},
        {{"check", "0", "--map", map}, 2, "(--map-force resumes it all the same)"},
        {{"scan", "0", "--map", map, "--map-force"}, 0, "map complete: nothing to read"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command[0] + " " + c.command.back());
        std::vector<std::string> args = {"--disk", image, "--view=none"};
        args.insert(args.end(), c.command.begin(), c.command.end());
        const RunOutput run = Hddiag(args);
        EXPECT_EQ(run.code, c.code) << run.err << run.out;
        EXPECT_NE(run.err.find(c.err), std::string::npos) << run.err;
        if (c.code == 2) {
            EXPECT_EQ(Read(map), saved);
        }
    }
}

#if !defined(_WIN32)
// The stable name is the first link, by name, that leads to the very block
// device; links to another device or to a file, and image files, give none.
TEST(Scan, StableNameIsTheFirstLinkToTheDevice)
{
    std::vector<std::string> devices;
    std::error_code failed;
    for (fs::directory_iterator entry("/dev", failed), end; !failed && entry != end; entry.increment(failed)) {
        if (entry->is_block_file(failed) && !entry->is_symlink(failed)) {
            devices.push_back(entry->path().string());
        }
    }
    if (devices.size() < 2) {
        GTEST_SKIP() << "two block devices are needed";
    }
    std::sort(devices.begin(), devices.end());
    const Folder folder;
    const std::string byId = folder.File("by-id");
    fs::create_directory(byId);
    const std::string image = folder.Write("disk.img", std::string(4096, '\0'));
    fs::create_symlink(devices[0], byId + "/wwn-0x5000");
    fs::create_symlink(devices[0], byId + "/ata-Model_S1");
    fs::create_symlink(devices[1], byId + "/ata-Another_S2");
    fs::create_symlink(image, byId + "/a-file");
    struct Case {
        std::string path;
        std::string folder;
        std::string name;
    };
    const Case cases[] = {
        {devices[0], byId, byId + "/ata-Model_S1"},
        {devices[1], byId, byId + "/ata-Another_S2"},
        {image, byId, ""},
        {devices[0], folder.File("missing"), ""},
        {folder.File("nothing"), byId, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(host::StableDeviceName(c.path, c.folder), c.name);
    }
}
#endif

// A bad-blocks list is written only by a scan that settled its target: an
// earlier file is left as it was, and no file stands for a part of a scan.
TEST(Scan, BadBlocksOnlyFromASettledTarget)
{
    struct Case {
        const char* what;
        std::string unreadable;
        std::vector<std::string> args;  // after the target
        bool stopMidway;
        bool written;
        const char* summary;
    };
    const Case cases[] = {
        {"a settled target", R"([5000])", {}, false, true, "written: every sector of the target settled"},
        {"stopped midway", R"([5000])", {"--block-size", "256K", "--save-interval", "0.05"}, true, false,
         "NOT WRITTEN: "},
        {"--no-scrape leaves a damaged area's inside untried", R"(["30000-30100"])", {"--no-scrape"}, false, false,
         "NOT WRITTEN: 98 sectors of the target not settled yet"},
    };
    for (const bool earlier : {false, true}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.what) + (earlier ? ", over an earlier list" : ""));
            const Folder folder;
            const std::string machine =
                folder.Write("machine.json", Machine(c.unreadable, c.stopMidway ? "2" : "\"instant\""));
            const std::string map = folder.File("disk.map");
            const std::string bad = folder.File("bad.txt");
            if (earlier) {
                folder.Write("bad.txt", "7\n");
            }
            std::atomic<bool> stop{false};
            std::atomic<bool> done{false};
            std::thread watcher([&] {
                while (c.stopMidway && !done.load() && !fs::exists(map)) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                }
                stop.store(c.stopMidway);
            });
            std::vector<std::string> args = {"--machine", machine, "--view=none"};
            if (c.stopMidway) {
                args.push_back("--pace");
            }
            args.insert(args.end(), {"scan", "0", "--map", map, "--bad-blocks", bad});
            args.insert(args.end(), c.args.begin(), c.args.end());
            const RunOutput run = Hddiag(args, &stop);
            done.store(true);
            watcher.join();
            EXPECT_EQ(run.code, c.stopMidway ? 130 : 1) << run.err << run.out;
            EXPECT_NE(run.out.find("Bad blocks: " + bad + " " + c.summary), std::string::npos) << run.out;
            if (c.written) {
                EXPECT_EQ(Read(bad), "5000\n");
            } else if (earlier) {
                EXPECT_EQ(Read(bad), "7\n");
            } else {
                EXPECT_FALSE(fs::exists(bad));
            }
        }
    }
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
