// StartHDDTest: opens a batch of tests. It restarts the unit counter and the
// clock, measures every listed partition and plans the units that the tests
// of the mask will count, for the time-remaining estimate.
#include <new>
#include <string>
#include <vector>

#include "drive/device.h"
#include "drive/device_handle.h"
#include "drive/selector_items.h"
#include "object/chdd_object.h"
#include "drive/hdd_constants.h"
#include "platform/os_api.h"
#include "object/disk_test_shape.h"

namespace hdd {

namespace {

// The items of one batch: each carries its own disk number.
struct PlanItems {
    LONG nCount = 0;
    LONG nDisk[HDD_MAX_PLAN_ITEMS];
    PartitionExtent extent[HDD_MAX_PLAN_ITEMS];
};

// Asks the volume of an item for a record; false when the volume does not
// open or the request fails. The handle is closed either way.
template <typename Record>
bool AskItemVolume(CCHDDObject& object, const PlanItems& items, LONG i, DWORD dwCode, Record& record,
                   bool& bOpened)
{
    const DeviceHandle volume(object.OpenPartitionVolume(items.nDisk[i], items.extent[i].nPartition));
    bOpened = volume.IsOpen();
    if (!bOpened) {
        return false;
    }
    DWORD dwReturned = 0;
    return Os().DeviceIoControl(volume.Get(), dwCode, nullptr, 0, &record, sizeof record, &dwReturned, nullptr) !=
           FALSE;
}

}  // namespace

HRESULT CCHDDObject::StartHDDTest(BSTR bstrItem, ULONG ulSubItem)
{
    // The batch restarts before anything can fail.
    m_ullUnitsDone = 0;
    m_dwStartTick = Os().GetTickCount();

    PlanItems items;
    try {
        std::vector<std::wstring> vecItems;
        vecItems.reserve(HDD_MAX_PLAN_ITEMS);
        if (SplitSelectorItems(bstrItem, HDD_MAX_PLAN_ITEMS, vecItems) != SplitResult::Ok) {
            return HDD_STATUS_FAILED;  // more items than the plan has room for
        }
        items.nCount = static_cast<LONG>(vecItems.size());
        for (LONG i = 0; i < items.nCount; ++i) {
            items.nDisk[i] = -1;
            (void)ReadItemNumbers(vecItems[static_cast<size_t>(i)], items.nDisk[i], items.extent[i].nPartition);
        }
    } catch (const std::bad_alloc&) {
        return HDD_STATUS_FAILED;
    }

    // First pass: measure the partitions by the extent rule, as the tests do.
    for (LONG i = 0; i < items.nCount; ++i) {
        PARTITION_INFORMATION_EX info{};
        bool bOpened = false;
        if (!AskItemVolume(*this, items, i, IOCTL_DISK_GET_PARTITION_INFO_EX, info, bOpened)) {
            return HDD_STATUS_FAILED;
        }
        ApplyExtentRule(items.extent[i], info.StartingOffset.QuadPart, info.PartitionLength.QuadPart);
    }

    // Second pass: fixed media only, and the sectors of all items.
    ULONGLONG ullTotalSectors = 0;
    DriveGeometry geometry{};
    for (LONG i = 0; i < items.nCount; ++i) {
        bool bOpened = false;
        const bool bAnswered = AskItemVolume(*this, items, i, IOCTL_DISK_GET_DRIVE_GEOMETRY, geometry, bOpened);
        // A sector size of 0 would leave nothing to divide the length by.
        if (!bAnswered || geometry.MediaType != FixedMedia || geometry.BytesPerSector == 0) {
            return HDD_STATUS_FAILED;
        }
        ullTotalSectors += items.extent[i].ullLength / geometry.BytesPerSector;
    }

    m_ullUnitsPlanned = 0;
    if ((ulSubItem & HDD_TEST_LINEAR) != 0) {
        m_ullUnitsPlanned = ullTotalSectors >> HDD_SEEK_STEP_SHIFT;
    }
    if ((ulSubItem & HDD_TEST_RANDOM) != 0) {
        m_ullUnitsPlanned += static_cast<ULONGLONG>(static_cast<LONGLONG>(items.nCount * HDD_RANDOM_READS));
    }
    if ((ulSubItem & HDD_TEST_FUNNEL) != 0) {
        m_ullUnitsPlanned += (ullTotalSectors >> HDD_SEEK_STEP_SHIFT) * 2;
    }
    if ((ulSubItem & HDD_TEST_SURFACE) != 0) {
        // A failed request leaves the record with the previous item's geometry.
        ULONGLONG ullSurfaceUnits = 0;
        DriveGeometry surfaceGeometry{};
        for (LONG i = 0; i < items.nCount; ++i) {
            bool bOpened = false;
            (void)AskItemVolume(*this, items, i, IOCTL_DISK_GET_DRIVE_GEOMETRY, surfaceGeometry, bOpened);
            const ULONGLONG ullBlock = SurfaceBlockSectors(surfaceGeometry);
            // A volume that does not open, or a geometry that gives nothing
            // to divide by, ends the plan with the units gathered so far.
            if (!bOpened || ullBlock == 0 || surfaceGeometry.BytesPerSector == 0) {
                m_ullUnitsPlanned += ullSurfaceUnits;
                return HDD_STATUS_FAILED;
            }
            ullSurfaceUnits += items.extent[i].ullLength / surfaceGeometry.BytesPerSector / ullBlock;
        }
        m_ullUnitsPlanned += ullSurfaceUnits;
    }
    return HDD_STATUS_OK;
}

}  // namespace hdd
