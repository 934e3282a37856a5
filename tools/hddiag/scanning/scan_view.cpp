#include "tools/hddiag/scanning/scan_view.h"

#include <algorithm>

#include "tools/hddiag/latency/latency_text.h"
#include "tools/hddiag/scanning/scan_lines.h"
#include "tools/hddiag/text/text_escape.h"

namespace hddiag {

namespace {

size_t LineCount(const std::string& text) { return text.empty() ? 0 : 1 + std::count(text.begin(), text.end(), '\n'); }

}  // namespace

std::string ScanHeaderLine(const ScanViewDisk& d, size_t width)
{
    const hdd::scan::ScanProgress& p = d.live.progress;
    std::string line = DiskLabel(*d.disk) + " " + Printable(d.live.target);
    std::vector<std::string> parts;
    if (d.live.done) {
        line += ": " + d.live.outcome;
    } else {
        line += "  " + StageText(p) + "  " + SettledPercent(p);
        parts.push_back(MegabytesPerSecond(BytesPerSecond(p)));
        const std::string left = TimeLeftText(p, d.disk->sectorSize, d.live.scrape);
        if (!left.empty()) {
            parts.push_back(left);
        }
        parts.push_back(std::to_string(p.unreadableBytes / d.disk->sectorSize) + " unreadable");
    }
    if (line.size() > width) {
        line.resize(width);
    }
    for (const std::string& part : parts) {
        if (line.size() + 2 + part.size() > width) {
            break;
        }
        line += "  " + part;
    }
    return line;
}

std::string RenderScanView(const std::vector<ScanViewDisk>& disks, int width, int height, ColourMode colour)
{
    const size_t w = static_cast<size_t>(std::max(width, 1));
    const size_t h = static_cast<size_t>(std::max(height, 1));
    const std::string legend = RenderLegend(width, colour);
    const size_t legendLines = LineCount(legend);
    const size_t headers = std::min(disks.size(), h);
    const size_t room = h > headers + legendLines ? h - headers - legendLines : 0;
    const size_t rowsEach = disks.empty() ? 0 : room / disks.size();
    std::string out;
    size_t used = 0;
    for (size_t i = 0; i < headers; ++i) {
        if (!out.empty()) {
            out += '\n';
        }
        out += ScanHeaderLine(disks[i], w);
        ++used;
        const std::string rows = RenderMapRows(disks[i].cells, width, static_cast<int>(rowsEach), colour);
        if (!rows.empty()) {
            out += '\n' + rows;
            used += LineCount(rows);
        }
    }
    if (used + legendLines <= h) {
        out += (out.empty() ? "" : "\n") + legend;
    }
    return out;
}

void ScanMapView::Draw(const std::vector<std::unique_ptr<DiskScan>>& scans)
{
    m_disks.resize(scans.size());
    for (size_t i = 0; i < scans.size(); ++i) {
        m_disks[i].disk = &scans[i]->Disk();
        scans[i]->CopyLive(m_disks[i].live, m_disks[i].cells);
    }
    const host::TerminalSize size = m_size ? m_size() : host::TerminalSize{};
    // One column and one row spare, as the test view keeps them.
    const int width = std::max(size.columns - 1, 1);
    const int height = std::max(size.rows - 1, 1);
    m_frame.Draw(RenderScanView(m_disks, width, height, m_colour), size.columns);
}

}  // namespace hddiag
