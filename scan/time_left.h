// How long the rest of a scan should take. Bytes left over the run's average
// rate means nothing once the scan reads one sector at a time around bad
// ones; instead each phase's work left is counted in its own reads (block
// bytes in the passes, sectors in the trim and the scrape, failures to come)
// and each kind of read is priced at what it has cost in this run.
#pragma once

#include "scan/scan_engine.h"

namespace hdd::scan {

// Nanoseconds left; 0 only when nothing is left to read or no read has been
// timed yet (nothing to price the work with). `scrape` as the
// scan's option (without it, the inside of damaged areas is not read).
ULONGLONG EstimateNsLeft(const ScanProgress& progress, DWORD sectorBytes, bool scrape);

}  // namespace hdd::scan
