// The scan as one self-contained HTML page (no script, no outside resource,
// well-formed XML), with each disk's map drawn by the live view's renderer.
#include <sstream>

#include "tools/hddiag/latency/latency_text.h"
#include "tools/hddiag/scan/scan_lines.h"
#include "tools/hddiag/scan/scan_output.h"
#include "tools/hddiag/view/map_render.h"
#include "tools/hddiag/writers/html_report.h"

namespace hddiag {

namespace {

const char* const kStyle = R"(
body { font-family: sans-serif; margin: 2em; color: #222; max-width: 1000px; }
h1 { font-size: 1.6em; } h2 { font-size: 1.3em; margin-top: 2em; border-bottom: 1px solid #ccc; }
table { border-collapse: collapse; margin: 0.5em 0; }
th, td { border: 1px solid #ccc; padding: 0.2em 0.6em; text-align: left; }
td.n { text-align: right; font-variant-numeric: tabular-nums; }
pre.map { line-height: 1.1; font-size: 12px; }
)";

constexpr size_t kAreasListed = 1000;

std::string Cell(const std::string& text, bool number = false)
{
    return std::string(number ? "<td class=\"n\">" : "<td>") + EscapeHtml(text) + "</td>";
}

std::string Num(ULONGLONG n) { return Cell(std::to_string(n), true); }

void Areas(std::ostream& out, const char* title, const std::vector<SectorSpan>& areas)
{
    out << "<h3>" << title << "</h3>\n";
    if (areas.empty()) {
        out << "<p>None.</p>\n";
        return;
    }
    out << "<table>\n<tr><th>First sector</th><th>Last sector</th><th>Sectors</th></tr>\n";
    for (size_t i = 0; i < areas.size() && i < kAreasListed; ++i) {
        out << "<tr>" << Num(areas[i].first) << Num(areas[i].end - 1) << Num(areas[i].end - areas[i].first)
            << "</tr>\n";
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
        << "</h3>\n<table>\n<tr><th>First sector</th><th>Sectors</th><th>Read</th><th>Unreadable</th>"
           "<th>Untried</th><th>Slow areas</th><th>MB/s</th><th>Time</th></tr>\n<tr>"
        << Num(t.outcome->target.firstSector) << Num(t.outcome->target.sectors) << Num(t.readSectors)
        << Num(t.unreadableSectors) << Num(t.untriedSectors) << Num(r.slowAreas.size())
        << Cell(FormatFixed(BytesPerSecond(r.progress) / 1e6, 1), true)
        << Cell(FormatFixed(static_cast<double>(r.progress.elapsedNs) / 1e9, 3) + " s", true) << "</tr>\n</table>\n";
    Areas(out, "Unreadable sectors", t.unreadableAreas);
    std::vector<SectorSpan> slow;
    for (const hdd::scan::SlowArea& a : r.slowAreas) {
        slow.push_back({a.firstSector, a.firstSector + a.sectors});
    }
    Areas(out, "Slow areas", slow);
}

}  // namespace

std::string ScanReportPage(const ScanRun& run, const std::string& machine)
{
    std::ostringstream out;
    out << "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\"/>\n<title>hddiag scan</title>\n<style>"
        << kStyle;
    for (CellMark m = 0; m < kMarkCount; ++m) {
        out << "pre.map .m" << static_cast<int>(m) << " { color: " << MarkHtmlColour(m) << "; }\n";
    }
    out << "</style>\n</head>\n<body>\n<h1>hddiag scan</h1>\n<p>Machine: " << EscapeHtml(machine) << "; hddiag "
        << EscapeHtml(run.version) << (run.interrupted ? "; stopped by a signal" : "") << ".</p>\n";
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
    out << "</body>\n</html>\n";
    return out.str();
}

}  // namespace hddiag
