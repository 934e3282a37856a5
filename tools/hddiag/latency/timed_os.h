// An OS seam that passes every call on to another one and, while a recorder
// is attached, times each sector read: from the seek that places it to the
// end of the read, on the clock it is given. Reads are named by the drive's
// own sectors (byte offset / the sector size the component reads). It works
// over any seam (the simulated machine, real disks), so the component needs
// no clock of its own.
#pragma once

#include "platform/os_api.h"
#include "tools/hddiag/latency/latency_clock.h"
#include "tools/hddiag/latency/latency_recorder.h"

namespace hddiag {

// Called from the timing of a read once the clock has passed a deadline, so
// that a view can redraw between reads of a single thread; returns the next
// deadline.
class FrameHook {
public:
    virtual ULONGLONG OnFrame(ULONGLONG nowNs) = 0;

protected:
    ~FrameHook() = default;
};

class TimedOs final : public hdd::OsApi {
public:
    TimedOs(hdd::OsApi& inner, LatencyClock& clock)
        : m_inner(inner), m_clock(clock), m_counter(clock.MicrosecondCounter())
    {
    }

    // Reads are recorded while a recorder is attached; null detaches it.
    void Attach(LatencyRecorder* recorder);
    // The hook is called after the first timed read and then whenever a read
    // ends past the deadline it gave (one comparison per read); null: never.
    void SetFrameHook(FrameHook* hook)
    {
        m_frameHook = hook;
        m_frameDueNs = hook != nullptr ? 0 : ~0ull;
    }

    HANDLE CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                       LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                       DWORD dwFlagsAndAttributes, HANDLE hTemplateFile) override;
    BOOL DeviceIoControl(HANDLE hDevice, DWORD dwIoControlCode, LPVOID lpInBuffer, DWORD nInBufferSize,
                         LPVOID lpOutBuffer, DWORD nOutBufferSize, LPDWORD lpBytesReturned,
                         LPOVERLAPPED lpOverlapped) override;
    DWORD SetFilePointer(HANDLE hFile, LONG lDistanceToMove, PLONG lpDistanceToMoveHigh,
                         DWORD dwMoveMethod) override;
    BOOL ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead, LPDWORD lpNumberOfBytesRead,
                  LPOVERLAPPED lpOverlapped) override;
    BOOL CloseHandle(HANDLE hObject) override;
    DWORD GetLastError() override;
    void SetLastError(DWORD dwErrCode) override;
    DWORD GetLogicalDrives() override;
    DWORD GetTickCount() override;
    void Sleep(DWORD dwMilliseconds) override;
    errno_t rand_s(unsigned int* randomValue) override;

private:
    // The recording halves of the two calls, apart so that passing a call on
    // stays a jump.
    [[gnu::noinline]] DWORD SeekTimed(HANDLE hFile, LONG lDistanceToMove, PLONG lpDistanceToMoveHigh,
                                      DWORD dwMoveMethod);
    [[gnu::noinline]] BOOL ReadTimed(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
                                     LPDWORD lpNumberOfBytesRead, LPOVERLAPPED lpOverlapped);
    ULONGLONG Now() { return m_counter != nullptr ? *m_counter * 1000u : m_clock.NowNanoseconds(); }
    ULONGLONG Since(ULONGLONG start)
    {
        const ULONGLONG now = Now();
        return now > start ? now - start : 0;
    }
    [[gnu::noinline]] void FrameDue(ULONGLONG now)
    {
        m_frameDueNs = m_frameHook != nullptr ? m_frameHook->OnFrame(now) : ~0ull;
    }

    hdd::OsApi& m_inner;
    LatencyClock& m_clock;
    const ULONGLONG* m_counter;
    LatencyRecorder* m_recorder = nullptr;
    // Where the next read on m_handle starts (bytes), and since when it is
    // under way (the seek's start; valid while m_seekPending).
    HANDLE m_handle = INVALID_HANDLE_VALUE;
    ULONGLONG m_offset = 0;
    ULONGLONG m_seekStartNs = 0;
    bool m_seekPending = false;
    // The drive's sector size, by which positions are recorded: the size of
    // the last read asked for (the component reads whole sectors), also for
    // a seek that fails before its read; 512 until the first read.
    DWORD m_sectorBytes = 512;
    FrameHook* m_frameHook = nullptr;
    ULONGLONG m_frameDueNs = ~0ull;
};

}  // namespace hddiag
