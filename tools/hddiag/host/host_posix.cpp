// Linux: this computer's disks, or the block devices and image files named
// with --disk, as the simulated machine's model over the real media, with
// the component linked into hddiag working on them.
#include <unistd.h>

#include "platform/linux/linux_machine.h"
#include "platform/sim/bus_names.h"
#include "tools/hddiag/host/host.h"

namespace hddiag::host {

namespace {

class LinuxDisks final : public RealMachine {
public:
    explicit LinuxDisks(hdd::blockdev::Layout layout, std::optional<unsigned int> seed)
        : m_machine(std::move(layout), seed)
    {
        m_machine.Machine().SetRecording(false);  // a run makes millions of reads; the observer sees each
    }
    hdd::OsApi& Api() override { return m_machine; }
    void ObserveReads(std::function<void(LONG, ULONGLONG)> observer) override
    {
        m_machine.Machine().SetReadObserver(std::move(observer));
    }
    std::vector<DiskRow> Rows() const override
    {
        std::vector<DiskRow> rows;
        const std::vector<hdd::blockdev::RealDisk>& disks = m_machine.Disks();
        for (size_t i = 0; i < disks.size(); ++i) {
            const hdd::blockdev::RealDisk& d = disks[i];
            DiskRow row;
            row.disk = static_cast<LONG>(i);
            row.path = d.path;
            row.device = d.identity.device;
            row.bus = hdd::sim::BusDisplayName(d.bus);
            row.busType = d.bus;
            row.media = d.removable ? RemovableMedia : FixedMedia;
            row.model = d.identity.model;
            row.serial = d.identity.serial;
            row.wwn = d.identity.wwn;
            row.size = d.size;
            row.bytesPerSector = d.bytesPerSector;
            row.problem = d.problem;
            if (d.openError != 0) {
                row.problem = "cannot be opened: " + d.problem + ", error " + std::to_string(d.openError);
            }
            for (const hdd::blockdev::RealPartition& p : d.partitions) {
                row.volumes.push_back({static_cast<char>(p.letter), p.number, p.reason});
            }
            rows.push_back(std::move(row));
        }
        return rows;
    }

private:
    hdd::blockdev::LinuxMachine m_machine;
};

}  // namespace

std::string DefaultMachine() { return std::string(); }

bool UsesInstalledComponent() { return false; }

bool StderrIsTerminal() { return isatty(STDERR_FILENO) != 0; }

std::unique_ptr<Component> OpenInstalledComponent(std::string& error)
{
    error = "no installed component on this system; hddiag links its own";
    return nullptr;
}

std::unique_ptr<RealMachine> OpenRealMachine(const std::vector<DiskOption>& disks, std::optional<unsigned int> seed,
                                             std::string& error)
{
    hdd::blockdev::Layout layout;
    if (disks.empty()) {
        layout = hdd::blockdev::LayoutFromSystem(hdd::blockdev::ListSystemDisks());
    } else {
        std::vector<hdd::blockdev::DiskSpec> specs;
        for (const DiskOption& d : disks) {
            specs.push_back({d.path, d.bus});
        }
        if (!hdd::blockdev::LayoutFromSpecs(specs, layout, error)) {
            return nullptr;
        }
    }
    return std::make_unique<LinuxDisks>(std::move(layout), seed);
}

}  // namespace hddiag::host
