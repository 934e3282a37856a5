// Linux: the --disk paths or this computer's disks for a scan. Each reader
// gets a Linux machine of its own over its one disk (opened again, read-only),
// so no machine is shared between threads. A disk whose partition table
// cannot be read is kept whole: it must be scanned all the same.
#include "platform/linux/linux_machine.h"
#include "platform/sim/bus_names.h"
#include "tools/hddiag/host/scan_source.h"
#include "tools/hddiag/host/stable_name.h"

namespace hddiag::host {

namespace {

class LinuxDiskSeam final : public DiskSeam {
public:
    explicit LinuxDiskSeam(hdd::blockdev::Layout layout)
        : m_machine(std::move(layout)), m_path(PhysicalDrivePath(0))
    {
        m_machine.Machine().SetRecording(false);
    }
    hdd::OsApi& Api() override { return m_machine; }
    const std::wstring& DevicePath() const override { return m_path; }
    LatencyClock& Clock() override { return m_clock; }

private:
    hdd::blockdev::LinuxMachine m_machine;
    std::wstring m_path;
    HostClock m_clock;  // real reads take real time
};

ScanDiskInfo InfoOf(const hdd::blockdev::RealDisk& d, LONG number)
{
    ScanDiskInfo info;
    DiskRow& row = info.row;
    row.disk = number;
    row.path = d.path;
    row.device = d.identity.device;
    row.bus = hdd::sim::BusDisplayName(d.bus);
    row.model = d.identity.model;
    row.serial = d.identity.serial;
    row.wwn = d.identity.wwn;
    row.size = d.size;
    row.problem = d.problem;
    info.sectorSize = d.bytesPerSector;
    info.stableName = StableDeviceName(d.path);
    if (d.openError != 0) {
        info.unusable = d.problem + " (error " + std::to_string(d.openError) + ")";
    }
    for (const hdd::blockdev::RealPartition& p : d.partitions) {
        row.volumes.push_back({static_cast<char>(p.letter), p.number, p.reason});
        info.partitions.push_back({p.number, p.offset, p.length});
    }
    return info;
}

class LinuxScanSource final : public ScanSource {
public:
    LinuxScanSource(std::vector<hdd::blockdev::DiskSpec> specs, std::vector<hdd::blockdev::SystemDisk> system,
                    const hdd::blockdev::Layout& layout)
        : m_specs(std::move(specs)), m_system(std::move(system))
    {
        for (size_t i = 0; i < layout.disks.size(); ++i) {
            m_disks.push_back(InfoOf(layout.disks[i], static_cast<LONG>(i)));
        }
    }
    const std::vector<ScanDiskInfo>& Disks() const override { return m_disks; }
    std::unique_ptr<DiskSeam> OpenDisk(LONG disk, std::string& error) override
    {
        const size_t i = static_cast<size_t>(disk);
        hdd::blockdev::Layout layout;
        if (!m_specs.empty()) {
            if (!hdd::blockdev::LayoutFromSpecs({m_specs.at(i)}, layout, error,
                                                hdd::blockdev::PartitionTables::Optional)) {
                return nullptr;
            }
        } else {
            layout = hdd::blockdev::LayoutFromSystem({m_system.at(i)});
            if (layout.disks.front().openError != 0) {
                error = layout.disks.front().path + ": " + layout.disks.front().problem;
                return nullptr;
            }
        }
        return std::make_unique<LinuxDiskSeam>(std::move(layout));
    }

private:
    std::vector<hdd::blockdev::DiskSpec> m_specs;
    std::vector<hdd::blockdev::SystemDisk> m_system;
    std::vector<ScanDiskInfo> m_disks;
};

}  // namespace

std::unique_ptr<ScanSource> OpenScanSource(const Options& options, const std::vector<LONG>&, std::string& error)
{
    if (options.scan.sectorSize != 0) {
        error = "--sector-size is for hddiag.exe's --disk images; on Linux the sector size is the device's "
                "own (512 bytes for an image file; use losetup -b 4096 for 4096-byte sectors)";
        return nullptr;
    }
    std::vector<hdd::blockdev::DiskSpec> specs;
    for (const DiskOption& d : options.disks) {
        specs.push_back({d.path, d.bus});
    }
    std::vector<hdd::blockdev::SystemDisk> system;
    hdd::blockdev::Layout layout;
    if (specs.empty()) {
        system = hdd::blockdev::ListSystemDisks();
        layout = hdd::blockdev::LayoutFromSystem(system);
    } else if (!hdd::blockdev::LayoutFromSpecs(specs, layout, error, hdd::blockdev::PartitionTables::Optional)) {
        return nullptr;
    }
    return std::make_unique<LinuxScanSource>(std::move(specs), std::move(system), layout);
}

}  // namespace hddiag::host
