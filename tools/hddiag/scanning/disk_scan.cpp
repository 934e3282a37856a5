#include "tools/hddiag/scanning/disk_scan.h"

#include <algorithm>

#include "scan/slow_area_lines.h"
#include "scan/time_left.h"
#include "tools/hddiag/latency/wall_time.h"
#include "tools/hddiag/latency/latency_text.h"
#include "tools/hddiag/scanning/scan_files.h"
#include "tools/hddiag/scanning/scan_lines.h"
#include "tools/hddiag/session/result_codes.h"
#include "tools/hddiag/text/text_escape.h"

namespace hddiag {

namespace {

// The engine reads its time from the reader's clock.
class EngineClock final : public hdd::scan::ScanClock {
public:
    explicit EngineClock(LatencyClock& clock) : m_clock(clock) {}
    ULONGLONG NowNanoseconds() override { return m_clock.NowNanoseconds(); }

private:
    LatencyClock& m_clock;
};

}  // namespace

ULONGLONG SettledBytes(const hdd::scan::ScanProgress& p)
{
    const ULONGLONG unsettled = p.untriedBytes + p.notTrimmedBytes + p.notScrapedBytes;
    return p.rangeBytes > unsettled ? p.rangeBytes - unsettled : 0;
}

double BytesPerSecond(const hdd::scan::ScanProgress& p)
{
    return p.elapsedNs == 0 ? 0.0 : static_cast<double>(p.bytesThisRun) * 1e9 / static_cast<double>(p.elapsedNs);
}

std::string DiskLabel(const ScanDiskInfo& disk)
{
    std::string label = "disk " + std::to_string(disk.row.disk) + " (" + Printable(disk.row.device);
    if (!disk.row.serial.empty()) {
        label += ", serial " + Printable(disk.row.serial);
    }
    return label + ")";
}

const char* PhaseName(hdd::scan::ScanPhase phase)
{
    switch (phase) {
    case hdd::scan::ScanPhase::FastPass:
        return "fast pass";
    case hdd::scan::ScanPhase::Trim:
        return "trim";
    case hdd::scan::ScanPhase::Scrape:
        return "scrape";
    case hdd::scan::ScanPhase::Finished:
        return "finished";
    }
    return "?";
}

std::string StageText(const hdd::scan::ScanProgress& p)
{
    switch (p.phase) {
    case hdd::scan::ScanPhase::FastPass:
        return p.pass == 2 ? "backward pass" : p.pass == 3 ? "sweep" : "fast pass";
    case hdd::scan::ScanPhase::Trim:
    case hdd::scan::ScanPhase::Scrape:
        if (p.areas != 0) {
            return std::string(PhaseName(p.phase)) + ": area " + std::to_string(std::max<ULONGLONG>(p.area, 1)) +
                   " of " + std::to_string(p.areas);
        }
        break;
    case hdd::scan::ScanPhase::Finished:
        break;
    }
    return PhaseName(p.phase);
}

std::string TimeLeftText(const hdd::scan::ScanProgress& p, DWORD sectorBytes, bool scrape)
{
    const ULONGLONG ns = hdd::scan::EstimateNsLeft(p, sectorBytes, scrape);
    if (ns == 0) {
        return {};
    }
    return FormatDuration((ns + 999'999'999ull) / 1'000'000'000ull) + " left";
}

std::string EndText(const TargetOutcome& outcome)
{
    using hdd::scan::ScanEnd;
    const hdd::scan::ScanResult& r = outcome.result;
    if (!outcome.ran) {
        return "not scanned";
    }
    const std::string unreadable = std::to_string(outcome.unreadableSectors) + " unreadable sector" +
                                   (outcome.unreadableSectors == 1 ? "" : "s");
    switch (r.end) {
    case ScanEnd::Finished:
        if (outcome.unreadableSectors > 0) {
            return unreadable + (outcome.untriedSectors > 0
                                     ? ", " + std::to_string(outcome.untriedSectors) + " left untried (--no-scrape)"
                                     : std::string());
        }
        return "every sector read";
    case ScanEnd::Stopped:
        return "stopped, " + std::to_string(outcome.untriedSectors) + " sectors not settled yet; " + unreadable +
               " so far";
    case ScanEnd::DiskGone:
        return "the disk went away (" + Win32ErrorText(r.error) + "); " + unreadable + " before that";
    case ScanEnd::CannotOpen:
        return "cannot be opened: " + Win32ErrorText(r.error);
    case ScanEnd::InvalidArgs:
        return "not scanned: " + r.why;
    }
    return "?";
}

DiskScan::DiskScan(const ScanDiskInfo& disk, std::vector<DiskTarget> targets, std::unique_ptr<DiskSeam> seam,
                   hdd::scan::RangeMap map, bool loaded, DiskScanSettings settings)
    : m_disk(disk), m_seam(std::move(seam)), m_map(std::move(map)), m_loaded(loaded), m_settings(std::move(settings))
{
    std::vector<SectorSpan> spans;
    for (DiskTarget& t : targets) {
        spans.push_back({t.firstSector, t.firstSector + t.sectors});
        TargetOutcome outcome;
        const ULONGLONG start = t.firstSector * disk.sectorSize;
        const ULONGLONG end = start + t.sectors * disk.sectorSize;
        outcome.settledBefore = m_loaded && m_map.BytesIn(hdd::scan::SectorState::Read, start, end) +
                                                    m_map.BytesIn(hdd::scan::SectorState::Unreadable, start, end) ==
                                                end - start;
        outcome.target = std::move(t);
        m_outcomes.push_back(std::move(outcome));
    }
    m_cells.Begin(spans);
    SettleCells();
    m_live.scrape = m_settings.engine.scrape;
    m_live.target = m_outcomes.front().target.text;
}

void DiskScan::Run()
{
    if (!m_seam) {
        const std::lock_guard<std::mutex> hold(m_lock);
        m_live.done = true;
        m_live.outcome = "cannot be read: " + m_seamError;
        return;
    }
    for (size_t i = 0; i < m_outcomes.size(); ++i) {
        const std::atomic<bool>* stop = m_settings.engine.stop;
        if (stop != nullptr && stop->load()) {
            break;
        }
        RunTarget(m_outcomes[i], i == 0);
        const hdd::scan::ScanEnd end = m_outcomes[i].result.end;
        if (end == hdd::scan::ScanEnd::DiskGone || end == hdd::scan::ScanEnd::CannotOpen) {
            break;  // the disk's other targets would fare no better
        }
    }
    const std::lock_guard<std::mutex> hold(m_lock);
    m_live.done = true;
}

void DiskScan::RunTarget(TargetOutcome& outcome, bool first)
{
    const DiskTarget& t = outcome.target;
    const ULONGLONG sector = m_disk.sectorSize;
    const ULONGLONG start = t.firstSector * sector;
    const ULONGLONG end = (t.firstSector + t.sectors) * sector;
    // A loaded map goes on from where it stood when it stood in this
    // target; any other target starts with its fast pass (which reads only
    // what is still untried).
    if (!(first && m_loaded && m_map.Position() >= start && m_map.Position() < end)) {
        m_map.SetProgress(hdd::scan::ScanPhase::FastPass, start);
    }
    {
        const std::lock_guard<std::mutex> hold(m_lock);
        m_live.target = t.text;
        m_live.started = true;
    }
    m_current = &t;
    m_lineStep = 0;
    if (m_settings.lines != nullptr) {
        m_settings.lines->Start(m_disk, t);
    }
    hdd::scan::ScanTarget target;
    target.devicePath = m_seam->DevicePath();
    target.diskBytes = m_disk.row.size;
    target.sectorBytes = m_disk.sectorSize;
    target.firstSector = t.firstSector;
    target.sectorCount = t.sectors;
    EngineClock clock(m_seam->Clock());
    outcome.result = hdd::scan::RunScan(m_seam->Api(), target, m_settings.engine, m_map, clock, this);
    outcome.ran = true;
    outcome.endTime = UtcNowSeconds();
    // The runs before this one read the rest of the target: their slow
    // areas count too.
    std::vector<hdd::scan::SlowArea> earlier;
    for (const hdd::scan::SlowArea& a : m_earlierSlow) {
        if (a.firstSector < t.firstSector + t.sectors && a.firstSector + a.sectors > t.firstSector) {
            earlier.push_back(a);
        }
    }
    outcome.result.slowAreas = hdd::scan::MergeSlowAreas(std::move(earlier), outcome.result.slowAreas);
    outcome.unreadableSectors = m_map.BytesIn(hdd::scan::SectorState::Unreadable, start, end) / sector;
    outcome.unreadableAreas = m_map.AreasIn(hdd::scan::SectorState::Unreadable, start, end);
    outcome.untriedSectors = (m_map.BytesIn(hdd::scan::SectorState::Untried, start, end) +
                              m_map.BytesIn(hdd::scan::SectorState::NotTrimmed, start, end) +
                              m_map.BytesIn(hdd::scan::SectorState::NotScraped, start, end)) /
                             sector;
    if (outcome.result.end != hdd::scan::ScanEnd::InvalidArgs) {
        Save(m_map, t);
    }
    {
        const std::lock_guard<std::mutex> hold(m_lock);
        SettleCells();
        m_live.progress = outcome.result.progress;
        m_live.outcome = EndText(outcome);
    }
    if (m_settings.lines != nullptr) {
        m_settings.lines->End(m_disk, outcome, m_settings.mapPath, m_mapError);
    }
    m_current = nullptr;
}

void DiskScan::CopyLive(DiskLive& live, ReadMap& cells) const
{
    const std::lock_guard<std::mutex> hold(m_lock);
    live = m_live;
    cells = m_cells;
}

void DiskScan::OnPhase(hdd::scan::ScanPhase phase, const hdd::scan::ScanProgress& progress)
{
    m_areaStep = 0;
    {
        const std::lock_guard<std::mutex> hold(m_lock);
        SettleCells();
        m_live.progress = progress;
        m_live.progress.phase = phase;
    }
    if (m_settings.lines != nullptr && m_current != nullptr) {
        m_settings.lines->Phase(m_disk, *m_current, progress, m_settings.engine.scrape);
    }
}

void DiskScan::OnRead(ULONGLONG firstSector, ULONGLONG sectors, ULONGLONG ns, DWORD error,
                      const hdd::scan::ScanProgress& progress)
{
    if (ns >= m_settings.engine.slowNs) {
        hdd::scan::AddSlowRead(m_runSlow, firstSector, sectors, ns);
    }
    {
        const std::lock_guard<std::mutex> hold(m_lock);
        m_cells.Settle(m_settleFirst, m_settleCount, m_fates);
        if (error == 0) {
            m_cells.RecordClassSpan(firstSector, sectors, LatencyClassOf(ns));
        } else {
            m_cells.RecordFailureSpan(firstSector, sectors, error);
        }
        // A good block read only turns untried sectors read, which settles
        // no cell otherwise; a failed read or a one-sector read may.
        m_settleFirst = firstSector;
        m_settleCount = error != 0 || sectors == 1 ? sectors : 0;
        m_live.progress = progress;
    }
    // A line at every tenth settled, and in the trim and the scrape (which
    // settle little of the range) at every tenth of their areas: one
    // division per read, text only then.
    if (m_settings.lines != nullptr && m_current != nullptr && progress.rangeBytes > 0) {
        const int step = static_cast<int>(SettledBytes(progress) / (progress.rangeBytes / 10 + 1));
        const int areaStep = progress.areas == 0 ? 0 : static_cast<int>(progress.area * 10 / progress.areas);
        if (step > m_lineStep || areaStep > m_areaStep) {
            m_lineStep = std::max(step, m_lineStep);
            m_areaStep = areaStep;
            m_settings.lines->Progress(m_disk, *m_current, progress, m_settings.engine.scrape);
        }
    }
}

void DiskScan::SettleCells()
{
    m_cells.SettleAll(m_fates);
    m_settleCount = 0;
    const ULONGLONG sector = m_disk.sectorSize;
    for (const TargetOutcome& o : m_outcomes) {
        hdd::scan::MapRange first;
        if (m_map.FindFirst(hdd::scan::SectorState::Unreadable, o.target.firstSector * sector,
                            (o.target.firstSector + o.target.sectors) * sector, first)) {
            m_cells.NoteUnreadable(first.pos / sector, 0);
        }
    }
}

void DiskScan::OnSave(const hdd::scan::RangeMap& map, const hdd::scan::ScanProgress&)
{
    if (m_current != nullptr) {
        Save(map, *m_current);
    }
}

void DiskScan::Save(const hdd::scan::RangeMap& map, const DiskTarget& target)
{
    if (m_settings.mapPath.empty()) {
        return;
    }
    hdd::scan::MapIdentity identity = MapIdentityOf(m_disk);
    identity.rangePos = target.firstSector * m_disk.sectorSize;
    identity.rangeBytes = target.sectors * m_disk.sectorSize;
    std::vector<std::string> comments = m_settings.comments;
    for (const hdd::scan::SlowArea& a : hdd::scan::MergeSlowAreas(m_earlierSlow, m_runSlow)) {
        comments.push_back(hdd::scan::SlowAreaComment(a));
    }
    std::string why;
    if (ScanFiles::SaveMap(m_settings.mapPath, hdd::scan::WriteMapFile(map, identity, comments), why)) {
        m_mapSaved = true;
        m_mapError.clear();
    } else {
        m_mapSaved = false;
        m_mapError = why;
    }
}

hdd::scan::MapIdentity MapIdentityOf(const ScanDiskInfo& disk)
{
    hdd::scan::MapIdentity identity;
    identity.device = disk.row.path;
    identity.model = disk.row.model;
    identity.serial = disk.row.serial;
    identity.diskBytes = disk.row.size;
    identity.sectorBytes = disk.sectorSize;
    identity.stableName = disk.stableName;
    return identity;
}

}  // namespace hddiag
