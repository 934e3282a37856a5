#include "drive/volume_extents.h"

#include <cstring>

#include "platform/os_api.h"

namespace hdd {

DWORD VolumeExtentsAnswer::Count() const
{
    DWORD dwCount = 0;
    std::memcpy(&dwCount, bytes + offsetof(VOLUME_DISK_EXTENTS, NumberOfDiskExtents), sizeof dwCount);
    return dwCount < HDD_VOLUME_EXTENTS_ROOM ? dwCount : HDD_VOLUME_EXTENTS_ROOM;
}

DISK_EXTENT VolumeExtentsAnswer::Extent(DWORD j) const
{
    DISK_EXTENT extent;
    std::memcpy(&extent, bytes + HDD_FIRST_EXTENT_AT + j * sizeof(DISK_EXTENT), sizeof extent);
    return extent;
}

bool VolumeExtentsAnswer::LiesOnDisk(LONG nDisk) const
{
    const DWORD dwCount = Count();
    for (DWORD k = 0; k < dwCount; ++k) {
        if (static_cast<LONG>(Extent(k).DiskNumber) == nDisk) {
            return true;
        }
    }
    return false;
}

bool QueryVolumeExtents(HANDLE hVolume, VolumeExtentsAnswer& answer)
{
    DWORD dwReturned = 0;
    return Os().DeviceIoControl(hVolume, IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS, nullptr, 0, answer.bytes,
                                sizeof answer.bytes, &dwReturned, nullptr) != FALSE;
}

}  // namespace hdd
