// Files hddiag writes (--report, --metrics), and what it must never write
// over: the system-dependent part. A file is written whole under a new name
// beside its target that nobody can predict or plant beforehand, then renamed
// over the target, so a reader never sees half a file and a link planted at
// the new name is never followed.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/win32.h"
#include "tools/hddiag/options/options.h"

namespace hddiag::host {

enum class FileKind { Missing, Regular, Directory, Device, Other };

// Which file a path names: device and inode on POSIX, volume serial number
// and file index on Windows. Two names of one file (symlinks, hard links)
// have the same identity.
struct FileIdentity {
    ULONGLONG volume = 0;
    ULONGLONG index = 0;
    bool operator==(const FileIdentity&) const = default;
};

struct PathFacts {
    FileKind kind = FileKind::Missing;
    FileIdentity id;  // when not Missing
};

// What path names, symlinks followed.
PathFacts InspectPath(const std::string& path);

// The files a run on these disks reads besides their own paths (on Linux: the
// backing file of a loop device), or, when none are named and no machine
// file is used, everything this computer's disks read.
std::vector<std::string> FilesBehindDisks(const std::vector<DiskOption>& disks, bool systemDisks);

// The disks, images and machine file a command reads, which no output may
// be: the same list for every command.
std::vector<std::string> FilesThisRunReads(const Options& options);

// A new, empty file beside the target. Destroyed before Commit, it leaves
// nothing behind.
class NewFile {
public:
    virtual ~NewFile() = default;
    // The path the file will replace: the output path, or the file a symlink
    // there points to (the link itself stays, as with a shell redirection).
    virtual const std::string& Target() const = 0;
    virtual bool Write(const std::string& text, std::string& error) = 0;
    // Puts the written file in the target's place; false with why.
    virtual bool Commit(std::string& error) = 0;
};

// Null, with why, when no file can be made beside the target (a missing
// folder, a path under a regular file, no permission, a read-only system).
std::unique_ptr<NewFile> CreateBeside(const std::string& path, std::string& error);

}  // namespace hddiag::host
