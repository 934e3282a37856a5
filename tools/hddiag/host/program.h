// Running another program (smartctl) and finding it: the system-dependent part.
#pragma once

#include <string>
#include <vector>

#include "platform/win32.h"
#include "tools/hddiag/session/real_disks.h"

namespace hddiag::host {

// Where the program is: on POSIX the first executable file of that name on
// PATH, else in /usr/local/sbin, /usr/sbin or /sbin; on Windows NAME.exe
// beside hddiag.exe, else on PATH. Empty when there is none.
std::string FindProgram(const std::string& name);

struct ProgramRun {
    bool started = false;
    ULONG exitStatus = 0;  // when started and it exited (not killed)
    bool exited = false;
    std::string output;  // standard output, up to a limit
    std::string error;   // why it did not start or did not exit
};

// Runs path with args; standard input is empty, standard error is dropped.
// A program still running after timeoutMs is killed, and the run says so:
// smartctl on a disk that no longer answers can wait minutes per command.
ProgramRun RunProgram(const std::string& path, const std::vector<std::string>& args, DWORD timeoutMs);

// The name smartctl knows the disk by: the device node on Linux, /dev/pdN
// for PhysicalDriveN on Windows.
std::string SmartctlDeviceName(const DiskRow& row);

}  // namespace hddiag::host
