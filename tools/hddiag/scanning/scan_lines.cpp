#include "tools/hddiag/scanning/scan_lines.h"

#include "tools/hddiag/latency/latency_text.h"
#include "tools/hddiag/scanning/disk_scan.h"
#include "tools/hddiag/text/text_escape.h"

namespace hddiag {

namespace {

std::string Prefix(const ScanDiskInfo& disk, const std::string& target)
{
    return "scan " + DiskLabel(disk) + " " + Printable(target) + ": ";
}

std::string Figures(const hdd::scan::ScanProgress& p, DWORD sectorSize, bool scrape)
{
    const std::string left = TimeLeftText(p, sectorSize, scrape);
    return StageText(p) + ", " + SettledPercent(p) + " settled, " + MegabytesPerSecond(BytesPerSecond(p)) + ", " +
           (left.empty() ? std::string() : left + ", ") + std::to_string(p.unreadableBytes / sectorSize) +
           " unreadable";
}

}  // namespace

const char* const kMapCompleteText = "map complete: nothing to read; remove it to scan again";

std::string ResumeLine(const ScanDiskInfo& disk, const std::vector<DiskTarget>& targets,
                       const hdd::scan::RangeMap& map)
{
    std::string names;
    ULONGLONG bytes = 0;
    ULONGLONG settled = 0;
    for (const DiskTarget& t : targets) {
        names += (names.empty() ? "" : " ") + t.text;
        const ULONGLONG start = t.firstSector * disk.sectorSize;
        const ULONGLONG end = start + t.sectors * disk.sectorSize;
        bytes += end - start;
        settled += map.BytesIn(hdd::scan::SectorState::Read, start, end) +
                   map.BytesIn(hdd::scan::SectorState::Unreadable, start, end);
    }
    if (settled >= bytes) {
        return Prefix(disk, names) + kMapCompleteText;
    }
    // Rounded down: 100% only when nothing is left.
    return Prefix(disk, names) + "resuming: " + std::to_string(settled * 100 / bytes) + "% settled";
}

std::string SettledPercent(const hdd::scan::ScanProgress& progress)
{
    if (progress.rangeBytes == 0) {
        return "0%";
    }
    return std::to_string(SettledBytes(progress) * 100 / progress.rangeBytes) + "%";
}

std::string MegabytesPerSecond(double bytesPerSecond) { return FormatFixed(bytesPerSecond / 1e6, 1) + " MB/s"; }

void ScanLines::Start(const ScanDiskInfo& disk, const DiskTarget& target)
{
    Line(Prefix(disk, target.text) + "sectors " + std::to_string(target.firstSector) + "-" +
         std::to_string(target.firstSector + target.sectors - 1) + " of " + std::to_string(disk.sectorSize) +
         " bytes");
}

void ScanLines::Phase(const ScanDiskInfo& disk, const DiskTarget& target, const hdd::scan::ScanProgress& progress,
                      bool scrape)
{
    Line(Prefix(disk, target.text) + Figures(progress, disk.sectorSize, scrape));
}

void ScanLines::Progress(const ScanDiskInfo& disk, const DiskTarget& target, const hdd::scan::ScanProgress& progress,
                         bool scrape)
{
    Line(Prefix(disk, target.text) + Figures(progress, disk.sectorSize, scrape));
}

void ScanLines::End(const ScanDiskInfo& disk, const TargetOutcome& outcome, const std::string& mapPath,
                    const std::string& mapError)
{
    std::string line = Prefix(disk, outcome.target.text) + EndText(outcome);
    if (!mapPath.empty()) {
        line += mapError.empty() ? "; map saved to " + Printable(mapPath)
                                 : "; the map " + Printable(mapPath) + " was not saved: " + Printable(mapError);
    }
    Line(line);
}

void ScanLines::Line(const std::string& text)
{
    const std::lock_guard<std::mutex> hold(m_lock);
    m_err << text << '\n';
    m_err.flush();
}

}  // namespace hddiag
