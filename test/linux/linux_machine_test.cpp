// The Linux machine's own rules: bytes read through the OS seam are the
// disk's bytes (also through the bounce buffer of a 4096-byte-sector loop
// device), buses from sysfs paths, the order of kernel disk names, and the
// --disk PATH[:BUS] form.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "disk_images.h"
#include "platform/linux/linux_machine.h"
#include "tools/hddiag/options/options.h"

namespace hdd::linuxtest {
namespace {

constexpr ULONGLONG kImageBytes = 4 * 1048576;

// Every 512-byte sector carries its own number in its first eight bytes.
void WriteNumberedSectors(const std::string& path)
{
    std::ofstream out(path, std::ios::binary);
    std::string sector(512, '\xA5');
    for (ULONGLONG s = 0; s < kImageBytes / 512; ++s) {
        std::memcpy(sector.data(), &s, sizeof s);
        out.write(sector.data(), static_cast<std::streamsize>(sector.size()));
    }
}

struct Read {
    const wchar_t* path;
    ULONGLONG offset;
    BOOL ok;
    DWORD error;        // when it fails
    ULONGLONG sector;   // the sector number found at the start of the buffer
};

void ExpectReads(const std::string& disk)
{
    blockdev::Layout layout;
    std::string error;
    ASSERT_TRUE(blockdev::LayoutFromSpecs({{disk, BusTypeSata}}, layout, error)) << error;
    // Sector 0 holds a number, not a partition table: a volume comes from a
    // description of our own.
    layout.description.disks[0].partitions.push_back(sim::SimPartition{1, 1048576, 1048576, L'C'});
    blockdev::LinuxMachine machine(std::move(layout));
    EXPECT_EQ(machine.GetLogicalDrives(), 1u << 2);

    const Read reads[] = {
        {L"\\\\.\\PHYSICALDRIVE0", 0, TRUE, 0, 0},
        {L"\\\\.\\PHYSICALDRIVE0", 512, TRUE, 0, 1},
        {L"\\\\.\\PHYSICALDRIVE0", 7 * 512, TRUE, 0, 7},        // the last 512 bytes of a 4096-byte sector
        {L"\\\\.\\PHYSICALDRIVE0", 4095 * 512, TRUE, 0, 4095},
        {L"\\\\.\\PHYSICALDRIVE0", kImageBytes - 512, TRUE, 0, kImageBytes / 512 - 1},
        {L"\\\\.\\PHYSICALDRIVE0", kImageBytes, FALSE, ERROR_SECTOR_NOT_FOUND, 0},
        {L"\\\\.\\C:", 0, TRUE, 0, 2048},                        // volume reads start at the partition
        {L"\\\\.\\C:", 1048576 - 512, TRUE, 0, 4095},
        {L"\\\\.\\C:", 1048576, FALSE, ERROR_SECTOR_NOT_FOUND, 0},
    };
    for (const Read& r : reads) {
        SCOPED_TRACE(r.offset);
        const HANDLE h = machine.CreateFileW(r.path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                             OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        LONG high = static_cast<LONG>(r.offset >> 32);
        EXPECT_EQ(machine.SetFilePointer(h, static_cast<LONG>(static_cast<DWORD>(r.offset)), &high, FILE_BEGIN),
                  static_cast<DWORD>(r.offset));
        alignas(8) BYTE buffer[512];
        std::memset(buffer, 0xEE, sizeof buffer);
        DWORD got = 99;
        EXPECT_EQ(machine.ReadFile(h, buffer, sizeof buffer, &got, nullptr), r.ok);
        if (r.ok) {
            ULONGLONG found = 0;
            std::memcpy(&found, buffer, sizeof found);
            EXPECT_EQ(got, 512u);
            EXPECT_EQ(found, r.sector);
            EXPECT_EQ(buffer[511], 0xA5);
        } else {
            EXPECT_EQ(got, 0u);
            EXPECT_EQ(machine.GetLastError(), r.error);
        }
        EXPECT_TRUE(machine.CloseHandle(h));
    }
    // A large aligned read lands in the caller's buffer whole; the length
    // request gives every byte.
    {
        const HANDLE h = machine.CreateFileW(L"\\\\.\\PHYSICALDRIVE0", GENERIC_READ, FILE_SHARE_READ, nullptr,
                                             OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        LONG high = 0;
        EXPECT_EQ(machine.SetFilePointer(h, 1048576, &high, FILE_BEGIN), 1048576u);
        alignas(4096) static BYTE block[262144];
        DWORD got = 0;
        ASSERT_TRUE(machine.ReadFile(h, block, sizeof block, &got, nullptr));
        EXPECT_EQ(got, sizeof block);
        for (ULONGLONG at : {0ull, 65536ull - 512, 262144ull - 512}) {
            ULONGLONG found = 0;
            std::memcpy(&found, block + at, sizeof found);
            EXPECT_EQ(found, (1048576 + at) / 512) << at;
        }
        GET_LENGTH_INFORMATION length{};
        DWORD returned = 0;
        ASSERT_TRUE(machine.DeviceIoControl(h, IOCTL_DISK_GET_LENGTH_INFO, nullptr, 0, &length, sizeof length,
                                            &returned, nullptr));
        EXPECT_EQ(static_cast<ULONGLONG>(length.Length.QuadPart), kImageBytes);
        EXPECT_TRUE(machine.CloseHandle(h));
    }
    // Writing is not asked for by the component, and not allowed.
    EXPECT_EQ(machine.CreateFileW(L"\\\\.\\PHYSICALDRIVE0", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                  0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(machine.GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_EQ(machine.Machine().OpenHandleCount(), 0u);
}

TEST(LinuxMachine, ReadsGiveTheDisksBytes)
{
    const TempDir dir;
    const std::string image = dir.File("numbered.img");
    WriteNumberedSectors(image);
    {
        SCOPED_TRACE("image file");
        ExpectReads(image);
    }
    for (DWORD sectorBytes : {512u, 4096u}) {
        SCOPED_TRACE("loop device of " + std::to_string(sectorBytes) + "-byte sectors");
        const LoopDevice loop(image, sectorBytes, true);
        if (loop.Path().empty()) {
            GTEST_SKIP() << loop.Reason();
        }
        ExpectReads(loop.Path());
    }
}

// Opening again is how the scan asks whether its disk is still there.
TEST(LinuxMachine, AnImageThatWentAwayNoLongerOpens)
{
    const TempDir dir;
    const std::string image = dir.File("gone.img");
    WriteNumberedSectors(image);
    blockdev::Layout layout;
    std::string error;
    ASSERT_TRUE(blockdev::LayoutFromSpecs({{image, BusTypeSata}}, layout, error)) << error;
    blockdev::LinuxMachine machine(std::move(layout));
    const wchar_t* path = L"\\\\.\\PHYSICALDRIVE0";
    const HANDLE h = machine.CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(machine.CloseHandle(h));
    ASSERT_EQ(std::remove(image.c_str()), 0);
    EXPECT_EQ(machine.CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(machine.GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST(LinuxMachine, BusFromSysfsPath)
{
    struct Case {
        const char* name;
        const char* path;
        DWORD bus;
    };
    const Case cases[] = {
        {"sda", "/sys/devices/pci0000:00/0000:00:1f.2/ata1/host0/target0:0:0/0:0:0:0/block/sda", BusTypeSata},
        {"sdb", "/sys/devices/pci0000:00/0000:00:14.0/usb2/2-1/2-1:1.0/host6/target6:0:0/6:0:0:0/block/sdb",
         BusTypeUsb},
        {"sdc", "/sys/devices/pci0000:00/0000:00:01.0/0000:01:00.0/host0/port-0:0/end_device-0:0/target0:0:0/"
                "0:0:0:0/block/sdc",
         BusTypeSas},
        {"sdd", "/sys/devices/pci0000:00/0000:00:03.0/virtio2/host0/target0:0:0/0:0:0:0/block/sdd", BusTypeScsi},
        {"sde", "/sys/devices/pci0000:00/0000:00:1c.0/0000:05:00.0/fw0/fw0.0/host7/target7:0:0/7:0:0:0/block/sde",
         BusType1394},
        {"nvme0n1", "/sys/devices/pci0000:00/0000:00:1d.0/0000:3d:00.0/nvme/nvme0/nvme0n1", BusTypeNvme},
        {"mmcblk0", "/sys/devices/pci0000:00/0000:00:1c.0/0000:02:00.0/mmc_host/mmc0/mmc0:0001/block/mmcblk0",
         BusTypeSd},
        {"vda", "/sys/devices/pci0000:00/0000:00:02.0/virtio1/block/vda", BusTypeScsi},
        {"md0", "/sys/devices/virtual/block/md0", BusTypeRAID},
        {"loop3", "/sys/devices/virtual/block/loop3", BusTypeFileBackedVirtual},
        {"nbd0", "/sys/devices/virtual/block/nbd0", BusTypeUnknown},
        // A component merely starting with a bus's name is not that bus.
        {"sdf", "/sys/devices/platform/atari/host0/target0:0:0/0:0:0:0/block/sdf", BusTypeScsi},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(blockdev::BusFromSysfs(c.name, c.path), c.bus);
    }
}

TEST(LinuxMachine, DiskNamesInKernelOrder)
{
    std::vector<std::string> names = {"sdaa", "nvme1n1", "sdb", "loop10", "sda", "nvme0n10", "loop2",
                                      "nvme0n2", "sdz", "mmcblk0", "loop0"};
    std::sort(names.begin(), names.end(), blockdev::DiskNameLess);
    const std::vector<std::string> expected = {"loop0", "loop2",    "loop10",  "mmcblk0", "nvme0n2", "nvme0n10",
                                               "nvme1n1", "sda",     "sdb",    "sdz",     "sdaa"};
    EXPECT_EQ(names, expected);
}

TEST(LinuxMachine, DiskOptionSplitsOffAKnownBus)
{
    struct Case {
        const char* text;
        const char* path;
        DWORD bus;
    };
    const Case cases[] = {
        {"disk.img", "disk.img", BusTypeSata},
        {"disk.img:usb", "disk.img", BusTypeUsb},
        {"/dev/sdb:NVMe", "/dev/sdb", BusTypeNvme},
        {"disk.img:8", "disk.img", BusTypeRAID},
        {"/dev/disk/by-path/pci-0000:00:1f.2-ata-1", "/dev/disk/by-path/pci-0000:00:1f.2-ata-1", BusTypeSata},
        {"a:b.img:scsi", "a:b.img", BusTypeScsi},
        {"disk.img:256", "disk.img:256", BusTypeSata},
        {":usb", ":usb", BusTypeSata},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const hddiag::DiskOption d = hddiag::ParseDiskOption(c.text);
        EXPECT_EQ(d.path, c.path);
        EXPECT_EQ(d.bus, c.bus);
    }
}

}  // namespace
}  // namespace hdd::linuxtest
