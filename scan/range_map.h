// The map of a full scan: what is known about every byte of a disk, as a
// sorted list of ranges that cover the disk with no gap or overlap. Memory
// grows with the number of areas (an unreadable spot splits one range into
// three), never with the disk's size.
#pragma once

#include <vector>

#include "platform/win32.h"

namespace hdd::scan {

// What is known about a range; the characters are the map file's.
enum class SectorState : char {
    Untried = '?',     // not read yet
    NotTrimmed = '*',  // in a failed or skipped block of the fast pass
    NotScraped = '/',  // between the first unreadable sectors the trim found
    Unreadable = '-',  // a one-sector read of it failed
    Read = '+',        // read without error
};

// The phase a scan is in (or was in when its map was saved); the characters
// are the map file's status-line characters.
enum class ScanPhase : char {
    FastPass = '?',
    Trim = '*',
    Scrape = '/',
    Finished = '+',
};

struct MapRange {
    ULONGLONG pos = 0;   // bytes from the disk's start
    ULONGLONG size = 0;  // bytes, never 0
    SectorState state = SectorState::Untried;
    ULONGLONG End() const { return pos + size; }
    bool operator==(const MapRange&) const = default;
};

class RangeMap {
public:
    RangeMap() = default;
    // A map of a disk of `diskBytes` bytes, all untried.
    explicit RangeMap(ULONGLONG diskBytes) { Reset(diskBytes); }

    void Reset(ULONGLONG diskBytes);
    ULONGLONG DiskBytes() const { return m_diskBytes; }

    // Gives [pos, pos + bytes) the state, clipped to the disk; neighbours of
    // one state merge. Extending the range before and shrinking the one after
    // (each read of a pass) moves two boundaries in place: no allocation.
    void Set(ULONGLONG pos, ULONGLONG bytes, SectorState state);
    SectorState StateAt(ULONGLONG pos) const;

    // The ranges in order, merged; empty for a disk of 0 bytes.
    const std::vector<MapRange>& Ranges() const { return m_ranges; }

    // The first range in `state` that reaches into [from, to), clipped to
    // it; false when there is none.
    bool FindFirst(SectorState state, ULONGLONG from, ULONGLONG to, MapRange& found) const;
    // The same from the other end: the last such range, clipped.
    bool FindLast(SectorState state, ULONGLONG from, ULONGLONG to, MapRange& found) const;
    // Bytes and separate areas in `state` within [from, to).
    ULONGLONG BytesIn(SectorState state, ULONGLONG from, ULONGLONG to) const;
    ULONGLONG AreasIn(SectorState state, ULONGLONG from, ULONGLONG to) const;

    // Where the scan stands: its phase, the pass within the block phase (1
    // forward with skips, 2 backward, 3 forward without skips; the map
    // file's current_pass) and the byte where it goes on.
    ScanPhase Phase() const { return m_phase; }
    ULONGLONG Position() const { return m_position; }
    DWORD Pass() const { return m_pass; }
    void SetProgress(ScanPhase phase, ULONGLONG position, DWORD pass = 1)
    {
        m_phase = phase;
        m_position = position;
        m_pass = pass;
    }

    // Replaces the ranges wholesale (a parsed map file); false, leaving the
    // map alone, when they do not cover [0, diskBytes) exactly in order.
    bool Assign(ULONGLONG diskBytes, std::vector<MapRange> ranges);

private:
    size_t IndexOf(ULONGLONG pos) const;  // the range holding pos; pos < m_diskBytes

    ULONGLONG m_diskBytes = 0;
    std::vector<MapRange> m_ranges;
    ScanPhase m_phase = ScanPhase::FastPass;
    ULONGLONG m_position = 0;
    DWORD m_pass = 1;
};

}  // namespace hdd::scan
