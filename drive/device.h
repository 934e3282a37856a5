// Device primitives on physical drives and volumes. All of them go through
// the OS seam; every handle is opened for reading only.
#pragma once

#include "platform/win32.h"

namespace hdd {

// The sector sizes the tests read: powers of two from HDD_SECTOR_SIZE, the
// classic 512 bytes, to 4096 bytes.
constexpr DWORD HDD_SECTOR_SIZE = 512;
constexpr DWORD HDD_MAX_SECTOR_SIZE = 4096;
constexpr DWORD HDD_SECTOR_BUFFER_SIZE = 131072;
constexpr DWORD HDD_DEVICE_PATH_CHARS = 260;

// Failure values of the volume lookups.
constexpr LONG HDD_UNKNOWN_DISK = 255;
constexpr LONG HDD_UNKNOWN_PARTITION = 0;
constexpr ULONGLONG HDD_RANDOM_FAILED = 0xFFFFFFFFFFFFFFFFull;

// One module-wide read buffer shared by all objects; nothing reads it back.
// Aligned to the largest sector: unbuffered raw reads want sector-aligned
// buffers.
alignas(HDD_MAX_SECTOR_SIZE) extern BYTE SectorBuffer[HDD_SECTOR_BUFFER_SIZE];

// Whether the tests can read a drive of this many bytes per sector.
constexpr bool IsSupportedSectorSize(DWORD dwBytesPerSector)
{
    return dwBytesPerSector >= HDD_SECTOR_SIZE && dwBytesPerSector <= HDD_MAX_SECTOR_SIZE &&
           (dwBytesPerSector & (dwBytesPerSector - 1)) == 0;
}

typedef DISK_GEOMETRY DriveGeometry;

// Opens "\\.\PHYSICALDRIVE<n>"; INVALID_HANDLE_VALUE on failure.
HANDLE OpenPhysicalDrive(LONG nDisk);

// Opens "\\.\<letter>:" with the given flags and attributes.
HANDLE OpenVolume(WCHAR chLetter, DWORD dwFlagsAndAttributes);

// Sends the geometry request into the caller's record; testable when the
// record then shows fixed media. A failed request leaves the record alone.
bool QueryDriveGeometry(HANDLE hDrive, DriveGeometry& geometry);

// Reads one whole sector of the drive: seeks to sector * dwBytesPerSector
// and reads dwBytesPerSector bytes into SectorBuffer. A reported failure
// counts only when the last-error code is nonzero. A sector size the tests
// do not support reads nothing and fails.
bool ReadTestSector(HANDLE hDrive, ULONGLONG ullSector, DWORD dwBytesPerSector);

// A value in [lo, hi) (either order), lo when equal; all ones on failure.
ULONGLONG RandomInRange(ULONGLONG ullLo, ULONGLONG ullHi);

// True for an ATA, RAID or SATA bus.
bool IsSupportedBus(HANDLE hDrive);

// Disk number of the volume's one extent, or 255.
LONG VolumeDiskNumber(WCHAR chLetter);

// Partition number of the volume, or 0.
LONG VolumePartitionNumber(WCHAR chLetter);

}  // namespace hdd
