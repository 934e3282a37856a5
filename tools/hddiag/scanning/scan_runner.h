// What the commands that read whole disks share (scan, check): the disks they
// may read and the readers themselves, one per
// disk, while the main thread draws the live view.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "scan/map_file.h"
#include "tools/hddiag/session/app_io.h"
#include "tools/hddiag/options/options.h"
#include "tools/hddiag/scanning/disk_scan.h"
#include "tools/hddiag/scanning/scan_files.h"
#include "tools/hddiag/scanning/scan_source.h"

namespace hddiag {

// The machine file, the --disk paths, or this computer's disks (on Windows
// only those the names mention).
std::unique_ptr<ScanSource> OpenScanSourceFor(const Options& options, const std::vector<std::string>& names,
                                              std::string& error);

// Reads every group's map (refusing one of another disk, before any disk is
// read), then each group's targets on a reader of its own until all end or
// the interrupt is raised. False with why when a map is refused.
bool RunScanReaders(const Options& options, ScanSource& source, const std::vector<std::vector<DiskTarget>>& groups,
                    ScanFiles& files, const std::string& mapComment, AppIo& io,
                    std::vector<std::unique_ptr<DiskScan>>& scans, std::string& error);

}  // namespace hddiag
