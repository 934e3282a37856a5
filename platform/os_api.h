// The OS seam: exactly the operating-system calls the component makes, named
// and shaped like the Win32 calls they stand for. It has no write operation,
// so nothing that goes through it can write to a disk.
#pragma once

#include "platform/seam.h"
#include "platform/win32.h"

namespace hdd {

class OsApi {
public:
    virtual ~OsApi() = default;

    virtual HANDLE CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                               LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                               DWORD dwFlagsAndAttributes, HANDLE hTemplateFile) = 0;
    virtual BOOL DeviceIoControl(HANDLE hDevice, DWORD dwIoControlCode, LPVOID lpInBuffer, DWORD nInBufferSize,
                                 LPVOID lpOutBuffer, DWORD nOutBufferSize, LPDWORD lpBytesReturned,
                                 LPOVERLAPPED lpOverlapped) = 0;
    virtual DWORD SetFilePointer(HANDLE hFile, LONG lDistanceToMove, PLONG lpDistanceToMoveHigh,
                                 DWORD dwMoveMethod) = 0;
    virtual BOOL ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead, LPDWORD lpNumberOfBytesRead,
                          LPOVERLAPPED lpOverlapped) = 0;
    virtual BOOL CloseHandle(HANDLE hObject) = 0;
    virtual DWORD GetLastError() = 0;
    virtual void SetLastError(DWORD dwErrCode) = 0;
    virtual DWORD GetLogicalDrives() = 0;
    virtual DWORD GetTickCount() = 0;
    virtual void Sleep(DWORD dwMilliseconds) = 0;
    // A source of uniformly distributed 32-bit words that needs no seed;
    // returns 0 on success and a nonzero error code on failure, like rand_s.
    virtual errno_t rand_s(unsigned int* randomValue) = 0;
};

// The platform's real implementation (kernel32 on Windows; on other systems a
// stand-in whose devices are absent: every open fails).
OsApi& PlatformOs();

// The implementation the component talks to now: the platform's real one
// unless a ScopedOsApi has installed another.
inline OsApi& Os() { return Seam<OsApi, PlatformOs>::Current(); }

// Installs an implementation for the lifetime of this object and restores the
// previous one afterwards. Not thread-safe: install before the calls begin.
using ScopedOsApi = Seam<OsApi, PlatformOs>::Scoped;

}  // namespace hdd
