#include "platform/sim/device_path.h"

namespace hdd::sim {

namespace {

WCHAR Upper(WCHAR c) { return (c >= L'a' && c <= L'z') ? static_cast<WCHAR>(c - L'a' + L'A') : c; }

bool StartsWithNoCase(const std::wstring& text, const std::wstring& prefix)
{
    if (text.size() < prefix.size()) {
        return false;
    }
    for (size_t i = 0; i < prefix.size(); ++i) {
        if (Upper(text[i]) != Upper(prefix[i])) {
            return false;
        }
    }
    return true;
}

}  // namespace

DevicePathTarget ParseDevicePath(const std::wstring& path)
{
    DevicePathTarget target;
    static const std::wstring kDevicePrefix = L"\\\\.\\";
    static const std::wstring kDrivePrefix = L"\\\\.\\PHYSICALDRIVE";
    if (StartsWithNoCase(path, kDrivePrefix)) {
        const std::wstring digits = path.substr(kDrivePrefix.size());
        if (digits.empty() || digits.size() > 9 || (digits.size() > 1 && digits[0] == L'0')) {
            return target;
        }
        DWORD n = 0;
        for (WCHAR c : digits) {
            if (c < L'0' || c > L'9') {
                return target;
            }
            n = n * 10 + static_cast<DWORD>(c - L'0');
        }
        target.kind = DevicePathTarget::Kind::Disk;
        target.disk = n;
        return target;
    }
    if (StartsWithNoCase(path, kDevicePrefix) && path.size() == kDevicePrefix.size() + 2 &&
        path[kDevicePrefix.size() + 1] == L':') {
        const WCHAR letter = Upper(path[kDevicePrefix.size()]);
        if (letter >= L'A' && letter <= L'Z') {
            target.kind = DevicePathTarget::Kind::Volume;
            target.letter = letter;
        }
    }
    return target;
}

bool PathsEqualNoCase(const std::wstring& a, const std::wstring& b)
{
    return a.size() == b.size() && StartsWithNoCase(a, b);
}

}  // namespace hdd::sim
