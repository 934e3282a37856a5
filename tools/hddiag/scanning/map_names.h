// Where each disk's map lives: --map itself for one disk, or a file per disk
// in the folder --map names, called after the disk's device name and serial.
#pragma once

#include <string>
#include <vector>

#include "tools/hddiag/session/real_disks.h"

namespace hddiag {

// "sdb_WD-WX12_34.map" from device "sdb" (the last part of a path) and
// serial "WD-WX12 34": anything but letters, digits, '-' and '_' becomes '_';
// "disk1.map" when neither says anything.
std::string MapFileName(const DiskRow& row);

// The map path of each disk in the folder, in order; a name two disks would
// share gets the disk number added ("disk.img_1.map").
std::vector<std::string> MapPathsInFolder(const std::string& folder, const std::vector<const DiskRow*>& rows);

}  // namespace hddiag
