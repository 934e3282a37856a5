// --smartctl-type DISK=TYPE: the device type smartctl is told for one disk
// (-d TYPE), for the USB bridges and controllers it cannot tell by itself.
#pragma once

#include <string>
#include <vector>

#include "tools/hddiag/session/real_disks.h"

namespace hddiag {

struct SmartctlType {
    std::string disk;  // a disk number, device name or path, as health takes it
    std::string type;  // smartctl's -d value: sat, sat,12, usbjmicron,p,1, areca,3/1, nvme
};

// Reads DISK=TYPE. TYPE starts with a letter and holds only letters, digits
// and , / + - (every -d value smartctl knows), so no space or shell
// character ever reaches its command line. False with why otherwise.
bool ParseSmartctlType(const std::string& text, SmartctlType& parsed, std::string& error);

// The type given for the disk; empty when none is.
std::string SmartctlTypeFor(const std::vector<SmartctlType>& types, const DiskRow& row);

// False with why when a DISK names none of the disks.
bool CheckSmartctlTypes(const std::vector<SmartctlType>& types, const std::vector<DiskRow>& rows, std::string& error);

}  // namespace hddiag
