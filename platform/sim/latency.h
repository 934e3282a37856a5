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

// The extra microseconds of a read of `bytes` at byte `position` of a disk
// with these slow ranges: the largest extra of the ranges it touches, so a
// read across two slow areas pays once.
ULONGLONG SlowSectorMicroseconds(const std::vector<SlowRange>& slow, ULONGLONG position, ULONGLONG bytes);

}  // namespace hdd::sim
