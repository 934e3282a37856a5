// The simulated machine's answers to the device-control requests, with the
// platform's records and failure codes.
#include <cstddef>
#include <cstring>
#include <string>

#include "platform/sim/sim_machine_impl.h"

namespace hdd::sim {

namespace {

constexpr DWORD kExtentsHeaderBytes = 8;  // the count and its padding
constexpr DWORD kExtentBytes = sizeof(DISK_EXTENT);
constexpr DWORD kDescriptorHeaderBytes = 8;  // Version and Size
constexpr BYTE kPartitionTypeNtfs = 0x07;
constexpr BYTE kPartitionTypeDynamic = 0x42;
constexpr DWORD kPropertyExistsQuery = 1;

}  // namespace

DWORD SimMachine::Impl::Ioctl(const OpenHandle& handle, DWORD code, LPVOID in, DWORD inSize, LPVOID out,
                              DWORD outSize, DWORD& returned)
{
    switch (code) {
    case IOCTL_DISK_GET_DRIVE_GEOMETRY:
        return GeometryAnswer(handle, out, outSize, returned);
    case IOCTL_DISK_GET_PARTITION_INFO_EX:
        return PartitionAnswer(handle, out, outSize, returned);
    case IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS:
        return ExtentsAnswer(handle, out, outSize, returned);
    case IOCTL_STORAGE_QUERY_PROPERTY:
        return PropertyAnswer(handle, in, inSize, out, outSize, returned);
    case IOCTL_DISK_GET_LENGTH_INFO:
        return LengthAnswer(handle, out, outSize, returned);
    default:
        return ERROR_INVALID_FUNCTION;
    }
}

DWORD SimMachine::Impl::GeometryAnswer(const OpenHandle& handle, LPVOID out, DWORD outSize, DWORD& returned)
{
    if (outSize < sizeof(DISK_GEOMETRY)) {
        return ERROR_INSUFFICIENT_BUFFER;
    }
    if (out == nullptr) {
        return kErrorNoAccess;
    }
    // A volume answers with the geometry of its disk; a volume across
    // several disks has no one geometry to give.
    const LONG disk = DiskOf(handle);
    if (disk < 0) {
        return ERROR_INVALID_FUNCTION;
    }
    const SimDisk& d = description.disks[disk];
    DISK_GEOMETRY g;
    std::memset(&g, 0, sizeof g);
    g.Cylinders.QuadPart = d.cylinders;
    g.MediaType = static_cast<MEDIA_TYPE>(d.media);
    g.TracksPerCylinder = d.tracksPerCylinder;
    g.SectorsPerTrack = d.sectorsPerTrack;
    g.BytesPerSector = d.bytesPerSector;
    std::memcpy(out, &g, sizeof g);
    returned = sizeof g;
    return 0;
}

// The device's whole length in bytes: the disk's size, or a volume's length,
// where the geometry would round the disk down to whole cylinders.
DWORD SimMachine::Impl::LengthAnswer(const OpenHandle& handle, LPVOID out, DWORD outSize, DWORD& returned)
{
    if (outSize < sizeof(GET_LENGTH_INFORMATION)) {
        return ERROR_INSUFFICIENT_BUFFER;
    }
    if (out == nullptr) {
        return kErrorNoAccess;
    }
    GET_LENGTH_INFORMATION length;
    length.Length.QuadPart = static_cast<LONGLONG>(EndOf(handle));
    std::memcpy(out, &length, sizeof length);
    returned = sizeof length;
    return 0;
}

DWORD SimMachine::Impl::PartitionAnswer(const OpenHandle& handle, LPVOID out, DWORD outSize, DWORD& returned)
{
    if (outSize < sizeof(PARTITION_INFORMATION_EX)) {
        return ERROR_INSUFFICIENT_BUFFER;
    }
    if (out == nullptr) {
        return kErrorNoAccess;
    }
    PARTITION_INFORMATION_EX p;
    std::memset(&p, 0, sizeof p);
    p.PartitionStyle = PARTITION_STYLE_MBR;
    if (handle.isDisk) {
        // The drive itself is partition 0, covering the whole disk.
        p.StartingOffset.QuadPart = 0;
        p.PartitionLength.QuadPart = static_cast<LONGLONG>(description.disks[handle.index].size);
        p.PartitionNumber = 0;
    } else {
        const VolumeInfo& v = volumes[handle.index];
        if (v.extents.size() == 1) {
            p.StartingOffset.QuadPart = static_cast<LONGLONG>(v.extents.front().offset);
            p.PartitionLength.QuadPart = static_cast<LONGLONG>(v.extents.front().length);
        } else if (v.partition != 0) {
            // A volume across several extents that the description gives a
            // partition number answers with its first extent's start and its
            // whole length.
            p.StartingOffset.QuadPart = v.extents.empty() ? 0 : static_cast<LONGLONG>(v.extents.front().offset);
            p.PartitionLength.QuadPart = static_cast<LONGLONG>(v.length);
        } else {
            return ERROR_INVALID_FUNCTION;
        }
        p.PartitionNumber = v.partition;
        p.Mbr.PartitionType = v.extents.size() == 1 ? kPartitionTypeNtfs : kPartitionTypeDynamic;
        p.Mbr.RecognizedPartition = TRUE;
        const LONG disk = DiskOf(handle);
        const DWORD bytesPerSector =
            disk >= 0 && description.disks[disk].bytesPerSector != 0 ? description.disks[disk].bytesPerSector : 512;
        p.Mbr.HiddenSectors = static_cast<DWORD>(static_cast<ULONGLONG>(p.StartingOffset.QuadPart) / bytesPerSector);
    }
    std::memcpy(out, &p, sizeof p);
    returned = sizeof p;
    return 0;
}

DWORD SimMachine::Impl::ExtentsAnswer(const OpenHandle& handle, LPVOID out, DWORD outSize, DWORD& returned)
{
    if (handle.isDisk) {
        return ERROR_INVALID_FUNCTION;
    }
    if (outSize < kExtentsHeaderBytes) {
        return ERROR_INSUFFICIENT_BUFFER;
    }
    if (out == nullptr) {
        return kErrorNoAccess;
    }
    const VolumeInfo& v = volumes[handle.index];
    BYTE* answer = static_cast<BYTE*>(out);
    const DWORD count = static_cast<DWORD>(v.extents.size());
    std::memcpy(answer, &count, sizeof count);
    const ULONGLONG needed = kExtentsHeaderBytes + static_cast<ULONGLONG>(kExtentBytes) * count;
    if (outSize < needed) {
        // Only the count is written, so the caller can ask again with room
        // for every extent.
        returned = kExtentsHeaderBytes;
        return ERROR_MORE_DATA;
    }
    for (DWORD i = 0; i < count; ++i) {
        DISK_EXTENT e;
        std::memset(&e, 0, sizeof e);
        e.DiskNumber = v.extents[i].disk;
        e.StartingOffset.QuadPart = static_cast<LONGLONG>(v.extents[i].offset);
        e.ExtentLength.QuadPart = static_cast<LONGLONG>(v.extents[i].length);
        std::memcpy(answer + kExtentsHeaderBytes + kExtentBytes * i, &e, sizeof e);
    }
    returned = static_cast<DWORD>(needed);
    return 0;
}

DWORD SimMachine::Impl::PropertyAnswer(const OpenHandle& handle, LPVOID in, DWORD inSize, LPVOID out,
                                       DWORD outSize, DWORD& returned)
{
    if (in == nullptr || inSize < sizeof(STORAGE_PROPERTY_QUERY)) {
        return ERROR_INVALID_PARAMETER;
    }
    DWORD propertyId = 0;
    DWORD queryType = 0;
    std::memcpy(&propertyId, static_cast<const BYTE*>(in), sizeof propertyId);
    std::memcpy(&queryType, static_cast<const BYTE*>(in) + sizeof propertyId, sizeof queryType);
    if (propertyId != StorageDeviceProperty) {
        return ERROR_NOT_SUPPORTED;
    }
    const LONG disk = DiskOf(handle);
    if (disk < 0) {
        return ERROR_INVALID_FUNCTION;
    }
    if (queryType == kPropertyExistsQuery) {
        return 0;  // the device property exists; nothing is written
    }
    if (queryType != PropertyStandardQuery) {
        return ERROR_NOT_SUPPORTED;
    }
    if (outSize < kDescriptorHeaderBytes) {
        return ERROR_INSUFFICIENT_BUFFER;
    }
    if (out == nullptr) {
        return kErrorNoAccess;
    }
    const SimDisk& d = description.disks[disk];

    // The descriptor, then its strings; a short buffer gets the start of it,
    // with Size telling how much there is, as the platform does.
    alignas(8) BYTE answer[256];
    std::memset(answer, 0, sizeof answer);
    DWORD used = offsetof(STORAGE_DEVICE_DESCRIPTOR, RawDeviceProperties);
    auto put = [&](const std::string& text) {
        const DWORD at = used;
        std::memcpy(answer + at, text.c_str(), text.size() + 1);
        used += static_cast<DWORD>(text.size() + 1);
        return at;
    };
    STORAGE_DEVICE_DESCRIPTOR s;
    std::memset(&s, 0, sizeof s);
    s.Version = sizeof(STORAGE_DEVICE_DESCRIPTOR);
    s.DeviceType = 0;  // a direct-access device
    s.RemovableMedia = d.media == RemovableMedia ? TRUE : FALSE;
    s.BusType = static_cast<STORAGE_BUS_TYPE>(d.bus);
    s.VendorIdOffset = 0;  // none
    s.ProductIdOffset = put("SIMULATED DISK");
    s.ProductRevisionOffset = put("1.0");
    s.SerialNumberOffset = put("SIM" + std::to_string(disk));
    s.Size = used;
    std::memcpy(answer, &s, offsetof(STORAGE_DEVICE_DESCRIPTOR, RawDeviceProperties));
    const DWORD bytes = outSize < used ? outSize : used;
    std::memcpy(out, answer, bytes);
    returned = bytes;
    return 0;
}

}  // namespace hdd::sim
