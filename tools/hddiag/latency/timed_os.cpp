#include "tools/hddiag/latency/timed_os.h"

namespace hddiag {

void TimedOs::Attach(LatencyRecorder* recorder)
{
    m_recorder = recorder;
    m_handle = INVALID_HANDLE_VALUE;
    m_seekPending = false;
}

DWORD TimedOs::SetFilePointer(HANDLE hFile, LONG lDistanceToMove, PLONG lpDistanceToMoveHigh, DWORD dwMoveMethod)
{
    if (m_recorder == nullptr) {
        return m_inner.SetFilePointer(hFile, lDistanceToMove, lpDistanceToMoveHigh, dwMoveMethod);
    }
    return SeekTimed(hFile, lDistanceToMove, lpDistanceToMoveHigh, dwMoveMethod);
}

DWORD TimedOs::SeekTimed(HANDLE hFile, LONG lDistanceToMove, PLONG lpDistanceToMoveHigh, DWORD dwMoveMethod)
{
    const ULONGLONG start = Now();
    const DWORD requestedHigh = lpDistanceToMoveHigh != nullptr ? static_cast<DWORD>(*lpDistanceToMoveHigh) : 0;
    const DWORD low = m_inner.SetFilePointer(hFile, lDistanceToMove, lpDistanceToMoveHigh, dwMoveMethod);
    if (low == INVALID_SET_FILE_POINTER) {
        const DWORD error = m_inner.GetLastError();
        if (error != 0) {
            // The read this seek was for never happens: it failed here.
            if (dwMoveMethod == FILE_BEGIN) {
                const ULONGLONG requested =
                    (static_cast<ULONGLONG>(requestedHigh) << 32) | static_cast<DWORD>(lDistanceToMove);
                m_recorder->RecordFailure(requested / m_sectorBytes, error, Since(start));
            }
            m_handle = INVALID_HANDLE_VALUE;
            m_seekPending = false;
            return low;
        }
    }
    const ULONGLONG position =
        lpDistanceToMoveHigh != nullptr
            ? (static_cast<ULONGLONG>(static_cast<DWORD>(*lpDistanceToMoveHigh)) << 32) | low
            : low;
    m_handle = hFile;
    m_offset = position;
    m_seekStartNs = start;
    m_seekPending = true;
    return low;
}

BOOL TimedOs::ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead, LPDWORD lpNumberOfBytesRead,
                       LPOVERLAPPED lpOverlapped)
{
    if (m_recorder == nullptr) {
        return m_inner.ReadFile(hFile, lpBuffer, nNumberOfBytesToRead, lpNumberOfBytesRead, lpOverlapped);
    }
    return ReadTimed(hFile, lpBuffer, nNumberOfBytesToRead, lpNumberOfBytesRead, lpOverlapped);
}

BOOL TimedOs::ReadTimed(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead, LPDWORD lpNumberOfBytesRead,
                        LPOVERLAPPED lpOverlapped)
{
    const bool known = hFile == m_handle;
    const ULONGLONG start = known && m_seekPending ? m_seekStartNs : Now();
    // The component reads one whole sector of the drive per call, so the
    // size asked is the drive's sector size; positions are named in it.
    if (nNumberOfBytesToRead != 0) {
        m_sectorBytes = nNumberOfBytesToRead;
    }
    // A read without a seek of its own continues where the last one ended.
    const ULONGLONG offset = known ? m_offset : 0;
    const ULONGLONG sector = offset / m_sectorBytes;
    const BOOL ok = m_inner.ReadFile(hFile, lpBuffer, nNumberOfBytesToRead, lpNumberOfBytesRead, lpOverlapped);
    const ULONGLONG end = Now();
    const ULONGLONG ns = end > start ? end - start : 0;
    // As the component counts it: a failure counts only with an error code.
    const DWORD error = ok ? 0 : m_inner.GetLastError();
    if (error != 0) {
        m_recorder->RecordFailure(sector, error, ns);
    } else {
        m_recorder->RecordSuccess(sector, ns);
    }
    const DWORD done = ok && lpNumberOfBytesRead != nullptr ? *lpNumberOfBytesRead : 0;
    m_handle = hFile;
    m_offset = offset + done;
    m_seekPending = false;
    if (end >= m_frameDueNs) {
        FrameDue(end);
    }
    return ok;
}

BOOL TimedOs::CloseHandle(HANDLE hObject)
{
    if (hObject == m_handle) {
        m_handle = INVALID_HANDLE_VALUE;
        m_seekPending = false;
    }
    return m_inner.CloseHandle(hObject);
}

HANDLE TimedOs::CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                            LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                            DWORD dwFlagsAndAttributes, HANDLE hTemplateFile)
{
    const HANDLE handle = m_inner.CreateFileW(lpFileName, dwDesiredAccess, dwShareMode, lpSecurityAttributes,
                                              dwCreationDisposition, dwFlagsAndAttributes, hTemplateFile);
    // A test refused because its drive would not open (unplugged, say) can
    // then say why; reading the error leaves it as it was.
    if (handle == INVALID_HANDLE_VALUE && m_recorder != nullptr) {
        m_recorder->RecordOpenFailure(m_inner.GetLastError());
    }
    return handle;
}

BOOL TimedOs::DeviceIoControl(HANDLE hDevice, DWORD dwIoControlCode, LPVOID lpInBuffer, DWORD nInBufferSize,
                              LPVOID lpOutBuffer, DWORD nOutBufferSize, LPDWORD lpBytesReturned,
                              LPOVERLAPPED lpOverlapped)
{
    return m_inner.DeviceIoControl(hDevice, dwIoControlCode, lpInBuffer, nInBufferSize, lpOutBuffer, nOutBufferSize,
                                   lpBytesReturned, lpOverlapped);
}

DWORD TimedOs::GetLastError() { return m_inner.GetLastError(); }

void TimedOs::SetLastError(DWORD dwErrCode) { m_inner.SetLastError(dwErrCode); }

DWORD TimedOs::GetLogicalDrives() { return m_inner.GetLogicalDrives(); }

DWORD TimedOs::GetTickCount() { return m_inner.GetTickCount(); }

void TimedOs::Sleep(DWORD dwMilliseconds) { m_inner.Sleep(dwMilliseconds); }

errno_t TimedOs::rand_s(unsigned int* randomValue) { return m_inner.rand_s(randomValue); }

}  // namespace hddiag
