// What a run did to each disk: whether its tests ran, and if not why and
// which command reads it; how many of its reads were slow and the slowest;
// its health. The tests read a sample of a disk, so a disk whose tests all
// passed is only known to read well where they read.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "platform/win32.h"
#include "tools/hddiag/latency/latency_recorder.h"
#include "tools/hddiag/options/options.h"
#include "tools/hddiag/session/real_disks.h"
#include "tools/hddiag/session/result_codes.h"

namespace hddiag {

struct RunResult;

// The commands that read every sector of a disk, as `hddiag <command> N`,
// in the order they are offered.
inline constexpr const char* kFullReadCommands[] = {"check", "scan"};

struct DiskCoverage {
    LONG disk = 0;
    std::string device;
    std::string bus;
    std::string notTested;  // why no test ran to its end on it; empty when one did
    std::array<size_t, 5> outcomes{};  // its tests by Outcome
    bool timed = false;         // its tests' reads were timed
    ULONGLONG reads = 0;        // their sector reads, failed ones included
    ULONGLONG sectors = 0;      // the disk's size in its sectors; 0 when unknown
    ULONGLONG slowReads = 0;    // successful reads at or above the run's slow bound
    TimedRead slowest;          // the slowest successful read (when timed)
    std::string health;         // the health verdict or why there is none; empty when not read
    std::vector<std::string> fullRead;  // command lines that read every sector of it

    bool Tested() const { return notTested.empty(); }
    size_t Tests() const;  // that ran (any outcome but not run)
};

// "hddiag --machine builtin", "hddiag --disk a.img --disk 'b c.img:nvme'":
// hddiag with the options that name this run's disks, quoted for a shell.
std::string DiskCommandPrefix(const Options& options);

// One entry per disk the run knows, in its order. prefix: DiskCommandPrefix.
std::vector<DiskCoverage> CoverDisks(const RunResult& result, const std::string& prefix);

// Why the component gave no item of the disk in its report.
std::string NotInReportReason(const DiskRow& row);

// Tests that ran to their end, passed or failed; 0: nothing was tested.
size_t TestsRun(const RunResult& result);

}  // namespace hddiag
