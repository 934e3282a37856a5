// What a scan tells: the summary per disk and target for people, one JSON
// document, the OpenMetrics file with only the scan's series, the HTML page,
// the bad-blocks list, and the exit status.
#pragma once

#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "tools/hddiag/latency/read_map.h"
#include "tools/hddiag/scanning/disk_scan.h"

namespace hddiag {

// One target's figures from its disk's final map.
struct TargetFigures {
    const DiskScan* scan = nullptr;
    const TargetOutcome* outcome = nullptr;
    ULONGLONG readSectors = 0;
    ULONGLONG unreadableSectors = 0;
    ULONGLONG untriedSectors = 0;
    std::vector<SectorSpan> unreadableAreas;  // disk sectors [first, end)
    bool complete = false;  // every sector settled: read or found unreadable

    const ScanDiskInfo& Disk() const { return scan->Disk(); }
};

struct ScanRun {
    std::vector<TargetFigures> targets;  // disk by disk, in target order
    std::vector<const DiskScan*> disks;
    bool interrupted = false;
    std::string version;
    double endTime = 0;  // seconds since 1970 (UTC)
    std::string badBlocksPath;  // --bad-blocks; empty without it
};

ScanRun CollectScanRun(const std::vector<std::unique_ptr<DiskScan>>& scans, bool interrupted);

// 130 when interrupted with every map saved; else 1 when a disk failed, a
// sector is unreadable, a target was not scanned or a map not saved; else 0.
int ScanExitCode(const ScanRun& run);

void PrintScanSummary(std::ostream& out, const ScanRun& run);
void PrintScanJson(std::ostream& out, const ScanRun& run);

// hddiag_scan_* only, labelled disk, device, serial and partition.
std::string ScanMetricsText(const ScanRun& run);

// The page: per target its figures, the map of latency cells drawn by the
// live view's renderer, and the unreadable and slow areas.
std::string ScanReportPage(const ScanRun& run, const std::string& machine);
// The same page's parts, for a page that puts its own between them (check's
// verdicts): the line with the machine, the version and when the scan ended,
// then the disks' sections, which need MapHtmlStyle() in the page's sheet.
void WriteScanHeading(std::ostream& out, const ScanRun& run, const std::string& machine);
void WriteScanSections(std::ostream& out, const ScanRun& run);

// The single target's unreadable units of unitBytes (0: the sector size).
std::string ScanBadBlocks(const ScanRun& run, DWORD unitBytes);

// Whether the bad-blocks list may be written: its one target was scanned and
// every sector of it settled. A list of a scan that stopped or left sectors
// untried would pass for a whole one, and e2fsck -l would then put sectors
// nobody read into use.
bool BadBlocksSettled(const ScanRun& run);

}  // namespace hddiag
