#include "tools/hddiag/scanning/scan_source.h"

#include "platform/sim/sim_machine.h"

namespace hddiag {

namespace {

class SimDiskSeam final : public DiskSeam {
public:
    SimDiskSeam(const hdd::sim::MachineDescription& description, LONG disk, bool pace)
        : m_machine(description), m_path(PhysicalDrivePath(disk)), m_clock(m_machine)
    {
        m_machine.SetRecording(false);  // a scan makes millions of reads
        m_machine.SetFillReads(false);  // nobody looks at the bytes; a 16 TiB disk stays cheap
        m_machine.SetPacing(pace);
    }
    hdd::OsApi& Api() override { return m_machine; }
    const std::wstring& DevicePath() const override { return m_path; }
    LatencyClock& Clock() override { return m_clock; }

private:
    hdd::sim::SimMachine m_machine;
    std::wstring m_path;
    SimMachineClock m_clock;
};

class SimScanSource final : public ScanSource {
public:
    SimScanSource(hdd::sim::MachineDescription description, bool pace)
        : m_description(std::move(description)), m_pace(pace)
    {
        const std::vector<DiskRow> rows = RowsOfMachine(m_description);
        for (size_t i = 0; i < rows.size(); ++i) {
            const hdd::sim::SimDisk& d = m_description.disks[i];
            ScanDiskInfo info;
            info.row = rows[i];
            info.sectorSize = d.bytesPerSector;
            for (const hdd::sim::SimPartition& p : d.partitions) {
                info.partitions.push_back({p.number, p.offset, p.length});
            }
            m_disks.push_back(std::move(info));
        }
    }
    const std::vector<ScanDiskInfo>& Disks() const override { return m_disks; }
    std::unique_ptr<DiskSeam> OpenDisk(LONG disk, std::string&) override
    {
        return std::make_unique<SimDiskSeam>(m_description, disk, m_pace);
    }

private:
    hdd::sim::MachineDescription m_description;
    bool m_pace;
    std::vector<ScanDiskInfo> m_disks;
};

}  // namespace


std::unique_ptr<ScanSource> SimulatedScanSource(hdd::sim::MachineDescription description, bool pace)
{
    return std::make_unique<SimScanSource>(std::move(description), pace);
}

}  // namespace hddiag
