// The sectors a test reads, in the drive's own sectors, for the map: the
// selected extents for linear, funnel and surface, the whole disk for random.
#pragma once

#include <string>
#include <vector>

#include "tools/hddiag/latency/read_map.h"
#include "tools/hddiag/session/report.h"
#include "tools/hddiag/session/test_kinds.h"

namespace hddiag {

// Resolved as the component resolves the selector, through the OS seam in
// place (it opens and asks, it never reads); empty when the selection does
// not resolve, which the test itself then refuses.
std::vector<SectorSpan> TestRange(TestKind kind, const std::string& selector, const std::vector<ReportItem>& items);

}  // namespace hddiag
