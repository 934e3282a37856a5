// hddiag on real media: images made here with sfdisk, and read-only loop
// devices when the kernel gives us one. The simulated machine, played from a
// machine file of the same layout, is the reference the real backend must
// match call for call.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <numeric>
#include <sstream>

#include "disk_images.h"
#include "platform/linux/machine_layout.h"

namespace hdd::linuxtest {
namespace {

constexpr ULONGLONG kMiB = 1048576;

struct Part {
    DWORD number;
    ULONGLONG start;    // in the table's sectors
    ULONGLONG sectors;
};

struct Layout {
    const char* name;
    ULONGLONG bytes;
    DWORD sectorBytes;
    const char* script;       // sfdisk's input
    std::vector<Part> parts;  // what the table holds, volumes only, in table order
};

const Layout kMbrWithLogical{"MBR with an extended partition holding two logical ones",
                             32 * kMiB,
                             512,
                             "label: dos\n"
                             "start=2048, size=16384, type=7\n"
                             "start=18432, type=5\n"
                             "start=20480, size=16384, type=83\n"
                             "start=38912, size=8192, type=83\n",
                             {{1, 2048, 16384}, {5, 20480, 16384}, {6, 38912, 8192}}};

const Layout kGpt{"GPT with a gap between partitions",
                  32 * kMiB,
                  512,
                  "label: gpt\n"
                  "start=2048, size=8192\n"
                  "start=20480, size=16384\n"
                  "start=40960, size=8192\n",
                  {{1, 2048, 8192}, {2, 20480, 16384}, {3, 40960, 8192}}};

const Layout kOffCylinder{"MBR whose partitions start and end off any cylinder",
                          24 * kMiB,
                          512,
                          "label: dos\n"
                          "start=63, size=9999, type=7\n"
                          "start=10101, size=20000, type=7\n"
                          "start=30201, size=18951, type=83\n",
                          {{1, 63, 9999}, {2, 10101, 20000}, {3, 30201, 18951}}};

const Layout kGpt4096{"GPT on 4096-byte sectors",
                      32 * kMiB,
                      4096,
                      "label: gpt\n"
                      "start=256, size=2048\n"
                      "start=4096, size=1024\n",
                      {{1, 256, 2048}, {2, 4096, 1024}}};

// The same layout as the simulated machine's description.
std::string MachineFile(const Layout& layout)
{
    const ULONGLONG cylinders = layout.bytes / (255ull * 63 * layout.sectorBytes);
    std::ostringstream json;
    json << R"({ "disks": [ { "bus": "sata", "geometry": { "cylinders": )" << cylinders
         << R"(, "tracks_per_cylinder": 255, "sectors_per_track": 63, "bytes_per_sector": )" << layout.sectorBytes
         << R"( }, "size": )" << layout.bytes << R"(, "partitions": [)";
    char letter = 'C';
    for (size_t i = 0; i < layout.parts.size(); ++i) {
        const Part& p = layout.parts[i];
        json << (i == 0 ? "" : ", ") << R"({ "number": )" << p.number << R"(, "offset": )"
             << p.start * layout.sectorBytes << R"(, "length": )" << p.sectors * layout.sectorBytes
             << R"(, "letter": ")" << letter++ << R"(" })";
    }
    json << "] } ] }";
    return json.str();
}

size_t CountLines(const std::string& text, const std::string& prefix)
{
    size_t n = 0;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        n += line.rfind(prefix, 0) == 0 ? 1 : 0;
    }
    return n;
}

// The report, and a whole run of all four tests on every partition, are the
// same line for line on the real disk and on its machine file.
// A trace without its minutes-remaining events: the component works them
// out from the elapsed time, real on a real disk and simulated on a machine
// file, so on a busy machine they differ while everything else agrees.
std::string WithoutMinutes(const std::string& trace)
{
    std::istringstream in(trace);
    std::string kept;
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("event 1 ", 0) != 0) {
            kept += line + "\n";
        }
    }
    return kept;
}

