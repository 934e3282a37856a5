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
        RealPartition listed{p.number, p.offset, p.length, 0, p.unusable};
        if (p.extended) {
            listed.reason = "extended container";
        }
        // Only a partition that can be a volume goes into the model: the
        // component never sees the others, so never tests them.
        if (listed.reason.empty()) {
            d.partitions.push_back(sim::SimPartition{p.number, p.offset, p.length, 0});
        }
        disk.partitions.push_back(std::move(listed));
    }
    layout.description.disks.push_back(std::move(d));
    layout.media.push_back(std::move(media));
    layout.disks.push_back(std::move(disk));
}

// Every volume, in disk order and then partition order, takes the next
// letter from C up to Z; those after Z are listed without one.
void AssignLetters(Layout& layout)
{
    WCHAR next = kFirstLetter;
    for (size_t i = 0; i < layout.disks.size(); ++i) {
        std::vector<sim::SimPartition>& volumes = layout.description.disks[i].partitions;
        for (RealPartition& listed : layout.disks[i].partitions) {
            if (!listed.reason.empty()) {
                continue;
            }
            if (next > kLastLetter) {
                listed.reason = "all " + std::to_string(kLastLetter - kFirstLetter + 1) + " letters C-Z used";
                continue;
            }
            listed.letter = next++;
            for (sim::SimPartition& volume : volumes) {
                if (volume.number == listed.number) {
                    volume.letter = listed.letter;
                }
            }
        }
    }
}

}  // namespace

bool LayoutFromSpecs(const std::vector<DiskSpec>& specs, Layout& layout, std::string& error,
                     PartitionTables tables)
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
            if (tables == PartitionTables::Required) {
                error = spec.path + ": " + tableProblem;
                return false;
            }
            table.clear();
            disk.problem = tableProblem;
        }
        AddUsable(layout, std::move(disk), std::move(media), table);
    }
    AssignLetters(layout);
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
    AssignLetters(layout);
    return layout;
}

}  // namespace hdd::blockdev
