#include <time.h>

#include "tools/hddiag/host/host.h"

namespace hddiag::host {

ULONGLONG MonotonicNanoseconds()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<ULONGLONG>(now.tv_sec) * 1000000000ull + static_cast<ULONGLONG>(now.tv_nsec);
}

}  // namespace hddiag::host
