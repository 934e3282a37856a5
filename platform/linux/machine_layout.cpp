#include "platform/linux/machine_layout.h"

#include "platform/linux/partition_table.h"

namespace hdd::blockdev {

namespace {

constexpr WCHAR kFirstLetter = L'C';
constexpr WCHAR kLastLetter = L'Z';

std::wstring PhysicalDrivePath(size_t disk) { return L"\\\\.\\PHYSICALDRIVE" + std::to_wstring(disk); }

sim::SimDisk DiskModel(DWORD bus, bool removable, ULONGLONG size, DWORD bytesPerSector)
{
    sim::SimDisk d;
    d.bus = bus;
    d.media = removable ? RemovableMedia : FixedMedia;
    d.tracksPerCylinder = kTracksPerCylinder;
    d.sectorsPerTrack = kSectorsPerTrack;
    d.bytesPerSector = bytesPerSector;
    d.cylinders = static_cast<LONGLONG>(size / (static_cast<ULONGLONG>(kTracksPerCylinder) * kSectorsPerTrack *
                                                bytesPerSector));
    d.size = size;
    return d;
}

// A disk that cannot be used: present, without media, every open refused.
void AddUnusable(Layout& layout, RealDisk disk, const MediaProblem& problem)
{
    const size_t number = layout.disks.size();
    disk.openError = problem.error;
    disk.problem = problem.message;
    sim::SimDisk d = DiskModel(disk.bus, disk.removable, 0, 512);
    layout.description.disks.push_back(d);
    sim::Fault refuse;
    refuse.op = sim::FaultOp::Open;
    refuse.path = PhysicalDrivePath(number);
    refuse.error = problem.error;
    layout.description.faults.push_back(refuse);
    layout.media.push_back(nullptr);
    layout.disks.push_back(std::move(disk));
}

void AddUsable(Layout& layout, RealDisk disk, std::unique_ptr<FileMedia> media,
               const std::vector<TablePartition>& table)
{
    disk.size = media->Size();
    disk.bytesPerSector = media->LogicalSectorSize();
    disk.direct = media->Direct();
    sim::SimDisk d = DiskModel(disk.bus, disk.removable, disk.size, disk.bytesPerSector);
    for (const TablePartition& p : table) {
        d.partitions.push_back(sim::SimPartition{p.number, p.offset, p.length, 0});
    }
    layout.description.disks.push_back(std::move(d));
    layout.media.push_back(std::move(media));
    layout.disks.push_back(std::move(disk));
}

// Every partition, in disk order and then partition order, takes the next
// letter from C up to Z.
void AssignLetters(sim::MachineDescription& description)
{
    WCHAR next = kFirstLetter;
    for (sim::SimDisk& disk : description.disks) {
        for (sim::SimPartition& p : disk.partitions) {
            if (next > kLastLetter) {
                return;
            }
            p.letter = next++;
        }
    }
}

}  // namespace

bool LayoutFromSpecs(const std::vector<DiskSpec>& specs, Layout& layout, std::string& error)
{
    layout = Layout{};
    for (const DiskSpec& spec : specs) {
        RealDisk disk;
        disk.path = spec.path;
        disk.identity.device = spec.path;
        SystemDisk node;
        if (DescribeDeviceNode(spec.path, node)) {
            disk.identity = node.identity;
            disk.removable = node.removable;
        }
        disk.bus = spec.bus;  // the user's word, not sysfs's: an image is a SATA disk unless told otherwise
        MediaProblem problem;
        std::unique_ptr<FileMedia> media = FileMedia::Open(spec.path, problem);
        if (!media) {
            error = spec.path + ": " + problem.message;
            return false;
        }
        std::vector<TablePartition> table;
        std::string tableProblem;
        if (!ReadPartitionTable(spec.path, table, tableProblem)) {
            error = spec.path + ": " + tableProblem;
            return false;
        }
        AddUsable(layout, std::move(disk), std::move(media), table);
    }
    AssignLetters(layout.description);
    return true;
}

Layout LayoutFromSystem(const std::vector<SystemDisk>& disks)
{
    Layout layout;
    for (const SystemDisk& system : disks) {
        RealDisk disk;
        disk.path = system.path;
        disk.identity = system.identity;
        disk.size = system.size;
        disk.bus = system.bus;
        disk.removable = system.removable;
        MediaProblem problem;
        std::unique_ptr<FileMedia> media = FileMedia::Open(system.path, problem);
        if (!media) {
            AddUnusable(layout, std::move(disk), problem);
            continue;
        }
        std::vector<TablePartition> table;
        std::string tableProblem;
        if (!ReadPartitionTable(system.path, table, tableProblem)) {
            disk.problem = tableProblem;  // usable, but without partitions
        }
        AddUsable(layout, std::move(disk), std::move(media), table);
    }
    AssignLetters(layout.description);
    return layout;
}

}  // namespace hdd::blockdev
