// POSIX (Linux): the new file is an unnamed O_TMPFILE in the target's folder,
// linked under a random name only once it is whole and then renamed over the
// target; where the file system has no O_TMPFILE, a random name made with
// O_CREAT|O_EXCL|O_NOFOLLOW instead. Every step is relative to the folder
// opened at the start, so the folder cannot be swapped under a long run.
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "platform/linux/system_disks.h"
#include "platform/linux/unique_fd.h"
#include "tools/hddiag/host/output_file.h"

namespace hddiag::host {

namespace {

using hdd::blockdev::UniqueFd;

std::string ErrnoText(int error) { return std::strerror(error); }

// ".NAME.XXXXXXXXXXXXXXXX": hidden, and 64 random bits nobody can guess.
std::string RandomName(const std::string& base)
{
    unsigned long long bits = 0;
    if (::getrandom(&bits, sizeof bits, 0) != static_cast<ssize_t>(sizeof bits)) {
        bits ^= static_cast<unsigned long long>(::getpid()) << 32 ^ reinterpret_cast<uintptr_t>(&bits);
    }
    static const char digits[] = "0123456789abcdef";
    std::string name = "." + base + ".";
    for (int i = 0; i < 16; ++i, bits >>= 4) {
        name += digits[bits & 0x0F];
    }
    return name;
}

bool WriteAll(int fd, const std::string& text, std::string& error)
{
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            error = n < 0 ? ErrnoText(errno) : "nothing was written";
            return false;
        }
        done += static_cast<size_t>(n);
    }
    if (::fsync(fd) != 0) {
        error = ErrnoText(errno);
        return false;
    }
    return true;
}

class PosixNewFile final : public NewFile {
public:
    PosixNewFile(std::string target, std::string name, UniqueFd folder, UniqueFd file, std::string temporary)
        : m_target(std::move(target)),
          m_name(std::move(name)),
          m_folder(std::move(folder)),
          m_file(std::move(file)),
          m_temporary(std::move(temporary))
    {
    }
    ~PosixNewFile() override
    {
        if (!m_temporary.empty()) {
            ::unlinkat(m_folder.Get(), m_temporary.c_str(), 0);
        }
    }
    const std::string& Target() const override { return m_target; }
    bool Write(const std::string& text, std::string& error) override { return WriteAll(m_file.Get(), text, error); }
    bool Commit(std::string& error) override
    {
        if (m_temporary.empty() && !LinkUnnamed(error)) {
            return false;
        }
        if (::renameat(m_folder.Get(), m_temporary.c_str(), m_folder.Get(), m_name.c_str()) != 0) {
            error = ErrnoText(errno);
            return false;
        }
        m_temporary.clear();
        return true;
    }

private:
    // Gives the O_TMPFILE file a random name that did not exist: linkat never
    // replaces or follows what is at the new name.
    bool LinkUnnamed(std::string& error)
    {
        const std::string self = "/proc/self/fd/" + std::to_string(m_file.Get());
        for (int attempt = 0; attempt < 100; ++attempt) {
            const std::string name = RandomName(m_name);
            int result = ::linkat(AT_FDCWD, self.c_str(), m_folder.Get(), name.c_str(), AT_SYMLINK_FOLLOW);
            if (result != 0 && errno == ENOENT) {  // no /proc: this needs CAP_DAC_READ_SEARCH
                result = ::linkat(m_file.Get(), "", m_folder.Get(), name.c_str(), AT_EMPTY_PATH);
            }
            if (result == 0) {
                m_temporary = name;
                return true;
            }
            if (errno != EEXIST) {
                error = ErrnoText(errno);
                return false;
            }
        }
        error = "no free temporary name";
        return false;
    }

    std::string m_target;
    std::string m_name;  // the target's name in its folder
    UniqueFd m_folder;
    UniqueFd m_file;
    std::string m_temporary;  // the file's name while it has one of its own; empty for an unnamed one
};

// The output path, or the file a symlink there points to.
std::string FollowLink(const std::string& path)
{
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        char resolved[PATH_MAX];
        if (::realpath(path.c_str(), resolved) != nullptr) {
            return resolved;
        }
    }
    return path;  // a dangling link is replaced, not followed
}

}  // namespace

PathFacts InspectPath(const std::string& path)
{
    PathFacts facts;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        return facts;
    }
    facts.id = {static_cast<ULONGLONG>(st.st_dev), static_cast<ULONGLONG>(st.st_ino)};
    facts.kind = S_ISREG(st.st_mode)                           ? FileKind::Regular
                 : S_ISDIR(st.st_mode)                         ? FileKind::Directory
                 : S_ISBLK(st.st_mode) || S_ISCHR(st.st_mode) ? FileKind::Device
                                                               : FileKind::Other;
    return facts;
}

std::vector<std::string> FilesBehindDisks(const std::vector<DiskOption>& disks, bool systemDisks)
{
    std::vector<std::string> files;
    std::vector<hdd::blockdev::SystemDisk> described;
    if (systemDisks) {
        described = hdd::blockdev::ListSystemDisks();
    }
    for (const DiskOption& disk : disks) {
        hdd::blockdev::SystemDisk node;
        if (hdd::blockdev::DescribeDeviceNode(disk.path, node)) {
            described.push_back(node);
        }
    }
    for (const hdd::blockdev::SystemDisk& d : described) {
        files.push_back(d.path);
        if (!d.backingFile.empty()) {
            files.push_back(d.backingFile);
        }
    }
    return files;
}

std::unique_ptr<NewFile> CreateBeside(const std::string& path, std::string& error)
{
    const std::string target = FollowLink(path);
    const size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string(".") : target.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    if (name.empty() || name == "." || name == "..") {
        error = "names a folder, not a file";
        return nullptr;
    }
    UniqueFd dir(::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!dir.IsOpen()) {
        error = errno == ENOENT    ? "its folder '" + folder + "' does not exist"
                : errno == ENOTDIR ? "'" + folder + "' is not a folder"
                                   : "its folder '" + folder + "' cannot be opened: " + ErrnoText(errno);
        return nullptr;
    }
    // An existing target keeps its permissions; a new one gets 0666 less the umask.
    struct stat old {};
    const bool replacing = ::fstatat(dir.Get(), name.c_str(), &old, 0) == 0 && S_ISREG(old.st_mode);
    UniqueFd file(::openat(dir.Get(), ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666));
    std::string temporary;
    if (!file.IsOpen() && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
        for (int attempt = 0; attempt < 100 && !file.IsOpen(); ++attempt) {
            temporary = RandomName(name);
            file = UniqueFd(::openat(dir.Get(), temporary.c_str(),
                                     O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
            if (!file.IsOpen() && errno != EEXIST) {
                break;
            }
        }
    }
    if (!file.IsOpen()) {
        error = "no file can be made in '" + folder + "': " + ErrnoText(errno);
        return nullptr;
    }
    if (replacing) {
        ::fchmod(file.Get(), old.st_mode & 07777);
    }
    return std::make_unique<PosixNewFile>(target, name, std::move(dir), std::move(file), temporary);
}

}  // namespace hddiag::host
