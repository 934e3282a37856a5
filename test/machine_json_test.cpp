// The JSON form of machine descriptions: what it reads, what it fills in,
// and that every mistake is refused with its place and problem.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

#include <nlohmann/json.hpp>

#include "platform/sim/sim_machine.h"

namespace hdd::sim {
namespace {

std::string SourceDir()
{
    const std::string file = __FILE__;
    const size_t slash = file.find_last_of("/\\");
    return slash == std::string::npos ? std::string(".") : file.substr(0, slash);
}

bool Readable(const std::string& path) { return std::ifstream(path).good(); }

// A disk of 1024 cylinders of 255 x 63 sectors (8,422,686,720 bytes) with
// whatever else `more` adds.
std::string Disk(const std::string& more = "")
{
    return R"({"geometry": {"cylinders": 1024, "tracks_per_cylinder": 255, "sectors_per_track": 63})" +
           (more.empty() ? std::string() : ", " + more) + "}";
}

std::string Machine(const std::string& disks, const std::string& more = "")
{
    return R"({"disks": [)" + disks + "]" + (more.empty() ? std::string() : ", " + more) + "}";
}

TEST(MachineJson, ReadsTheDocumentedShape)
{
    const std::string text = R"(
        // Comments are allowed, so sample machines can explain themselves.
        { "disks": [ { "bus": "sata", "media": "fixed",
                       "model": "WDC \"Blue\" 500", "serial": "WD-123", "wwn": "0x50014ee2b1c2d3e4",
                       "geometry": { "cylinders": 60801, "tracks_per_cylinder": 255,
                                     "sectors_per_track": 63, "bytes_per_sector": 512 },
                       "size": 500107862016,
                       "partitions": [ { "number": 1, "offset": 1048576, "length": 104857600000, "letter": "C" } ],
                       "unreadable": [ 123456, "2000-2010" ],
                       "latency": "instant" },
                     { "bus": 17, "media": "removable",
                       "geometry": { "cylinders": 10, "tracks_per_cylinder": 255, "sectors_per_track": 63 },
                       "latency": 1.5 } ],
          "volumes": [ { "letter": "f", "partition": 1,
                         "extents": [ { "disk": 0, "offset": 0, "length": 1048576 },
                                      { "disk": 1, "offset": 512, "length": 1024 } ] } ],
          "faults": [ { "op": "open", "path": "\\\\.\\PHYSICALDRIVE0", "nth": 2, "error": 2 },
                      { "op": "ioctl", "code": "0x70000", "path": "\\\\.\\C:", "nth": 1, "error": 1 },
                      { "op": "seek", "disk": 0, "nth": 5, "error": 23 },
                      { "op": "read", "disk": 1 },
                      { "op": "random", "nth": 3 } ],
          "unopenable_letters": [ "R:" ],
          "seed": 99 })";
    const MachineDescription m = ParseMachine(text);
    ASSERT_EQ(m.disks.size(), 2u);
    const SimDisk& d0 = m.disks[0];
    EXPECT_EQ(d0.bus, static_cast<DWORD>(BusTypeSata));
    EXPECT_EQ(d0.media, static_cast<DWORD>(FixedMedia));
    EXPECT_EQ(d0.cylinders, 60801);
    EXPECT_EQ(d0.size, 500107862016ull);
    EXPECT_EQ(d0.partitions, (std::vector<SimPartition>{{1, 1048576, 104857600000ull, L'C'}}));
    EXPECT_EQ(d0.unreadable, (std::vector<SectorRange>{{123456, 123456}, {2000, 2010}}));
    EXPECT_EQ(d0.latency.model, LatencyModel::Instant);
    EXPECT_EQ(d0.model, "WDC \"Blue\" 500");
    EXPECT_EQ(d0.serial, "WD-123");
    EXPECT_EQ(d0.wwn, "0x50014ee2b1c2d3e4");
    const SimDisk& d1 = m.disks[1];
    EXPECT_EQ(d1.bus, static_cast<DWORD>(BusTypeNvme));
    EXPECT_EQ(d1.media, static_cast<DWORD>(RemovableMedia));
    EXPECT_EQ(d1.bytesPerSector, 512u);                  // default
    EXPECT_EQ(d1.size, 10ull * 255 * 63 * 512);          // from the geometry
    EXPECT_EQ(d1.latency, (Latency{LatencyModel::FixedMs, 1.5}));
    EXPECT_TRUE(d1.model.empty() && d1.serial.empty() && d1.wwn.empty());
    ASSERT_EQ(m.volumes.size(), 1u);
    EXPECT_EQ(m.volumes[0].letter, L'F');
    EXPECT_EQ(m.volumes[0].partition, 1u);
    EXPECT_EQ(m.volumes[0].extents, (std::vector<SimExtent>{{0, 0, 1048576}, {1, 512, 1024}}));
    ASSERT_EQ(m.faults.size(), 5u);
    EXPECT_EQ(m.faults[0], (Fault{FaultOp::Open, L"\\\\.\\PHYSICALDRIVE0", 0, -1, 2, 2}));
    EXPECT_EQ(m.faults[1], (Fault{FaultOp::Ioctl, L"\\\\.\\C:", 0x70000, -1, 1, 1}));
    EXPECT_EQ(m.faults[2], (Fault{FaultOp::Seek, L"", 0, 0, 5, 23}));
    EXPECT_EQ(m.faults[3], (Fault{FaultOp::Read, L"", 0, 1, 0, 0}));  // every read, natural error
    EXPECT_EQ(m.faults[4], (Fault{FaultOp::Random, L"", 0, -1, 3, 0}));
    EXPECT_EQ(m.unopenableLetters, std::vector<WCHAR>{L'R'});
    EXPECT_EQ(m.seed, 99u);
}

TEST(MachineJson, EmptyDocumentIsAMachineWithoutDisks)
{
    const MachineDescription m = ParseMachine("{}");
    EXPECT_TRUE(m.disks.empty());
    EXPECT_EQ(m.seed, 1u);
    SimMachine sim(m);
    EXPECT_EQ(sim.GetLogicalDrives(), 0u);
}

TEST(MachineJson, MistakesNameTheirPlace)
{
    struct Row {
        std::string text;
        std::string message;  // the whole message, or its start when it ends in "..."
    };
    const Row rows[] = {
        {"[]", "machine description: must be an object"},
        {R"({"disk": []})", "disk: unknown key (expected one of: disks, volumes, faults, unopenable_letters, seed)"},
        {R"({"disks": {}})", "disks: must be a list"},
        {R"({"": 1})", "\"\": unknown key (expected one of: disks, volumes, faults, unopenable_letters, seed)"},
        {Machine(Disk(R"("": 1, "": 2)")), "disks[0].\"\": is given twice"},
        {R"({": disks": []})", "\": disks\": unknown key..."},
        {Machine(Disk(R"("geometry.size": 1)")), "disks[0].\"geometry.size\": unknown key..."},
        {Machine("{}"), "disks[0].geometry: is missing"},
        {Machine(Disk(R"("sise": 5)")), "disks[0].sise: unknown key (expected one of: bus, media, model, serial, "
                                        "wwn, geometry, size, partitions, unreadable, latency, slow, smartctl, "
                                        "self_test)"},
        {Machine(Disk(R"("smartctl": {}, "self_test": {"long": {}})")),
         "disks[0].self_test.long: unknown key (expected one of: short, extended)"},
        {Machine(Disk(R"("smartctl": {}, "self_test": [])")), "disks[0].self_test: must be an object"},
        {Machine(Disk(R"("smartctl": {}, "self_test": {"short": {"status": {"value": 0}}})")),
         "disks[0].self_test.short: must be an entry of smartctl's self-test log: an object with type and status "
         "(ATA) or self_test_code and self_test_result (NVMe)"},
        {Machine(Disk(R"("smartctl": {}, "self_test": {"extended": "Completed: read failure"})")),
         "disks[0].self_test.extended: must be an entry of smartctl's self-test log..."},
        {Machine(Disk(R"("smartctl": {}, "self_test": {"extended": {"type": {}, "status": {}, "lba": -1}})")),
         "disks[0].self_test.extended.lba: must not be negative"},
        {Machine(Disk(R"("smartctl": {}, "self_test": {"extended": {"type": {}, "status": {}, "lba": 16450560}})")),
         "disks[0].self_test.extended.lba: LBA 16450560 lies outside the disk (16450560 sectors of 512 bytes)"},
        {Machine(Disk(R"("self_test": {"short": {"self_test_code": {}, "self_test_result": {}}})")),
         "disks[0].self_test: needs the disk's smartctl output (a disk without SMART runs no self-test)"},
        {Machine(Disk(R"("serial": 42)")), "disks[0].serial: must be a text"},
        {Machine(R"({"geometry": {"cylinders": 1, "tracks_per_cylinder": 1, "sectors_per_track": "63"}})"),
         "disks[0].geometry.sectors_per_track: must be a number"},
        {Machine(R"({"geometry": {"cylinders": 1, "tracks_per_cylinder": -1, "sectors_per_track": 1}})"),
         "disks[0].geometry.tracks_per_cylinder: must not be negative"},
        {Machine(R"({"geometry": {"cylinders": 1.5, "tracks_per_cylinder": 1, "sectors_per_track": 1}})"),
         "disks[0].geometry.cylinders: must be a whole number"},
        {Machine(R"({"geometry": {"cylinders": 1, "tracks_per_cylinder": 1, "sectors_per_track": 1, "heads": 2}})"),
         "disks[0].geometry.heads: unknown key..."},
        {Machine(R"({"geometry": {"tracks_per_cylinder": 1, "sectors_per_track": 1}})"),
         "disks[0].geometry.cylinders: is missing"},
        {Machine(R"({"geometry": {"cylinders": 1, "tracks_per_cylinder": 1, "sectors_per_track": 1,
                                  "bytes_per_sector": 520}})"),
         "disks[0].geometry.bytes_per_sector: must be 0 or a power of two from 512 to 65536"},
        {Machine(Disk(R"("size": 9223372036854775808)")), "disks[0].size: is too large (at most 9223372036854775807)"},
        {Machine(Disk(R"("bus": "firewire")")),
         "disks[0].bus: unknown name \"firewire\" (expected ata, sata, raid, usb, scsi, sas, nvme, atapi, 1394 or a "
         "number)"},
        {Machine(Disk(R"("bus": 256)")), "disks[0].bus: is too large (at most 255)"},
        {Machine(Disk(R"("media": "floppy")")), "disks[0].media: unknown name \"floppy\"..."},
        {Machine(Disk(R"("latency": "slow")")), "disks[0].latency: unknown name \"slow\"..."},
        {Machine(Disk(R"("latency": -1)")), "disks[0].latency: milliseconds per read must lie between 0 and 60000"},
        {Machine(Disk(R"("latency": true)")), "disks[0].latency: must be instant, ssd, hdd or milliseconds per read"},
        {Machine(Disk(R"("partitions": [{"number": 1, "offset": 0, "length": 4096},
                                       {"number": 2, "offset": 2048, "length": 4096}])")),
         "disks[0].partitions[1]: overlaps disks[0].partitions[0]"},
        {Machine(Disk(R"("partitions": [{"number": 0, "offset": 0, "length": 4096}])")),
         "disks[0].partitions[0].number: partition numbers start at 1"},
        {Machine(Disk(R"("partitions": [{"number": 1, "offset": 0, "length": 4096},
                                       {"number": 1, "offset": 4096, "length": 4096}])")),
         "disks[0].partitions[1].number: partition 1 is already used by disks[0].partitions[0]"},
        {Machine(Disk(R"("partitions": [{"number": 1, "offset": 0, "length": 0}])")),
         "disks[0].partitions[0].length: must be at least 1 byte"},
        {Machine(Disk(R"("partitions": [{"number": 1, "offset": 0}])")), "disks[0].partitions[0].length: is missing"},
        {Machine(Disk(R"("partitions": [{"number": 1, "offset": 0, "length": 512, "letter": "CD"}])")),
         "disks[0].partitions[0].letter: must be a drive letter from \"A\" to \"Z\""},
        {Machine(Disk(R"("partitions": [{"number": 1, "offset": 0, "length": 512, "letter": "1"}])")),
         "disks[0].partitions[0].letter: must be a drive letter from \"A\" to \"Z\""},
        {Machine(Disk(R"("partitions": [{"number": 1, "offset": 0, "length": 512, "letter": "C"}])") + ", " +
                     Disk(R"("partitions": [{"number": 1, "offset": 0, "length": 512, "letter": "c"}])")),
         "disks[1].partitions[0].letter: letter C is already used by disks[0].partitions[0].letter"},
        {Machine(Disk(R"("partitions": [{"number": 1, "offset": 0, "length": 512, "letter": "C"}])"),
                 R"("volumes": [{"letter": "C", "extents": []}])"),
         "volumes[0].letter: letter C is already used by disks[0].partitions[0].letter"},
        {Machine(Disk(), R"("volumes": [{"letter": "S", "extents": []}], "unopenable_letters": ["S"])"),
         "unopenable_letters[0]: letter S is already used by volumes[0].letter"},
        {Machine(Disk(R"("unreadable": ["5-3"])")), "disks[0].unreadable[0]: the first sector lies after the last"},
        {Machine(Disk(R"("unreadable": [1, "x"])")),
         "disks[0].unreadable[1]: must be a sector number or a range \"first-last\""},
        {Machine(Disk(R"("unreadable": ["1-2x"])")), "disks[0].unreadable[0]: \"2x\" is not a number"},
        {Machine(Disk(R"("unreadable": [16450560])")),
         "disks[0].unreadable[0]: sector 16450560 lies outside the disk (16450560 sectors of 512 bytes)"},
        {Machine(Disk(R"("slow": {"sectors": 5, "ms": 1})")), "disks[0].slow: must be a list"},
        {Machine(Disk(R"("slow": [{"sector": 5, "ms": 1}])")), "disks[0].slow[0].sector: unknown key..."},
        {Machine(Disk(R"("slow": [{"sectors": 5}])")), "disks[0].slow[0].ms: is missing"},
        {Machine(Disk(R"("slow": [{"sectors": 5, "ms": "300"}])")), "disks[0].slow[0].ms: must be milliseconds"},
        {Machine(Disk(R"("slow": [{"sectors": 5, "ms": -1}])")), "disks[0].slow[0].ms: must lie between 0 and 60000"},
        {Machine(Disk(R"("slow": [{"sectors": "9-3", "ms": 1}])")),
         "disks[0].slow[0].sectors: the first sector lies after the last"},
        {Machine(Disk(R"("slow": [{"sectors": "16450000-16450560", "ms": 1}])")),
         "disks[0].slow[0].sectors: sector 16450560 lies outside the disk (16450560 sectors of 512 bytes)"},
        {Machine(Disk(), R"("volumes": [{"letter": "S", "extents": [{"disk": 5, "offset": 0, "length": 1}]}])"),
         "volumes[0].extents[0].disk: there is no disk 5"},
        {Machine(Disk(), R"("volumes": [{"letter": "S", "extents": [{"disk": 0, "offset": 0}]}])"),
         "volumes[0].extents[0].length: is missing"},
        {Machine(Disk(), R"("volumes": [{"letter": "S", "extents": [{"disk": 0, "offset": 8422686720, "length": 1}]}])"),
         "volumes[0].extents[0]: ends past the end of disk 0 (8422686720 bytes)"},
        {Machine(Disk(), R"("volumes": [{"extents": []}])"), "volumes[0].letter: is missing"},
        {Machine(Disk(), R"("faults": [{"nth": 1}])"), "faults[0].op: is missing"},
        {Machine(Disk(), R"("faults": [{"op": "write"}])"),
         "faults[0].op: unknown operation \"write\" (expected open, ioctl, seek, read or random)"},
        {Machine(Disk(), R"("faults": [{"op": "seek", "path": "\\\\.\\C:"}])"),
         "faults[0].path: does not apply to a fault of op \"seek\""},
        {Machine(Disk(), R"("faults": [{"op": "open", "code": 1}])"),
         "faults[0].code: does not apply to a fault of op \"open\""},
        {Machine(Disk(), R"("faults": [{"op": "random", "disk": 0}])"),
         "faults[0].disk: does not apply to a fault of op \"random\""},
        {Machine(Disk(), R"("faults": [{"op": "ioctl", "code": "0xZZ"}])"), "faults[0].code: \"0xZZ\" is not a number"},
        {Machine(Disk(), R"("faults": [{"op": "ioctl", "code": "0x100000000"}])"),
         "faults[0].code: is too large (at most 4294967295)"},
        {Machine(Disk(), R"("faults": [{"op": "read", "disk": 3}])"), "faults[0].disk: there is no disk 3"},
        {Machine(Disk(), R"("faults": [{"op": "read", "nth": 1}, {"op": "read", "nth": 1, "nth": 2}])"),
         "faults[1].nth: is given twice"},
        {R"({"seed": 1, "seed": 2})", "seed: is given twice"},
        {Machine(R"({"geometry": {"cylinders": 1, "cylinders": 2, "tracks_per_cylinder": 1, "sectors_per_track": 1}})"),
         "disks[0].geometry.cylinders: is given twice"},
        {R"({"seed": 4294967296})", "seed: is too large (at most 4294967295)"},
        {R"({"unopenable_letters": "R"})", "unopenable_letters: must be a list"},
        {"{\"disks\": [", "machine description: not valid JSON: parse error at line 1, column 12..."},
        // Numbers beyond what the parser holds are named by their place, not the library's tag.
        {"1e400", "machine description: the number 1e400 is out of range"},
        {R"({"seed": 1e400})", "seed: the number 1e400 is out of range"},
        {R"({"seed": -1e400})", "seed: the number -1e400 is out of range"},
        {Machine(Disk(R"("latency": 1E+999)")), "disks[0].latency: the number 1E+999 is out of range"},
        {Machine(Disk(R"("unreadable": [1, 2, 3e999])")), "disks[0].unreadable[2]: the number 3e999 is out of range"},
        {R"({"seed": -0.0})", "seed: must be a whole number"},
        {Machine(Disk(), R"("faults": [{"op": "random", "error": 0}])"),
         "faults[0].error: must be at least 1 for op \"random\" (a failed draw answers a nonzero code)"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        try {
            ParseMachine(row.text);
            ADD_FAILURE() << "accepted";
        } catch (const MachineError& e) {
            const std::string what = e.what();
            const bool prefix = row.message.size() > 3 && row.message.compare(row.message.size() - 3, 3, "...") == 0;
            if (prefix) {
                EXPECT_EQ(what.substr(0, row.message.size() - 3), row.message.substr(0, row.message.size() - 3));
            } else {
                EXPECT_EQ(what, row.message);
            }
        }
    }
}

