#include "scan/range_map.h"

#include <algorithm>

namespace hdd::scan {

void RangeMap::Reset(ULONGLONG diskBytes)
{
    m_diskBytes = diskBytes;
    m_ranges.clear();
    if (diskBytes != 0) {
        m_ranges.push_back(MapRange{0, diskBytes, SectorState::Untried});
    }
    m_phase = ScanPhase::FastPass;
    m_position = 0;
    m_pass = 1;
}

bool RangeMap::Assign(ULONGLONG diskBytes, std::vector<MapRange> ranges)
{
    ULONGLONG at = 0;
    for (const MapRange& r : ranges) {
        if (r.pos != at || r.size == 0 || r.size > diskBytes - at) {
            return false;
        }
        at += r.size;
    }
    if (at != diskBytes) {
        return false;
    }
    // Merge neighbours of one state, as Set keeps them.
    std::vector<MapRange> merged;
    merged.reserve(ranges.size());
    for (const MapRange& r : ranges) {
        if (!merged.empty() && merged.back().state == r.state) {
            merged.back().size += r.size;
        } else {
            merged.push_back(r);
        }
    }
    m_diskBytes = diskBytes;
    m_ranges = std::move(merged);
    return true;
}

size_t RangeMap::IndexOf(ULONGLONG pos) const
{
    // The last range starting at or before pos.
    const auto it = std::upper_bound(m_ranges.begin(), m_ranges.end(), pos,
                                     [](ULONGLONG p, const MapRange& r) { return p < r.pos; });
    return static_cast<size_t>(it - m_ranges.begin()) - 1;
}

SectorState RangeMap::StateAt(ULONGLONG pos) const
{
    return pos < m_diskBytes ? m_ranges[IndexOf(pos)].state : SectorState::Untried;
}

void RangeMap::Set(ULONGLONG pos, ULONGLONG bytes, SectorState state)
{
    if (pos >= m_diskBytes || bytes == 0) {
        return;
    }
    const ULONGLONG end = pos + std::min(bytes, m_diskBytes - pos);
    // The slice [first, last) of ranges the new one touches, widened by a
    // neighbour of the same state that it merges with.
    size_t first = IndexOf(pos);
    size_t last = IndexOf(end - 1) + 1;
    ULONGLONG newPos = pos;
    ULONGLONG newEnd = end;
    MapRange pieces[3];
    size_t count = 0;
    const MapRange head = m_ranges[first];
    const MapRange tail = m_ranges[last - 1];
    if (head.pos < pos) {
        if (head.state == state) {
            newPos = head.pos;
        } else {
            pieces[count++] = MapRange{head.pos, pos - head.pos, head.state};
        }
    } else if (first > 0 && m_ranges[first - 1].state == state) {
        --first;
        newPos = m_ranges[first].pos;
    }
    const bool tailLeft = tail.End() > end;
    if (tailLeft && tail.state == state) {
        newEnd = tail.End();
    } else if (!tailLeft && last < m_ranges.size() && m_ranges[last].state == state) {
        newEnd = m_ranges[last].End();
        ++last;
    }
    pieces[count++] = MapRange{newPos, newEnd - newPos, state};
    if (tailLeft && tail.state != state) {
        pieces[count++] = MapRange{end, tail.End() - end, tail.state};
    }
    // Overwrite the slice in place; insert or erase only the difference.
    const size_t slice = last - first;
    const size_t common = std::min(slice, count);
    std::copy(pieces, pieces + common, m_ranges.begin() + static_cast<std::ptrdiff_t>(first));
    if (count > slice) {
        m_ranges.insert(m_ranges.begin() + static_cast<std::ptrdiff_t>(first + common), pieces + common,
                        pieces + count);
    } else if (slice > count) {
        m_ranges.erase(m_ranges.begin() + static_cast<std::ptrdiff_t>(first + common),
                       m_ranges.begin() + static_cast<std::ptrdiff_t>(last));
    }
}

bool RangeMap::FindFirst(SectorState state, ULONGLONG from, ULONGLONG to, MapRange& found) const
{
    to = std::min(to, m_diskBytes);
    if (from >= to) {
        return false;
    }
    for (size_t i = IndexOf(from); i < m_ranges.size() && m_ranges[i].pos < to; ++i) {
        const MapRange& r = m_ranges[i];
        if (r.state == state) {
            const ULONGLONG a = std::max(r.pos, from);
            found = MapRange{a, std::min(r.End(), to) - a, state};
            return true;
        }
    }
    return false;
}

bool RangeMap::FindLast(SectorState state, ULONGLONG from, ULONGLONG to, MapRange& found) const
{
    to = std::min(to, m_diskBytes);
    if (from >= to) {
        return false;
    }
    const size_t lo = IndexOf(from);
    for (size_t i = IndexOf(to - 1) + 1; i-- > lo;) {
        const MapRange& r = m_ranges[i];
        if (r.state == state) {
            const ULONGLONG a = std::max(r.pos, from);
            found = MapRange{a, std::min(r.End(), to) - a, state};
            return true;
        }
    }
    return false;
}

ULONGLONG RangeMap::BytesIn(SectorState state, ULONGLONG from, ULONGLONG to) const
{
    to = std::min(to, m_diskBytes);
    ULONGLONG bytes = 0;
    for (size_t i = from < to ? IndexOf(from) : m_ranges.size(); i < m_ranges.size() && m_ranges[i].pos < to; ++i) {
        const MapRange& r = m_ranges[i];
        if (r.state == state) {
            bytes += std::min(r.End(), to) - std::max(r.pos, from);
        }
    }
    return bytes;
}

ULONGLONG RangeMap::AreasIn(SectorState state, ULONGLONG from, ULONGLONG to) const
{
    to = std::min(to, m_diskBytes);
    ULONGLONG areas = 0;
    for (size_t i = from < to ? IndexOf(from) : m_ranges.size(); i < m_ranges.size() && m_ranges[i].pos < to; ++i) {
        areas += m_ranges[i].state == state ? 1 : 0;
    }
    return areas;
}

}  // namespace hdd::scan
