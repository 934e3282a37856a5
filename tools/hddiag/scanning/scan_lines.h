// Plain progress lines on standard error, for a log or a pipe: a line when a
// target starts, at each phase, at every tenth of the range settled, and at
// its end. Readers of several disks write whole lines under one lock.
#pragma once

#include <mutex>
#include <ostream>
#include <string>
#include <vector>

#include "scan/range_map.h"
#include "scan/scan_engine.h"
#include "tools/hddiag/scanning/scan_targets.h"

namespace hddiag {

struct TargetOutcome;

class ScanLines {
public:
    explicit ScanLines(std::ostream& err) : m_err(err) {}

    void Start(const ScanDiskInfo& disk, const DiskTarget& target);
    // "trim: area 3 of 40, 97% settled, 45.9 MB/s, 2 min 10 s left, 3 unreadable"
    void Phase(const ScanDiskInfo& disk, const DiskTarget& target, const hdd::scan::ScanProgress& progress,
               bool scrape);
    void Progress(const ScanDiskInfo& disk, const DiskTarget& target, const hdd::scan::ScanProgress& progress,
                  bool scrape);
    void End(const ScanDiskInfo& disk, const TargetOutcome& outcome, const std::string& mapPath,
             const std::string& mapError);

private:
    void Line(const std::string& text);

    std::mutex m_lock;
    std::ostream& m_err;
};

// What a loaded map leaves of the disk's targets, said once before they are
// read: "scan disk 0 (sdb) 0-2: resuming: 42% settled", or "...: map
// complete: nothing to read; remove it to scan again". Settled is read or
// found unreadable; a failed block not trimmed or scraped yet is not.
std::string ResumeLine(const ScanDiskInfo& disk, const std::vector<DiskTarget>& targets,
                       const hdd::scan::RangeMap& map);

// Said of a target the loaded map had settled, in place of this run's figures.
extern const char* const kMapCompleteText;

// "43%" of the range settled; "12.3 MB/s"; "1 h 05 min".
std::string SettledPercent(const hdd::scan::ScanProgress& progress);
std::string MegabytesPerSecond(double bytesPerSecond);

}  // namespace hddiag
