// Where read latencies are measured from: the simulated machine's clock on a
// simulated machine, the system's monotonic clock on real disks.
#pragma once

#include "platform/win32.h"

namespace hdd::sim {
class SimMachine;
}

namespace hddiag {

class LatencyClock {
public:
    virtual ~LatencyClock() = default;
    virtual ULONGLONG NowNanoseconds() = 0;
    // A counter of microseconds that is the clock itself, when there is one:
    // read in place it saves a call on every read.
    virtual const ULONGLONG* MicrosecondCounter() const { return nullptr; }
};

// The simulated machine's clock, which its latency model moves.
class SimMachineClock final : public LatencyClock {
public:
    explicit SimMachineClock(const hdd::sim::SimMachine& machine) : m_machine(machine) {}
    ULONGLONG NowNanoseconds() override;
    const ULONGLONG* MicrosecondCounter() const override;

private:
    const hdd::sim::SimMachine& m_machine;
};

// CLOCK_MONOTONIC, or QueryPerformanceCounter on Windows (host code).
class HostClock final : public LatencyClock {
public:
    ULONGLONG NowNanoseconds() override;
};

}  // namespace hddiag
