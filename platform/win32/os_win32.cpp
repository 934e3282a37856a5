// The OS seam over kernel32 and the C runtime.
#include "platform/os_api.h"

namespace hdd {

namespace {

class Win32Os final : public OsApi {
public:
    HANDLE CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                       LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                       DWORD dwFlagsAndAttributes, HANDLE hTemplateFile) override
    {
        return ::CreateFileW(lpFileName, dwDesiredAccess, dwShareMode, lpSecurityAttributes, dwCreationDisposition,
                             dwFlagsAndAttributes, hTemplateFile);
    }
    BOOL DeviceIoControl(HANDLE hDevice, DWORD dwIoControlCode, LPVOID lpInBuffer, DWORD nInBufferSize,
                         LPVOID lpOutBuffer, DWORD nOutBufferSize, LPDWORD lpBytesReturned,
                         LPOVERLAPPED lpOverlapped) override
    {
        return ::DeviceIoControl(hDevice, dwIoControlCode, lpInBuffer, nInBufferSize, lpOutBuffer, nOutBufferSize,
                                 lpBytesReturned, lpOverlapped);
    }
    DWORD SetFilePointer(HANDLE hFile, LONG lDistanceToMove, PLONG lpDistanceToMoveHigh,
                         DWORD dwMoveMethod) override
    {
        return ::SetFilePointer(hFile, lDistanceToMove, lpDistanceToMoveHigh, dwMoveMethod);
    }
    BOOL ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead, LPDWORD lpNumberOfBytesRead,
                  LPOVERLAPPED lpOverlapped) override
    {
        return ::ReadFile(hFile, lpBuffer, nNumberOfBytesToRead, lpNumberOfBytesRead, lpOverlapped);
    }
    BOOL CloseHandle(HANDLE hObject) override { return ::CloseHandle(hObject); }
    DWORD GetLastError() override { return ::GetLastError(); }
    void SetLastError(DWORD dwErrCode) override { ::SetLastError(dwErrCode); }
    DWORD GetLogicalDrives() override { return ::GetLogicalDrives(); }
    DWORD GetTickCount() override { return ::GetTickCount(); }
    void Sleep(DWORD dwMilliseconds) override { ::Sleep(dwMilliseconds); }
    errno_t rand_s(unsigned int* randomValue) override { return ::rand_s(randomValue); }
};

}  // namespace

OsApi& PlatformOs()
{
    static Win32Os os;
    return os;
}

}  // namespace hdd
