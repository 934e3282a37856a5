// hddiag on real media: images made here with sfdisk, and read-only loop
// devices when the kernel gives us one. The simulated machine, played from a
// machine file of the same layout, is the reference the real backend must
// match call for call.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
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
    EXPECT_EQ(simDoc.at("disks").at(0).at("volumes"), realDoc.at("disks").at(0).at("volumes"));
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
    EXPECT_TRUE(only.at("problem").is_null());
    ASSERT_EQ(only.at("volumes").size(), layout.parts.size());
    for (size_t i = 0; i < layout.parts.size(); ++i) {
        EXPECT_EQ(only.at("volumes").at(i).at("partition"), layout.parts[i].number);
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
        // The component measures extents in the drive's sectors but reads
        // 512-byte ones, and refuses the random test: whatever it does, it
        // does on both.
        EXPECT_GT(CountLines(real.out, "read "), 0u);
    }
    EXPECT_TRUE(real.out == sim.out) << "the traces differ; real run:\n" << real.out.substr(0, 2000);
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
// where every 512-byte read takes the whole sector that holds it.
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

}  // namespace
}  // namespace hdd::linuxtest
