#include "scan/bad_blocks.h"

#include <algorithm>

namespace hdd::scan {

void ForEachBadBlock(const RangeMap& map, ULONGLONG targetPos, ULONGLONG targetBytes, DWORD unitBytes,
                     const std::function<void(ULONGLONG unit)>& unit)
{
    if (unitBytes == 0 || targetBytes == 0) {
        return;
    }
    const ULONGLONG end = targetPos + targetBytes;
    bool any = false;
    ULONGLONG lastListed = 0;
    ULONGLONG from = targetPos;
    MapRange bad;
    while (map.FindFirst(SectorState::Unreadable, from, end, bad)) {
        ULONGLONG first = (bad.pos - targetPos) / unitBytes;
        const ULONGLONG last = (bad.End() - 1 - targetPos) / unitBytes;
        // Two unreadable areas in one unit list it once.
        if (any && first <= lastListed) {
            first = lastListed + 1;
        }
        for (ULONGLONG u = first; u <= last; ++u) {
            unit(u);
        }
        if (first <= last) {
            lastListed = last;
            any = true;
        }
        from = bad.End();
    }
}

std::string BadBlocksText(const RangeMap& map, ULONGLONG targetPos, ULONGLONG targetBytes, DWORD unitBytes)
{
    std::string text;
    ForEachBadBlock(map, targetPos, targetBytes, unitBytes, [&text](ULONGLONG u) {
        text += std::to_string(u);
        text += '\n';
    });
    return text;
}

}  // namespace hdd::scan
