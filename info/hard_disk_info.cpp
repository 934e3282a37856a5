// GetHardDiskInfo: one line listing every lettered volume extent on an
// accepted disk as "disk-partition-MiB", and the volume table it leaves behind.
#include <new>
#include <stdexcept>
#include <string>

#include "drive/device.h"
#include "drive/device_handle.h"
#include "drive/volume_extents.h"
#include "info/report_string.h"
#include "object/chdd_object.h"
#include "drive/hdd_constants.h"
#include "platform/os_api.h"

namespace hdd {

namespace {

constexpr int HDD_DRIVE_LETTER_COUNT = 26;
constexpr LONGLONG HDD_BYTES_PER_MIB = 1048576;

// Null: the platform's SysAllocString.
ReportStringAllocator g_pfnAllocReport = nullptr;

BSTR AllocReportString(const OLECHAR* psz)
{
    return g_pfnAllocReport != nullptr ? g_pfnAllocReport(psz) : SysAllocString(psz);
}

// Asks the volume of chLetter for its extent list; false when the volume
// cannot be opened or the request fails. The volume is closed either way.
bool ReadVolumeExtents(WCHAR chLetter, VolumeExtentsAnswer& answer)
{
    DeviceHandle volume(OpenVolume(chLetter, FILE_ATTRIBUTE_NORMAL));
    if (!volume.IsOpen()) {
        return false;
    }
    const bool bAnswered = QueryVolumeExtents(volume.Get(), answer);
    volume.Close();
    return bAnswered;
}

}  // namespace

ReportStringAllocator SetReportStringAllocator(ReportStringAllocator pfnAlloc)
{
    const ReportStringAllocator pfnPrevious = g_pfnAllocReport;
    g_pfnAllocReport = pfnAlloc;
    return pfnPrevious;
}

std::wstring CCHDDObject::DescribeVolume(WCHAR chLetter)
{
    const LONG nDisk = VolumeDiskNumber(chLetter);
    const LONG nPartition = VolumePartitionNumber(chLetter);
    m_vecVolumes.push_back(VolumeEntry{nDisk, nPartition, chLetter});
    return std::to_wstring(nDisk) + L"-" + std::to_wstring(nPartition);
}

HRESULT CCHDDObject::GetHardDiskInfo(BSTR* pbstrHDDInfo)
{
    if (pbstrHDDInfo == nullptr) {
        return HDD_STATUS_FAILED;
    }
    HRESULT hrFailure = E_OUTOFMEMORY;
    try {
        std::wstring report;
        LONG nListed = 0;
        m_vecVolumes.clear();

        const DWORD dwMask = Os().GetLogicalDrives();
        for (int i = 0; i < HDD_DRIVE_LETTER_COUNT; ++i) {
            if ((dwMask & (static_cast<DWORD>(1) << i)) == 0) {
                continue;
            }
            const WCHAR chLetter = static_cast<WCHAR>(L'A' + i);
            VolumeExtentsAnswer answer;
            if (!ReadVolumeExtents(chLetter, answer)) {
                continue;
            }
            const DWORD dwExtents = answer.Count();
            for (DWORD j = 0; j < dwExtents; ++j) {
                const DISK_EXTENT extent = answer.Extent(j);
                const DeviceHandle drive(OpenPhysicalDrive(static_cast<LONG>(extent.DiskNumber)));
                if (!drive.IsOpen() || !IsSupportedBus(drive.Get())) {
                    continue;
                }
                ++nListed;
                const std::wstring size = std::to_wstring(extent.ExtentLength.QuadPart / HDD_BYTES_PER_MIB);
                const std::wstring diskAndPartition = DescribeVolume(chLetter);
                if (nListed != 1) {
                    report += L',';
                }
                report += diskAndPartition;
                report += L'-';
                report += size;
                // The drive closes here, at the end of the item.
            }
        }

        BSTR bstrReport = AllocReportString(report.c_str());
        if (bstrReport != nullptr) {
            *pbstrHDDInfo = bstrReport;
            return HDD_STATUS_OK;
        }
        // No string to hand out is a failure, not an empty report.
    } catch (const std::bad_alloc&) {
    } catch (const std::length_error&) {
    } catch (...) {
        hrFailure = E_UNEXPECTED;
    }
    // A half-built table would name partitions the client never saw listed.
    m_vecVolumes.clear();
    *pbstrHDDInfo = nullptr;
    return hrFailure;
}

}  // namespace hdd
