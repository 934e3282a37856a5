// The full scan: a read of every sector of a range of a disk that lists every
// unreadable one, read-only, through the OS seam.
//
// Phases (each works on what the map says, so a loaded map resumes where it
// stood: only unsettled bytes are read, and a phase with nothing to do ends
// at once). Good sectors are read in blocks; one-sector reads are spent only
// on blocks that failed, and mostly go forward, where a rotating disk needs
// no seek:
//   fast pass  (pass 1) untried areas in ascending blocks. A failed block is
//              marked not-trimmed, and the bytes after it are skipped,
//              untried: as many as the damage met so far in a row (at least
//              kFirstSkipBlocks blocks, at most about 1 % of the range), so a
//              long damaged area costs few failed reads.
//   backward   (pass 2) each skipped area in descending blocks, from its far
//              side, up to the first failed block: a damaged area is met once
//              from each side.
//   sweep      (pass 3) what is still untried, in ascending blocks without
//              skips (areas a loaded map left).
//              An untried gap between two failed blocks is never read in
//              blocks: it lies inside a damaged area, where each block would
//              cost a failed read. It goes to the trim.
//   trim       each damaged region (failed blocks with the gaps between
//              them) one sector at a time from its left edge forward, through
//              the first damaged run and on. With scrape, it stops at the
//              next damaged run and what lies beyond becomes not-scraped;
//              without it, it stops at the second unreadable sector, the
//              region's right edge is read backward up to its last unreadable
//              sector, and only the inside is left (not-scraped, or untried
//              where it was a gap).
//   scrape     what is not scraped, forward, sector by sector (skipped with
//              scrape = false).
// A sector is read at most twice by a scan: once in its block, once on its own.
//
// After failures (before a phase or the end when the last read failed, and
// after a run of failed reads in any phase) the scan checks that the disk is still there: it opens
// the device again through the seam, asks its length, and reads one sector
// that read well earlier in this scan's block passes (never one read twice
// already). A disk that is gone ends the scan at once with the error named;
// what was learned stays in the map, and the failed reads that showed it is
// gone are not taken for unreadable sectors. Some errors say so themselves
// (not ready, device not connected) and end it without the check.
//
// Concurrency: the engine talks to the OsApi it is given and never to the
// process-wide Os(). The machines behind the seam (the simulated machine, and
// the Linux machine over it) keep one last-error value, one clock and one
// handle table without locks, so each disk's reader thread gets a machine of
// its own; nothing in the engine is shared between scans.
//
// Cost per read: one seek, one read into the scan's own aligned buffer, two
// clock readings and in-place map updates; nothing is allocated, logged or
// formatted per read (the map allocates only when an area splits).
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "platform/os_api.h"
#include "scan/range_map.h"

