// This computer's disks as sysfs shows them: which whole-disk block devices
// count, in which order, and on which bus.
#pragma once

#include <string>
#include <vector>

#include "platform/linux/disk_identity.h"
#include "platform/win32.h"

namespace hdd::blockdev {

struct SystemDisk {
    std::string name;    // in /sys/block
    std::string path;    // the device node
    DWORD bus = BusTypeUnknown;
    bool removable = false;
    DiskIdentity identity;
    ULONGLONG size = 0;  // bytes, as sysfs counts them
    std::string backingFile;  // a loop device's file, as sysfs names it; else empty
};

// The whole-disk block devices of sysBlock (normally /sys/block): first those
// with a device behind them, then md arrays, then loop devices that have a
// backing file; each group in DiskNameLess order. Partitions, device-mapper,
// zram and RAM disks are not listed.
std::vector<SystemDisk> ListSystemDisks(const std::string& sysBlock = "/sys/block");

// What sysfs (and udev) say about the block device behind a device node
// (bus, identity, removable, size); false when path is not a block device
// sysfs knows.
bool DescribeDeviceNode(const std::string& path, SystemDisk& disk);

// The bus a disk reports, from its kernel name and the resolved sysfs path of
// its block device: usb -> USB, fw -> 1394, SAS end devices -> SAS, ata ->
// SATA, nvme -> NVMe, mmc -> SD, md -> RAID, loop -> file-backed virtual,
// virtio and other SCSI targets -> SCSI, anything else unknown.
DWORD BusFromSysfs(const std::string& name, const std::string& devicePath);

// Kernel names by family (loop, mmcblk, nvme, sd, vd, ...) alphabetically,
// then within a family in the order the kernel hands them out: sda ... sdz,
// sdaa; numbers by value (loop2 before loop10, nvme0n2 before nvme0n10).
bool DiskNameLess(const std::string& a, const std::string& b);

}  // namespace hdd::blockdev
