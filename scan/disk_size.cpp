#include "scan/disk_size.h"

#include <cstring>

#include "scan/scan_handle.h"

namespace hdd::scan {

namespace {

DWORD LastErrorOr(OsApi& os, DWORD fallback)
{
    const DWORD error = os.GetLastError();
    return error != 0 ? error : fallback;
}

}  // namespace

bool QueryDiskSize(OsApi& os, const std::wstring& devicePath, DiskSize& size, DWORD& error)
{
    const ScanHandle handle(os, OpenForScan(os, devicePath));
    if (!handle.IsOpen()) {
        error = LastErrorOr(os, ERROR_FILE_NOT_FOUND);
        return false;
    }
    GET_LENGTH_INFORMATION length;
    std::memset(&length, 0, sizeof length);
    DWORD returned = 0;
    if (!os.DeviceIoControl(handle.Get(), IOCTL_DISK_GET_LENGTH_INFO, nullptr, 0, &length, sizeof length, &returned,
                            nullptr)) {
        error = LastErrorOr(os, ERROR_INVALID_FUNCTION);
        return false;
    }
    DISK_GEOMETRY geometry;
    std::memset(&geometry, 0, sizeof geometry);
    if (!os.DeviceIoControl(handle.Get(), IOCTL_DISK_GET_DRIVE_GEOMETRY, nullptr, 0, &geometry, sizeof geometry,
                            &returned, nullptr)) {
        error = LastErrorOr(os, ERROR_INVALID_FUNCTION);
        return false;
    }
    if (returned < sizeof geometry || geometry.BytesPerSector == 0 || length.Length.QuadPart <= 0 ||
        static_cast<ULONGLONG>(length.Length.QuadPart) < geometry.BytesPerSector) {
        error = ERROR_INVALID_DATA;
        return false;
    }
    size.bytes = static_cast<ULONGLONG>(length.Length.QuadPart);
    size.sectorBytes = geometry.BytesPerSector;
    error = 0;
    return true;
}

}  // namespace hdd::scan
