#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>

#include "tools/hddiag/host/terminal.h"

namespace hddiag::host {

namespace {

std::atomic<bool> g_resized{true};  // true: not asked yet
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

extern "C" void OnWindowChange(int) { g_resized.store(true); }

}  // namespace

TerminalSize StderrTerminalSize(TerminalSize fallback)
{
    static bool watching = false;
    static TerminalSize known;
    static bool isTerminal = false;
    if (!watching) {
        watching = true;
        struct sigaction action {};
        action.sa_handler = OnWindowChange;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;  // a read under way goes on
        sigaction(SIGWINCH, &action, nullptr);
    }
    if (g_resized.exchange(false)) {
        winsize size{};
        isTerminal = ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 && size.ws_row > 0;
        if (isTerminal) {
            known = {size.ws_col, size.ws_row};
        }
    }
    return isTerminal ? known : fallback;
}

bool EnableTerminalSequences() { return true; }

}  // namespace hddiag::host
