// The terminal on standard error: its size, and what the live view needs
// turned on to draw there.
#pragma once

namespace hddiag::host {

struct TerminalSize {
    int columns = 80;
    int rows = 24;
    bool operator==(const TerminalSize&) const = default;
};

// The size now, or `fallback` when standard error is not a terminal. Linux
// asks the terminal at the first call and again after each SIGWINCH (the
// handler only sets a flag); Windows asks the console on every call.
TerminalSize StderrTerminalSize(TerminalSize fallback);

// Windows: turns on ENABLE_VIRTUAL_TERMINAL_PROCESSING for the console on
// standard error; false when the console refuses it (then plain lines are
// written). Elsewhere the terminal reads the sequences already: true.
bool EnableTerminalSequences();

}  // namespace hddiag::host
