// The built-in machine: what a front end rehearses against when it is given
// no machine description.
#include "platform/sim/machine_description.h"

namespace hdd::sim {

MachineDescription BuiltinMachine()
{
    MachineDescription m;

    SimDisk system;
    system.bus = BusTypeSata;
    system.media = FixedMedia;
    system.model = "SIMULATED HDD 500GB";
    system.serial = "SIM0000500";
    system.wwn = "0x5000000000000500";
    system.cylinders = 60801;
    system.tracksPerCylinder = 255;
    system.sectorsPerTrack = 63;
    system.bytesPerSector = 512;
    system.size = 500107862016ull;
    system.partitions = {
        SimPartition{1, 1048576ull, 104857600000ull, L'C'},
        SimPartition{2, 104858648576ull, 395249106944ull, L'D'},
    };
    system.latency.model = LatencyModel::Hdd;
    // A weak area inside D: (51 MB, 300 ms a read), for a front end to find.
    system.slow = {SlowRange{600000000ull, 600099999ull, 300}};
    m.disks.push_back(system);

    // A 7.5 GiB memory stick; its geometry covers what fits in whole cylinders.
    SimDisk stick;
    stick.bus = BusTypeUsb;
    stick.media = RemovableMedia;
    stick.model = "SIMULATED STICK 8GB";
    stick.serial = "SIM0000008";
    stick.cylinders = 979;
    stick.tracksPerCylinder = 255;
    stick.sectorsPerTrack = 63;
    stick.bytesPerSector = 512;
    stick.size = 8053063680ull;
    stick.partitions = {SimPartition{1, 1048576ull, 8053063680ull - 1048576ull, L'E'}};
    stick.latency.model = LatencyModel::Ssd;
    m.disks.push_back(stick);

    return m;
}

}  // namespace hdd::sim
