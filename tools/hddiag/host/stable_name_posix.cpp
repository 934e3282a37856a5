#include "tools/hddiag/host/stable_name.h"

#include <sys/stat.h>

#include <filesystem>

namespace hddiag::host {

std::string StableDeviceName(const std::string& path, const std::string& folder)
{
    struct stat device {};
    if (stat(path.c_str(), &device) != 0 || !S_ISBLK(device.st_mode)) {
        return {};
    }
    // udev gives a disk several links (ata-, wwn-, ...): the first by name
    // is the same one every time.
    std::string first;
    std::error_code failed;
    for (std::filesystem::directory_iterator link(folder, failed), end; !failed && link != end;
         link.increment(failed)) {
        struct stat target {};
        const std::string name = link->path().string();
        if (stat(name.c_str(), &target) == 0 && S_ISBLK(target.st_mode) && target.st_rdev == device.st_rdev &&
            (first.empty() || name < first)) {
            first = name;
        }
    }
    return first;
}

}  // namespace hddiag::host
