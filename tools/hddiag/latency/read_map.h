// The latency class of every part of the sectors a test reads, as the live
// view and the report draw it: a fixed number of cells over the test's range
// (its extents laid end to end in position order), each keeping the worst
// class of the reads that fell in it, with the count of every class and the
// first failed read. A scan's map can settle each cell besides: what its
// sectors ended as overrides a failed block's read. Recording a read
// allocates nothing.
#pragma once

#include <algorithm>
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

// What a cell shows: not read, the six latency classes, failed (an
// unreadable sector), and two that only a scan's map gives: unsettled (in a
// failed block, not yet read sector by sector) and read by an earlier run.
// MarkRank orders them from least to most telling.
using CellMark = std::uint8_t;
constexpr CellMark kNotRead = 0;
constexpr CellMark kFailedMark = kLatencyClassCount + 1;
constexpr CellMark kUnsettledMark = kLatencyClassCount + 2;
constexpr CellMark kReadEarlierMark = kLatencyClassCount + 3;
constexpr size_t kMarkCount = kLatencyClassCount + 4;
size_t MarkRank(CellMark mark);
inline CellMark MarkOfClass(size_t latencyClass) { return static_cast<CellMark>(latencyClass + 1); }
inline CellMark MarkOfLatency(ULONGLONG ns) { return MarkOfClass(LatencyClassOf(ns)); }

// The worst state of some sectors as a scan's map holds it, least first.
enum class CellFate : std::uint8_t { Untried, Read, Unsettled, Unreadable };

// Where a map's states come from: sectors [first, end).
class SectorFates {
public:
    virtual CellFate FateOf(ULONGLONG first, ULONGLONG end) const = 0;

protected:
    ~SectorFates() = default;
};

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
        Mark(sector, mark, CellFate::Untried);
    }
    void RecordFailure(ULONGLONG sector, DWORD error)
    {
        if (m_counts[kFailedMark]++ == 0) {
            m_firstFailedSector = sector;
            m_firstFailedError = error;
        }
        Mark(sector, kNotRead, CellFate::Unreadable);
    }

    // A read of `count` sectors from `first` (a scan's block): one read,
    // marking every cell it covers. A failed one-sector read finds an
    // unreadable sector; a failed block leaves its sectors unsettled.
    void RecordClassSpan(ULONGLONG first, ULONGLONG count, size_t latencyClass)
    {
        const CellMark mark = MarkOfClass(latencyClass);
        ++m_counts[mark];
        MarkSpan(first, count, mark, CellFate::Untried);
    }
    void RecordFailureSpan(ULONGLONG first, ULONGLONG count, DWORD error)
    {
        if (m_counts[kFailedMark]++ == 0) {
            m_firstFailedSector = first;
            m_firstFailedError = error;
        }
        if (count == 1) {
            NoteUnreadable(first, error);
        }
        MarkSpan(first, count, kNotRead, count == 1 ? CellFate::Unreadable : CellFate::Unsettled);
    }

    // The cells holding [first, first + count) again from the scan's map,
    // and every cell: a cell shows X while any of its sectors is unreadable,
    // the unsettled mark while any still waits for its one-sector read,
    // else the class of this run's reads (or read earlier, or not read).
    void Settle(ULONGLONG first, ULONGLONG count, const SectorFates& fates);
    void SettleAll(const SectorFates& fates);
    // An unreadable sector: the lowest one the map holds is named in the
    // legend (error 0: found by an earlier run).
    void NoteUnreadable(ULONGLONG sector, DWORD error)
    {
        if (!m_anyUnreadable || sector < m_firstUnreadable) {
            m_anyUnreadable = true;
            m_firstUnreadable = sector;
            m_firstUnreadableError = error;
        }
    }

    const std::vector<SectorSpan>& Spans() const { return m_spans; }
    ULONGLONG Sectors() const { return m_sectors; }
    // Cells in use: kMaxCells, or one per sector of a smaller range.
    size_t CellCount() const { return m_cellCount; }
    CellMark Cell(size_t i) const
    {
        switch (m_fates[i]) {
        case CellFate::Unreadable:
            return kFailedMark;
        case CellFate::Unsettled:
            return kUnsettledMark;
        case CellFate::Read:
            return m_reads[i] == kNotRead ? kReadEarlierMark : m_reads[i];
        case CellFate::Untried:
            break;
        }
        return m_reads[i];
    }
    // The first sector cell i covers (a disk sector, past the gaps between spans).
    ULONGLONG CellFirstSector(size_t i) const;
    // The highest ranked mark of cells [from, to).
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
    // Whether a scan's map settles the cells, and its lowest unreadable sector.
    bool Settled() const { return m_settled; }
    bool AnyUnreadable() const { return m_anyUnreadable; }
    ULONGLONG FirstUnreadable() const { return m_firstUnreadable; }
    DWORD FirstUnreadableError() const { return m_firstUnreadableError; }

