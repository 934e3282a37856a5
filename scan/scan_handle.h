// A handle opened through a given OS seam and closed through the same one:
// the scan never reaches for the process-wide seam, so each disk's reader
// can have a machine of its own.
#pragma once

#include <string>

#include "platform/os_api.h"

namespace hdd::scan {

class ScanHandle {
public:
    ScanHandle(OsApi& os, HANDLE h) : m_os(os), m_h(h) {}
    ~ScanHandle()
    {
        if (IsOpen()) {
            m_os.CloseHandle(m_h);
        }
    }
    ScanHandle(const ScanHandle&) = delete;
    ScanHandle& operator=(const ScanHandle&) = delete;

    bool IsOpen() const { return m_h != nullptr && m_h != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return m_h; }

private:
    OsApi& m_os;
    HANDLE m_h;
};

// Opens a device for reading only, shared, unbuffered.
inline HANDLE OpenForScan(OsApi& os, const std::wstring& path)
{
    return os.CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                          FILE_FLAG_NO_BUFFERING, nullptr);
}

}  // namespace hdd::scan