namespace hdd::scan {

constexpr DWORD kDefaultBlockBytes = 1u << 20;
constexpr DWORD kMaxBlockBytes = 64u << 20;
constexpr DWORD kFirstSkipBlocks = 4;
constexpr ULONGLONG kDefaultSlowNs = 500'000'000ull;
constexpr ULONGLONG kDefaultSaveIntervalNs = 30'000'000'000ull;

// What to scan: a device the seam opens, its size, and the range in the
// disk's own sectors (a partition's, or the whole disk's).
struct ScanTarget {
    std::wstring devicePath;  // "\\.\PHYSICALDRIVE1"
    ULONGLONG diskBytes = 0;  // the disk's true size (IOCTL_DISK_GET_LENGTH_INFO)
    DWORD sectorBytes = 0;    // the drive's own sector size
    ULONGLONG firstSector = 0;
    ULONGLONG sectorCount = 0;
};

struct ScanOptions {
    DWORD blockBytes = kDefaultBlockBytes;  // a multiple of the sector size, up to kMaxBlockBytes
    ULONGLONG slowNs = kDefaultSlowNs;      // a read that takes this long or longer is slow
    bool scrape = true;
    ULONGLONG saveIntervalNs = kDefaultSaveIntervalNs;  // 0: no periodic save requests
    // Checked between reads; once true the scan ends as stopped.
    const std::atomic<bool>* stop = nullptr;
};

// Where read times come from: the system's high-resolution clock on real
// disks, the simulated machine's clock on simulated ones.
class ScanClock {
public:
    virtual ULONGLONG NowNanoseconds() = 0;

protected:
    ~ScanClock() = default;
};

// Where the scan stands, kept as it goes (bytes within the range).
struct ScanProgress {
    ScanPhase phase = ScanPhase::FastPass;
    DWORD pass = 1;          // within the block phase: 1 fast, 2 backward, 3 sweep
    ULONGLONG areas = 0;     // damaged regions (trim) or not-scraped areas (scrape) of the phase
    ULONGLONG area = 0;      // the one being read, from 1
    ULONGLONG phaseStartNs = 0;  // elapsed when the phase began
    ULONGLONG areaStartNs = 0;   // elapsed when the area being read began
    ULONGLONG position = 0;  // byte from the disk's start where the last read began
    ULONGLONG rangeBytes = 0;
    ULONGLONG untriedBytes = 0;
    ULONGLONG notTrimmedBytes = 0;
    ULONGLONG notScrapedBytes = 0;
    ULONGLONG unreadableBytes = 0;
    ULONGLONG readBytes = 0;      // settled as read, this run and earlier ones
    ULONGLONG bytesThisRun = 0;   // read without error by this run
    ULONGLONG readsThisRun = 0;   // read calls made, failed ones too
    ULONGLONG failedReads = 0;
    ULONGLONG elapsedNs = 0;      // since the scan began
    // What each kind of read cost this run, for the time left: good reads of
    // a block, good one-sector reads, failed reads (one-sector ones counted
    // apart too).
    ULONGLONG blockBytes = 0;
    ULONGLONG blockNs = 0;
    ULONGLONG sectorReads = 0;
    ULONGLONG sectorNs = 0;
    ULONGLONG failedNs = 0;
    ULONGLONG failedSectorReads = 0;
    // One-sector reads inside damage (the trim's after its region's first
    // unreadable sector, all of the scrape's) and how many of them failed:
    // how dense the damage is where the scrape reads.
    ULONGLONG insideReads = 0;
    ULONGLONG insideFailures = 0;
};

// Told of every read and phase, between reads, on the scanning thread.
class ScanObserver {
public:
    virtual void OnPhase(ScanPhase /*phase*/, const ScanProgress& /*progress*/) {}
    // A read has ended: its first sector (from the disk's start, in the
    // disk's sectors), how many it asked for, how long it took, and 0 or the
    // error it failed with. Must not allocate or block for long.
    virtual void OnRead(ULONGLONG /*firstSector*/, ULONGLONG /*sectors*/, ULONGLONG /*ns*/, DWORD /*error*/,
                        const ScanProgress& /*progress*/)
    {
    }
    // Every save interval: the map as it stands, to be saved.
    virtual void OnSave(const RangeMap& /*map*/, const ScanProgress& /*progress*/) {}

protected:
    ~ScanObserver() = default;
};

enum class ScanEnd {
    Finished,     // every phase ran (with scrape = false, the trim was the last)
    Stopped,      // the stop flag was raised
    DiskGone,     // the disk went away; `error` names what showed it
    CannotOpen,   // the device did not open; `error` is why
    InvalidArgs,  // target, options or map do not fit; `why` says how
};

// Contiguous reads at or above the slow threshold, merged (sectors from the
// disk's start).
struct SlowArea {
    ULONGLONG firstSector = 0;
    ULONGLONG sectors = 0;
    ULONGLONG worstNs = 0;
    bool operator==(const SlowArea&) const = default;
};

struct ScanResult {
    ScanEnd end = ScanEnd::InvalidArgs;
    DWORD error = 0;
    std::string why;
    ScanProgress progress;
    ULONGLONG unreadableSectors = 0;  // in the range
    ULONGLONG unreadableAreas = 0;
    std::vector<SlowArea> slowAreas;  // of this run
};

// Scans the target's range. `map` is the whole disk's (RangeMap(diskBytes)
// for a new scan, or a loaded one to resume) and is updated in place; its
// phase and position say where the scan stands when it returns.
ScanResult RunScan(OsApi& os, const ScanTarget& target, const ScanOptions& options, RangeMap& map,
                   ScanClock& clock, ScanObserver* observer = nullptr);

// Errors that mean the device itself is gone rather than a sector unreadable.
bool IsDeviceGoneError(DWORD error);

}  // namespace hdd::scan
