#include "tools/hddiag/session/real_disks.h"

#include <algorithm>
#include <iomanip>
#include <set>

#include "platform/sim/bus_names.h"

#include "tools/hddiag/text/text_escape.h"

namespace hddiag {

namespace {

struct Line {
    std::string letter, disk, partition, device, bus, model;
};

DiskRow PhysicalDriveRow(LONG disk)
{
    DiskRow row;
    row.disk = disk;
    row.device = "PhysicalDrive" + std::to_string(disk);
    row.path = "\\\\.\\" + row.device;
    return row;
}

}  // namespace

std::vector<DiskRow> RowsOfMachine(const hdd::sim::MachineDescription& machine)
{
    std::vector<DiskRow> rows;
    for (size_t i = 0; i < machine.disks.size(); ++i) {
        const hdd::sim::SimDisk& d = machine.disks[i];
        DiskRow row = PhysicalDriveRow(static_cast<LONG>(i));
        row.bus = hdd::sim::BusDisplayName(d.bus);
        row.busType = d.bus;
        row.media = d.media;
        row.model = d.model;
        row.serial = d.serial;
        row.wwn = d.wwn;
        row.size = d.size;
        row.bytesPerSector = d.bytesPerSector;
        for (const hdd::sim::SimPartition& p : d.partitions) {
            row.volumes.push_back(
                {static_cast<char>(p.letter), p.number, p.letter != 0 ? std::string() : "none in the machine"});
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

std::vector<DiskRow> RowsOfReport(const std::vector<ReportItem>& items)
{
    std::set<LONG> disks;
    for (const ReportItem& item : items) {
        disks.insert(item.disk);
    }
    std::vector<DiskRow> rows;
    for (const LONG disk : disks) {
        DiskRow row = PhysicalDriveRow(disk);
        for (const ReportItem& item : items) {
            if (item.disk == disk) {
                row.volumes.push_back({item.letter, static_cast<DWORD>(item.partition),
                                       item.letter != 0 ? std::string() : "no volume answers with a letter"});
            }
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

const DiskRow* FindDisk(const std::vector<DiskRow>& rows, LONG disk)
{
    for (const DiskRow& row : rows) {
        if (row.disk == disk) {
            return &row;
        }
    }
    return nullptr;
}

void PrintDiskTable(std::ostream& out, const std::vector<DiskRow>& rows)
{
    std::vector<Line> lines;
    lines.push_back({"Letter", "Disk", "Partition", "Device", "Bus", "Model"});
    for (const DiskRow& row : rows) {
        std::string model = row.model.empty() ? std::string("-") : Printable(row.model);
        if (!row.problem.empty()) {
            model += " (" + Printable(row.problem) + ")";
        } else if (row.volumes.empty()) {
            model += " (no partitions)";
        }
        const Line disk{"-", std::to_string(row.disk), "-", Printable(row.path), row.bus, model};
        if (row.volumes.empty()) {
            lines.push_back(disk);
        }
        for (const DiskVolume& v : row.volumes) {
            Line line = disk;
            line.partition = std::to_string(v.partition);
            if (v.letter != 0) {
                line.letter = std::string(1, v.letter) + ":";
            } else {
                line.model += " (no letter: " + v.reason + ")";
            }
            lines.push_back(std::move(line));
        }
    }
    size_t widths[5] = {};
    for (const Line& l : lines) {
        const std::string* cells[5] = {&l.letter, &l.disk, &l.partition, &l.device, &l.bus};
        for (size_t i = 0; i < 5; ++i) {
            widths[i] = std::max(widths[i], cells[i]->size() + 2);
        }
    }
    out << std::left;
    for (const Line& l : lines) {
        out << std::setw(static_cast<int>(widths[0])) << l.letter << std::setw(static_cast<int>(widths[1])) << l.disk
            << std::setw(static_cast<int>(widths[2])) << l.partition << std::setw(static_cast<int>(widths[3]))
            << l.device << std::setw(static_cast<int>(widths[4])) << l.bus << l.model << '\n';
    }
    out << std::right;
}

}  // namespace hddiag
