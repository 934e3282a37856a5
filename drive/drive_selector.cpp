// The drive selector: turns a test's selection text into one disk number and
// the byte extents of the selected partitions, resolved through the volumes
// that carry them.
#include <cstddef>
#include <cstring>
#include <new>

#include "drive/device.h"
#include "drive/device_handle.h"
#include "drive/selector_items.h"
#include "object/chdd_object.h"
#include "object/hdd_constants.h"
#include "platform/os_api.h"

namespace hdd {

namespace {

// The volume-extents answer has room for 21 extents.
constexpr DWORD HDD_VOLUME_EXTENTS_ANSWER = 512;
constexpr size_t HDD_FIRST_EXTENT_AT = offsetof(VOLUME_DISK_EXTENTS, Extents);
constexpr DWORD HDD_VOLUME_EXTENTS_ROOM =
    static_cast<DWORD>((HDD_VOLUME_EXTENTS_ANSWER - HDD_FIRST_EXTENT_AT) / sizeof(DISK_EXTENT));
static_assert(HDD_VOLUME_EXTENTS_ROOM == 21);

// Whether any extent of the volume lies on the disk. A count beyond what the
// answer can hold is cut to the answer's room.
bool VolumeLiesOnDisk(const BYTE* pAnswer, LONG nDisk)
{
    DWORD dwCount = 0;
    std::memcpy(&dwCount, pAnswer + offsetof(VOLUME_DISK_EXTENTS, NumberOfDiskExtents), sizeof dwCount);
    if (dwCount > HDD_VOLUME_EXTENTS_ROOM) {
        dwCount = HDD_VOLUME_EXTENTS_ROOM;
    }
    for (DWORD k = 0; k < dwCount; ++k) {
        DISK_EXTENT extent;
        std::memcpy(&extent, pAnswer + HDD_FIRST_EXTENT_AT + k * sizeof(DISK_EXTENT), sizeof extent);
        if (static_cast<LONG>(extent.DiskNumber) == nDisk) {
            return true;
        }
    }
    return false;
}

}  // namespace

HRESULT CCHDDObject::ParseDriveSelector(LONG* plResult, BSTR bstrDriveInfo, LONG* pnDisk, PartitionExtent* pExtents)
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
        if (SplitSelectorItems(bstrDriveInfo, HDD_MAX_EXTENTS, m_vecItems) != SplitResult::Ok) {
            m_nItemCount = 0;
            *plResult = E_INVALIDARG;
            return HDD_STATUS_FAILED;
        }
        m_nItemCount = static_cast<LONG>(m_vecItems.size());
        for (LONG i = 0; i < m_nItemCount; ++i) {
            // The last item whose first number can be read names the disk.
            (void)ReadItemNumbers(m_vecItems[static_cast<size_t>(i)], *pnDisk, pExtents[i].nPartition);
        }
    } catch (const std::bad_alloc&) {
        *plResult = E_OUTOFMEMORY;
        return HDD_STATUS_FAILED;
    }
    return ResolvePartitionExtents(plResult, *pnDisk, pExtents);
}

HRESULT CCHDDObject::ResolvePartitionExtents(LONG* plResult, LONG nDisk, PartitionExtent* pExtents)
{
    if (plResult == nullptr || pExtents == nullptr) {
        return HDD_STATUS_FAILED;
    }
    *plResult = 0;
    const LONG nCount = m_nItemCount < HDD_MAX_EXTENTS ? m_nItemCount : HDD_MAX_EXTENTS;
    bool bFailed = false;
    for (LONG i = 0; i < nCount; ++i) {
        PartitionExtent& extent = pExtents[i];
        const DeviceHandle volume(OpenPartitionVolume(nDisk, extent.nPartition));
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

HANDLE CCHDDObject::OpenPartitionVolume(LONG nDisk, LONG nPartition)
{
    WCHAR chLetter = 0;
    bool bFound = false;
    for (const VolumeEntry& entry : m_vecVolumes) {
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
    alignas(8) BYTE answer[HDD_VOLUME_EXTENTS_ANSWER] = {};
    DWORD dwReturned = 0;
    if (!Os().DeviceIoControl(volume.Get(), IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS, nullptr, 0, answer, sizeof answer,
                              &dwReturned, nullptr)) {
        return INVALID_HANDLE_VALUE;
    }
    if (!VolumeLiesOnDisk(answer, nDisk)) {
        return INVALID_HANDLE_VALUE;
    }
    return volume.Release();
}

}  // namespace hdd
