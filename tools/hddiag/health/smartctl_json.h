// smartctl's JSON output (`smartctl --json --info --health --attributes
// --log=error --log=selftest`), read as untrusted input: a part of a shape
// hddiag does not know is left out with a note, never trusted, and never
// stops the rest.
#pragma once

#include <optional>
#include <string>

#include "tools/hddiag/health/disk_health.h"

namespace hddiag {

// The exit status hddiag asks for with --nocheck=standby,N. Bits 0 (command
// line) and 1 (open failed) never come together: smartctl stops at the first.
constexpr ULONG kSmartctlStandbyExit = 3;

// The health of disk from smartctl's output. processExit is the status of
// smartctl's process when it was run (the JSON's own smartctl.exit_status
// wins when present). A disk whose SMART was read is judged.
DiskHealth HealthFromSmartctl(LONG disk, const std::string& text, std::optional<ULONG> processExit);

}  // namespace hddiag