// What failing devices and damaged tables really report is accepted as it
// stands, so that front ends can rehearse it; the machine then answers it.
TEST(MachineJson, AcceptsWhatFailingDevicesReport)
{
    const MachineDescription m = ParseMachine(Machine(
        R"({"geometry": {"cylinders": 16, "tracks_per_cylinder": 0, "sectors_per_track": 0, "bytes_per_sector": 0},
            "size": 1048576,
            "partitions": [{"number": 1, "offset": 524288, "length": 1048576, "letter": "C"}]})",
        R"("faults": [{"op": "read", "error": 0, "nth": 1}, {"op": "open", "error": 0, "nth": 9},
                      {"op": "seek", "nth": 7}, {"op": "ioctl", "error": -0}])"));
    ASSERT_EQ(m.disks.size(), 1u);
    EXPECT_EQ(m.disks[0].tracksPerCylinder, 0u);
    EXPECT_EQ(m.disks[0].sectorsPerTrack, 0u);
    EXPECT_EQ(m.disks[0].bytesPerSector, 0u);
    ASSERT_EQ(m.faults.size(), 4u);
    // "error": 0 is last error 0; no error is the natural code.
    const bool zeroError[] = {true, true, false, true};
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(m.faults[i].error, 0u) << i;
        EXPECT_EQ(m.faults[i].zeroError, zeroError[i]) << i;
    }
    // Without a size, a zero factor makes an empty disk.
    EXPECT_EQ(ParseMachine(Machine(R"({"geometry": {"cylinders": 9, "tracks_per_cylinder": 255,
                                                    "sectors_per_track": 63, "bytes_per_sector": 0}})"))
                  .disks[0]
                  .size,
              0u);

    SimMachine sim(m);
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE;
    BYTE buffer[512];
    DWORD done = 7;
    LONG high = 0;
    // The first read fails with last error 0.
    const HANDLE disk = sim.CreateFileW(L"\\\\.\\PHYSICALDRIVE0", GENERIC_READ, share, nullptr, OPEN_EXISTING, 0,
                                        nullptr);
    sim.SetLastError(ERROR_CRC);
    EXPECT_FALSE(sim.ReadFile(disk, buffer, 512, &done, nullptr));
    EXPECT_EQ(sim.GetLastError(), 0u);
    EXPECT_EQ(done, 0u);
    EXPECT_FALSE(sim.Calls().back().ok);
    EXPECT_TRUE(sim.ReadFile(disk, buffer, 512, &done, nullptr));
    // The geometry answers its zeros.
    DISK_GEOMETRY g{};
    DWORD returned = 0;
    sim.SetLastError(5);
    EXPECT_FALSE(sim.DeviceIoControl(disk, IOCTL_DISK_GET_DRIVE_GEOMETRY, nullptr, 0, &g, sizeof g, &returned,
                                     nullptr));
    EXPECT_EQ(sim.GetLastError(), 0u);  // every request fails, with last error 0
    sim.CloseHandle(disk);
    // C: runs 512 KiB past the end of the disk: the volume reads up to the
    // disk's end, then sector-not-found.
    const HANDLE c = sim.CreateFileW(L"\\\\.\\C:", GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(c, INVALID_HANDLE_VALUE);
    for (const ULONGLONG offset : {0ull, 524288ull - 512, 524288ull, 1048576ull - 512}) {
        SCOPED_TRACE(offset);
        high = static_cast<LONG>(offset >> 32);
        ASSERT_NE(sim.SetFilePointer(c, static_cast<LONG>(offset), &high, FILE_BEGIN), INVALID_SET_FILE_POINTER);
        const bool inside = offset < 524288;
        EXPECT_EQ(sim.ReadFile(c, buffer, 512, &done, nullptr) != FALSE, inside);
        if (!inside) {
            EXPECT_EQ(sim.GetLastError(), ERROR_SECTOR_NOT_FOUND);
        }
    }
    // A read across the disk's end is cut short there.
    high = 0;
    sim.SetFilePointer(c, 524288 - 512, &high, FILE_BEGIN);
    BYTE two[1024];
    EXPECT_TRUE(sim.ReadFile(c, two, sizeof two, &done, nullptr));
    EXPECT_EQ(done, 512u);
    sim.CloseHandle(c);
    EXPECT_EQ(sim.OpenHandleCount(), 0u);
}

