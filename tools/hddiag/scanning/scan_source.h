// The simulated machine's side of the seam a scan reads through (the host's
// own disks are in host/scan_source.h).
#pragma once

#include <memory>

#include "platform/sim/machine_description.h"
#include "tools/hddiag/host/scan_source.h"

namespace hddiag {

// A simulated machine's disks: each reader gets a machine of the same
// description that does not fill its reads (pace: reads take real time).
std::unique_ptr<ScanSource> SimulatedScanSource(hdd::sim::MachineDescription description, bool pace);

}  // namespace hddiag
