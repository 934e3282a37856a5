// Which disks a command's DISK... means: by number, device name
// (sda, PhysicalDrive0) or path (/dev/sda).
#pragma once

#include <string>
#include <vector>

#include "tools/hddiag/session/real_disks.h"

namespace hddiag {

// True when name is the row's disk number, device name or path.
bool NamesDisk(const DiskRow& row, const std::string& name);

// The rows named, in the order named and each once; every row when names is
// empty. False with why when a name matches no disk.
bool ChooseDisks(const std::vector<DiskRow>& rows, const std::vector<std::string>& names, std::vector<DiskRow>& chosen,
                 std::string& error);

}  // namespace hddiag
