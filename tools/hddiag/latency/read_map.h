// The latency class of every part of the sectors a test reads, as the live
// view and the report draw it: a fixed number of cells over the test's range
// (its extents laid end to end in position order), each keeping the worst
// class of the reads that fell in it, with the count of every class and the
// first failed read. Recording a read allocates nothing.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "platform/win32.h"
#include "tools/hddiag/latency/latency_recorder.h"

namespace hddiag {

// Sectors [first, end).
struct SectorSpan {
    ULONGLONG first = 0;
    ULONGLONG end = 0;
    bool operator==(const SectorSpan&) const = default;
};

// What a cell shows, worst last: not read, the six latency classes, failed.
using CellMark = std::uint8_t;
constexpr CellMark kNotRead = 0;
constexpr CellMark kFailedMark = kLatencyClassCount + 1;
constexpr size_t kMarkCount = kLatencyClassCount + 2;
inline CellMark MarkOfClass(size_t latencyClass) { return static_cast<CellMark>(latencyClass + 1); }
inline CellMark MarkOfLatency(ULONGLONG ns) { return MarkOfClass(LatencyClassOf(ns)); }

class ReadMap {
public:
    // The finest the map gets; a display of fewer cells takes the worst of
    // the cells each of its own covers.
    static constexpr size_t kMaxCells = 16384;

    // Starts a test over these spans (overlaps merged, empty ones dropped).
    void Begin(std::vector<SectorSpan> spans);

    void RecordSuccess(ULONGLONG sector, ULONGLONG ns) { RecordClass(sector, LatencyClassOf(ns)); }
    // A successful read whose latency class the caller has worked out.
    void RecordClass(ULONGLONG sector, size_t latencyClass)
    {
        const CellMark mark = MarkOfClass(latencyClass);
        ++m_counts[mark];
        Mark(sector, mark);
    }
    void RecordFailure(ULONGLONG sector, DWORD error)
    {
        if (m_counts[kFailedMark]++ == 0) {
            m_firstFailedSector = sector;
            m_firstFailedError = error;
        }
        Mark(sector, kFailedMark);
    }

    // A read of `count` sectors from `first` (a scan's block): one read,
    // marking every cell it covers.
    void RecordClassSpan(ULONGLONG first, ULONGLONG count, size_t latencyClass)
    {
        const CellMark mark = MarkOfClass(latencyClass);
        ++m_counts[mark];
        MarkSpan(first, count, mark);
    }
    void RecordFailureSpan(ULONGLONG first, ULONGLONG count, DWORD error)
    {
        if (m_counts[kFailedMark]++ == 0) {
            m_firstFailedSector = first;
            m_firstFailedError = error;
        }
        MarkSpan(first, count, kFailedMark);
    }

    const std::vector<SectorSpan>& Spans() const { return m_spans; }
    ULONGLONG Sectors() const { return m_sectors; }
    // Cells in use: kMaxCells, or one per sector of a smaller range.
    size_t CellCount() const { return m_cellCount; }
    CellMark Cell(size_t i) const { return m_cells[i]; }
    // The first sector cell i covers (a disk sector, past the gaps between spans).
    ULONGLONG CellFirstSector(size_t i) const;
    // The worst mark of cells [from, to).
    CellMark Worst(size_t from, size_t to) const;

    // Reads by mark (kNotRead stays 0); failed ones under kFailedMark.
    ULONGLONG Count(CellMark mark) const { return m_counts[mark]; }
    ULONGLONG Reads() const;
    // Reads whose sector lies outside the spans: counted, in no cell.
    ULONGLONG Outside() const { return m_outside; }
    ULONGLONG LastSector() const { return m_lastSector; }
    bool AnyRead() const { return m_any; }
    ULONGLONG FirstFailedSector() const { return m_firstFailedSector; }
    DWORD FirstFailedError() const { return m_firstFailedError; }

private:
    struct Placed {
        SectorSpan span;
        ULONGLONG before;  // sectors of the spans ahead of this one
    };

    void Mark(ULONGLONG sector, CellMark mark)
    {
        m_lastSector = sector;
        m_any = true;
        for (const Placed& p : m_placed) {
            if (sector < p.span.end) {
                if (sector < p.span.first) {
                    break;
                }
                size_t cell = static_cast<size_t>(static_cast<double>(p.before + sector - p.span.first) * m_scale);
                cell = cell < m_cellCount ? cell : m_cellCount - 1;
                m_cells[cell] = mark > m_cells[cell] ? mark : m_cells[cell];
                return;
            }
        }
        ++m_outside;
    }

    // Marks the cells of [first, first + count) in the spans it meets.
    void MarkSpan(ULONGLONG first, ULONGLONG count, CellMark mark);

    std::vector<SectorSpan> m_spans;
    std::vector<Placed> m_placed;
    ULONGLONG m_sectors = 0;
    size_t m_cellCount = 0;
    double m_scale = 0;  // cells per sector
    std::array<CellMark, kMaxCells> m_cells{};
    std::array<ULONGLONG, kMarkCount> m_counts{};
    ULONGLONG m_outside = 0;
    ULONGLONG m_lastSector = 0;
    bool m_any = false;
    ULONGLONG m_firstFailedSector = 0;
    DWORD m_firstFailedError = 0;
};

}  // namespace hddiag
