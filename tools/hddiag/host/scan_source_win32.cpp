// Windows: hddiag.exe scans without the component. It opens
// \\.\PhysicalDriveN itself, takes the size from the length request and the
// sector size from the geometry, and finds a partition through the lettered
// volume that lies on it. A --disk image file is read as disk 0, 1, ... with
// 512-byte sectors (or --sector-size). kernel32 is safe to call from several
// threads (the last error is per thread), so the readers share the system's
// seam; an image's reader gets a seam of its own in front of it.
#include <set>

#include "platform/os_api.h"
#include "scan/disk_size.h"
#include "tools/hddiag/host/scan_source.h"

namespace hddiag::host {

namespace {

constexpr DWORD kTracks = 255;
constexpr DWORD kSectorsPerTrack = 63;

std::wstring Wide(const std::string& text)
{
    const int n = MultiByteToWideChar(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), wide.data(), n);
    return wide;
}

// An image file in the place of a physical drive: opens of the drive's path
// open the file read-only, and the drive's size and geometry requests on it
// are answered from the file's size, which a plain file does not answer.
class ImageDiskOs final : public hdd::OsApi {
public:
    ImageDiskOs(hdd::OsApi& inner, std::wstring drivePath, std::wstring imagePath, ULONGLONG size, DWORD sectorSize)
        : m_inner(inner), m_drivePath(std::move(drivePath)), m_imagePath(std::move(imagePath)), m_size(size),
          m_sectorSize(sectorSize)
    {
    }
    HANDLE CreateFileW(LPCWSTR name, DWORD, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD, DWORD flags,
                       HANDLE) override
    {
        if (lstrcmpiW(name, m_drivePath.c_str()) != 0) {
            m_inner.SetLastError(ERROR_FILE_NOT_FOUND);
            return INVALID_HANDLE_VALUE;
        }
        HANDLE h = m_inner.CreateFileW(m_imagePath.c_str(), GENERIC_READ, share | FILE_SHARE_READ, security,
                                       OPEN_EXISTING, flags, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            m_images.insert(h);
        }
        return h;
    }
    BOOL DeviceIoControl(HANDLE device, DWORD code, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize,
                         LPDWORD returned, LPOVERLAPPED overlapped) override
    {
        if (m_images.count(device) == 0) {
            return m_inner.DeviceIoControl(device, code, in, inSize, out, outSize, returned, overlapped);
        }
        if (code == IOCTL_DISK_GET_LENGTH_INFO && outSize >= sizeof(GET_LENGTH_INFORMATION)) {
            GET_LENGTH_INFORMATION length{};
            length.Length.QuadPart = static_cast<LONGLONG>(m_size);
            return Answer(out, &length, sizeof length, returned);
        }
        if (code == IOCTL_DISK_GET_DRIVE_GEOMETRY && outSize >= sizeof(DISK_GEOMETRY)) {
            DISK_GEOMETRY geometry{};
            geometry.Cylinders.QuadPart =
                static_cast<LONGLONG>(m_size / (static_cast<ULONGLONG>(kTracks) * kSectorsPerTrack * m_sectorSize));
            geometry.MediaType = FixedMedia;
            geometry.TracksPerCylinder = kTracks;
            geometry.SectorsPerTrack = kSectorsPerTrack;
            geometry.BytesPerSector = m_sectorSize;
            return Answer(out, &geometry, sizeof geometry, returned);
        }
        m_inner.SetLastError(ERROR_INVALID_FUNCTION);
        return FALSE;
    }
    DWORD SetFilePointer(HANDLE h, LONG low, PLONG high, DWORD method) override
    {
        return m_inner.SetFilePointer(h, low, high, method);
    }
    BOOL ReadFile(HANDLE h, LPVOID buffer, DWORD bytes, LPDWORD read, LPOVERLAPPED overlapped) override
    {
        return m_inner.ReadFile(h, buffer, bytes, read, overlapped);
    }
    BOOL CloseHandle(HANDLE h) override
    {
        m_images.erase(h);
        return m_inner.CloseHandle(h);
    }
    DWORD GetLastError() override { return m_inner.GetLastError(); }
    void SetLastError(DWORD code) override { m_inner.SetLastError(code); }
    DWORD GetLogicalDrives() override { return 0; }
    DWORD GetTickCount() override { return m_inner.GetTickCount(); }
    void Sleep(DWORD ms) override { m_inner.Sleep(ms); }
    errno_t rand_s(unsigned int* value) override { return m_inner.rand_s(value); }

private:
    static BOOL Answer(LPVOID out, const void* record, DWORD size, LPDWORD returned)
    {
        CopyMemory(out, record, size);
        if (returned != nullptr) {
            *returned = size;
        }
        return TRUE;
    }

