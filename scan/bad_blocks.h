// The bad-blocks list of a scan in badblocks' format (one decimal number per
// line), for e2fsck -l: units of `unitBytes` bytes counted from the target's
// first byte (the partition's for a partition, the disk's for a disk), a unit
// listed when any sector in it was found unreadable. For e2fsck the unit must
// be the file system's block size. Untried sectors (a stopped scan, or one
// without scraping) are not listed: they were not found unreadable.
#pragma once

#include <functional>
#include <string>

#include "platform/win32.h"
#include "scan/range_map.h"

namespace hdd::scan {

// Calls `unit` once per listed unit, in ascending order. unitBytes 0 lists
// nothing.
void ForEachBadBlock(const RangeMap& map, ULONGLONG targetPos, ULONGLONG targetBytes, DWORD unitBytes,
                     const std::function<void(ULONGLONG unit)>& unit);

// The whole list as text, one number and '\n' per unit.
std::string BadBlocksText(const RangeMap& map, ULONGLONG targetPos, ULONGLONG targetBytes, DWORD unitBytes);

}  // namespace hdd::scan
