// Slow areas kept in a map file's comment lines ("# slow_area: first=...
// sectors=... worst_ns=..."), so that a resumed scan still knows the slow
// reads of the runs before it. The other tool and ddrescuelog skip comments.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "scan/scan_engine.h"

namespace hdd::scan {

// The comment text of one area, without the leading '#'.
std::string SlowAreaComment(const SlowArea& area);

// Every slow-area comment line of a map's text, in order; lines that do not
// read as one are skipped (a comment is anyone's to write).
std::vector<SlowArea> ReadSlowAreaComments(std::string_view mapText);

// A read that took `ns` added to the areas, merged with the last one when it
// continues it (the scan's own rule for its list).
void AddSlowRead(std::vector<SlowArea>& areas, ULONGLONG firstSector, ULONGLONG sectors, ULONGLONG ns);

// Both lists as one, sorted, overlapping or touching areas merged (the worst
// of them kept).
std::vector<SlowArea> MergeSlowAreas(std::vector<SlowArea> a, const std::vector<SlowArea>& b);

}  // namespace hdd::scan
