// The Linux machine's description: real disks (named ones, or this
// computer's) turned into the simulated machine's model, with the media that
// serve their reads. The rules for disks, partitions and letters live here.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/linux/file_media.h"
#include "platform/linux/system_disks.h"
#include "platform/sim/machine_description.h"

namespace hdd::blockdev {

// Geometry the machine reports for every real disk: the size divided into
// cylinders of 255 tracks of 63 sectors of the logical sector size.
constexpr DWORD kTracksPerCylinder = 255;
constexpr DWORD kSectorsPerTrack = 63;

// A disk or image named by the user, with the bus it is to report.
struct DiskSpec {
    std::string path;
    DWORD bus = BusTypeSata;
};

// A partition of a real disk as the front end lists it, whether or not it
// became a volume.
struct RealPartition {
    DWORD number = 0;
    ULONGLONG offset = 0;  // bytes
    ULONGLONG length = 0;  // bytes
    WCHAR letter = 0;      // 0: none, and reason says why
    std::string reason;
};

// What the front end shows about a real disk.
struct RealDisk {
    std::string path;         // device node or image file
    DiskIdentity identity;    // of an image file: its path as the device, nothing else
    DWORD bus = BusTypeUnknown;
    bool removable = false;
    ULONGLONG size = 0;       // bytes (of a disk that cannot be used: as sysfs says)
    DWORD bytesPerSector = 0; // logical sector size
    bool direct = false;      // reads bypass the page cache (O_DIRECT)
    DWORD openError = 0;      // nonzero: the disk cannot be used, and its opens fail with this code
    std::string problem;      // why it cannot be used, or what is wrong with its partition table
    std::vector<RealPartition> partitions;  // every one in the table, in table order
};

struct Layout {
    sim::MachineDescription description;
    std::vector<std::unique_ptr<FileMedia>> media;  // per disk; null for one that cannot be used
    std::vector<RealDisk> disks;
};

// Whether a disk whose partition table cannot be read is refused (the tests
// need its partitions) or kept whole without them, its problem saying why (a
// full scan reads it all the same).
enum class PartitionTables { Required, Optional };

// Exactly the named disks, numbered in the order given. False, with
// "PATH: what is wrong", when one cannot be used or (when required) its
// partition table cannot be read.
bool LayoutFromSpecs(const std::vector<DiskSpec>& specs, Layout& layout, std::string& error,
                     PartitionTables tables = PartitionTables::Required);

// The listed system disks, numbered in list order. One that cannot be opened
// stays in the machine: its opens fail with the error Windows would give.
Layout LayoutFromSystem(const std::vector<SystemDisk>& disks);

}  // namespace hdd::blockdev
