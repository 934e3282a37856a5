// The scan as one self-contained HTML page (no script, no outside resource,
// well-formed XML), with each disk's map drawn by the live view's renderer.
#include <sstream>

#include "tools/hddiag/latency/latency_text.h"
#include "tools/hddiag/latency/wall_time.h"
#include "tools/hddiag/scanning/scan_lines.h"
#include "tools/hddiag/scanning/scan_output.h"
#include "tools/hddiag/text/html_page.h"
#include "tools/hddiag/text/text_escape.h"
#include "tools/hddiag/view/map_render.h"

namespace hddiag {

namespace {

constexpr size_t kAreasListed = 1000;

void Areas(std::ostream& out, const char* title, const std::vector<SectorSpan>& areas)
{
    out << "<h3>" << title << "</h3>\n";
    if (areas.empty()) {
        out << "<p>None.</p>\n";
        return;
    }
    out << HtmlTableStart({"First sector", "Last sector", "Sectors"});
    for (size_t i = 0; i < areas.size() && i < kAreasListed; ++i) {
        out << HtmlRow(NumberCell(areas[i].first) + NumberCell(areas[i].end - 1) +
                       NumberCell(areas[i].end - areas[i].first));
    }
    out << "</table>\n";
    if (areas.size() > kAreasListed) {
        out << "<p>" << areas.size() - kAreasListed << " more areas are not listed.</p>\n";
    }
}

// As the text output lists them: each with its slowest read.
void SlowAreas(std::ostream& out, const std::vector<hdd::scan::SlowArea>& areas)
{
    out << "<h3>Slow areas</h3>\n";
    if (areas.empty()) {
        out << "<p>None.</p>\n";
        return;
    }
    out << HtmlTableStart({"First sector", "Last sector", "Sectors", "Worst read"});
    for (size_t i = 0; i < areas.size() && i < kAreasListed; ++i) {
        const hdd::scan::SlowArea& a = areas[i];
        out << HtmlRow(NumberCell(a.firstSector) + NumberCell(a.firstSector + a.sectors - 1) + NumberCell(a.sectors) +
                       NumberCell(FormatLatency(a.worstNs)));
    }
    out << "</table>\n";
    if (areas.size() > kAreasListed) {
        out << "<p>" << areas.size() - kAreasListed << " more areas are not listed.</p>\n";
    }
}

void TargetSection(std::ostream& out, const TargetFigures& t)
{
    const hdd::scan::ScanResult& r = t.outcome->result;
    out << "<h3>Target " << EscapeHtml(t.outcome->target.text) << ": " << EscapeHtml(EndText(*t.outcome))
        << "</h3>\n"
        << HtmlTableStart({"First sector", "Sectors", "Read", "Unreadable", "Untried", "Slow areas", "MB/s", "Time"})
        << HtmlRow(NumberCell(t.outcome->target.firstSector) + NumberCell(t.outcome->target.sectors) +
                   NumberCell(t.readSectors) + NumberCell(t.unreadableSectors) + NumberCell(t.untriedSectors) +
                   NumberCell(r.slowAreas.size()) + NumberCell(FormatFixed(BytesPerSecond(r.progress) / 1e6, 1)) +
                   NumberCell(FormatFixed(static_cast<double>(r.progress.elapsedNs) / 1e9, 3) + " s"))
        << "</table>\n";
    Areas(out, "Unreadable sectors", t.unreadableAreas);
    SlowAreas(out, r.slowAreas);
}

}  // namespace

void WriteScanHeading(std::ostream& out, const ScanRun& run, const std::string& machine)
{
    out << "<p>Machine: " << EscapeHtml(machine) << "; hddiag " << EscapeHtml(run.version) << "; ended "
        << UtcDateText(run.endTime) << (run.interrupted ? "; stopped by a signal" : "") << ".</p>\n";
}

void WriteScanSections(std::ostream& out, const ScanRun& run)
{
    for (const DiskScan* disk : run.disks) {
        const DiskRow& row = disk->Disk().row;
        out << "<h2>" << EscapeHtml(DiskLabel(disk->Disk())) << "</h2>\n<p>"
            << EscapeHtml(row.path + (row.model.empty() ? "" : ", model " + row.model) + ", " +
                          std::to_string(row.size) + " bytes, " + std::to_string(disk->Disk().sectorSize) +
                          "-byte sectors")
            << "</p>\n";
        if (!disk->SeamError().empty()) {
            out << "<p>Cannot be read: " << EscapeHtml(disk->SeamError()) << "</p>\n";
            continue;
        }
        out << "<h3>Map</h3>\n<pre class=\"map\">" << RenderMap(disk->Cells(), 100, 24, ColourMode::Html)
            << "</pre>\n";
        for (const TargetFigures& t : run.targets) {
            if (t.scan == disk) {
                TargetSection(out, t);
            }
        }
    }
}

std::string ScanReportPage(const ScanRun& run, const std::string& machine)
{
    std::ostringstream out;
    BeginHtmlPage(out, "hddiag scan", MapHtmlStyle());
    WriteScanHeading(out, run, machine);
    WriteScanSections(out, run);
    EndHtmlPage(out);
    return out.str();
}

}  // namespace hddiag
