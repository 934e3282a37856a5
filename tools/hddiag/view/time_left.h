// The one time-left figure a progress line shows. hddiag's own estimate
// scales this run's measured pace by the reads still to come, so it wins
// once it has something to judge by; before that the component's whole
// minutes stand. The text says whose figure it is.
#pragma once

#include <string>

#include "platform/win32.h"

namespace hddiag {

// "1 h 45 min left (hddiag)", "about 65 min left (HDD.dll)", or empty when
// neither is known (minutes or seconds < 0).
std::string TimeLeftText(INT componentMinutes, LONGLONG hddiagSeconds);

}  // namespace hddiag
