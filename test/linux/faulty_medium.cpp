// A faulty medium for the tests: a FUSE file system that serves one image
// file as MOUNTPOINT/disk.img, read only, and misbehaves on purpose.
//
//   faulty_medium [--eio FIRST-LAST]... [--slow FIRST-LAST:MS]...
//                 [--vanish-after N] [--refuse-direct] [--log FILE]
//                 IMAGE MOUNTPOINT
//
//   --eio           a read touching these 512-byte units (inclusive, counted
//                   from the image's start) fails with EIO
//   --slow          a read touching them first sleeps MS milliseconds
//   --vanish-after  every read after the Nth fails with ENXIO: the disk is gone
//   --refuse-direct opens with O_DIRECT fail with EINVAL, as on some file systems
//   --log           appends "OFFSET SIZE" for every read (append mode, so a
//                   test may truncate the file between runs)
//
// The file is opened with direct I/O, so every read reaches this process with
// its caller's own offset and size; the page cache never answers for it. It
// runs in the foreground, single-threaded, until unmounted (fusermount3 -u).
#define FUSE_USE_VERSION 31

#include <fcntl.h>
#include <fuse.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr uint64_t kUnitBytes = 512;
constexpr const char* kFileName = "disk.img";
constexpr const char* kFilePath = "/disk.img";

struct Range {
    uint64_t first = 0;  // 512-byte units, inclusive
    uint64_t last = 0;
    unsigned ms = 0;  // for a slow range

    bool Touches(uint64_t offset, uint64_t bytes) const
    {
        return bytes != 0 && offset / kUnitBytes <= last && (offset + bytes - 1) / kUnitBytes >= first;
    }
};

struct Medium {
    std::string image;
    int fd = -1;
    uint64_t size = 0;
    std::vector<Range> bad;
    std::vector<Range> slow;
    uint64_t vanishAfter = UINT64_MAX;
    bool refuseDirect = false;
    std::FILE* log = nullptr;
    uint64_t reads = 0;  // one thread: no lock needed
};

Medium g_medium;

// "FIRST-LAST" or "N", then ":MS" when `ms` is asked for.
bool ParseRange(const char* text, Range& range, bool withMs)
{
    char* end = nullptr;
    errno = 0;
    range.first = std::strtoull(text, &end, 10);
    range.last = range.first;
    if (end == text || errno != 0) {
        return false;
    }
    if (*end == '-') {
        const char* from = end + 1;
        range.last = std::strtoull(from, &end, 10);
        if (end == from || errno != 0 || range.last < range.first) {
            return false;
        }
    }
    if (withMs) {
        if (*end != ':') {
            return false;
        }
        const char* from = end + 1;
        const unsigned long ms = std::strtoul(from, &end, 10);
        if (end == from || errno != 0 || ms > 600000) {
            return false;
        }
        range.ms = static_cast<unsigned>(ms);
    }
    return *end == '\0';
}

int MediumGetattr(const char* path, struct stat* st, fuse_file_info*)
{
    std::memset(st, 0, sizeof *st);
    if (std::strcmp(path, "/") == 0) {
        st->st_mode = S_IFDIR | 0555;
        st->st_nlink = 2;
        return 0;
    }
    if (std::strcmp(path, kFilePath) == 0) {
        st->st_mode = S_IFREG | 0444;
        st->st_nlink = 1;
        st->st_size = static_cast<off_t>(g_medium.size);
        return 0;
    }
    return -ENOENT;
}

int MediumReaddir(const char* path, void* buffer, fuse_fill_dir_t fill, off_t, fuse_file_info*, fuse_readdir_flags)
{
    if (std::strcmp(path, "/") != 0) {
        return -ENOENT;
    }
    fill(buffer, ".", nullptr, 0, static_cast<fuse_fill_dir_flags>(0));
    fill(buffer, "..", nullptr, 0, static_cast<fuse_fill_dir_flags>(0));
    fill(buffer, kFileName, nullptr, 0, static_cast<fuse_fill_dir_flags>(0));
    return 0;
}

int MediumOpen(const char* path, fuse_file_info* fi)
{
    if (std::strcmp(path, kFilePath) != 0) {
        return -ENOENT;
    }
    if ((fi->flags & O_ACCMODE) != O_RDONLY) {
        return -EROFS;
    }
    if (g_medium.refuseDirect && (fi->flags & O_DIRECT) != 0) {
        return -EINVAL;
    }
    fi->direct_io = 1;
    return 0;
}

