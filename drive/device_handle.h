// Owns a handle opened through the OS seam and closes it exactly once.
// Empty is INVALID_HANDLE_VALUE, the failure value of CreateFileW; a null
// handle is treated as empty too.
#pragma once

#include "platform/os_api.h"

namespace hdd {

class DeviceHandle {
public:
    DeviceHandle() = default;
    explicit DeviceHandle(HANDLE h) : m_h(h) {}
    ~DeviceHandle() { Close(); }
    DeviceHandle(const DeviceHandle&) = delete;
    DeviceHandle& operator=(const DeviceHandle&) = delete;
    DeviceHandle(DeviceHandle&& other) noexcept : m_h(other.Release()) {}
    DeviceHandle& operator=(DeviceHandle&& other) noexcept
    {
        if (this != &other) {
            Close();
            m_h = other.Release();
        }
        return *this;
    }

    static bool IsOpenHandle(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }

    bool IsOpen() const { return IsOpenHandle(m_h); }
    HANDLE Get() const { return m_h; }
    HANDLE Release()
    {
        HANDLE h = m_h;
        m_h = INVALID_HANDLE_VALUE;
        return h;
    }
    void Close()
    {
        if (IsOpen()) {
            Os().CloseHandle(m_h);
        }
        m_h = INVALID_HANDLE_VALUE;
    }

private:
    HANDLE m_h = INVALID_HANDLE_VALUE;
};

}  // namespace hdd
