// The drive selector: turns a test's selection text into one disk number and
// the byte extents of the selected partitions, resolved through the volumes
// that carry them.
#include "drive/drive_selector.h"

#include <new>

#include "drive/device.h"
#include "drive/device_handle.h"
#include "drive/hdd_constants.h"
#include "drive/selector_items.h"
#include "drive/volume_extents.h"
#include "platform/os_api.h"

namespace hdd {

HRESULT ParseSelection(const VolumeTable& volumes, LONG* plResult, BSTR bstrDriveInfo, LONG* pnDisk,
                       PartitionExtent* pExtents, std::vector<std::wstring>& items, LONG& nItemCount)
{
    if (plResult == nullptr) {
        return HDD_STATUS_FAILED;
    }
    if (bstrDriveInfo == nullptr || pnDisk == nullptr || pExtents == nullptr) {
        *plResult = E_INVALIDARG;
        return HDD_STATUS_FAILED;
    }
    *pnDisk = -1;
    *plResult = 0;
    try {
        // More items than there are extent slots would be written past them:
        // such a text is refused as a whole.
        if (SplitSelectorItems(bstrDriveInfo, HDD_MAX_EXTENTS, items) != SplitResult::Ok) {
            nItemCount = 0;
            *plResult = E_INVALIDARG;
            return HDD_STATUS_FAILED;
        }
        nItemCount = static_cast<LONG>(items.size());
        for (LONG i = 0; i < nItemCount; ++i) {
            // The last item whose first number can be read names the disk.
            (void)ReadItemNumbers(items[static_cast<size_t>(i)], *pnDisk, pExtents[i].nPartition);
        }
    } catch (const std::bad_alloc&) {
        *plResult = E_OUTOFMEMORY;
        return HDD_STATUS_FAILED;
    }
    return ResolveSelection(volumes, plResult, *pnDisk, nItemCount, pExtents);
}

HRESULT ResolveSelection(const VolumeTable& volumes, LONG* plResult, LONG nDisk, LONG nItemCount,
                         PartitionExtent* pExtents)
{
    if (plResult == nullptr || pExtents == nullptr) {
        return HDD_STATUS_FAILED;
    }
    *plResult = 0;
    const LONG nCount = nItemCount < HDD_MAX_EXTENTS ? nItemCount : HDD_MAX_EXTENTS;
    bool bFailed = false;
    for (LONG i = 0; i < nCount; ++i) {
        PartitionExtent& extent = pExtents[i];
        const DeviceHandle volume(OpenVolumeOfPartition(volumes, nDisk, extent.nPartition));
        if (!volume.IsOpen()) {
            *plResult = HDD_PARTITION_NOT_TESTABLE;
            return HDD_STATUS_FAILED;
        }
        PARTITION_INFORMATION_EX info{};
        static_assert(sizeof info == 144);
        DWORD dwReturned = 0;
        if (!Os().DeviceIoControl(volume.Get(), IOCTL_DISK_GET_PARTITION_INFO_EX, nullptr, 0, &info, sizeof info,
                                  &dwReturned, nullptr)) {
            // The remaining items are still resolved.
            *plResult = HDD_PARTITION_NOT_TESTABLE;
            bFailed = true;
            continue;
        }
        ApplyExtentRule(extent, info.StartingOffset.QuadPart, info.PartitionLength.QuadPart);
    }
    return bFailed ? HDD_STATUS_FAILED : HDD_STATUS_OK;
}

HANDLE OpenVolumeOfPartition(const VolumeTable& volumes, LONG nDisk, LONG nPartition)
{
    WCHAR chLetter = 0;
    bool bFound = false;
    for (const VolumeEntry& entry : volumes) {
        if (entry.nDisk == nDisk && entry.nPartition == nPartition) {
            chLetter = entry.chLetter;
            bFound = true;
            break;
        }
    }
    if (!bFound) {
        return INVALID_HANDLE_VALUE;
    }
    DeviceHandle volume(OpenVolume(chLetter, 0));
    if (!volume.IsOpen()) {
        return INVALID_HANDLE_VALUE;
    }
    VolumeExtentsAnswer answer;
    if (!QueryVolumeExtents(volume.Get(), answer) || !answer.LiesOnDisk(nDisk)) {
        return INVALID_HANDLE_VALUE;
    }
    return volume.Release();
}

}  // namespace hdd
