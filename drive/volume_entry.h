#pragma once

#include <vector>

#include "platform/win32.h"

namespace hdd {

// One row of the volume table: which letter carries which disk and partition.
struct VolumeEntry {
    LONG nDisk;
    LONG nPartition;
    WCHAR chLetter;
};

// Filled by the disk report, read by the drive selector and the batch plan.
using VolumeTable = std::vector<VolumeEntry>;

}  // namespace hdd
