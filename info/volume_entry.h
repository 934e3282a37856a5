#pragma once

#include "platform/win32.h"

namespace hdd {

// One row of the volume table: which letter carries which disk and partition.
struct VolumeEntry {
    LONG nDisk;
    LONG nPartition;
    WCHAR chLetter;
};

}  // namespace hdd