void ExpectSameAsMachine(const std::string& disk, const Layout& layout, const TempDir& dir)
{
    const std::string machine = dir.File("machine.json");
    std::ofstream(machine) << MachineFile(layout);

    const HddiagRun realInfo = Hddiag({"--disk", disk, "--json", "info"});
    const HddiagRun simInfo = Hddiag({"--machine", machine, "--json", "info"});
    EXPECT_EQ(realInfo.code, 0) << realInfo.err;
    EXPECT_EQ(realInfo.code, simInfo.code);
    const auto realDoc = nlohmann::json::parse(realInfo.out, nullptr, false);
    const auto simDoc = nlohmann::json::parse(simInfo.out, nullptr, false);
    ASSERT_TRUE(realDoc.contains("report") && simDoc.contains("report")) << realInfo.out << simInfo.out;
    EXPECT_EQ(realDoc.at("report"), simDoc.at("report"));
    // Both name their disk: the image (by its path, of PATH[:BUS]; an image
    // file has no model or serial) or PhysicalDrive0, its partitions in order.
    ASSERT_TRUE(realDoc.contains("disks") && simDoc.contains("disks")) << realInfo.out << simInfo.out;
    EXPECT_EQ(simDoc.at("disks").at(0).at("device"), "PhysicalDrive0");
    const auto letteredOf = [](const nlohmann::json& volumes) {
        nlohmann::json kept = nlohmann::json::array();
        for (const nlohmann::json& v : volumes) {
            if (!v.at("letter").is_null()) {
                kept.push_back(v);
            }
        }
        return kept;
    };
    EXPECT_EQ(letteredOf(simDoc.at("disks").at(0).at("volumes")), letteredOf(realDoc.at("disks").at(0).at("volumes")));
    const nlohmann::json& disks = realDoc.at("disks");
    ASSERT_EQ(disks.size(), 1u) << realInfo.out;
    const nlohmann::json& only = disks.at(0);
    const std::string path = only.at("path");
    EXPECT_EQ(disk.rfind(path, 0), 0u) << disk;  // PATH of PATH[:BUS]
    if (path.rfind("/dev/", 0) == 0) {
        EXPECT_EQ("/dev/" + only.at("device").get<std::string>(), path);  // the kernel's name
    } else {
        EXPECT_EQ(only.at("device"), path);
        EXPECT_TRUE(only.at("model").is_null() && only.at("serial").is_null() && only.at("wwn").is_null());
    }
    EXPECT_EQ(only.at("size_bytes"), layout.bytes);
    EXPECT_EQ(only.at("bytes_per_sector"), simDoc.at("disks").at(0).at("bytes_per_sector"));
    EXPECT_TRUE(only.at("problem").is_null());
    std::vector<DWORD> lettered;
    for (const nlohmann::json& volume : only.at("volumes")) {
        if (volume.at("letter").is_null()) {
            EXPECT_EQ(volume.at("reason"), "extended container") << volume;  // the only one without a letter here
        } else {
            lettered.push_back(volume.at("partition").get<DWORD>());
        }
    }
    ASSERT_EQ(lettered.size(), layout.parts.size());
    for (size_t i = 0; i < layout.parts.size(); ++i) {
        EXPECT_EQ(lettered[i], layout.parts[i].number);
    }

    const HddiagRun real = Hddiag({"--disk", disk, "--seed", "11", "--trace", "run"});
    const HddiagRun sim = Hddiag({"--machine", machine, "--seed", "11", "--trace", "run"});
    EXPECT_EQ(real.code, sim.code);
    EXPECT_EQ(CountLines(real.out, "result "), 4 * layout.parts.size());
    if (layout.sectorBytes == 512) {
        // Every test passes, the random one with its 3000 reads per partition.
        EXPECT_EQ(real.code, 0) << real.err;
        EXPECT_GT(CountLines(real.out, "read "), 3000 * layout.parts.size());
    } else {
        // Larger sectors: whatever the component does, it does on both.
        EXPECT_GT(CountLines(real.out, "read "), 0u);
    }
    EXPECT_TRUE(WithoutMinutes(real.out) == WithoutMinutes(sim.out))
        << "the traces differ; real run:\n" << real.out.substr(0, 2000);
}

TEST(RealDisk, ImageAnswersLikeItsMachineFile)
{
    for (const Layout* layout : {&kMbrWithLogical, &kGpt, &kOffCylinder}) {
        SCOPED_TRACE(layout->name);
        const TempDir dir;
        const std::string image = dir.File("disk.img");
        MakeImage(image, layout->bytes, layout->script);
        ExpectSameAsMachine(image, *layout, dir);
    }
}

