#include "tools/hddiag/health/disk_choice.h"

#include <algorithm>

#include "tools/hddiag/text/text_escape.h"

namespace hddiag {

bool NamesDisk(const DiskRow& row, const std::string& name)
{
    const bool number = !name.empty() && name.size() < 10 &&
                        std::all_of(name.begin(), name.end(), [](char c) { return c >= '0' && c <= '9'; });
    if (number) {
        LONG disk = 0;
        for (const char c : name) {
            disk = disk * 10 + (c - '0');
        }
        return disk == row.disk;
    }
    return name == row.device || name == row.path || (!row.device.empty() && name == "/dev/" + row.device);
}

bool ChooseDisks(const std::vector<DiskRow>& rows, const std::vector<std::string>& names, std::vector<DiskRow>& chosen,
                 std::string& error)
{
    chosen.clear();
    if (names.empty()) {
        chosen = rows;
        return true;
    }
    for (const std::string& name : names) {
        const auto it = std::find_if(rows.begin(), rows.end(), [&name](const DiskRow& r) { return NamesDisk(r, name); });
        if (it == rows.end()) {
            std::string known;
            for (const DiskRow& r : rows) {
                known += (known.empty() ? "" : ", ") + std::to_string(r.disk) + " (" + Printable(r.device) + ")";
            }
            error = "health: no disk '" + Printable(name) + "'" + (known.empty() ? "; there are none" : "; the disks are " + known);
            return false;
        }
        if (FindDisk(chosen, it->disk) == nullptr) {
            chosen.push_back(*it);
        }
    }
    return true;
}

}  // namespace hddiag
