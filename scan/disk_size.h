// A disk's true size and sector size, as the scan needs them: the length
// request gives every byte (the geometry's cylinder count is rounded down and
// can hide up to 16,064 sectors at the end), the geometry the sector size.
#pragma once

#include <string>

#include "platform/os_api.h"

namespace hdd::scan {

struct DiskSize {
    ULONGLONG bytes = 0;
    DWORD sectorBytes = 0;
};

// Opens `devicePath` read-only through `os` and asks both; false with the
// last-error code when the open or a request fails or the answer is unusable
// (no sector size, or a size under one sector).
bool QueryDiskSize(OsApi& os, const std::wstring& devicePath, DiskSize& size, DWORD& error);

}  // namespace hdd::scan