// Through the kernel's block layer with O_DIRECT, also on 4096-byte sectors,
// where every read takes one whole sector of the drive.
TEST(RealDisk, LoopDeviceAnswersLikeItsMachineFile)
{
    for (const Layout* layout : {&kMbrWithLogical, &kGpt4096}) {
        SCOPED_TRACE(layout->name);
        const TempDir dir;
        const std::string image = dir.File("disk.img");
        if (layout->sectorBytes == 512) {
            MakeImage(image, layout->bytes, layout->script);
        } else {
            // sfdisk writes a table of the device's sector size: partition
            // the image through a writable loop device of that size first.
            std::ofstream(image, std::ios::binary).close();
            std::filesystem::resize_file(image, layout->bytes);
            const LoopDevice writable(image, layout->sectorBytes, false);
            if (writable.Path().empty()) {
                GTEST_SKIP() << writable.Reason();
            }
            const CommandResult r = RunCommand({"sfdisk", "-q", writable.Path()}, layout->script);
            ASSERT_EQ(r.status, 0) << r.out;
        }
        const LoopDevice loop(image, layout->sectorBytes, true);
        if (loop.Path().empty()) {
            GTEST_SKIP() << loop.Reason();
        }
        blockdev::Layout seen;
        std::string error;
        ASSERT_TRUE(blockdev::LayoutFromSpecs({{loop.Path(), BusTypeSata}}, seen, error)) << error;
        EXPECT_TRUE(seen.disks[0].direct);
        EXPECT_EQ(seen.disks[0].bytesPerSector, layout->sectorBytes);
        ExpectSameAsMachine(loop.Path() + ":sata", *layout, dir);
    }
}

// The sectors of the random test's read lines.
std::vector<ULONGLONG> RandomReads(const std::string& trace)
{
    std::vector<ULONGLONG> sectors;
    std::istringstream in(trace);
    for (std::string line; std::getline(in, line);) {
        std::istringstream words(line);
        std::string verb;
        std::string disk;
        ULONGLONG sector = 0;
        if (words >> verb >> disk >> sector && verb == "read") {
            sectors.push_back(sector);
        }
    }
    return sectors;
}

// --seed draws from the simulated machine's generator, never the kernel: the
// positions of a seeded run are fixed (these are the ones it has always
// drawn), while unseeded runs draw afresh each time.
TEST(RealDisk, SeededRandomPositionsAreFixedAndUnseededOnesAreNot)
{
    const TempDir dir;
    const std::string image = dir.File("disk.img");
    MakeImage(image, kGpt.bytes, kGpt.script);
    const auto draw = [&image](std::vector<std::string> seed) {
        std::vector<std::string> args{"--disk", image};
        args.insert(args.end(), seed.begin(), seed.end());
        args.insert(args.end(), {"--trace", "test", "random", "0-1"});
        const HddiagRun run = Hddiag(args);
        EXPECT_EQ(run.code, 0) << run.err;
        return RandomReads(run.out);
    };
    const std::vector<ULONGLONG> seeded = draw({"--seed", "7"});
    ASSERT_EQ(seeded.size(), 3000u);
    const std::vector<ULONGLONG> firstFive(seeded.begin(), seeded.begin() + 5);
    EXPECT_EQ(firstFive, (std::vector<ULONGLONG>{8916, 1861, 28085, 55661, 9253}));
    EXPECT_EQ(std::accumulate(seeded.begin(), seeded.end(), 0ull), 96226260ull);
    EXPECT_EQ(draw({"--seed", "7"}), seeded);

    const std::vector<ULONGLONG> unseeded = draw({});
    ASSERT_EQ(unseeded.size(), 3000u);
    EXPECT_NE(unseeded, seeded);
    EXPECT_NE(draw({}), unseeded);
}

