#include "platform/sim/latency.h"

#include <cmath>

namespace hdd::sim {

namespace {

constexpr double kSsdReadUs = 100.0;
constexpr double kHddSeekBaseUs = 500.0;
constexpr double kHddFullStrokeUs = 8000.0;
constexpr double kHddHalfTurnUs = 4167.0;  // 60 s / 7200 / 2
constexpr double kHddBytesPerUs = 100.0;   // 100 MB/s off the platter

ULONGLONG Round(double us) { return us <= 0 ? 0 : static_cast<ULONGLONG>(us + 0.5); }

}  // namespace

ULONGLONG ReadLatencyMicroseconds(const Latency& latency, ULONGLONG diskSize, ULONGLONG head, ULONGLONG position,
                                  DWORD bytes)
{
    switch (latency.model) {
    case LatencyModel::Instant:
        return 0;
    case LatencyModel::Ssd:
        return Round(kSsdReadUs);
    case LatencyModel::FixedMs:
        return Round(latency.milliseconds * 1000.0);
    case LatencyModel::Hdd: {
        const double transfer = static_cast<double>(bytes) / kHddBytesPerUs;
        if (position == head) {
            return Round(transfer);
        }
        const ULONGLONG distance = position > head ? position - head : head - position;
        double fraction = diskSize == 0 ? 1.0 : static_cast<double>(distance) / static_cast<double>(diskSize);
        if (fraction > 1.0) {
            fraction = 1.0;
        }
        return Round(kHddSeekBaseUs + kHddFullStrokeUs * std::sqrt(fraction) + kHddHalfTurnUs + transfer);
    }
    }
    return 0;
}

ULONGLONG SlowSectorMicroseconds(const std::vector<SlowRange>& slow, ULONGLONG position, ULONGLONG bytes)
{
    if (slow.empty() || bytes == 0) {
        return 0;
    }
    const ULONGLONG first = position / 512;
    const ULONGLONG last = (position + bytes - 1) / 512;
    double extra = 0;
    for (const SlowRange& r : slow) {
        if (r.first <= last && first <= r.last && r.milliseconds > extra) {
            extra = r.milliseconds;
        }
    }
    return Round(extra * 1000.0);
}

}  // namespace hdd::sim
