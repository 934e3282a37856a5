// The simulated machine the benchmarks read: one instant SATA disk of 255
// heads, 63 sectors per track and 512 bytes per sector, with the partition under test on D:
// (partition 2) starting at sector 2048.
#pragma once

#include "platform/sim/machine_description.h"

namespace hdd::bench {

// The disk's sector size, which a direct sector read is given.
constexpr DWORD kBenchSectorBytes = 512;

inline hdd::sim::MachineDescription BenchMachine(ULONGLONG partitionSectors)
{
    constexpr ULONGLONG kSector = 512;
    hdd::sim::SimDisk disk;
    disk.bus = BusTypeSata;
    disk.media = FixedMedia;
    disk.tracksPerCylinder = 255;
    disk.sectorsPerTrack = 63;
    disk.bytesPerSector = kBenchSectorBytes;
    const ULONGLONG perCylinder = 255ull * 63 * 512;
    const ULONGLONG cylinders = ((partitionSectors + 4096) * kSector + perCylinder - 1) / perCylinder;
    disk.cylinders = static_cast<LONGLONG>(cylinders);
    disk.size = cylinders * perCylinder;
    disk.partitions.push_back(hdd::sim::SimPartition{2, 2048 * kSector, partitionSectors * kSector, L'D'});
    hdd::sim::MachineDescription d;
    d.disks.push_back(disk);
    return d;
}

}  // namespace hdd::bench
