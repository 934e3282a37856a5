// The scan's own read buffer: one block, aligned for unbuffered reads
// (O_DIRECT, FILE_FLAG_NO_BUFFERING), allocated once per scan.
#pragma once

#include <cstddef>
#include <new>

#include "platform/win32.h"

namespace hdd::scan {

constexpr size_t kBufferAlignment = 4096;

class AlignedBuffer {
public:
    explicit AlignedBuffer(size_t bytes)
        : m_data(static_cast<BYTE*>(::operator new(bytes, std::align_val_t{kBufferAlignment}, std::nothrow))),
          m_bytes(m_data != nullptr ? bytes : 0)
    {
    }
    ~AlignedBuffer() { ::operator delete(m_data, std::align_val_t{kBufferAlignment}); }
    AlignedBuffer(const AlignedBuffer&) = delete;
    AlignedBuffer& operator=(const AlignedBuffer&) = delete;

    BYTE* Data() const { return m_data; }
    size_t Bytes() const { return m_bytes; }

private:
    BYTE* m_data;
    size_t m_bytes;
};

}  // namespace hdd::scan
