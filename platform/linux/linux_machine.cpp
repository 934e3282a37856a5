#include "platform/linux/linux_machine.h"

#include "platform/sim/device_path.h"

namespace hdd::blockdev {

sim::MachineDescription LinuxMachine::Seeded(sim::MachineDescription description, std::optional<unsigned int> seed)
{
    if (seed) {
        description.seed = *seed;
    }
    return description;
}

LinuxMachine::LinuxMachine(Layout layout, std::optional<unsigned int> seed)
    : m_media(std::move(layout.media)),
      m_disks(std::move(layout.disks)),
      m_seeded(seed.has_value()),
      m_machine(Seeded(std::move(layout.description), seed))
{
    for (size_t i = 0; i < m_media.size(); ++i) {
        m_machine.SetMedia(static_cast<DWORD>(i), m_media[i].get());
    }
}

LinuxMachine::~LinuxMachine() = default;

HANDLE LinuxMachine::CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                                 LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                                 DWORD dwFlagsAndAttributes, HANDLE hTemplateFile)
{
    // The model would open a disk that has gone away; the real node says so.
    // Opening again is how a reader asks whether its disk is still there.
    if (lpFileName != nullptr) {
        const sim::DevicePathTarget target = sim::ParseDevicePath(lpFileName);
        if (target.kind == sim::DevicePathTarget::Kind::Disk && target.disk < m_media.size() &&
            m_media[target.disk] != nullptr) {
            const DWORD gone = m_media[target.disk]->GoneError();
            if (gone != 0) {
                m_machine.SetLastError(gone);
                return INVALID_HANDLE_VALUE;
            }
        }
    }
    return m_machine.CreateFileW(lpFileName, dwDesiredAccess, dwShareMode, lpSecurityAttributes,
                                 dwCreationDisposition, dwFlagsAndAttributes, hTemplateFile);
}

BOOL LinuxMachine::DeviceIoControl(HANDLE hDevice, DWORD dwIoControlCode, LPVOID lpInBuffer, DWORD nInBufferSize,
                                   LPVOID lpOutBuffer, DWORD nOutBufferSize, LPDWORD lpBytesReturned,
                                   LPOVERLAPPED lpOverlapped)
{
    return m_machine.DeviceIoControl(hDevice, dwIoControlCode, lpInBuffer, nInBufferSize, lpOutBuffer,
                                     nOutBufferSize, lpBytesReturned, lpOverlapped);
}

DWORD LinuxMachine::SetFilePointer(HANDLE hFile, LONG lDistanceToMove, PLONG lpDistanceToMoveHigh,
                                   DWORD dwMoveMethod)
{
    return m_machine.SetFilePointer(hFile, lDistanceToMove, lpDistanceToMoveHigh, dwMoveMethod);
}

BOOL LinuxMachine::ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead, LPDWORD lpNumberOfBytesRead,
                            LPOVERLAPPED lpOverlapped)
{
    return m_machine.ReadFile(hFile, lpBuffer, nNumberOfBytesToRead, lpNumberOfBytesRead, lpOverlapped);
}

BOOL LinuxMachine::CloseHandle(HANDLE hObject) { return m_machine.CloseHandle(hObject); }

DWORD LinuxMachine::GetLastError() { return m_machine.GetLastError(); }

void LinuxMachine::SetLastError(DWORD dwErrCode) { m_machine.SetLastError(dwErrCode); }

DWORD LinuxMachine::GetLogicalDrives() { return m_machine.GetLogicalDrives(); }

DWORD LinuxMachine::GetTickCount() { return PlatformOs().GetTickCount(); }

void LinuxMachine::Sleep(DWORD dwMilliseconds) { PlatformOs().Sleep(dwMilliseconds); }

errno_t LinuxMachine::rand_s(unsigned int* randomValue)
{
    return m_seeded ? m_machine.rand_s(randomValue) : PlatformOs().rand_s(randomValue);
}

}  // namespace hdd::blockdev
