// The disks a scan can read and the seam each disk's reader works through,
// which each system's host code implements. The machines behind the seam
// keep one last error, one clock and one handle table without locks, so
// every disk's reader gets a machine of its own (simulated and Linux disks);
// kernel32 is safe to share, so on Windows the readers share the system's
// seam.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/os_api.h"
#include "platform/win32.h"
#include "tools/hddiag/latency/latency_clock.h"
#include "tools/hddiag/options/options.h"
#include "tools/hddiag/session/real_disks.h"

namespace hddiag {

struct ScanPartition {
    DWORD number = 0;
    ULONGLONG offset = 0;  // bytes from the disk's start
    ULONGLONG length = 0;  // bytes
};

// A disk as the scan knows it before reading it.
struct ScanDiskInfo {
    DiskRow row;           // identity; row.size is the disk's true size in bytes
    DWORD sectorSize = 0;  // logical bytes per sector
    std::vector<ScanPartition> partitions;  // every one known, lettered or not
    std::string unusable;  // not empty: why the disk cannot be read at all
    std::string stableName;  // /dev/disk/by-id/...; empty where there is none
};

// What one disk's reader reads through, owned by that reader.
class DiskSeam {
public:
    virtual ~DiskSeam() = default;
    virtual hdd::OsApi& Api() = 0;
    // The device the reader opens through Api() ("\\.\PHYSICALDRIVE0").
    virtual const std::wstring& DevicePath() const = 0;
    // The clock reads are timed on: the machine's own for a simulated disk.
    virtual LatencyClock& Clock() = 0;
};

class ScanSource {
public:
    virtual ~ScanSource() = default;
    virtual const std::vector<ScanDiskInfo>& Disks() const = 0;
    // A seam for the disk's reader; null with why. Called before the
    // readers start, from one thread.
    virtual std::unique_ptr<DiskSeam> OpenDisk(LONG disk, std::string& error) = 0;
};

// "\\.\PHYSICALDRIVE<n>".
inline std::wstring PhysicalDrivePath(LONG disk) { return L"\\\\.\\PHYSICALDRIVE" + std::to_wstring(disk); }

namespace host {

// This computer's disks or the --disk paths, for the disks the targets name
// (Windows asks only those); null with a message when they cannot be had.
std::unique_ptr<ScanSource> OpenScanSource(const Options& options, const std::vector<LONG>& disks,
                                           std::string& error);

}  // namespace host

}  // namespace hddiag
