// What differs between the systems hddiag runs on.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tools/hddiag/session/component.h"
#include "tools/hddiag/options/options.h"
#include "tools/hddiag/session/real_disks.h"

namespace hddiag::host {

// The machine used without --machine: empty for this computer's own disks.
std::string DefaultMachine();

// True where this computer's own disks are reached through the installed
// component (Windows); false where hddiag builds them a machine (Linux).
bool UsesInstalledComponent();

// The named disks (block devices or image files), or this computer's disks
// when none are named, for the component linked into hddiag; null with a
// message when they cannot be had. seed: repeatable random words.
std::unique_ptr<RealMachine> OpenRealMachine(const std::vector<DiskOption>& disks, std::optional<unsigned int> seed,
                                             std::string& error);

bool StderrIsTerminal();

// A monotonic clock in nanoseconds, for timing reads on real disks.
ULONGLONG MonotonicNanoseconds();

// The installed component on this computer's own disks; null with a message
// when it cannot be had.
std::unique_ptr<Component> OpenInstalledComponent(std::string& error);

}  // namespace hddiag::host
