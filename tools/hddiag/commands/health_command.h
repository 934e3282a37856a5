// hddiag health: the chosen disks' SMART health, and the health reading the
// other commands show beside their own results.
#pragma once

#include <vector>

#include "tools/hddiag/health/health_source.h"
#include "tools/hddiag/options/options.h"
#include "tools/hddiag/session/app_io.h"
#include "tools/hddiag/writers/output.h"
#include "tools/hddiag/writers/run_files.h"

namespace hddiag {

// Reads the disks' health, and says once what kept it from being read.
std::vector<DiskHealth> ReadDisksHealth(HealthSource& source, const std::vector<DiskRow>& rows, AppIo& io);

// The chosen disks' health (result.disks holds every disk); 1 when one is
// failing.
int RunHealthCommand(const Options& options, RunResult& result, HealthSource& source, AppIo& io, RunFiles& files);

}  // namespace hddiag
