// hddiag scan: every sector of the targets, one reader thread per disk, with
// the map files, the outputs and the live view.
#pragma once

#include "tools/hddiag/session/app_io.h"
#include "tools/hddiag/options/options.h"

namespace hddiag {

// Returns the exit status: 0 every sector read, 1 unreadable sectors or a
// disk failed, 2 usage, 130 stopped by SIGINT or SIGTERM with the maps saved.
int RunScanCommand(const Options& options, AppIo& io);

}  // namespace hddiag
