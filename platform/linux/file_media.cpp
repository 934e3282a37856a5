#include "platform/linux/file_media.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/linux/win32_errors.h"

namespace hdd::blockdev {

namespace {

// Memory alignment of the bounce buffer, and the offset alignment assumed for
// O_DIRECT on image files (no file system asks for more).
constexpr DWORD kPageBytes = 4096;
constexpr DWORD kBounceBytes = 65536;
constexpr DWORD kImageSectorBytes = 512;

MediaProblem ProblemFromErrno(int error)
{
    return MediaProblem{Win32ErrorFromErrno(error), std::strerror(error)};
}

// pread that resumes after signals.
ssize_t PreadAll(int fd, void* buffer, size_t bytes, ULONGLONG offset)
{
    ssize_t n = 0;
    do {
        n = ::pread(fd, buffer, bytes, static_cast<off_t>(offset));
    } while (n < 0 && errno == EINTR);
    return n;
}

void SayBuffered(const std::string& path)
{
    std::fprintf(stderr, "note: %s: the file system refuses O_DIRECT; reading through the page cache\n",
                 path.c_str());
}

}  // namespace

std::unique_ptr<FileMedia> FileMedia::Open(const std::string& path, MediaProblem& problem)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        problem = ProblemFromErrno(errno);
        return nullptr;
    }
    if (S_ISDIR(st.st_mode)) {
        problem = {ERROR_ACCESS_DENIED, "is a directory, not a block device or an image file"};
        return nullptr;
    }
    if (S_ISCHR(st.st_mode)) {
        problem = {ERROR_ACCESS_DENIED, "is a character device, not a block device or an image file"};
        return nullptr;
    }
    if (!S_ISBLK(st.st_mode) && !S_ISREG(st.st_mode)) {
        problem = {ERROR_ACCESS_DENIED, "is neither a block device nor an image file"};
        return nullptr;
    }

    // Read-only, always: nothing here can write to the disk.
    const int flags = O_RDONLY | O_CLOEXEC | O_NOCTTY;
    bool direct = true;
    UniqueFd fd(::open(path.c_str(), flags | O_DIRECT));
    if (!fd.IsOpen() && errno == EINVAL) {
        direct = false;
        fd = UniqueFd(::open(path.c_str(), flags));
    }
    if (!fd.IsOpen()) {
        problem = ProblemFromErrno(errno);
        return nullptr;
    }
    if (::fstat(fd.Get(), &st) != 0) {
        problem = ProblemFromErrno(errno);
        return nullptr;
    }

    const bool blockDevice = S_ISBLK(st.st_mode);
    ULONGLONG size = static_cast<ULONGLONG>(st.st_size);
    DWORD sectorSize = kImageSectorBytes;
    if (blockDevice) {
        uint64_t bytes = 0;
        int logical = 0;
        if (::ioctl(fd.Get(), BLKGETSIZE64, &bytes) != 0 || ::ioctl(fd.Get(), BLKSSZGET, &logical) != 0) {
            problem = ProblemFromErrno(errno);
            return nullptr;
        }
        size = bytes;
        sectorSize = logical > 0 ? static_cast<DWORD>(logical) : kImageSectorBytes;
    }
    if (size == 0) {
        problem = {ERROR_SECTOR_NOT_FOUND, blockDevice ? "holds no medium (0 bytes)" : "is empty"};
        return nullptr;
    }
    if (size < sectorSize) {
        problem = {ERROR_SECTOR_NOT_FOUND, "is " + std::to_string(size) + " bytes, shorter than one sector of " +
                                               std::to_string(sectorSize) + " bytes"};
        return nullptr;
    }
    std::unique_ptr<FileMedia> media(new FileMedia(path, std::move(fd), blockDevice, size, sectorSize));
    media->m_device = blockDevice ? st.st_rdev : st.st_dev;
    media->m_inode = st.st_ino;
    if (media->m_bounce == nullptr) {
        problem = ProblemFromErrno(ENOMEM);
        return nullptr;
    }
    media->m_direct = direct;
    if (!direct) {
        media->FallBackToBuffered();
    }
    return media;
}

FileMedia::FileMedia(std::string path, UniqueFd fd, bool blockDevice, ULONGLONG size, DWORD sectorSize)
    : m_path(std::move(path)),
      m_fd(std::move(fd)),
      m_blockDevice(blockDevice),
      m_size(size),
      m_sectorSize(sectorSize),
      m_alignment(blockDevice ? std::max(sectorSize, kImageSectorBytes) : kPageBytes)
{
    const DWORD bytes = std::max(kBounceBytes, m_alignment);
    m_bounce = static_cast<BYTE*>(std::aligned_alloc(std::max(kPageBytes, m_alignment), bytes));
}

FileMedia::~FileMedia() { std::free(m_bounce); }