TEST(MachineJson, ValuesThatAreAcceptedInMoreThanOneForm)
{
    const MachineDescription m = ParseMachine(Machine(
        Disk(R"("bus": "SATA", "media": 0, "latency": "HDD", "unreadable": ["7-7", 9],
              "slow": [{"sectors": "5000-5100", "ms": 300}, {"sectors": 7, "ms": 0.5}],
              "partitions": [{"number": 4, "offset": 512, "length": 512, "letter": "z:"}])"),
        R"("faults": [{"op": "ioctl", "code": 458824}, {"op": "ioctl", "code": "458824"},
                      {"op": "ioctl", "code": "0X70048"}])"));
    EXPECT_EQ(m.disks[0].bus, static_cast<DWORD>(BusTypeSata));
    EXPECT_EQ(m.disks[0].media, 0u);
    EXPECT_EQ(m.disks[0].latency.model, LatencyModel::Hdd);
    EXPECT_EQ(m.disks[0].unreadable, (std::vector<SectorRange>{{7, 7}, {9, 9}}));
    EXPECT_EQ(m.disks[0].slow, (std::vector<SlowRange>{{5000, 5100, 300}, {7, 7, 0.5}}));
    EXPECT_EQ(m.disks[0].partitions[0].letter, L'Z');
    for (const Fault& f : m.faults) {
        EXPECT_EQ(f.code, IOCTL_DISK_GET_PARTITION_INFO_EX);
    }
}

