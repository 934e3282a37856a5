#include "tools/hddiag/view/time_left.h"

#include "tools/hddiag/latency/latency_text.h"

namespace hddiag {

std::string TimeLeftText(INT componentMinutes, LONGLONG hddiagSeconds)
{
    if (hddiagSeconds >= 0) {
        return FormatDuration(static_cast<ULONGLONG>(hddiagSeconds)) + " left (hddiag)";
    }
    if (componentMinutes >= 0) {
        return "about " + std::to_string(componentMinutes) + " min left (HDD.dll)";
    }
    return std::string();
}

}  // namespace hddiag