private:
    struct Placed {
        SectorSpan span;
        ULONGLONG before;  // sectors of the spans ahead of this one
    };

    // The cell of the sector `placed` sectors into the spans laid end to end;
    // whole numbers, so that a cell's sectors can be worked out back from it
    // (the product stays below 2^64 up to 2^50 sectors).
    size_t CellOf(ULONGLONG placed) const
    {
        const size_t cell = static_cast<size_t>(placed * m_cellCount / m_sectors);
        return cell < m_cellCount ? cell : m_cellCount - 1;
    }
    // A read's class (kNotRead: none) and fate raise the cell's own.
    void Raise(size_t cell, CellMark mark, CellFate fate)
    {
        m_reads[cell] = mark > m_reads[cell] ? mark : m_reads[cell];
        m_fates[cell] = fate > m_fates[cell] ? fate : m_fates[cell];
    }
    void Mark(ULONGLONG sector, CellMark mark, CellFate fate)
    {
        m_lastSector = sector;
        m_any = true;
        for (const Placed& p : m_placed) {
            if (sector < p.span.end) {
                if (sector < p.span.first) {
                    break;
                }
                Raise(CellOf(p.before + sector - p.span.first), mark, fate);
                return;
            }
        }
        ++m_outside;
    }

    // Calls each(cell) for every cell of the sectors [first, end) in the
    // spans they meet; false when they meet none.
    template <typename Each>
    bool ForEachCell(ULONGLONG first, ULONGLONG end, Each each) const
    {
        bool inside = false;
        for (const Placed& p : m_placed) {
            if (p.span.end <= first) {
                continue;
            }
            if (p.span.first >= end) {
                break;
            }
            const ULONGLONG from = std::max(first, p.span.first) - p.span.first + p.before;
            const ULONGLONG last = std::min(end, p.span.end) - 1 - p.span.first + p.before;
            for (size_t cell = CellOf(from), to = CellOf(last); cell <= to; ++cell) {
                each(cell);
            }
            inside = true;
        }
        return inside;
    }
    // Marks the cells of [first, first + count) in the spans it meets.
    void MarkSpan(ULONGLONG first, ULONGLONG count, CellMark mark, CellFate fate);
    // The worst fate of the sectors in the cell.
    CellFate FateOfCell(size_t cell, const SectorFates& fates) const;

    std::vector<SectorSpan> m_spans;
    std::vector<Placed> m_placed;
    ULONGLONG m_sectors = 0;
    size_t m_cellCount = 0;
    std::array<CellMark, kMaxCells> m_reads{};  // the worst class read, or kNotRead
    std::array<CellFate, kMaxCells> m_fates{};
    bool m_settled = false;
    std::array<ULONGLONG, kMarkCount> m_counts{};
    ULONGLONG m_outside = 0;
    ULONGLONG m_lastSector = 0;
    bool m_any = false;
    ULONGLONG m_firstFailedSector = 0;
    DWORD m_firstFailedError = 0;
    bool m_anyUnreadable = false;
    ULONGLONG m_firstUnreadable = 0;
    DWORD m_firstUnreadableError = 0;
};

}  // namespace hddiag
