#include "tools/hddiag/session/real_disks.h"

#include <algorithm>
#include <iomanip>

#include "tools/hddiag/writers/text_escape.h"

namespace hddiag {

namespace {

struct Line {
    std::string letter, disk, partition, device, bus, model;
};

}  // namespace

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
