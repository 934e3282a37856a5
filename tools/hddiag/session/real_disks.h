// Real disks behind the OS seam for the component linked into hddiag (on
// Linux: block devices and image files), and how info shows them.
#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "platform/os_api.h"
#include "platform/sim/machine_description.h"
#include "tools/hddiag/session/report.h"

namespace hddiag {

// A partition of a real disk, with its letter or why it has none.
struct DiskVolume {
    char letter = 0;  // 0: no letter
    DWORD partition = 0;
    std::string reason;  // why there is no letter ("extended container", ...)
};

// One disk as info shows it beside the report, with its identity as the
// JSON, the report page and the metrics name it.
struct DiskRow {
    LONG disk = 0;
    std::string path;     // device node or image file; \\.\PhysicalDriveN
    std::string device;   // kernel name (sda), an image file's path; PhysicalDriveN
    std::string bus;      // SATA, USB, NVMe, file, ...; empty when unknown
    DWORD busType = BusTypeUnknown;  // as the disk answers the component
    DWORD media = FixedMedia;        // the component tests fixed media only
    std::string model;    // empty when unknown, as are serial and wwn
    std::string serial;
    std::string wwn;
    ULONGLONG size = 0;   // bytes; 0 when unknown
    DWORD bytesPerSector = 0;  // logical sector size; 0 when unknown
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

// The disks of a simulated machine: PhysicalDriveN, with the identity its
// description gives.
std::vector<DiskRow> RowsOfMachine(const hdd::sim::MachineDescription& machine);

// Where nothing more is known (the installed component on Windows): the
// disks the report names, by number, as PhysicalDriveN.
std::vector<DiskRow> RowsOfReport(const std::vector<ReportItem>& items);

// The row of the disk, or null.
const DiskRow* FindDisk(const std::vector<DiskRow>& rows, LONG disk);

// One line per partition, with its letter or '-' and why it has none, and
// one for each disk without partitions, with the disk's device, bus and model
// (or why it cannot be used). Names are shown with their control characters
// escaped.
void PrintDiskTable(std::ostream& out, const std::vector<DiskRow>& rows);

}  // namespace hddiag
