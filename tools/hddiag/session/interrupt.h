// Ctrl-C or SIGTERM: the first one sets a flag that the session turns into
// Abort at the component's next callback (and a scan into a saved stop); a
// second one ends the program at once.
#pragma once

#include <atomic>

namespace hddiag {

std::atomic<bool>& InterruptFlag();
void InstallInterruptHandler();

}  // namespace hddiag