int MediumRead(const char*, char* buffer, size_t bytes, off_t offset, fuse_file_info*)
{
    Medium& m = g_medium;
    const uint64_t at = static_cast<uint64_t>(offset);
    ++m.reads;
    if (m.log != nullptr) {
        std::fprintf(m.log, "%llu %zu\n", static_cast<unsigned long long>(at), bytes);
        std::fflush(m.log);
    }
    if (m.reads > m.vanishAfter) {
        return -ENXIO;
    }
    for (const Range& r : m.slow) {
        if (r.Touches(at, bytes)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(r.ms));
            break;
        }
    }
    for (const Range& r : m.bad) {
        if (r.Touches(at, bytes)) {
            return -EIO;
        }
    }
    size_t done = 0;
    while (done < bytes) {
        const ssize_t n = ::pread(m.fd, buffer + done, bytes - done, offset + static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return -errno;
        }
        if (n == 0) {
            break;  // the end of the image
        }
        done += static_cast<size_t>(n);
    }
    return static_cast<int>(done);
}

int Usage(const char* message)
{
    std::fprintf(stderr,
                 "faulty_medium: %s\n"
                 "usage: faulty_medium [--eio FIRST-LAST]... [--slow FIRST-LAST:MS]... [--vanish-after N]\n"
                 "                     [--refuse-direct] [--log FILE] IMAGE MOUNTPOINT\n",
                 message);
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    Medium& m = g_medium;
    std::vector<std::string> positional;
    std::string logPath;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        Range range;
        if (arg == "--eio" && hasValue) {
            if (!ParseRange(argv[++i], range, false)) {
                return Usage("--eio wants FIRST-LAST");
            }
            m.bad.push_back(range);
        } else if (arg == "--slow" && hasValue) {
            if (!ParseRange(argv[++i], range, true)) {
                return Usage("--slow wants FIRST-LAST:MS");
            }
            m.slow.push_back(range);
        } else if (arg == "--vanish-after" && hasValue) {
            char* end = nullptr;
            m.vanishAfter = std::strtoull(argv[++i], &end, 10);
            if (*end != '\0') {
                return Usage("--vanish-after wants a count of reads");
            }
        } else if (arg == "--refuse-direct") {
            m.refuseDirect = true;
        } else if (arg == "--log" && hasValue) {
            logPath = argv[++i];
        } else if (arg.rfind("--", 0) == 0) {
            return Usage(("unknown or incomplete option " + arg).c_str());
        } else {
            positional.push_back(arg);
        }
    }
    if (positional.size() != 2) {
        return Usage("wants IMAGE and MOUNTPOINT");
    }
    m.image = positional[0];
    m.fd = ::open(m.image.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st {};
    if (m.fd < 0 || ::fstat(m.fd, &st) != 0) {
        std::fprintf(stderr, "faulty_medium: %s: %s\n", m.image.c_str(), std::strerror(errno));
        return 1;
    }
    m.size = static_cast<uint64_t>(st.st_size);
    if (!logPath.empty()) {
        m.log = std::fopen(logPath.c_str(), "a");
        if (m.log == nullptr) {
            std::fprintf(stderr, "faulty_medium: %s: %s\n", logPath.c_str(), std::strerror(errno));
            ::close(m.fd);
            return 1;
        }
    }

    fuse_operations ops{};
    ops.getattr = MediumGetattr;
    ops.readdir = MediumReaddir;
    ops.open = MediumOpen;
    ops.read = MediumRead;

    // Foreground, one thread (reads are counted and logged in order), read only.
    std::string mountpoint = positional[1];
    std::string fg = "-f", single = "-s", o = "-o", opts = "ro,fsname=faulty_medium";
    std::vector<char*> fuseArgs = {argv[0], fg.data(), single.data(), o.data(), opts.data(), mountpoint.data()};
    const int rc = fuse_main(static_cast<int>(fuseArgs.size()), fuseArgs.data(), &ops, nullptr);
    if (m.log != nullptr) {
        std::fclose(m.log);
    }
    ::close(m.fd);
    return rc;
}
