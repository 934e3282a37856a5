#include "tools/hddiag/scanning/scan_output.h"

#include <algorithm>
#include <nlohmann/json.hpp>

#include "scan/bad_blocks.h"
#include "tools/hddiag/text/json_values.h"
#include "tools/hddiag/latency/wall_time.h"
#include "tools/hddiag/latency/latency_text.h"
#include "tools/hddiag/options/options.h"
#include "tools/hddiag/scanning/scan_lines.h"
#include "tools/hddiag/session/result_codes.h"
#include "tools/hddiag/text/text_escape.h"

namespace hddiag {

namespace {

using hdd::scan::ScanEnd;
using hdd::scan::SectorState;

constexpr size_t kAreasShown = 20;  // in the summary; the JSON has them all

TargetFigures FiguresOf(const DiskScan& scan, const TargetOutcome& outcome)
{
    TargetFigures f;
    f.scan = &scan;
    f.outcome = &outcome;
    const ULONGLONG sector = scan.Disk().sectorSize;
    const ULONGLONG start = outcome.target.firstSector * sector;
    const ULONGLONG end = start + outcome.target.sectors * sector;
    const hdd::scan::RangeMap& map = scan.Map();
    f.readSectors = map.BytesIn(SectorState::Read, start, end) / sector;
    f.unreadableSectors = map.BytesIn(SectorState::Unreadable, start, end) / sector;
    f.untriedSectors = outcome.target.sectors - std::min(outcome.target.sectors, f.readSectors + f.unreadableSectors);
    for (const hdd::scan::MapRange& r : map.Ranges()) {
        if (r.state == SectorState::Unreadable && r.End() > start && r.pos < end) {
            f.unreadableAreas.push_back({std::max(r.pos, start) / sector, std::min(r.End(), end) / sector});
        }
    }
    f.complete = outcome.ran && f.untriedSectors == 0;
    return f;
}

bool Failed(const TargetFigures& t)
{
    const ScanEnd end = t.outcome->result.end;
    return !t.outcome->ran || end == ScanEnd::DiskGone || end == ScanEnd::CannotOpen || end == ScanEnd::InvalidArgs;
}

const char* EndName(ScanEnd end)
{
    switch (end) {
    case ScanEnd::Finished:
        return "finished";
    case ScanEnd::Stopped:
        return "stopped";
    case ScanEnd::DiskGone:
        return "disk_gone";
    case ScanEnd::CannotOpen:
        return "cannot_open";
    case ScanEnd::InvalidArgs:
        return "invalid";
    }
    return "?";
}

std::string Range(ULONGLONG first, ULONGLONG end)
{
    return end - first == 1 ? std::to_string(first) : std::to_string(first) + "-" + std::to_string(end - 1);
}

std::string Plural(ULONGLONG n, const char* word)
{
    return std::to_string(n) + " " + word + (n == 1 ? "" : "s");
}

}  // namespace

ScanRun CollectScanRun(const std::vector<std::unique_ptr<DiskScan>>& scans, bool interrupted)
{
    ScanRun run;
    run.interrupted = interrupted;
    run.version = HDDIAG_VERSION;
    run.endTime = UtcNowSeconds();
    for (const std::unique_ptr<DiskScan>& scan : scans) {
        run.disks.push_back(scan.get());
        for (const TargetOutcome& outcome : scan->Outcomes()) {
            run.targets.push_back(FiguresOf(*scan, outcome));
        }
    }
    return run;
}

int ScanExitCode(const ScanRun& run)
{
    // A disk that read nothing (it could not be had, or the stop came first)
    // has no map to save: the old one, if any, still holds.
    bool mapsSaved = true;
    for (const DiskScan* disk : run.disks) {
        const bool ran = std::any_of(disk->Outcomes().begin(), disk->Outcomes().end(),
                                     [](const TargetOutcome& o) { return o.ran; });
        mapsSaved = mapsSaved && (disk->MapPath().empty() || disk->MapSaved() || !ran);
    }
    if (run.interrupted) {
        return mapsSaved ? kExitInterrupted : kExitFailed;
    }
    bool bad = !mapsSaved;
    for (const DiskScan* disk : run.disks) {
        bad = bad || !disk->SeamError().empty();
    }
    for (const TargetFigures& t : run.targets) {
        bad = bad || Failed(t) || t.unreadableSectors > 0 || t.untriedSectors > 0;
    }
    return bad ? kExitFailed : kExitPassed;
}

void PrintScanSummary(std::ostream& out, const ScanRun& run)
{
    for (const DiskScan* disk : run.disks) {
        if (!disk->SeamError().empty()) {
            out << "Scan of " << DiskLabel(disk->Disk()) << ": cannot be read: " << Printable(disk->SeamError())
                << '\n';
        }
    }
    for (const TargetFigures& t : run.targets) {
        const DiskTarget& target = t.outcome->target;
        const hdd::scan::ScanResult& r = t.outcome->result;
        out << "Scan of " << DiskLabel(t.Disk()) << " " << Printable(target.text) << ": " << EndText(*t.outcome)
            << '\n';
        if (!t.outcome->ran) {
            continue;
        }
        out << "  sectors " << Range(target.firstSector, target.firstSector + target.sectors) << " of "
            << t.Disk().sectorSize << " bytes: " << t.readSectors << " read, " << t.unreadableSectors
            << " unreadable in " << Plural(t.unreadableAreas.size(), "area") << ", " << t.untriedSectors
            << " untried; " << Plural(r.slowAreas.size(), "slow area") << '\n';
        if (t.outcome->settledBefore) {
            out << "  " << kMapCompleteText << '\n';
        } else {
            out << "  this run: " << FormatFixed(static_cast<double>(r.progress.bytesThisRun) / 1e6, 1) << " MB in "
                << FormatFixed(static_cast<double>(r.progress.elapsedNs) / 1e9, 3) << " s, "
                << MegabytesPerSecond(BytesPerSecond(r.progress)) << ", " << r.progress.readsThisRun << " reads, "
                << r.progress.failedReads << " failed\n";
        }
        if (!t.unreadableAreas.empty()) {
            out << "  unreadable sectors:";
            for (size_t i = 0; i < t.unreadableAreas.size() && i < kAreasShown; ++i) {
                out << (i == 0 ? " " : ", ") << Range(t.unreadableAreas[i].first, t.unreadableAreas[i].end);
            }
            if (t.unreadableAreas.size() > kAreasShown) {
                out << " and " << Plural(t.unreadableAreas.size() - kAreasShown, "more area");
            }
            out << '\n';
        }
        for (size_t i = 0; i < r.slowAreas.size() && i < kAreasShown; ++i) {
            const hdd::scan::SlowArea& a = r.slowAreas[i];
            out << "  slow: sectors " << Range(a.firstSector, a.firstSector + a.sectors) << " (worst "
                << FormatLatency(a.worstNs) << ")\n";
        }
    }
    for (const DiskScan* disk : run.disks) {
        if (disk->MapPath().empty()) {
            continue;
        }
        out << "Map of " << DiskLabel(disk->Disk()) << ": " << Printable(disk->MapPath());
        if (!disk->MapError().empty()) {
            out << " NOT SAVED: " << Printable(disk->MapError());
        }
        out << '\n';
    }
    if (!run.badBlocksPath.empty()) {
        out << "Bad blocks: " << Printable(run.badBlocksPath);
        if (BadBlocksSettled(run)) {
            out << " written: every sector of the target settled\n";
        } else if (run.targets.size() == 1 && run.targets.front().outcome->ran) {
            out << " NOT WRITTEN: " << Plural(run.targets.front().untriedSectors, "sector")
                << " of the target not settled yet, and a part list would pass for a whole one\n";
        } else {
            out << " NOT WRITTEN: the target was not scanned\n";
        }
    }
    if (run.interrupted) {
        out << "Stopped by a signal; the maps hold what was learned, and the same command resumes.\n";
    }
}

void PrintScanJson(std::ostream& out, const ScanRun& run)
{
    using nlohmann::ordered_json;
    ordered_json scans = ordered_json::array();
    ULONGLONG read = 0, unreadable = 0, areas = 0, slow = 0, bytes = 0;
    for (const TargetFigures& t : run.targets) {
        const DiskRow& row = t.Disk().row;
        const DiskTarget& target = t.outcome->target;
        const hdd::scan::ScanResult& r = t.outcome->result;
        ordered_json unreadableAreas = ordered_json::array();
        for (const SectorSpan& a : t.unreadableAreas) {
            unreadableAreas.push_back({{"first_sector", a.first}, {"sectors", a.end - a.first}});
        }
        ordered_json slowAreas = ordered_json::array();
        for (const hdd::scan::SlowArea& a : r.slowAreas) {
            slowAreas.push_back({{"first_sector", a.firstSector},
                                 {"sectors", a.sectors},
                                 {"worst_ms", static_cast<double>(a.worstNs) / 1e6}});
        }
        ordered_json entry = {
            {"disk", row.disk},
            {"device", row.device},
            {"path", row.path},
            {"model", TextOrNull(row.model)},
            {"serial", TextOrNull(row.serial)},
            {"target", target.text},
            {"partition", target.partition == 0 ? ordered_json() : ordered_json(target.partition)},
            {"sector_size", t.Disk().sectorSize},
            {"first_sector", target.firstSector},
            {"sectors", target.sectors},
            {"end", t.outcome->ran ? ordered_json(EndName(r.end)) : ordered_json("not_scanned")},
            {"error", r.error == 0 ? ordered_json() : ordered_json({{"code", r.error}, {"text", Win32ErrorText(r.error)}})},
            {"verdict", EndText(*t.outcome)},
            {"complete", t.complete},
            {"sectors_read", t.readSectors},
            {"sectors_unreadable", t.unreadableSectors},
            {"sectors_untried", t.untriedSectors},
            {"unreadable_areas", std::move(unreadableAreas)},
            {"slow_areas", std::move(slowAreas)},
            {"reads", r.progress.readsThisRun},
            {"failed_reads", r.progress.failedReads},
            {"bytes_read_this_run", r.progress.bytesThisRun},
            {"elapsed_s", static_cast<double>(r.progress.elapsedNs) / 1e9},
            {"mb_per_s", BytesPerSecond(r.progress) / 1e6},
            {"map", TextOrNull(t.scan->MapPath())},
            {"map_saved", t.scan->MapSaved()}};
        scans.push_back(std::move(entry));
        read += t.readSectors;
        unreadable += t.unreadableSectors;
        areas += t.unreadableAreas.size();
        slow += r.slowAreas.size();
        bytes += r.progress.bytesThisRun;
    }
    ordered_json failedDisks = ordered_json::array();
    for (const DiskScan* disk : run.disks) {
        if (!disk->SeamError().empty()) {
            failedDisks.push_back({{"disk", disk->Disk().row.disk}, {"error", disk->SeamError()}});
        }
    }
    ordered_json doc = {{"scans", std::move(scans)},
                        {"unusable_disks", std::move(failedDisks)},
                        {"totals",
                         {{"sectors_read", read},
                          {"sectors_unreadable", unreadable},
                          {"unreadable_areas", areas},
                          {"slow_areas", slow},
                          {"bytes_read_this_run", bytes}}},
                        {"bad_blocks",
                         run.badBlocksPath.empty()
                             ? ordered_json()
                             : ordered_json({{"path", run.badBlocksPath}, {"written", BadBlocksSettled(run)}})},
                        {"interrupted", run.interrupted},
                        {"passed", ScanExitCode(run) == kExitPassed}};
    out << doc.dump(2, ' ', false, ordered_json::error_handler_t::replace) << '\n';
}

bool BadBlocksSettled(const ScanRun& run)
{
    return run.targets.size() == 1 && run.targets.front().complete;
}

std::string ScanBadBlocks(const ScanRun& run, DWORD unitBytes)
{
    if (run.targets.size() != 1 || !run.targets.front().outcome->ran) {
        return {};
    }
    const TargetFigures& t = run.targets.front();
    const ULONGLONG sector = t.Disk().sectorSize;
    return hdd::scan::BadBlocksText(t.scan->Map(), t.outcome->target.firstSector * sector,
                                    t.outcome->target.sectors * sector, unitBytes != 0 ? unitBytes : t.Disk().sectorSize);
}

}  // namespace hddiag
