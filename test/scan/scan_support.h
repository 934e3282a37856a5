// Pieces shared by the scan's tests: a simulated disk with planted
// unreadable sectors, the machine's clock for the scan, and the reads the
// machine saw, counted per sector.
#pragma once

#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "platform/sim/sim_machine.h"
#include "scan/scan_engine.h"

namespace hdd::testing {

class SimScanClock final : public scan::ScanClock {
public:
    explicit SimScanClock(const sim::SimMachine& machine) : m_machine(machine) {}
    ULONGLONG NowNanoseconds() override { return m_machine.NowMicroseconds() * 1000u; }

private:
    const sim::SimMachine& m_machine;
};

// A disk of `sectors` sectors whose geometry rounds it down to whole
// cylinders (as real ones do); `bad` in 512-byte units.
inline sim::SimDisk ScanDisk(ULONGLONG sectors, DWORD sectorBytes, const std::vector<sim::SectorRange>& bad)
{
    sim::SimDisk disk;
    disk.bus = BusTypeSata;
    disk.media = FixedMedia;
    disk.bytesPerSector = sectorBytes;
    disk.tracksPerCylinder = 16;
    disk.sectorsPerTrack = 63;
    disk.size = sectors * sectorBytes;
    disk.cylinders = static_cast<LONGLONG>(sectors / (16 * 63));
    disk.unreadable = bad;
    return disk;
}

inline sim::MachineDescription OneDisk(sim::SimDisk disk)
{
    sim::MachineDescription d;
    d.disks.push_back(std::move(disk));
    return d;
}

// How often each sector of disk 0 was read (all reads, checks included).
inline std::vector<int> ReadsPerSector(const sim::SimMachine& m, ULONGLONG sectors, DWORD sectorBytes)
{
    std::vector<int> counts(sectors, 0);
    for (const sim::CallRecord& c : m.Calls()) {
        if (c.kind == sim::CallKind::Read && c.disk == 0) {
            for (ULONGLONG s = c.sector; s < c.sector + c.bytes / sectorBytes && s < sectors; ++s) {
                ++counts[s];
            }
        }
    }
    return counts;
}

// The sectors the map calls unreadable, in the disk's sectors.
inline std::set<ULONGLONG> UnreadableSectors(const scan::RangeMap& map, DWORD sectorBytes)
{
    std::set<ULONGLONG> sectors;
    for (const scan::MapRange& r : map.Ranges()) {
        if (r.state == scan::SectorState::Unreadable) {
            for (ULONGLONG s = r.pos / sectorBytes; s < r.End() / sectorBytes; ++s) {
                sectors.insert(s);
            }
        }
    }
    return sectors;
}

}  // namespace hdd::testing
