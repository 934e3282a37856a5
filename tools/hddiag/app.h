// hddiag as a function, so its whole behaviour can be run in-process.
#pragma once

#include <atomic>
#include <functional>
#include <ostream>

#include "platform/win32.h"

namespace hddiag {

struct AppIo {
    std::ostream& out;
    std::ostream& err;
    bool errIsTerminal = false;
    // Set when the user presses Ctrl-C.
    const std::atomic<bool>* interrupt = nullptr;
    // Seen inside every callback before Ctrl-C is looked at (for tests).
    std::function<void(INT kind, INT value, INT tag)> onEvent;
};

// Runs one command line; returns the exit status.
int RunHddiag(int argc, const char* const* argv, AppIo& io);

}  // namespace hddiag