TEST(RealDisk, FullRunWritesNothing)
{
    const TempDir dir;
    const std::string image = dir.File("disk.img");
    MakeImage(image, kMbrWithLogical.bytes, kMbrWithLogical.script);
    struct stat before {};
    ASSERT_EQ(::stat(image.c_str(), &before), 0);
    const std::string hashBefore = Sha256(image);
    ASSERT_EQ(hashBefore.size(), 64u);

    const HddiagRun run = Hddiag({"--disk", image, "run"});
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_NE(run.out.find("Summary: 12 tests, 12 passed"), std::string::npos) << run.out;

    struct stat after {};
    ASSERT_EQ(::stat(image.c_str(), &after), 0);
    EXPECT_EQ(Sha256(image), hashBefore);
    EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
    EXPECT_EQ(after.st_size, before.st_size);
}

TEST(RealDisk, UnusableDisksAreUsageErrors)
{
    const TempDir dir;
    const std::string empty = dir.File("empty.img");
    std::ofstream(empty).close();
    const std::string shortFile = dir.File("short.img");
    std::ofstream(shortFile) << std::string(100, 'x');
    // A GPT whose primary header and backup are both damaged: only the
    // protective MBR is left.
    const std::string noGpt = dir.File("nogpt.img");
    MakeImage(noGpt, kGpt.bytes, kGpt.script);
    PatchFile(noGpt, 512, "garbage!");
    PatchFile(noGpt, kGpt.bytes - 512, "garbage!");
    const std::string good = dir.File("good.img");
    MakeImage(good, kGpt.bytes, kGpt.script);

    struct Case {
        std::vector<std::string> args;
        const char* message;
    };
    const Case cases[] = {
        {{"--disk", dir.File("missing.img"), "info"}, "missing.img: No such file or directory"},
        {{"--disk", dir.Path(), "info"}, "is a directory"},
        {{"--disk", "/dev/null", "info"}, "/dev/null: is a character device"},
        {{"--disk", empty, "info"}, "empty.img: is empty"},
        {{"--disk", shortFile, "info"}, "short.img: is 100 bytes, shorter than one sector of 512 bytes"},
        {{"--disk", noGpt, "run"}, "nogpt.img: has a protective MBR but no readable GPT"},
        // Not a bus name, so part of the path.
        {{"--disk", good + ":floppy", "info"}, "good.img:floppy: No such file or directory"},
        // The second disk spoils the whole command, before anything is read.
        {{"--disk", good, "--disk", empty, "run"}, "empty.img: is empty"},
        {{"--disk", good, "--machine", "builtin", "info"}, "excludes"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[1]);
        const HddiagRun run = Hddiag(c.args);
        EXPECT_EQ(run.code, 2);
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        EXPECT_EQ(run.out.find("read "), std::string::npos);
    }
}

// A partition that runs past the end of the disk is the component's to judge:
// the read beyond the end fails, and the test says so with its own code.
TEST(RealDisk, PartitionPastTheEndFailsWithTheComponentsReadError)
{
    const TempDir dir;
    const std::string image = dir.File("disk.img");
    MakeImage(image, 8 * kMiB, "label: dos\nstart=2048, size=8192, type=7\n");
    PatchFile(image, 446 + 12, std::string("\x00\x00\x01\x00", 4));  // 65,536 sectors: 32 MiB on an 8 MiB disk

    const HddiagRun run = Hddiag({"--disk", image, "--trace", "test", "linear", "0-1"});
    EXPECT_EQ(run.code, 1) << run.err;
    EXPECT_NE(run.out.find("read 0 16384\n"), std::string::npos) << run.out;  // the first sector past the end
    EXPECT_NE(run.out.find("result HDDLinearSeekTest 1 0x20010001\n"), std::string::npos) << run.out;
}

