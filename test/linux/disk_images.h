// Disk images made at run time for the Linux machine's tests: sparse files
// partitioned with sfdisk, read-only loop devices when the kernel lets us,
// and hddiag run in-process on them.
#pragma once

#include <string>
#include <vector>

#include "platform/win32.h"

namespace hdd::linuxtest {

// A fresh directory under the system's temporary folder, removed with
// everything in it at the end of the scope.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::string File(const std::string& name) const { return m_path + "/" + name; }
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

struct CommandResult {
    int status = -1;  // exit status, or -1 when it could not run
    std::string out;  // standard output and standard error together
};

// Runs argv (no shell), with `input` on its standard input.
CommandResult RunCommand(const std::vector<std::string>& argv, const std::string& input = {});

// A sparse file of `bytes`, partitioned by sfdisk from `script` (sfdisk's
// input format). Fails the calling test when sfdisk does.
void MakeImage(const std::string& path, ULONGLONG bytes, const std::string& script);

// Overwrites bytes of a file in place (to damage a partition table).
void PatchFile(const std::string& path, ULONGLONG offset, const std::string& bytes);

std::string Sha256(const std::string& path);

// A loop device over a file; detached at the end of the scope. Empty Path()
// with Reason() when none can be had (not root, no loop support).
class LoopDevice {
public:
    LoopDevice(const std::string& file, DWORD sectorBytes, bool readOnly);
    ~LoopDevice();
    LoopDevice(const LoopDevice&) = delete;
    LoopDevice& operator=(const LoopDevice&) = delete;
    const std::string& Path() const { return m_path; }
    const std::string& Reason() const { return m_reason; }

private:
    std::string m_path;
    std::string m_reason;
};

struct HddiagRun {
    int code = -1;
    std::string out;
    std::string err;
};

// hddiag's whole behaviour, in this process.
HddiagRun Hddiag(const std::vector<std::string>& args);

}  // namespace hdd::linuxtest
