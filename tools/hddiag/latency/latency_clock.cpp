#include "tools/hddiag/latency/latency_clock.h"

#include "platform/sim/sim_machine.h"

namespace hddiag {

ULONGLONG SimMachineClock::NowNanoseconds() { return m_machine.NowMicroseconds() * 1000u; }

const ULONGLONG* SimMachineClock::MicrosecondCounter() const { return m_machine.MicrosecondCounter(); }

}  // namespace hddiag
