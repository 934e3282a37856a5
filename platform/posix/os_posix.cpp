// The OS seam away from Windows: no device of the Windows kind exists here,
// so every open fails; the clock, sleep and the random words are real.
#include <sched.h>
#include <sys/resource.h>
#include <time.h>

#include <cerrno>

#include "platform/os_api.h"
#include "platform/posix/random_words.h"

namespace hdd {

namespace {

thread_local DWORD t_dwLastError = 0;

class PosixOs final : public OsApi {
public:
    HANDLE CreateFileW(LPCWSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE) override
    {
        t_dwLastError = ERROR_FILE_NOT_FOUND;
        return INVALID_HANDLE_VALUE;
    }
    BOOL DeviceIoControl(HANDLE, DWORD, LPVOID, DWORD, LPVOID, DWORD, LPDWORD, LPOVERLAPPED) override
    {
        t_dwLastError = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    DWORD SetFilePointer(HANDLE, LONG, PLONG, DWORD) override
    {
        t_dwLastError = ERROR_INVALID_HANDLE;
        return INVALID_SET_FILE_POINTER;
    }
    BOOL ReadFile(HANDLE, LPVOID, DWORD, LPDWORD, LPOVERLAPPED) override
    {
        t_dwLastError = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    BOOL CloseHandle(HANDLE) override
    {
        t_dwLastError = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    DWORD GetLastError() override { return t_dwLastError; }
    void SetLastError(DWORD dwErrCode) override { t_dwLastError = dwErrCode; }
    DWORD GetLogicalDrives() override { return 0; }
    DWORD GetTickCount() override
    {
        timespec ts{};
        clock_gettime(CLOCK_MONOTONIC, &ts);
        const ULONGLONG ms = static_cast<ULONGLONG>(ts.tv_sec) * 1000u + static_cast<ULONGLONG>(ts.tv_nsec) / 1000000u;
        return static_cast<DWORD>(ms);
    }
    // Sleep(0) gives up the processor and nothing more: a zero-length timed
    // sleep would cost the timer slack (tens of microseconds) after every
    // sector read. A thread that has blocked since its last Sleep(0), as a
    // read from a disk does, has just given the processor up, so it does not
    // yield again: sched_yield is a full pass through the scheduler, a tenth
    // of a fast random read. Longer sleeps run on the monotonic clock.
    void Sleep(DWORD dwMilliseconds) override
    {
        if (dwMilliseconds == 0) {
            thread_local decltype(rusage::ru_nvcsw) t_blocks = -1;
            rusage usage{};
            if (getrusage(RUSAGE_THREAD, &usage) == 0 && usage.ru_nvcsw != t_blocks) {
                t_blocks = usage.ru_nvcsw;
                return;
            }
            sched_yield();
            return;
        }
        timespec ts{static_cast<time_t>(dwMilliseconds / 1000u), static_cast<long>((dwMilliseconds % 1000u) * 1000000u)};
        while (clock_nanosleep(CLOCK_MONOTONIC, 0, &ts, &ts) == EINTR) {
        }
    }
    // The kernel's random generator: no seed, and it can report failure. The
    // words come in batches, one buffer per thread, so objects testing on two
    // threads never share one.
    errno_t rand_s(unsigned int* randomValue) override
    {
        if (randomValue == nullptr) {
            return EINVAL;
        }
        thread_local RandomWords t_words;
        return t_words.Next(randomValue);
    }
};

}  // namespace

OsApi& PlatformOs()
{
    static PosixOs os;
    return os;
}

}  // namespace hdd
