// The live view of a scan on a terminal: per disk a header (target, phase,
// settled share, MB/s, time left, unreadable sectors) over that disk's map
// of latency cells, and one legend below, redrawn in place by the main
// thread while the readers read.
#pragma once

#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "tools/hddiag/host/terminal.h"
#include "tools/hddiag/scanning/disk_scan.h"
#include "tools/hddiag/view/map_render.h"
#include "tools/hddiag/view/terminal_frame.h"

namespace hddiag {

struct ScanViewDisk {
    const ScanDiskInfo* disk = nullptr;
    DiskLive live;
    ReadMap cells;
};

// "disk 1 (sdb) 1-2  fast pass 43%  120.5 MB/s  5 min left  0 unreadable",
// cut to the width.
std::string ScanHeaderLine(const ScanViewDisk& disk, size_t width);

// The whole picture in at most `height` lines no wider than `width`.
std::string RenderScanView(const std::vector<ScanViewDisk>& disks, int width, int height, ColourMode colour);

class ScanMapView {
public:
    ScanMapView(std::ostream& err, ColourMode colour, std::function<host::TerminalSize()> size)
        : m_frame(err), m_colour(colour), m_size(std::move(size))
    {
    }
    void Draw(const std::vector<std::unique_ptr<DiskScan>>& scans);
    // Leaves the last picture on screen.
    void Finish() { m_frame.Finish(); }

private:
    TerminalFrame m_frame;
    ColourMode m_colour;
    std::function<host::TerminalSize()> m_size;
    std::vector<ScanViewDisk> m_disks;  // kept between frames: the maps are not made again
};

}  // namespace hddiag
