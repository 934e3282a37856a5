// The component's disk report: its items, the drive letters behind them, and
// the selectors a run uses by default.
#pragma once

#include <string>
#include <vector>

#include "platform/win32.h"

namespace hddiag {

struct ReportItem {
    LONG disk = 0;
    LONG partition = 0;
    LONGLONG sizeMiB = 0;
    char letter = 0;  // 0 when no lettered volume answers for the item

    std::string Selector() const;  // "disk-partition"
};

// Splits "d-p-size,d-p-size,..." into items. False, with the items read so
// far, when an item is not three numbers joined by hyphens.
bool ParseReport(const std::string& text, std::vector<ReportItem>& items);

// What one lettered volume says about itself, as the report would name it.
struct VolumeLetter {
    char letter;
    LONG disk;
    LONG partition;
};

// Asks every lettered volume of the current OS seam for its disk and
// partition numbers, with the component's own device primitives.
std::vector<VolumeLetter> LookUpVolumeLetters();

// Gives each item the letter of the volume that produced it. The report
// lists volumes in letter order, so each item is matched from the letter of
// the item before it onwards.
void AssignLetters(std::vector<ReportItem>& items, const std::vector<VolumeLetter>& letters);

// Every reported partition once, in report order.
std::vector<std::string> DefaultSelectors(const std::vector<ReportItem>& items);

// Splits command-line items at commas, trims blanks, drops empty ones.
std::vector<std::string> SplitItems(const std::vector<std::string>& args);

// The disk a test's selection tests, by the component's own rule: the last
// item whose first number can be read names it ("0-1,1-2" tests disk 1);
// -1 when none can.
LONG TestedDisk(const std::string& selector);

std::string JoinItems(const std::vector<std::string>& items);

// Text conversions at the interface (the report and selectors are ASCII).
std::string Narrow(const wchar_t* text, size_t length);
std::wstring Widen(const std::string& text);

}  // namespace hddiag
