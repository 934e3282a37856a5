// The system's clock behind the latency clock interface: host code, as the
// monotonic clock differs per system.
#include "tools/hddiag/host/host.h"
#include "tools/hddiag/latency/latency_clock.h"

namespace hddiag {

ULONGLONG HostClock::NowNanoseconds() { return host::MonotonicNanoseconds(); }

}  // namespace hddiag
