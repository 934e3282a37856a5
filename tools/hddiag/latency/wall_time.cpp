#include "tools/hddiag/latency/wall_time.h"

#include <chrono>

#include "platform/win32.h"

namespace hddiag {

double UtcNowSeconds()
{
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    return static_cast<double>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count()) / 1000.0;
}

std::string UtcDateText(double seconds)
{
    using namespace std::chrono;
    const sys_seconds time{std::chrono::seconds(static_cast<LONGLONG>(seconds))};
    const sys_days day = floor<days>(time);
    const year_month_day date{day};
    const hh_mm_ss<std::chrono::seconds> clock{time - day};
    const auto two = [](LONGLONG v) { return (v < 10 ? "0" : "") + std::to_string(v); };
    return std::to_string(static_cast<int>(date.year())) + "-" + two(static_cast<unsigned>(date.month())) + "-" +
           two(static_cast<unsigned>(date.day())) + " " + two(clock.hours().count()) + ":" +
           two(clock.minutes().count()) + ":" + two(clock.seconds().count()) + " UTC";
}

}  // namespace hddiag
