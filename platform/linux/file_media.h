// A real disk's bytes: a block device or an image file, opened read-only
// (O_DIRECT where the file system allows it) and read with pread. The
// simulated machine in front of it decides bounds, faults and the trace.
#pragma once

#include <sys/types.h>

#include <memory>
#include <string>

#include "platform/linux/unique_fd.h"
#include "platform/sim/disk_media.h"

namespace hdd::blockdev {

struct MediaProblem {
    DWORD error = 0;      // the Win32 code an open of the disk fails with
    std::string message;  // what is wrong, for people ("is a directory", ...)
};

class FileMedia final : public sim::DiskMedia {
public:
    // Opens a block device or a regular file of at least one sector; null
    // with the problem otherwise.
    static std::unique_ptr<FileMedia> Open(const std::string& path, MediaProblem& problem);
    ~FileMedia() override;
    FileMedia(const FileMedia&) = delete;
    FileMedia& operator=(const FileMedia&) = delete;

    DWORD Read(ULONGLONG offset, void* buffer, DWORD bytes) override;

    // 0 while the disk opened is still what the path names and has its size;
    // otherwise the Win32 code an open of it now fails with (the node is
    // gone or is another device, the medium went away).
    DWORD GoneError() const;

    const std::string& Path() const { return m_path; }
    bool IsBlockDevice() const { return m_blockDevice; }
    ULONGLONG Size() const { return m_size; }
    DWORD LogicalSectorSize() const { return m_sectorSize; }
    bool Direct() const { return m_direct; }

private:
    FileMedia(std::string path, UniqueFd fd, bool blockDevice, ULONGLONG size, DWORD sectorSize);
    // The file system refused O_DIRECT: buffered reads from now on, said once.
    void FallBackToBuffered();
    DWORD ReadDirect(ULONGLONG offset, BYTE* buffer, DWORD bytes);
    DWORD ReadAligned(ULONGLONG offset, BYTE* buffer, DWORD bytes);
    DWORD ReadBuffered(ULONGLONG offset, BYTE* buffer, DWORD bytes);

    std::string m_path;
    UniqueFd m_fd;
    dev_t m_device = 0;  // of the node (a block device) or the file system (an image)
    ino_t m_inode = 0;
    bool m_blockDevice;
    ULONGLONG m_size;
    DWORD m_sectorSize;  // logical sector size (512 for image files)
    DWORD m_alignment;   // of O_DIRECT offsets, lengths and memory
    bool m_direct = false;
    BYTE* m_bounce = nullptr;  // aligned; whole aligned blocks land here
};

}  // namespace hdd::blockdev
