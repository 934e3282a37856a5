// A scan's range map as the states the cells of its picture settle on.
#pragma once

#include "platform/win32.h"
#include "scan/range_map.h"
#include "tools/hddiag/latency/read_map.h"

namespace hddiag {

class MapFates final : public SectorFates {
public:
    MapFates(const hdd::scan::RangeMap& map, ULONGLONG sectorBytes) : m_map(map), m_sectorBytes(sectorBytes) {}

    // Unreadable when any sector is, unsettled when any is not trimmed or not
    // scraped, read when any is read, else untried. No allocation.
    CellFate FateOf(ULONGLONG first, ULONGLONG end) const override;

private:
    const hdd::scan::RangeMap& m_map;
    ULONGLONG m_sectorBytes;
};

}  // namespace hddiag
