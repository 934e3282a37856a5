// Where a disk's health comes from: smartctl on this computer, or the
// smartctl output a simulated machine gives for its disks.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tools/hddiag/health/disk_health.h"
#include "tools/hddiag/options/smartctl_type.h"
#include "tools/hddiag/session/real_disks.h"

namespace hddiag {

class HealthSource {
public:
    virtual ~HealthSource() = default;
    virtual DiskHealth Read(const DiskRow& row) = 0;
    // Said once for the whole command (smartctl missing); empty when nothing is.
    virtual std::string Note() const { return {}; }
};

// smartctl's arguments before the device name: one run for the SMART data,
// the error log and the self-test log, read-only, never waking a disk in
// standby; with -d TYPE when a type is given.
std::vector<std::string> SmartctlArguments(const std::string& type);

// smartctl as found on this computer (PATH, then the sbin folders; on
// Windows beside hddiag.exe, then PATH), told the types given for disks.
std::unique_ptr<HealthSource> SmartctlHealth(std::vector<SmartctlType> types);

// By disk number: the smartctl output that answers for each disk of a
// simulated machine; an empty text answers no SMART.
std::unique_ptr<HealthSource> MachineHealth(std::vector<std::string> outputs);

// The disks' health in order, each stamped with the time it was read.
std::vector<DiskHealth> ReadHealth(HealthSource& source, const std::vector<DiskRow>& rows);

}  // namespace hddiag
