#include "tools/hddiag/session/interrupt.h"

#include <csignal>

namespace hddiag {

namespace {

std::atomic<bool> g_interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

extern "C" void OnInterrupt(int signal)
{
    g_interrupted.store(true);
    std::signal(signal, SIG_DFL);
}

}  // namespace

std::atomic<bool>& InterruptFlag() { return g_interrupted; }

void InstallInterruptHandler()
{
    std::signal(SIGINT, OnInterrupt);
    std::signal(SIGTERM, OnInterrupt);
}

}  // namespace hddiag