// What a self-test leaves in the log, in smartctl's form, kept as it was
// written for the front end to read.
TEST(MachineJson, SelfTestEntriesAreKeptForTheFrontEnd)
{
    const MachineDescription m = ParseMachine(Machine(
        Disk(R"("smartctl": "disk0.json", "self_test": {
                  "short": {"type": {"value": 1, "string": "Short offline"},
                            "status": {"value": 0, "string": "Completed without error", "passed": true},
                            "lifetime_hours": 12040},
                  "extended": {"type": {"value": 2, "string": "Extended offline"},
                               "status": {"value": 118, "string": "Completed: read failure", "passed": false},
                               "lifetime_hours": 12042, "lba": 16450559}})") +
        ", " + Disk(R"("bus": "nvme", "smartctl": {}, "self_test": {"extended": {
                  "self_test_code": {"value": 2}, "self_test_result": {"value": 7}, "segment": 1}})") +
        ", " + Disk()));
    ASSERT_EQ(m.disks.size(), 3u);
    EXPECT_EQ(nlohmann::json::parse(m.disks[0].shortSelfTestEntry)["lifetime_hours"], 12040);
    EXPECT_EQ(nlohmann::json::parse(m.disks[0].extendedSelfTestEntry)["lba"], 16450559);
    EXPECT_EQ(m.disks[1].shortSelfTestEntry, "");
    EXPECT_EQ(nlohmann::json::parse(m.disks[1].extendedSelfTestEntry)["self_test_result"]["value"], 7);
    EXPECT_EQ(m.disks[2].shortSelfTestEntry + m.disks[2].extendedSelfTestEntry, "");
}

