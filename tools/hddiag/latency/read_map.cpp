#include "tools/hddiag/latency/read_map.h"

#include <algorithm>

namespace hddiag {

void ReadMap::Begin(std::vector<SectorSpan> spans)
{
    std::sort(spans.begin(), spans.end(),
              [](const SectorSpan& a, const SectorSpan& b) { return a.first < b.first; });
    m_spans.clear();
    for (const SectorSpan& s : spans) {
        if (s.end <= s.first) {
            continue;
        }
        if (!m_spans.empty() && s.first <= m_spans.back().end) {
            m_spans.back().end = std::max(m_spans.back().end, s.end);
        } else {
            m_spans.push_back(s);
        }
    }
    m_placed.clear();
    m_sectors = 0;
    for (const SectorSpan& s : m_spans) {
        m_placed.push_back({s, m_sectors});
        m_sectors += s.end - s.first;
    }
    m_cellCount = static_cast<size_t>(std::min<ULONGLONG>(m_sectors, kMaxCells));
    m_scale = m_sectors == 0 ? 0.0 : static_cast<double>(m_cellCount) / static_cast<double>(m_sectors);
    m_cells.fill(kNotRead);
    m_counts.fill(0);
    m_outside = 0;
    m_lastSector = 0;
    m_any = false;
    m_firstFailedSector = 0;
    m_firstFailedError = 0;
}

void ReadMap::MarkSpan(ULONGLONG first, ULONGLONG count, CellMark mark)
{
    if (count == 0) {
        return;
    }
    const ULONGLONG end = first + count;
    m_lastSector = end - 1;
    m_any = true;
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
        const auto cellOf = [this](ULONGLONG placed) {
            const size_t cell = static_cast<size_t>(static_cast<double>(placed) * m_scale);
            return cell < m_cellCount ? cell : m_cellCount - 1;
        };
        for (size_t cell = cellOf(from), to = cellOf(last); cell <= to; ++cell) {
            m_cells[cell] = mark > m_cells[cell] ? mark : m_cells[cell];
        }
        inside = true;
    }
    if (!inside) {
        ++m_outside;
    }
}

ULONGLONG ReadMap::CellFirstSector(size_t i) const
{
    if (m_cellCount == 0) {
        return 0;
    }
    // The least offset o with floor(o * cells / sectors) >= i, as Mark places it.
    const ULONGLONG offset = (static_cast<ULONGLONG>(i) * m_sectors + m_cellCount - 1) / m_cellCount;
    for (const Placed& p : m_placed) {
        if (offset < p.before + (p.span.end - p.span.first)) {
            return p.span.first + (offset - p.before);
        }
    }
    return m_spans.back().end - 1;
}

CellMark ReadMap::Worst(size_t from, size_t to) const
{
    CellMark worst = kNotRead;
    for (size_t i = from; i < to && i < m_cellCount; ++i) {
        worst = std::max(worst, m_cells[i]);
    }
    return worst;
}

ULONGLONG ReadMap::Reads() const
{
    ULONGLONG reads = 0;
    for (ULONGLONG n : m_counts) {
        reads += n;
    }
    return reads;
}

}  // namespace hddiag
