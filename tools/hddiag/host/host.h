// What differs between the systems hddiag runs on.
#pragma once

#include <memory>
#include <string>

#include "tools/hddiag/component.h"

namespace hddiag::host {

// The machine used without --machine: empty for this computer's own disks
// where the component can reach them, else "builtin".
std::string DefaultMachine();

bool StderrIsTerminal();

// A monotonic clock in nanoseconds, for timing reads on real disks.
ULONGLONG MonotonicNanoseconds();

// The installed component on this computer's own disks; null with a message
// when it cannot be had.
std::unique_ptr<Component> OpenInstalledComponent(std::string& error);

}  // namespace hddiag::host
