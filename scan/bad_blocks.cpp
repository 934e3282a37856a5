#include "scan/bad_blocks.h"

namespace hdd::scan {

void ForEachBadBlock(const RangeMap&, ULONGLONG, ULONGLONG, DWORD, const std::function<void(ULONGLONG)>&) {}

std::string BadBlocksText(const RangeMap&, ULONGLONG, ULONGLONG, DWORD) { return {}; }

}  // namespace hdd::scan
