// The item text shared by a test's drive selector and the batch plan: items
// separated by commas, each read as "disk-partition".
#pragma once

#include <string>
#include <vector>

#include "drive/drive_selector.h"
#include "platform/win32.h"

namespace hdd {

enum class SplitResult { Ok, TooManyItems };

// Splits the text (up to its first NUL; null reads as empty) at commas. Only
// maximal runs of non-comma characters are items; each is stripped of white
// space at both ends (iswspace) and appended to items, even when that leaves
// it empty. When the text holds more than maxItems items nothing is appended.
// Throws std::bad_alloc when memory runs out.
SplitResult SplitSelectorItems(const WCHAR* pText, size_t maxItems, std::vector<std::wstring>& items);

// Reads an item as "%d-%d": white space and a sign allowed before each
// number, the hyphen right after the first one, anything after the second
// number ignored. Writes only the numbers it read (a number that does not fit
// in 32 signed bits is not read, and the reading stops there) and returns
// how many it read.
int ReadItemNumbers(const std::wstring& item, LONG& lDisk, LONG& lPartition);

// The extent rule: partition 1 runs from byte 0 of the disk to its own end;
// every other partition covers its own byte range.
inline void ApplyExtentRule(PartitionExtent& extent, LONGLONG llStartingOffset, LONGLONG llPartitionLength)
{
    const ULONGLONG ullStart = static_cast<ULONGLONG>(llStartingOffset);
    const ULONGLONG ullLength = static_cast<ULONGLONG>(llPartitionLength);
    if (extent.nPartition == 1) {
        extent.ullStartingOffset = 0;
        extent.ullLength = ullStart + ullLength;
    } else {
        extent.ullStartingOffset = ullStart;
        extent.ullLength = ullLength;
    }
}

}  // namespace hdd
