// Real disks behind the OS seam for the component linked into hddiag (on
// Linux: block devices and image files), and how info shows them.
#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "platform/os_api.h"

namespace hddiag {

// A partition of a real disk, with its letter or why it has none.
struct DiskVolume {
    char letter = 0;  // 0: no letter
    DWORD partition = 0;
    std::string reason;  // why there is no letter ("extended container", ...)
};

// One disk as info shows it beside the report.
struct DiskRow {
    LONG disk = 0;
    std::string path;     // device node or image file
    std::string bus;      // SATA, USB, NVMe, file, ...
    std::string model;    // empty when unknown
    std::string problem;  // why it cannot be used, or what is wrong with its partitions
    std::vector<DiskVolume> volumes;  // every partition in the table, lettered or not
};

class RealMachine {
public:
    virtual ~RealMachine() = default;
    virtual hdd::OsApi& Api() = 0;
    // Called for every sector the component reads, before it is read.
    virtual void ObserveReads(std::function<void(LONG disk, ULONGLONG sector)> observer) = 0;
    virtual std::vector<DiskRow> Rows() const = 0;
};

// One line per partition, with its letter or '-' and why it has none, and
// one for each disk without partitions, with the disk's device, bus and model
// (or why it cannot be used). Names are shown with their control characters
// escaped.
void PrintDiskTable(std::ostream& out, const std::vector<DiskRow>& rows);

}  // namespace hddiag