TEST(RealDisk, InfoNamesTheDeviceAndBusBesideEachLetter)
{
    const TempDir dir;
    const std::string mbr = dir.File("mbr.img");
    const std::string gpt = dir.File("gpt.img");
    MakeImage(mbr, kMbrWithLogical.bytes, kMbrWithLogical.script);
    MakeImage(gpt, kGpt.bytes, kGpt.script);

    const HddiagRun run = Hddiag({"--disk", mbr, "--disk", gpt + ":usb", "info"});
    ASSERT_EQ(run.code, 0) << run.err;
    // The USB disk is not the component's to test, so the report leaves it
    // out; the disk table still shows its letters.
    EXPECT_NE(run.out.find("Report: 0-1-8,0-5-8,0-6-4\n"), std::string::npos) << run.out;
    // Columns are padded: compare with runs of blanks squeezed to one.
    std::string squeezed;
    for (char c : run.out) {
        if (!(c == ' ' && !squeezed.empty() && squeezed.back() == ' ')) {
            squeezed += c;
        }
    }
    const std::string rows[] = {
        "C: 0 1 " + mbr + " SATA -\n", "D: 0 5 " + mbr + " SATA -\n", "E: 0 6 " + mbr + " SATA -\n",
        "F: 1 1 " + gpt + " USB -\n",  "G: 1 2 " + gpt + " USB -\n",  "H: 1 3 " + gpt + " USB -\n",
    };
    for (const std::string& row : rows) {
        EXPECT_NE(squeezed.find(row), std::string::npos) << row << run.out;
    }
}

std::string Squeezed(const std::string& text)
{
    std::string squeezed;
    for (char c : text) {
        if (!(c == ' ' && !squeezed.empty() && squeezed.back() == ' ')) {
            squeezed += c;
        }
    }
    return squeezed;
}

// Letters run out after Z: every partition is still listed, with '-' and the
// reason, as are extended containers; a disk without a table says so.
TEST(RealDisk, PartitionsWithoutLettersAreListedWithTheReason)
{
    const TempDir dir;
    const std::string many = dir.File("many.img");  // 1, extended 2, logical 5-34
    std::string script = "label: dos\nstart=2048, size=2048, type=83\nstart=4096, type=5\n";
    for (int i = 0; i < 30; ++i) {
        script += "size=2048, type=83\n";
    }
    MakeImage(many, 80 * kMiB, script);
    const std::string blank = dir.File("blank.img");
    std::ofstream(blank, std::ios::binary).close();
    std::filesystem::resize_file(blank, kMiB);
    const std::string gpt = dir.File("gpt.img");
    MakeImage(gpt, kGpt.bytes, kGpt.script);

    const HddiagRun json = Hddiag({"--disk", many, "--disk", blank, "--disk", gpt, "--json", "info"});
    ASSERT_EQ(json.code, 0) << json.err;
    const nlohmann::json disks = nlohmann::json::parse(json.out).at("disks");
    std::vector<std::string> seen;  // "number letter-or-reason"
    for (const nlohmann::json& volume : disks.at(0).at("volumes")) {
        seen.push_back(std::to_string(volume.at("partition").get<DWORD>()) + " " +
                       (volume.at("letter").is_null() ? volume.at("reason").get<std::string>()
                                                      : volume.at("letter").get<std::string>()));
    }
    std::vector<std::string> expected = {"1 C", "2 extended container"};
    for (int n = 5; n <= 34; ++n) {
        expected.push_back(std::to_string(n) + " " +
                           (n <= 27 ? std::string(1, static_cast<char>('D' + n - 5)) : "all 24 letters C-Z used"));
    }
    EXPECT_EQ(seen, expected);
    EXPECT_TRUE(disks.at(1).at("volumes").empty());
    ASSERT_EQ(disks.at(2).at("volumes").size(), 3u);
    EXPECT_TRUE(disks.at(2).at("volumes").at(2).at("letter").is_null());
    EXPECT_EQ(nlohmann::json::parse(json.out).at("report").at("volumes").size(), 24u);

    const HddiagRun text = Hddiag({"--disk", many, "--disk", blank, "--disk", gpt, "info"});
    ASSERT_EQ(text.code, 0) << text.err;
    const std::string table = Squeezed(text.out);
    for (const std::string& row : {"C: 0 1 " + many + " SATA -\n", "- 0 2 " + many + " SATA - (no letter: extended container)\n",
                                   "Z: 0 27 " + many + " SATA -\n",
                                   "- 0 34 " + many + " SATA - (no letter: all 24 letters C-Z used)\n",
                                   "- 1 - " + blank + " SATA - (no partitions)\n",
                                   "- 2 3 " + gpt + " SATA - (no letter: all 24 letters C-Z used)\n"}) {
        EXPECT_NE(table.find(row), std::string::npos) << row << text.out;
    }
}

