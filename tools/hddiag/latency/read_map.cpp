#include "tools/hddiag/latency/read_map.h"

#include <algorithm>

namespace hddiag {

size_t MarkRank(CellMark mark)
{
    // Read earlier is below every class of this run's reads; unsettled below
    // an unreadable sector.
    static constexpr size_t kRanks[kMarkCount] = {0, 2, 3, 4, 5, 6, 7, 9, 8, 1};
    return mark < kMarkCount ? kRanks[mark] : 0;
}

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
    m_reads.fill(kNotRead);
    m_fates.fill(CellFate::Untried);
    m_settled = false;
    m_counts.fill(0);
    m_outside = 0;
    m_lastSector = 0;
    m_any = false;
    m_firstFailedSector = 0;
    m_firstFailedError = 0;
    m_anyUnreadable = false;
    m_firstUnreadable = 0;
    m_firstUnreadableError = 0;
}

void ReadMap::MarkSpan(ULONGLONG first, ULONGLONG count, CellMark mark, CellFate fate)
{
    if (count == 0) {
        return;
    }
    const ULONGLONG end = first + count;
    m_lastSector = end - 1;
    m_any = true;
    if (!ForEachCell(first, end, [&](size_t cell) { Raise(cell, mark, fate); })) {
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

CellFate ReadMap::FateOfCell(size_t cell, const SectorFates& fates) const
{
    // The sectors whose CellOf is this cell: [ceil(cell * S / C), ceil((cell + 1) * S / C)).
    const auto startOf = [this](ULONGLONG c) { return (c * m_sectors + m_cellCount - 1) / m_cellCount; };
    const ULONGLONG from = startOf(cell);
    const ULONGLONG to = startOf(cell + 1);
    CellFate worst = CellFate::Untried;
    for (const Placed& p : m_placed) {
        const ULONGLONG spanEnd = p.before + (p.span.end - p.span.first);
        if (spanEnd <= from) {
            continue;
        }
        if (p.before >= to) {
            break;
        }
        const ULONGLONG a = std::max(from, p.before) - p.before + p.span.first;
        const ULONGLONG b = std::min(to, spanEnd) - p.before + p.span.first;
        worst = std::max(worst, fates.FateOf(a, b));
    }
    return worst;
}

void ReadMap::Settle(ULONGLONG first, ULONGLONG count, const SectorFates& fates)
{
    m_settled = true;
    if (count == 0) {
        return;
    }
    ForEachCell(first, first + count, [&](size_t cell) { m_fates[cell] = FateOfCell(cell, fates); });
}

void ReadMap::SettleAll(const SectorFates& fates)
{
    m_settled = true;
    for (size_t cell = 0; cell < m_cellCount; ++cell) {
        m_fates[cell] = FateOfCell(cell, fates);
    }
}

CellMark ReadMap::Worst(size_t from, size_t to) const
{
    CellMark worst = kNotRead;
    for (size_t i = from; i < to && i < m_cellCount; ++i) {
        const CellMark mark = Cell(i);
        worst = MarkRank(mark) > MarkRank(worst) ? mark : worst;
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