    hdd::OsApi& m_inner;
    std::wstring m_drivePath;
    std::wstring m_imagePath;
    ULONGLONG m_size;
    DWORD m_sectorSize;
    std::set<HANDLE> m_images;  // the handles open on the image (the scan's and its reopen check's)
};

class SharedSeam final : public DiskSeam {
public:
    explicit SharedSeam(LONG disk) : m_path(PhysicalDrivePath(disk)) {}
    hdd::OsApi& Api() override { return hdd::PlatformOs(); }
    const std::wstring& DevicePath() const override { return m_path; }
    LatencyClock& Clock() override { return m_clock; }

private:
    std::wstring m_path;
    HostClock m_clock;
};

class ImageSeam final : public DiskSeam {
public:
    ImageSeam(LONG disk, const std::string& image, ULONGLONG size, DWORD sectorSize)
        : m_path(PhysicalDrivePath(disk)), m_os(hdd::PlatformOs(), m_path, Wide(image), size, sectorSize)
    {
    }
    hdd::OsApi& Api() override { return m_os; }
    const std::wstring& DevicePath() const override { return m_path; }
    LatencyClock& Clock() override { return m_clock; }

private:
    std::wstring m_path;
    ImageDiskOs m_os;
    HostClock m_clock;
};

// The size of a file, through the seam; false with the error code.
bool FileSize(hdd::OsApi& os, const std::string& path, ULONGLONG& size, DWORD& error)
{
    HANDLE h = os.CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        error = os.GetLastError();
        return false;
    }
    LONG high = 0;
    const DWORD low = os.SetFilePointer(h, 0, &high, FILE_END);
    error = low == INVALID_SET_FILE_POINTER ? os.GetLastError() : 0;
    os.CloseHandle(h);
    size = static_cast<ULONGLONG>(static_cast<DWORD>(high)) << 32 | low;
    return error == 0;
}

// The partitions of the disk that lettered volumes answer for: a volume of
// one extent, on this disk, with its partition number, offset and length.
std::vector<ScanPartition> VolumePartitions(hdd::OsApi& os, LONG disk)
{
    std::vector<ScanPartition> partitions;
    const DWORD mask = os.GetLogicalDrives();
    for (int i = 0; i < 26; ++i) {
        if ((mask & (1u << i)) == 0) {
            continue;
        }
        const std::wstring path = std::wstring(L"\\\\.\\") + static_cast<wchar_t>(L'A' + i) + L":";
        HANDLE h = os.CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            continue;
        }
        alignas(8) BYTE answer[512] = {};
        PARTITION_INFORMATION_EX info{};
        DWORD returned = 0;
        const bool extents = os.DeviceIoControl(h, IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS, nullptr, 0, answer,
                                                sizeof answer, &returned, nullptr) != FALSE;
        const bool partition = os.DeviceIoControl(h, IOCTL_DISK_GET_PARTITION_INFO_EX, nullptr, 0, &info,
                                                  sizeof info, &returned, nullptr) != FALSE;
        os.CloseHandle(h);
        VOLUME_DISK_EXTENTS first{};
        CopyMemory(&first, answer, sizeof first);
        if (extents && partition && first.NumberOfDiskExtents == 1 &&
            static_cast<LONG>(first.Extents[0].DiskNumber) == disk) {
            partitions.push_back({info.PartitionNumber, static_cast<ULONGLONG>(info.StartingOffset.QuadPart),
                                  static_cast<ULONGLONG>(info.PartitionLength.QuadPart)});
        }
    }
    return partitions;
}

class WindowsScanSource final : public ScanSource {
public:
    WindowsScanSource(std::vector<ScanDiskInfo> disks, std::vector<std::string> images)
        : m_disks(std::move(disks)), m_images(std::move(images))
    {
    }
    const std::vector<ScanDiskInfo>& Disks() const override { return m_disks; }
    std::unique_ptr<DiskSeam> OpenDisk(LONG disk, std::string&) override
    {
        if (m_images.empty()) {
            return std::make_unique<SharedSeam>(disk);
        }
        const ScanDiskInfo& info = m_disks.at(static_cast<size_t>(disk));
        return std::make_unique<ImageSeam>(disk, m_images.at(static_cast<size_t>(disk)), info.row.size,
                                           info.sectorSize);
    }

private:
    std::vector<ScanDiskInfo> m_disks;
    std::vector<std::string> m_images;
};

}  // namespace

std::unique_ptr<ScanSource> OpenScanSource(const Options& options, const std::vector<LONG>& disks, std::string& error)
{
    hdd::OsApi& os = hdd::PlatformOs();
    std::vector<ScanDiskInfo> infos;
    std::vector<std::string> images;
    if (!options.disks.empty()) {
        for (size_t i = 0; i < options.disks.size(); ++i) {
            const std::string& path = options.disks[i].path;
            ScanDiskInfo info;
            info.row.disk = static_cast<LONG>(i);
            info.row.path = path;
            info.row.device = path;
            info.row.bus = "file";
            info.sectorSize = options.scan.sectorSize != 0 ? options.scan.sectorSize : 512;
            DWORD code = 0;
            if (!FileSize(os, path, info.row.size, code)) {
                error = path + ": cannot be opened (error " + std::to_string(code) + ")";
                return nullptr;
            }
            infos.push_back(std::move(info));
            images.push_back(path);
        }
        return std::make_unique<WindowsScanSource>(std::move(infos), std::move(images));
    }
    if (options.scan.sectorSize != 0) {
        error = "--sector-size is for --disk image files; a drive's own sector size comes from its geometry";
        return nullptr;
    }
    for (const LONG disk : std::set<LONG>(disks.begin(), disks.end())) {
        ScanDiskInfo info;
        info.row.disk = disk;
        info.row.device = "PhysicalDrive" + std::to_string(disk);
        info.row.path = "\\\\.\\" + info.row.device;
        hdd::scan::DiskSize size;
        DWORD code = 0;
        if (hdd::scan::QueryDiskSize(os, PhysicalDrivePath(disk), size, code)) {
            info.row.size = size.bytes;
            info.sectorSize = size.sectorBytes;
            info.partitions = VolumePartitions(os, disk);
        } else {
            info.unusable = "\\\\.\\PhysicalDrive" + std::to_string(disk) + " gives no size (error " +
                            std::to_string(code) + ")";
        }
        infos.push_back(std::move(info));
    }
    return std::make_unique<WindowsScanSource>(std::move(infos), std::move(images));
}

}  // namespace hddiag::host
