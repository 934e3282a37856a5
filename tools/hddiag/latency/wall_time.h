// When an output says a run, a reading or a scan ended: seconds since 1970
// (UTC), to the millisecond, the one way every output takes it.
#pragma once

#include <string>

namespace hddiag {

double UtcNowSeconds();

// "2025-03-01 14:05:09 UTC": the form a page shows a time in.
std::string UtcDateText(double seconds);

}  // namespace hddiag