TEST(MachineJson, SampleOfTheBuiltinMachineMatchesIt)
{
    const std::string path = SourceDir() + "/machines/builtin.json";
    if (!Readable(path)) {
        GTEST_SKIP() << path << " is not reachable from here";
    }
    EXPECT_EQ(LoadMachineFile(path), BuiltinMachine());
}

TEST(MachineJson, TroubledSampleBehavesAsItSays)
{
    const std::string path = SourceDir() + "/machines/troubled.json";
    if (!Readable(path)) {
        GTEST_SKIP() << path << " is not reachable from here";
    }
    SimMachine m(LoadMachineFile(path));
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE;
    // R: is in the mask but cannot be opened.
    EXPECT_NE(m.GetLogicalDrives() & (1u << 17), 0u);
    EXPECT_EQ(m.CreateFileW(L"\\\\.\\R:", GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    // S: spans two disks: the one-extent answer does not fit.
    const HANDLE s = m.CreateFileW(L"\\\\.\\S:", GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr);
    VOLUME_DISK_EXTENTS e{};
    DWORD returned = 0;
    EXPECT_FALSE(m.DeviceIoControl(s, IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS, nullptr, 0, &e, sizeof e, &returned,
                                   nullptr));
    EXPECT_EQ(m.GetLastError(), ERROR_MORE_DATA);
    EXPECT_EQ(e.NumberOfDiskExtents, 2u);
    m.CloseHandle(s);
    // Sector 4096 of disk 0 is bad.
    const HANDLE d0 = m.CreateFileW(L"\\\\.\\PHYSICALDRIVE0", GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr);
    LONG high = 0;
    m.SetFilePointer(d0, 4096 * 512, &high, FILE_BEGIN);
    BYTE buffer[512];
    DWORD done = 0;
    EXPECT_FALSE(m.ReadFile(d0, buffer, 512, &done, nullptr));
    EXPECT_EQ(m.GetLastError(), ERROR_CRC);
    m.CloseHandle(d0);
    EXPECT_EQ(m.OpenHandleCount(), 0u);
}

TEST(MachineJson, FileErrorsNameTheFile)
{
    const std::string missing = SourceDir() + "/machines/no-such-machine.json";
    const std::string broken = ::testing::TempDir() + "machine_json_test_broken.json";
    std::ofstream(broken) << R"({"seed": 1e400})";
    const struct {
        std::string path;
        std::string message;
    } rows[] = {
        {missing, missing + ": cannot be read"},
        {broken, broken + ": seed: the number 1e400 is out of range"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.path);
        try {
            LoadMachineFile(row.path);
            ADD_FAILURE() << "loaded";
        } catch (const MachineError& e) {
            EXPECT_EQ(std::string(e.what()), row.message);
        }
    }
    std::remove(broken.c_str());
}

}  // namespace
}  // namespace hdd::sim