DWORD FileMedia::GoneError() const
{
    struct stat now {};
    if (::stat(m_path.c_str(), &now) != 0) {
        return Win32ErrorFromErrno(errno);  // the node went with the disk
    }
    const bool same = m_blockDevice ? S_ISBLK(now.st_mode) && now.st_rdev == m_device
                                    : S_ISREG(now.st_mode) && now.st_dev == m_device && now.st_ino == m_inode;
    if (!same) {
        return ERROR_FILE_NOT_FOUND;  // the name is another disk's now
    }
    if (m_blockDevice) {
        // A disk that went away (or a loop device that let go of its file)
        // reports no size through the descriptor it was opened with.
        uint64_t bytes = 0;
        if (::ioctl(m_fd.Get(), BLKGETSIZE64, &bytes) != 0) {
            return Win32ErrorFromErrno(errno);
        }
        if (bytes != m_size) {
            return kErrorNotReady;
        }
    }
    return 0;
}

void FileMedia::FallBackToBuffered()
{
    if (m_direct) {
        const int flags = ::fcntl(m_fd.Get(), F_GETFL);
        if (flags >= 0) {
            (void)::fcntl(m_fd.Get(), F_SETFL, flags & ~O_DIRECT);
        }
        m_direct = false;
    }
    // The reads jump about: read-ahead would only fill the cache.
    (void)::posix_fadvise(m_fd.Get(), 0, 0, POSIX_FADV_RANDOM);
    SayBuffered(m_path);
}

DWORD FileMedia::Read(ULONGLONG offset, void* buffer, DWORD bytes)
{
    BYTE* to = static_cast<BYTE*>(buffer);
    return m_direct ? ReadDirect(offset, to, bytes) : ReadBuffered(offset, to, bytes);
}

// A request whose offset, length and memory are all aligned goes straight
// into the caller's buffer in one read. Others take whole aligned blocks into
// the bounce buffer and the asked bytes out of it: on a disk of 4096-byte
// sectors a 512-byte read takes the sector that holds it.
DWORD FileMedia::ReadDirect(ULONGLONG offset, BYTE* buffer, DWORD bytes)
{
    if (offset % m_alignment == 0 && bytes % m_alignment == 0 &&
        reinterpret_cast<uintptr_t>(buffer) % std::max(kPageBytes, m_alignment) == 0) {
        return ReadAligned(offset, buffer, bytes);
    }
    const DWORD room = std::max(kBounceBytes, m_alignment);
    while (bytes != 0) {
        const ULONGLONG start = offset - offset % m_alignment;
        const DWORD skip = static_cast<DWORD>(offset - start);
        ULONGLONG span = static_cast<ULONGLONG>(skip) + bytes;
        span = (span + m_alignment - 1) / m_alignment * m_alignment;
        span = std::min<ULONGLONG>(span, room);
        const ssize_t n = PreadAll(m_fd.Get(), m_bounce, static_cast<size_t>(span), start);
        if (n < 0) {
            if (errno == EINVAL) {
                FallBackToBuffered();
                return ReadBuffered(offset, buffer, bytes);
            }
            return Win32ErrorFromErrno(errno);
        }
        if (static_cast<ULONGLONG>(n) <= skip) {
            return ERROR_SECTOR_NOT_FOUND;  // the end came sooner than the size said
        }
        const DWORD piece = static_cast<DWORD>(std::min<ULONGLONG>(bytes, static_cast<ULONGLONG>(n) - skip));
        std::memcpy(buffer, m_bounce + skip, piece);
        offset += piece;
        buffer += piece;
        bytes -= piece;
    }
    return 0;
}

DWORD FileMedia::ReadAligned(ULONGLONG offset, BYTE* buffer, DWORD bytes)
{
    while (bytes != 0) {
        const ssize_t n = PreadAll(m_fd.Get(), buffer, bytes, offset);
        if (n < 0) {
            if (errno == EINVAL) {
                FallBackToBuffered();
                return ReadBuffered(offset, buffer, bytes);
            }
            return Win32ErrorFromErrno(errno);
        }
        if (n == 0) {
            return ERROR_SECTOR_NOT_FOUND;  // the end came sooner than the size said
        }
        // A short read ends on an aligned boundary of the device; go on from it.
        offset += static_cast<ULONGLONG>(n);
        buffer += n;
        bytes -= static_cast<DWORD>(n);
        if (bytes != 0 && (offset % m_alignment) != 0) {
            return ReadDirect(offset, buffer, bytes);
        }
    }
    return 0;
}

DWORD FileMedia::ReadBuffered(ULONGLONG offset, BYTE* buffer, DWORD bytes)
{
    while (bytes != 0) {
        const ssize_t n = PreadAll(m_fd.Get(), buffer, bytes, offset);
        if (n < 0) {
            return Win32ErrorFromErrno(errno);
        }
        if (n == 0) {
            return ERROR_SECTOR_NOT_FOUND;
        }
        offset += static_cast<ULONGLONG>(n);
        buffer += n;
        bytes -= static_cast<DWORD>(n);
    }
    return 0;
}

}  // namespace hdd::blockdev
