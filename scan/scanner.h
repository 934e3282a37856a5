// The scan's worker: one per call of RunScan, over one disk's seam. Its
// phases live in block_passes.cpp and trim_scrape.cpp; what they share (the
// read, the map's bookkeeping, the disk-still-there check) in scan_engine.cpp.
#pragma once

#include <algorithm>
#include <atomic>
#include <string>

#include "scan/scan_engine.h"

namespace hdd::scan {

// Failed reads in a row after which the scan checks that the disk is still
// there; the marks they made are undone if it is not.
constexpr size_t kFailuresBeforeCheck = 8;

// Good blocks of the block passes kept as a source of the check's reads:
// each of their sectors was read once, and serves one check.
constexpr size_t kCanaryBlocks = 64;

enum class Step { Go, Stop, Gone };

struct FailureMark {
    ULONGLONG pos;
    ULONGLONG bytes;
    SectorState was;
    SectorState now;
};

class Scanner {
public:
    Scanner(OsApi& os, const ScanTarget& target, const ScanOptions& options, RangeMap& map, ScanClock& clock,
            ScanObserver& observer)
        : m_os(os),
          m_target(target),
          m_options(options),
          m_map(map),
          m_clock(clock),
          m_observer(observer),
          m_sector(target.sectorBytes)
    {
    }

    ScanResult Run();

private:
    // scan_engine.cpp: reads, marks and checks.
    bool Validate(std::string& why) const;
    bool StopRequested() const
    {
        return m_options.stop != nullptr && m_options.stop->load(std::memory_order_relaxed);
    }
    bool Resuming(ScanPhase phase, DWORD pass = 1) const
    {
        return m_resumePhase == phase && (phase != ScanPhase::FastPass || m_resumePass == pass);
    }
    void EnterPhase(ScanPhase phase, DWORD pass = 1, ULONGLONG areas = 0);
    void GoOnAt(ULONGLONG pos) { m_map.SetProgress(m_progress.phase, pos, m_progress.pass); }
    void NextArea()
    {
        ++m_progress.area;
        m_progress.areaStartNs = m_clock.NowNanoseconds() - m_startNs;
    }
    DWORD ReadAt(HANDLE h, ULONGLONG pos, ULONGLONG bytes);
    DWORD TimedRead(ULONGLONG pos, ULONGLONG bytes);
    ULONGLONG& CounterOf(SectorState state);
    void Mark(ULONGLONG pos, ULONGLONG bytes, SectorState was, SectorState now);
    void MarkAll(ULONGLONG from, ULONGLONG to, SectorState was, SectorState now);
    void Succeeded() { m_pendingCount = 0; }
    void GoodBlock(ULONGLONG pos, ULONGLONG bytes);
    Step Failed(ULONGLONG pos, ULONGLONG bytes, SectorState was, SectorState now);
    Step SectorRead(ULONGLONG pos, bool& unreadable, bool inside);
    void AfterRead();
    bool DiskStillThere(DWORD& error);
    Step Gone(DWORD error);
    Step CheckIfFailing();
    bool TakeCanary(ULONGLONG& pos);

    // block_passes.cpp: the three passes in blocks.
    bool IsGap(const MapRange& untried) const;
    ULONGLONG SkipAfter(ULONGLONG failedEnd) const;
    bool HasBlockWork() const;
    Step FastPass();
    Step ReversePass();
    Step SweepPass();

    // trim_scrape.cpp: one sector at a time around the failures.
    ULONGLONG DamagedRegionEnd(ULONGLONG start) const;
    ULONGLONG CountDamagedRegions() const;
    Step TrimRegion(ULONGLONG start, ULONGLONG end);
    Step TrimBackward(ULONGLONG from, ULONGLONG end);
    Step Trim();
    Step Scrape();

    OsApi& m_os;
    const ScanTarget& m_target;
    const ScanOptions& m_options;
    RangeMap& m_map;
    ScanClock& m_clock;
    ScanObserver& m_observer;
    const ULONGLONG m_sector;
    ULONGLONG m_rangePos = 0;
    ULONGLONG m_rangeEnd = 0;
    HANDLE m_handle = INVALID_HANDLE_VALUE;
    BYTE* m_buffer = nullptr;

    // Where a loaded map stood, so that each phase goes on where it was.
    ScanPhase m_resumePhase = ScanPhase::FastPass;
    DWORD m_resumePass = 1;
    ULONGLONG m_resumeAt = 0;

    ScanResult m_result;
    ScanProgress& m_progress = m_result.progress;
    ULONGLONG m_startNs = 0;
    ULONGLONG m_lastSaveNs = 0;

    // The failures since the last good read, to undo when the disk is gone.
    FailureMark m_pending[kFailuresBeforeCheck] = {};
    size_t m_pendingCount = 0;

    // Sectors that read well once in this scan's block passes, for the
    // check's read (the unused part of each block); the map's read areas
    // when this run's passes read nothing (a resumed scan).
    struct Span {
        ULONGLONG pos;
        ULONGLONG end;
    };
    Span m_canaries[kCanaryBlocks] = {};
    size_t m_canaryNext = 0;  // the slot the next good block takes
    bool m_blocksRead = false;
    ULONGLONG m_mapCanaryFrom = 0;
};

}  // namespace hdd::scan
