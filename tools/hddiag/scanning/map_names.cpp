#include "tools/hddiag/scanning/map_names.h"

#include <algorithm>

namespace hddiag {

namespace {

std::string Safe(const std::string& text)
{
    std::string safe;
    for (char c : text) {
        const bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
                          c == '_';
        safe += keep ? c : '_';
    }
    return safe;
}

// The device's own name: "sdb" of /dev/sdb, "disk.img" of an image's path.
std::string LastPart(const std::string& device)
{
    const size_t slash = device.find_last_of("/\\");
    return slash == std::string::npos ? device : device.substr(slash + 1);
}

}  // namespace

std::string MapFileName(const DiskRow& row)
{
    std::string name = Safe(LastPart(row.device));
    if (!row.serial.empty()) {
        name += (name.empty() ? "" : "_") + Safe(row.serial);
    }
    if (name.empty() || std::all_of(name.begin(), name.end(), [](char c) { return c == '_'; })) {
        name = "disk" + std::to_string(row.disk);
    }
    return name + ".map";
}

std::vector<std::string> MapPathsInFolder(const std::string& folder, const std::vector<const DiskRow*>& rows)
{
    std::vector<std::string> names;
    for (const DiskRow* row : rows) {
        names.push_back(MapFileName(*row));
    }
    std::vector<std::string> paths;
    const bool ends = !folder.empty() && (folder.back() == '/' || folder.back() == '\\');
    for (size_t i = 0; i < names.size(); ++i) {
        std::string name = names[i];
        if (std::count(names.begin(), names.end(), name) > 1) {
            name = name.substr(0, name.size() - 4) + "_" + std::to_string(rows[i]->disk) + ".map";
        }
        paths.push_back(folder + (ends ? "" : "/") + name);
    }
    return paths;
}

}  // namespace hddiag