// A logical partition past 2^32 sectors: libblkid's 32-bit sum puts it at a
// wrapped start, over other data, or drops it and gives its number to the
// next one. The EBR chain read in 64 bits shows it unusable, and it is never
// tested; its neighbour in the chain is, under its own number.
TEST(RealDisk, LogicalPartitionPast2To32SectorsIsNeverTested)
{
    struct Case {
        const char* name;
        ULONGLONG ebr;        // whose first entry gets the start past 2^32
        ULONGLONG wrapped;    // where libblkid's 32-bit sum lands
        DWORD unusable;       // the partition that must not be used
        const char* report;
    };
    const Case cases[] = {
        {"wraps onto partition 1", 10240, 2048, 5, "0-1-4,0-6-1"},
        {"wraps inside the extended partition", 18432, 14336, 6, "0-1-4,0-5-1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const TempDir dir;
        const std::string image = dir.File("wrapped.img");
        // sfdisk refuses starts of 2^32 and more: make the chain with ordinary
        // starts (EBRs at 10240 and 18432), then write one entry by hand.
        MakeImage(image, 16 * kMiB,
                  "label: dos\nstart=2048, size=8192, type=83\nstart=10240, size=20480, type=5\n"
                  "start=12288, size=2048, type=83\nstart=20480, size=2048, type=83\n");
        const ULONGLONG absolute = (1ull << 32) + c.wrapped;
        const ULONGLONG relative = absolute - c.ebr;
        std::string bytes(4, '\0');
        for (size_t i = 0; i < 4; ++i) {
            bytes[i] = static_cast<char>(relative >> (8 * i) & 0xFF);
        }
        PatchFile(image, c.ebr * 512 + 446 + 8, bytes);
        const std::string hash = Sha256(image);

        const HddiagRun info = Hddiag({"--disk", image, "--json", "info"});
        ASSERT_EQ(info.code, 0) << info.err;
        const nlohmann::json doc = nlohmann::json::parse(info.out);
        const nlohmann::json& volumes = doc.at("disks").at(0).at("volumes");
        ASSERT_EQ(volumes.size(), 4u) << volumes;
        for (const nlohmann::json& v : volumes) {
            const DWORD number = v.at("partition").get<DWORD>();
            EXPECT_EQ(v.at("letter").is_null(), number == 2 || number == c.unusable) << v;
            if (number == c.unusable) {
                EXPECT_NE(v.at("reason").get<std::string>().find("at sector " + std::to_string(absolute) + ", past 2^32"),
                          std::string::npos)
                    << v;
            }
        }
        EXPECT_EQ(doc.at("report").at("text"), c.report);

        // A whole run tests the two usable partitions only.
        const HddiagRun run = Hddiag({"--disk", image, "--json", "run"});
        EXPECT_EQ(run.code, 0) << run.err;
        const nlohmann::json results = nlohmann::json::parse(run.out).at("results");
        EXPECT_EQ(results.size(), 8u);
        for (const nlohmann::json& r : results) {
            EXPECT_NE(r.at("selector"), "0-" + std::to_string(c.unusable));
        }
        const HddiagRun direct =
            Hddiag({"--disk", image, "--trace", "test", "linear", "0-" + std::to_string(c.unusable)});
        EXPECT_EQ(direct.code, 1);
        EXPECT_EQ(CountLines(direct.out, "read "), 0u) << direct.out;
        EXPECT_EQ(Sha256(image), hash);
    }
}

// libblkid takes a GPT only when its header fits the disk: a table made for
// a larger disk leaves the protective MBR alone, which stops hddiag.
TEST(RealDisk, GptMadeForALargerDiskIsRefused)
{
    const TempDir dir;
    const std::string image = dir.File("shrunk.img");
    MakeImage(image, kGpt.bytes, kGpt.script);
    std::filesystem::resize_file(image, kGpt.bytes / 2);
    const HddiagRun run = Hddiag({"--disk", image, "--trace", "run"});
    EXPECT_EQ(run.code, 2);
    EXPECT_NE(run.err.find("has a protective MBR but no readable GPT"), std::string::npos) << run.err;
    EXPECT_EQ(run.out, "");
}

}  // namespace
}  // namespace hdd::linuxtest
