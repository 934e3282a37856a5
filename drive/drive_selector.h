// The parsed form of a drive selection: one disk number and the extents of
// the selected partitions.
#pragma once

#include "platform/win32.h"

namespace hdd {

constexpr LONG HDD_MAX_EXTENTS = 26;      // extent slots of a test
constexpr LONG HDD_MAX_PLAN_ITEMS = 260;  // items of a batch plan
constexpr size_t HDD_ITEM_RESERVE = 416;  // room reserved in the item list and the volume table

struct PartitionExtent {
    LONG nPartition = -1;
    ULONGLONG ullLength = 0;
    ULONGLONG ullStartingOffset = 0;
};

struct DriveSelector {
    LONG nDisk = -1;
    PartitionExtent extents[HDD_MAX_EXTENTS];
};

}  // namespace hdd
