// What `hddiag check` learned of one disk: its health before and after, the
// self-test it had the drive run, and the full scan. The verdict is judged
// from these alone.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "scan/scan_engine.h"
#include "tools/hddiag/health/disk_health.h"
#include "tools/hddiag/latency/read_map.h"

namespace hddiag {

struct SelfTestOutcome {
    bool asked = false;  // --self-test was given
    bool ran = false;    // it ran to an end the drive reported
    std::string kind;    // "short", "extended"
    bool passed = false;
    std::string result;              // how it ended ("ended in a read failure at LBA 123456")
    std::optional<ULONGLONG> lba;    // where a failed test stopped
    std::string note;                // why it did not run or end
};

struct ScanFacts {
    bool asked = true;  // false with --no-scan
    bool ran = false;
    hdd::scan::ScanEnd end = hdd::scan::ScanEnd::InvalidArgs;
    std::string endText;  // how it ended, for people ("the disk went away (...)")
    DWORD sectorBytes = 512;
    ULONGLONG unreadableSectors = 0;  // the whole disk's, earlier runs of its map included
    std::vector<SectorSpan> unreadable;  // disk sectors [first, end)
    ULONGLONG untriedSectors = 0;
    std::vector<hdd::scan::SlowArea> slowAreas;
    DWORD slowMs = 500;
};

struct CheckFacts {
    LONG disk = 0;
    DiskHealth before;  // read before the self-test and the scan
    DiskHealth after;   // and again after them
    SelfTestOutcome selfTest;
    ScanFacts scan;
};

}  // namespace hddiag
