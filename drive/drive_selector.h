// The parsed form of a drive selection, one disk number and the extents of
// the selected partitions, and the selector's rules that produce it from the
// text and the volume table.
#pragma once

#include <string>
#include <vector>

#include "drive/volume_entry.h"
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

// Splits the text into items (kept in items, counted in nItemCount), reads
// the disk and partition numbers and resolves every item's extent.
HRESULT ParseSelection(const VolumeTable& volumes, LONG* plResult, BSTR bstrDriveInfo, LONG* pnDisk,
                       PartitionExtent* pExtents, std::vector<std::wstring>& items, LONG& nItemCount);

// Fills the extents of the first nItemCount slots (at most 26) from their
// volumes' partition information.
HRESULT ResolveSelection(const VolumeTable& volumes, LONG* plResult, LONG nDisk, LONG nItemCount,
                         PartitionExtent* pExtents);

// The volume that carries the disk's partition by the table, opened when its
// extents lie on that disk; INVALID_HANDLE_VALUE otherwise.
HANDLE OpenVolumeOfPartition(const VolumeTable& volumes, LONG nDisk, LONG nPartition);

}  // namespace hdd
