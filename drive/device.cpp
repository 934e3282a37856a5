#include "drive/device.h"

#include <string>

#include "drive/device_handle.h"
#include "platform/os_api.h"

namespace hdd {

alignas(HDD_MAX_SECTOR_SIZE) BYTE SectorBuffer[HDD_SECTOR_BUFFER_SIZE];

namespace {

constexpr DWORD kReadShare = FILE_SHARE_READ | FILE_SHARE_WRITE;

// Formats a device path into a zero-filled buffer of 260 characters.
struct DevicePath {
    WCHAR text[HDD_DEVICE_PATH_CHARS] = {};

    explicit DevicePath(const std::wstring& path)
    {
        const size_t n = path.size() < HDD_DEVICE_PATH_CHARS - 1 ? path.size() : HDD_DEVICE_PATH_CHARS - 1;
        for (size_t i = 0; i < n; ++i) {
            text[i] = path[i];
        }
    }
};

HANDLE OpenForReading(const DevicePath& path, DWORD dwFlagsAndAttributes)
{
    return Os().CreateFileW(path.text, GENERIC_READ, kReadShare, nullptr, OPEN_EXISTING, dwFlagsAndAttributes,
                            nullptr);
}

}  // namespace

HANDLE OpenPhysicalDrive(LONG nDisk)
{
    const DevicePath path(L"\\\\.\\PHYSICALDRIVE" + std::to_wstring(nDisk));
    return OpenForReading(path, FILE_ATTRIBUTE_NORMAL);
}

HANDLE OpenVolume(WCHAR chLetter, DWORD dwFlagsAndAttributes)
{
    std::wstring text = L"\\\\.\\";
    text += chLetter;
    text += L':';
    const DevicePath path(text);
    return OpenForReading(path, dwFlagsAndAttributes);
}

bool QueryDriveGeometry(HANDLE hDrive, DriveGeometry& geometry)
{
    if (hDrive == nullptr) {
        return false;
    }
    DWORD dwReturned = 0;
    if (!Os().DeviceIoControl(hDrive, IOCTL_DISK_GET_DRIVE_GEOMETRY, nullptr, 0, &geometry, sizeof(DriveGeometry),
                              &dwReturned, nullptr)) {
        // Not a verdict of its own: the record keeps what it held.
        (void)Os().GetLastError();
    }
    return geometry.MediaType == FixedMedia;
}

bool ReadTestSector(HANDLE hDrive, ULONGLONG ullSector, DWORD dwBytesPerSector)
{
    if (!IsSupportedSectorSize(dwBytesPerSector)) {
        return false;  // the tests refuse such drives before reading
    }
    if (hDrive != nullptr && hDrive != INVALID_HANDLE_VALUE) {
        const ULONGLONG ullOffset = ullSector * dwBytesPerSector;
        LONG lHigh = static_cast<LONG>(static_cast<DWORD>(ullOffset >> 32));
        const DWORD dwLow = Os().SetFilePointer(hDrive, static_cast<LONG>(static_cast<DWORD>(ullOffset)), &lHigh,
                                                FILE_BEGIN);
        if (dwLow != INVALID_SET_FILE_POINTER) {
            DWORD dwRead = 0;
            if (Os().ReadFile(hDrive, SectorBuffer, dwBytesPerSector, &dwRead, nullptr)) {
                return true;
            }
        }
    }
    // A reported failure counts only with a nonzero last-error code.
    return Os().GetLastError() == 0;
}

ULONGLONG RandomInRange(ULONGLONG ullLo, ULONGLONG ullHi)
{
    if (ullLo == ullHi) {
        return ullLo;
    }
    if (ullLo > ullHi) {
        const ULONGLONG t = ullLo;
        ullLo = ullHi;
        ullHi = t;
    }
    unsigned int words[8] = {};
    for (unsigned int& word : words) {
        if (Os().rand_s(&word) != 0) {
            return HDD_RANDOM_FAILED;
        }
    }
    ULONGLONG v = 0;
    for (unsigned int word : words) {
        v = (v << 8) | ((word >> 7) & 0xFFu);
    }
    return ullLo + v % (ullHi - ullLo);
}

bool IsSupportedBus(HANDLE hDrive)
{
    if (hDrive == nullptr || hDrive == INVALID_HANDLE_VALUE) {
        return false;
    }
    STORAGE_PROPERTY_QUERY query{};
    query.PropertyId = StorageDeviceProperty;
    query.QueryType = PropertyStandardQuery;
    alignas(8) BYTE answer[512] = {};
    DWORD dwReturned = 0;
    if (!Os().DeviceIoControl(hDrive, IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof query, answer, sizeof answer,
                              &dwReturned, nullptr)) {
        return false;
    }
    const auto* descriptor = reinterpret_cast<const STORAGE_DEVICE_DESCRIPTOR*>(answer);
    return descriptor->BusType == BusTypeAta || descriptor->BusType == BusTypeRAID ||
           descriptor->BusType == BusTypeSata;
}

LONG VolumeDiskNumber(WCHAR chLetter)
{
    const DeviceHandle volume(OpenVolume(chLetter, FILE_ATTRIBUTE_NORMAL));
    if (!volume.IsOpen()) {
        return HDD_UNKNOWN_DISK;
    }
    VOLUME_DISK_EXTENTS extents{};
    DWORD dwReturned = 0;
    if (!Os().DeviceIoControl(volume.Get(), IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS, nullptr, 0, &extents,
                              sizeof extents, &dwReturned, nullptr)) {
        return HDD_UNKNOWN_DISK;
    }
    return static_cast<LONG>(extents.Extents[0].DiskNumber);
}

LONG VolumePartitionNumber(WCHAR chLetter)
{
    const DeviceHandle volume(OpenVolume(chLetter, FILE_ATTRIBUTE_NORMAL));
    if (!volume.IsOpen()) {
        return HDD_UNKNOWN_PARTITION;
    }
    PARTITION_INFORMATION_EX info{};
    DWORD dwReturned = 0;
    if (!Os().DeviceIoControl(volume.Get(), IOCTL_DISK_GET_PARTITION_INFO_EX, nullptr, 0, &info, sizeof info,
                              &dwReturned, nullptr)) {
        return HDD_UNKNOWN_PARTITION;
    }
    return static_cast<LONG>(info.PartitionNumber);
}

}  // namespace hdd
