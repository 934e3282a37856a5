// When an output says a run, a reading or a scan ended: seconds since 1970
// (UTC), to the millisecond, the one way every output takes it.
#pragma once

namespace hddiag {

double UtcNowSeconds();

}  // namespace hddiag
