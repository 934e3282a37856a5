// The device names the simulated machine knows: "\\.\PHYSICALDRIVE<n>" and
// "\\.\X:", matched without regard to case as the object manager does.
#pragma once

#include <string>

#include "platform/win32.h"

namespace hdd::sim {

struct DevicePathTarget {
    enum class Kind { None, Disk, Volume } kind = Kind::None;
    DWORD disk = 0;    // Disk: its number
    WCHAR letter = 0;  // Volume: upper-case letter
};

// Disk numbers are plain decimal without leading zeros, as Windows names the
// drives; anything else (a trailing backslash, a file below the volume) is
// not a device of this machine.
DevicePathTarget ParseDevicePath(const std::wstring& path);

// Compares two paths with ASCII letters folded to upper case.
bool PathsEqualNoCase(const std::wstring& a, const std::wstring& b);

}  // namespace hdd::sim
