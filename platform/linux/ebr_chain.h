// The logical partitions of an MBR disk, read from its chain of extended boot
// records in 64-bit arithmetic. libblkid adds an EBR's sector and its entry's
// relative start in 32 bits, so a logical partition past 2^32 sectors comes
// back at a wrapped start; this reading is what its starts are checked with.
#pragma once

#include <vector>

#include "platform/win32.h"

namespace hdd::blockdev {

struct ChainPartition {
    DWORD number = 0;      // 5, 6, ... in chain order
    ULONGLONG start = 0;   // in the disk's logical sectors
    ULONGLONG sectors = 0;
};

// The logical partitions of the disk behind fd (sectorBytes: its logical
// sector size), or none when sector 0 holds no MBR with an extended
// partition. The walk stops at a sector that is no EBR, a link that points
// outside the extended partition or back to an EBR already read, or after
// kMaxLogicalPartitions.
constexpr size_t kMaxLogicalPartitions = 1024;
std::vector<ChainPartition> ReadEbrChain(int fd, DWORD sectorBytes);

}  // namespace hdd::blockdev
