#include "tools/hddiag/view/test_range.h"

#include <memory>

#include "drive/device.h"
#include "drive/device_handle.h"
#include "drive/drive_selector.h"

namespace hddiag {

namespace {

struct BstrFree {
    void operator()(OLECHAR* text) const { SysFreeString(text); }
};

}  // namespace

std::vector<SectorSpan> TestRange(TestKind kind, const std::string& selector, const std::vector<ReportItem>& items)
{
    hdd::VolumeTable volumes;
    for (const ReportItem& item : items) {
        if (item.letter != 0) {
            volumes.push_back({item.disk, item.partition, static_cast<WCHAR>(item.letter)});
        }
    }
    const std::unique_ptr<OLECHAR, BstrFree> text(SysAllocString(Widen(selector).c_str()));
    LONG result = 0;
    LONG disk = -1;
    hdd::PartitionExtent extents[hdd::HDD_MAX_EXTENTS];
    std::vector<std::wstring> names;
    LONG count = 0;
    if (!text || hdd::ParseSelection(volumes, &result, text.get(), &disk, extents, names, count) != 0 ||
        count <= 0) {
        return {};
    }
    hdd::DriveGeometry geometry{};
    const hdd::DeviceHandle drive(hdd::OpenPhysicalDrive(disk));
    const bool known = drive.IsOpen() && hdd::QueryDriveGeometry(drive.Get(), geometry);
    if (kind == TestKind::Random) {
        if (!known) {
            return {};
        }
        const ULONGLONG sectors = static_cast<ULONGLONG>(geometry.SectorsPerTrack) * geometry.TracksPerCylinder *
                                  static_cast<ULONGLONG>(geometry.Cylinders.QuadPart);
        return {SectorSpan{0, sectors}};
    }
    const ULONGLONG bytesPerSector = known && geometry.BytesPerSector != 0 ? geometry.BytesPerSector : 512;
    std::vector<SectorSpan> spans;
    for (LONG i = 0; i < count && i < hdd::HDD_MAX_EXTENTS; ++i) {
        const ULONGLONG first = extents[i].ullStartingOffset / bytesPerSector;
        spans.push_back({first, first + extents[i].ullLength / bytesPerSector});
    }
    return spans;
}

}  // namespace hddiag
