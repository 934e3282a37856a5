// The simulated machine: the disks of a Windows machine behind the OS seam.
// It answers the component's calls with the platform's records and failure
// behaviour, records every call, counts open handles, and keeps a clock that
// the caller sets or a latency model moves.
#pragma once

#include <functional>
#include <random>
#include <string>
#include <vector>

#include "platform/os_api.h"
#include "platform/sim/disk_media.h"
#include "platform/sim/machine_description.h"

namespace hdd::sim {

enum class CallKind { Open, Ioctl, Seek, Read, Close, Random };

// One recorded call. Only the fields that matter for the kind are set.
struct CallRecord {
    CallKind kind;
    std::wstring path;         // Open: the path as given; others: the path of the handle
    DWORD access = 0;          // Open
    DWORD share = 0;           // Open
    DWORD disposition = 0;     // Open
    DWORD flags = 0;           // Open: flags and attributes
    DWORD code = 0;            // Ioctl: request code
    DWORD inSize = 0;          // Ioctl
    DWORD outSize = 0;         // Ioctl
    LONG disk = -1;            // Seek/Read on a physical drive: its number
    ULONGLONG offset = 0;      // Seek: the new byte position
    ULONGLONG sector = 0;      // Read: the file position in the disk's own sectors
    DWORD bytes = 0;           // Read: bytes asked for
    bool ok = true;            // whether the call succeeded
    DWORD error = 0;           // last-error code it set on failure
};

// A read as the component made it: physical disk and the sector, in the
// disk's own sectors (byte offset / bytes per sector).
struct SectorRead {
    LONG disk;
    ULONGLONG sector;
    bool operator==(const SectorRead&) const = default;
};

// Not thread-safe: one thread makes the calls, as the component does.
class SimMachine final : public OsApi {
public:
    explicit SimMachine(MachineDescription description);
    ~SimMachine() override;
    SimMachine(const SimMachine&) = delete;
    SimMachine& operator=(const SimMachine&) = delete;

    // ---- the OS seam ------------------------------------------------------
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

    // ---- what the machine is ------------------------------------------------
    const MachineDescription& Description() const;
    void AddFault(const Fault& fault);
    void ClearFaults();
    // Reads of the disk (its own, or through a volume on it) that pass the
    // machine's checks take their bytes from media; null: zeros. The media
    // must outlive the machine's use of it.
    void SetMedia(DWORD disk, DiskMedia* media);
    // Off: a read of a disk without media leaves the caller's buffer as it
    // was instead of zeroing it, so a scan of a huge simulated disk costs no
    // memory traffic. On by default.
    void SetFillReads(bool on);

    // ---- what happened --------------------------------------------------------
    // Recording is on by default; a long run can switch it off (the counters
    // and the read observer keep working).
    void SetRecording(bool on);
    const std::vector<CallRecord>& Calls() const;
    std::vector<SectorRead> Reads() const;  // every ReadFile on a physical drive, in order
    void ClearCalls();
    size_t OpenHandleCount() const;
    ULONGLONG ReadCount() const;   // ReadFile calls made, recorded or not
    ULONGLONG SleepCount() const;  // Sleep calls made
    // Called for every ReadFile on a physical drive, before it is answered.
    void SetReadObserver(std::function<void(LONG disk, ULONGLONG sector)> observer);

    // ---- the clock ------------------------------------------------------------
    // GetTickCount gives the clock in whole milliseconds, wrapping at 2^32.
    void SetTickCount(DWORD dwTick);
    void AdvanceMicroseconds(ULONGLONG us);
    ULONGLONG NowMicroseconds() const;  // the clock, from SetTickCount's value
    // The same clock in place, for an observer that reads it on every call
    // without calling in; valid as long as the machine.
    const ULONGLONG* MicrosecondCounter() const;
    // Sleep(n) moves the clock by n ms; with pacing on, reads and sleeps also
    // wait in real time for what the latency model charged.
    void SetPacing(bool on);

    // ---- random words -----------------------------------------------------------
    // Words come from a generator seeded with the description's seed, unless
    // scripted words are queued: those are handed out first, in order.
    void QueueRandomWords(const std::vector<unsigned int>& words);
    ULONGLONG RandomCallCount() const;

private:
    struct Impl;
    Impl* m_pImpl;
};

}  // namespace hdd::sim
