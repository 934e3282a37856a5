// What a scan reads: targets as typed ("1" a whole disk, "1-2" one
// partition) resolved against the disks a run can see, and grouped by disk
// so that each disk gets one reader and its targets run one after another.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/win32.h"
#include "tools/hddiag/host/scan_source.h"
#include "tools/hddiag/session/real_disks.h"

namespace hddiag {

struct DiskTarget {
    std::string text;       // "1", "1-2"
    LONG disk = 0;
    DWORD partition = 0;    // 0: the whole disk
    ULONGLONG firstSector = 0;  // in the disk's own sectors
    ULONGLONG sectors = 0;
};

// "1" or "1-2" (digits only); nullopt for anything else.
struct TargetName {
    LONG disk = 0;
    DWORD partition = 0;
};
std::optional<TargetName> ParseTargetName(const std::string& text);

// \\.\PhysicalDrive1, in any case: 1.
std::optional<LONG> PhysicalDriveNumber(const std::string& text);

// The disk whose device the text names: its path, its kernel name, a Windows
// drive path, or another name of the same node (a stable /dev/disk/by-id/
// link); null when none.
const ScanDiskInfo* FindDiskByDevice(const std::vector<ScanDiskInfo>& disks, const std::string& text);

// The targets in the order given, repeats dropped. A whole disk may be named
// by its device (FindDiskByDevice). False with the reason
// when one names no disk or partition of `disks`, or a disk that cannot be
// read. A partition's range is cut to whole sectors inside it.
bool ResolveTargets(const std::vector<std::string>& texts, const std::vector<ScanDiskInfo>& disks,
                    std::vector<DiskTarget>& targets, std::string& error);

// The targets of each disk, disks in the order first named.
std::vector<std::vector<DiskTarget>> GroupByDisk(const std::vector<DiskTarget>& targets);

const ScanDiskInfo* FindScanDisk(const std::vector<ScanDiskInfo>& disks, LONG disk);

}  // namespace hddiag
