// One disk's reader: its targets one after another through the engine on the
// disk's own seam, on a thread of its own. It keeps the disk's map of ranges
// (saved at every save request, after each target and at the end), a map of
// latency cells for the view and the report, and live figures that the view
// copies under the lock. One disk's failure ends only this reader.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "scan/map_file.h"
#include "scan/range_map.h"
#include "scan/scan_engine.h"
#include "tools/hddiag/latency/read_map.h"
#include "tools/hddiag/scanning/map_fates.h"
#include "tools/hddiag/scanning/scan_source.h"
#include "tools/hddiag/scanning/scan_targets.h"

namespace hddiag {

class ScanLines;

struct TargetOutcome {
    DiskTarget target;
    bool ran = false;
    hdd::scan::ScanResult result;
    ULONGLONG unreadableSectors = 0;  // in the target (earlier runs included)
    ULONGLONG unreadableAreas = 0;
    ULONGLONG untriedSectors = 0;     // not settled: stopped, gone, or --no-scrape
    bool settledBefore = false;       // the loaded map left nothing of it to read
    double endTime = 0;               // seconds since 1970 (UTC)
};

// What the view shows of a disk now.
struct DiskLive {
    std::string target;  // being scanned, or the last one
    hdd::scan::ScanProgress progress;
    bool started = false;
    bool done = false;
    bool scrape = true;   // as the scan was asked: the time left counts on it
    std::string outcome;  // once done
};

struct DiskScanSettings {
    hdd::scan::ScanOptions engine;
    std::string mapPath;                // empty: no map file
    std::vector<std::string> comments;  // heading lines of the map file
    ScanLines* lines = nullptr;         // plain progress lines, or null
};

class DiskScan final : public hdd::scan::ScanObserver {
public:
    // map: the disk's, loaded from its file (loaded) or new.
    DiskScan(const ScanDiskInfo& disk, std::vector<DiskTarget> targets, std::unique_ptr<DiskSeam> seam,
             hdd::scan::RangeMap map, bool loaded, DiskScanSettings settings);
    DiskScan(const DiskScan&) = delete;
    DiskScan& operator=(const DiskScan&) = delete;

    // The slow areas a loaded map kept from the runs before: saved again with
    // this run's, and counted in each target's result.
    void SetEarlierSlowAreas(std::vector<hdd::scan::SlowArea> areas) { m_earlierSlow = std::move(areas); }

    // A disk whose seam could not be had: Run then scans nothing.
    void SetSeamError(std::string error) { m_seamError = std::move(error); }

    // The reader's body: every target, each ending with a save.
    void Run();

    // For the view, from another thread.
    void CopyLive(DiskLive& live, ReadMap& cells) const;

    // After Run.
    const ScanDiskInfo& Disk() const { return m_disk; }
    const std::vector<TargetOutcome>& Outcomes() const { return m_outcomes; }
    const hdd::scan::RangeMap& Map() const { return m_map; }
    const ReadMap& Cells() const { return m_cells; }
    const std::string& MapPath() const { return m_settings.mapPath; }
    bool MapSaved() const { return m_mapSaved; }
    const std::string& MapError() const { return m_mapError; }
    const std::string& SeamError() const { return m_seamError; }

    void OnPhase(hdd::scan::ScanPhase phase, const hdd::scan::ScanProgress& progress) override;
    void OnRead(ULONGLONG firstSector, ULONGLONG sectors, ULONGLONG ns, DWORD error,
                const hdd::scan::ScanProgress& progress) override;
    void OnSave(const hdd::scan::RangeMap& map, const hdd::scan::ScanProgress& progress) override;

private:
    void RunTarget(TargetOutcome& outcome, bool first);
    void Save(const hdd::scan::RangeMap& map, const DiskTarget& target);
    // Every cell and the first unreadable sector from the map; under m_lock.
    void SettleCells();

    const ScanDiskInfo& m_disk;
    std::unique_ptr<DiskSeam> m_seam;
    hdd::scan::RangeMap m_map;
    bool m_loaded;
    DiskScanSettings m_settings;
    std::vector<TargetOutcome> m_outcomes;
    const DiskTarget* m_current = nullptr;
    int m_lineStep = 0;  // tenths of the current target settled, as the last line said
    int m_areaStep = 0;  // tenths of the phase's areas read, likewise

    mutable std::mutex m_lock;  // guards m_live and m_cells
    DiskLive m_live;
    ReadMap m_cells;
    MapFates m_fates{m_map, m_disk.sectorSize};
    // The last read, when the map (which takes it in after OnRead) may settle
    // its cells otherwise than the read marked them.
    ULONGLONG m_settleFirst = 0;
    ULONGLONG m_settleCount = 0;

    std::vector<hdd::scan::SlowArea> m_earlierSlow;
    std::vector<hdd::scan::SlowArea> m_runSlow;  // this run's, as the reads come (reader thread only)

    bool m_mapSaved = false;
    std::string m_mapError;
    std::string m_seamError;
};

// How a target's scan ended, for people: "every sector read", "3 unreadable
// sectors", "stopped", "the disk went away: error 1167 (...)".
std::string EndText(const TargetOutcome& outcome);
const char* PhaseName(hdd::scan::ScanPhase phase);
// The phase with its own progress: "fast pass", "backward pass", "sweep",
// "trim: area 3 of 40", "scrape: area 1 of 2".
std::string StageText(const hdd::scan::ScanProgress& progress);
// "2 min 10 s left" from the engine's estimate (whole seconds, rounded up,
// so never "0 s" while reads remain); empty when nothing is left.
std::string TimeLeftText(const hdd::scan::ScanProgress& progress, DWORD sectorBytes, bool scrape);

// "disk 1 (sdb)" or "disk 1 (sdb, serial S)".
std::string DiskLabel(const ScanDiskInfo& disk);

// Settled bytes of the range (read or found unreadable), and bytes per
// second of this run; 0 before any time has passed.
ULONGLONG SettledBytes(const hdd::scan::ScanProgress& progress);
double BytesPerSecond(const hdd::scan::ScanProgress& progress);

// The disk as its map names it (device, model, serial, sizes).
hdd::scan::MapIdentity MapIdentityOf(const ScanDiskInfo& disk);

}  // namespace hddiag
