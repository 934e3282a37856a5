// Real disks behind the OS seam for the component linked into hddiag (on
// Linux: block devices and image files), and how info shows them.
#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "platform/os_api.h"

namespace hddiag {

struct DiskVolume {
    char letter;
    DWORD partition;
};

// One disk as info shows it beside the report.
struct DiskRow {
    LONG disk = 0;
    std::string path;     // device node or image file
    std::string bus;      // SATA, USB, NVMe, file, ...
    std::string model;    // empty when unknown
    std::string problem;  // why it cannot be used, or what is wrong with its partitions
    std::vector<DiskVolume> volumes;
};

class RealMachine {
public:
    virtual ~RealMachine() = default;
    virtual hdd::OsApi& Api() = 0;
    // Called for every sector the component reads, before it is read.
    virtual void ObserveReads(std::function<void(LONG disk, ULONGLONG sector)> observer) = 0;
    virtual std::vector<DiskRow> Rows() const = 0;
};

// One line per lettered volume, and one for each disk without any, with the
// disk's device, bus and model (or why it cannot be used).
void PrintDiskTable(std::ostream& out, const std::vector<DiskRow>& rows);

}  // namespace hddiag
