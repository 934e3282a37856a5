// The answer of the volume-extents request, read the one way the component
// reads it: a 512-byte answer with room for 21 extents, whatever count the
// device claims.
#pragma once

#include <cstddef>

#include "platform/win32.h"

namespace hdd {

constexpr DWORD HDD_VOLUME_EXTENTS_ANSWER = 512;
constexpr size_t HDD_FIRST_EXTENT_AT = offsetof(VOLUME_DISK_EXTENTS, Extents);
constexpr DWORD HDD_VOLUME_EXTENTS_ROOM =
    static_cast<DWORD>((HDD_VOLUME_EXTENTS_ANSWER - HDD_FIRST_EXTENT_AT) / sizeof(DISK_EXTENT));
static_assert(HDD_VOLUME_EXTENTS_ROOM == 21, "a 512-byte answer holds 21 extents");

struct VolumeExtentsAnswer {
    alignas(8) BYTE bytes[HDD_VOLUME_EXTENTS_ANSWER] = {};

    // The device's count, cut to the answer's room: nothing is read past it.
    DWORD Count() const;
    DISK_EXTENT Extent(DWORD j) const;
    // Whether any extent lies on the disk.
    bool LiesOnDisk(LONG nDisk) const;
};

// Sends the volume-extents request on an open volume; false when it fails.
bool QueryVolumeExtents(HANDLE hVolume, VolumeExtentsAnswer& answer);

}  // namespace hdd
