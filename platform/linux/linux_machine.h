// The OS seam over real disks on Linux: the simulated machine's model of the
// disks (built by machine_layout.h) answers every call, and only the reads go
// to the real devices. The clock, Sleep and the random words are the
// system's, unless a seed asks for the machine's repeatable words.
#pragma once

#include <optional>

#include "platform/linux/machine_layout.h"
#include "platform/sim/sim_machine.h"

namespace hdd::blockdev {

class LinuxMachine final : public OsApi {
public:
    // seed: random words from the simulated machine's generator seeded with
    // it (for runs that must repeat), instead of the kernel's.
    explicit LinuxMachine(Layout layout, std::optional<unsigned int> seed = std::nullopt);
    ~LinuxMachine() override;
    LinuxMachine(const LinuxMachine&) = delete;
    LinuxMachine& operator=(const LinuxMachine&) = delete;

    const std::vector<RealDisk>& Disks() const { return m_disks; }
    const sim::MachineDescription& Description() const { return m_machine.Description(); }
    // The model in front of the disks: its description (letters), faults,
    // recording and read observer.
    sim::SimMachine& Machine() { return m_machine; }

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
    static sim::MachineDescription Seeded(sim::MachineDescription description, std::optional<unsigned int> seed);

    std::vector<std::unique_ptr<FileMedia>> m_media;
    std::vector<RealDisk> m_disks;
    bool m_seeded;
    sim::SimMachine m_machine;
};

}  // namespace hdd::blockdev
