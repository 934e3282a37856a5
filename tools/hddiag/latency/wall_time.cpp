#include "tools/hddiag/latency/wall_time.h"

#include <chrono>

namespace hddiag {

double UtcNowSeconds()
{
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    return static_cast<double>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count()) / 1000.0;
}

}  // namespace hddiag
