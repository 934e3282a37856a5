// The streams and signals one run of hddiag works with, handed to every
// command: the process's own in main.cpp, strings in the tests.
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

}  // namespace hddiag
