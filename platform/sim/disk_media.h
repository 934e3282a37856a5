// Where a simulated disk's bytes come from. Without one the machine answers
// every read with zeros; with one (a real block device or image file) the
// machine still decides everything else (bounds, faults, unreadable sectors,
// the trace) and hands the media only the reads that get that far.
#pragma once

#include "platform/win32.h"

namespace hdd::sim {

class DiskMedia {
public:
    virtual ~DiskMedia() = default;
    // Fills buffer with `bytes` bytes from byte `offset` of the disk, which
    // the machine has checked to lie inside the disk; returns 0 or the
    // last-error code the read fails with. Called once per sector the
    // component reads: it must not allocate, log or format.
    virtual DWORD Read(ULONGLONG offset, void* buffer, DWORD bytes) = 0;
};

}  // namespace hdd::sim
