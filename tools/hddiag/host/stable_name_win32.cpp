#include "tools/hddiag/host/stable_name.h"

namespace hddiag::host {

// \\.\PhysicalDriveN has no stable alias that a map could keep: the serial
// and the path decide there.
std::string StableDeviceName(const std::string&, const std::string&) { return {}; }

}  // namespace hddiag::host
