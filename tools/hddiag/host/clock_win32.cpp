#include "platform/win32.h"
#include "tools/hddiag/host/host.h"

namespace hddiag::host {

ULONGLONG MonotonicNanoseconds()
{
    static const ULONGLONG frequency = [] {
        LARGE_INTEGER f{};
        QueryPerformanceFrequency(&f);
        return f.QuadPart > 0 ? static_cast<ULONGLONG>(f.QuadPart) : 1ull;
    }();
    LARGE_INTEGER now{};
    QueryPerformanceCounter(&now);
    const ULONGLONG ticks = static_cast<ULONGLONG>(now.QuadPart);
    // Whole seconds and the rest apart, so the product cannot overflow.
    return ticks / frequency * 1000000000ull + ticks % frequency * 1000000000ull / frequency;
}

}  // namespace hddiag::host
