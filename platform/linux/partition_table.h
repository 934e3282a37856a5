// The partition table written on a disk or an image file, read with libblkid
// (MBR with extended and logical partitions, GPT), so that images and loop
// devices without partition nodes show their partitions too.
#pragma once

#include <string>
#include <vector>

#include "platform/win32.h"

namespace hdd::blockdev {

struct TablePartition {
    DWORD number = 0;      // as the table numbers it: MBR logical partitions from 5, GPT by entry
    ULONGLONG offset = 0;  // bytes from the start of the disk
    ULONGLONG length = 0;  // bytes
    bool extended = false; // an MBR extended partition: it only holds the logical ones
    // Not empty: why the partition must not be used (a logical partition whose
    // start libblkid got wrong); it is listed but not given to the component.
    std::string unusable;
};

// The partitions in table order, extended-partition containers included. A
// disk with no partition table has none. False, with what is wrong, when the
// table cannot be read or is damaged beyond use (a protective MBR whose GPT
// is unreadable in both copies).
bool ReadPartitionTable(const std::string& path, std::vector<TablePartition>& partitions, std::string& problem);

}  // namespace hdd::blockdev
