#include "tools/hddiag/scanning/map_fates.h"

#include <algorithm>

namespace hddiag {

CellFate MapFates::FateOf(ULONGLONG first, ULONGLONG end) const
{
    using hdd::scan::MapRange;
    using hdd::scan::SectorState;
    const ULONGLONG from = first * m_sectorBytes;
    const ULONGLONG to = end * m_sectorBytes;
    if (from >= m_map.DiskBytes()) {
        return CellFate::Untried;
    }
    const std::vector<MapRange>& ranges = m_map.Ranges();
    // The last range starting at or before `from`.
    auto it = std::upper_bound(ranges.begin(), ranges.end(), from,
                               [](ULONGLONG pos, const MapRange& r) { return pos < r.pos; });
    if (it != ranges.begin()) {
        --it;
    }
    CellFate worst = CellFate::Untried;
    for (; it != ranges.end() && it->pos < to; ++it) {
        switch (it->state) {
        case SectorState::Unreadable:
            return CellFate::Unreadable;
        case SectorState::NotTrimmed:
        case SectorState::NotScraped:
            worst = CellFate::Unsettled;
            break;
        case SectorState::Read:
            worst = std::max(worst, CellFate::Read);
            break;
        case SectorState::Untried:
            break;
        }
    }
    return worst;
}

}  // namespace hddiag
