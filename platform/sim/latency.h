// How long a simulated read takes under a disk's latency model.
#pragma once

#include "platform/sim/machine_description.h"

namespace hdd::sim {

// Microseconds that one read of `bytes` at byte `position` costs when the
// head of a disk of `diskSize` bytes stands at `head` (the end of the
// previous read). Deterministic, so tests can predict the clock.
//   instant: 0
//   ssd:     100 us per read
//   hdd:     a read that continues where the last one ended costs only its
//            transfer; any other pays a seek of 0.5 ms + 8 ms * sqrt(distance
//            / disk size) and half a turn at 7200 rpm (4167 us) on top
//   fixed:   the given milliseconds per read
ULONGLONG ReadLatencyMicroseconds(const Latency& latency, ULONGLONG diskSize, ULONGLONG head, ULONGLONG position,
                                  DWORD bytes);

}  // namespace hdd::sim
