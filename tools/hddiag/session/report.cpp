#include "tools/hddiag/session/report.h"

#include <algorithm>

#include "drive/device.h"
#include "drive/selector_items.h"
#include "platform/os_api.h"

namespace hddiag {

namespace {

// A signed decimal number at text[pos...]; advances pos past it.
bool ReadNumber(const std::string& text, size_t& pos, LONGLONG& value)
{
    bool negative = false;
    if (pos < text.size() && text[pos] == '-') {
        negative = true;
        ++pos;
    }
    const size_t start = pos;
    ULONGLONG magnitude = 0;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
        if (magnitude > 0x0CCCCCCCCCCCCCCCull) {
            return false;  // would overflow
        }
        magnitude = magnitude * 10 + static_cast<ULONGLONG>(text[pos] - '0');
        ++pos;
    }
    if (pos == start || magnitude > 0x7FFFFFFFFFFFFFFFull) {
        return false;
    }
    value = negative ? -static_cast<LONGLONG>(magnitude) : static_cast<LONGLONG>(magnitude);
    return true;
}

bool Fits32(LONGLONG v) { return v >= -2147483648LL && v <= 2147483647LL; }

bool ParseItem(const std::string& text, ReportItem& item)
{
    size_t pos = 0;
    LONGLONG disk = 0;
    LONGLONG partition = 0;
    LONGLONG size = 0;
    if (!ReadNumber(text, pos, disk) || pos >= text.size() || text[pos++] != '-' ||
        !ReadNumber(text, pos, partition) || pos >= text.size() || text[pos++] != '-' ||
        !ReadNumber(text, pos, size) || pos != text.size() || !Fits32(disk) || !Fits32(partition)) {
        return false;
    }
    item.disk = static_cast<LONG>(disk);
    item.partition = static_cast<LONG>(partition);
    item.sizeMiB = size;
    return true;
}

std::string Trim(const std::string& text)
{
    const char* blanks = " \t\r\n";
    const size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

}  // namespace

std::string ReportItem::Selector() const { return std::to_string(disk) + "-" + std::to_string(partition); }

bool ParseReport(const std::string& text, std::vector<ReportItem>& items)
{
    items.clear();
    if (text.empty()) {
        return true;
    }
    size_t start = 0;
    while (true) {
        const size_t comma = text.find(',', start);
        ReportItem item;
        if (!ParseItem(text.substr(start, comma == std::string::npos ? std::string::npos : comma - start), item)) {
            return false;
        }
        items.push_back(item);
        if (comma == std::string::npos) {
            return true;
        }
        start = comma + 1;
    }
}

std::vector<VolumeLetter> LookUpVolumeLetters()
{
    std::vector<VolumeLetter> letters;
    const DWORD mask = hdd::Os().GetLogicalDrives();
    for (int i = 0; i < 26; ++i) {
        if ((mask & (1u << i)) != 0) {
            const WCHAR letter = static_cast<WCHAR>(L'A' + i);
            letters.push_back({static_cast<char>('A' + i), hdd::VolumeDiskNumber(letter),
                               hdd::VolumePartitionNumber(letter)});
        }
    }
    return letters;
}

void AssignLetters(std::vector<ReportItem>& items, const std::vector<VolumeLetter>& letters)
{
    size_t from = 0;
    for (ReportItem& item : items) {
        item.letter = 0;
        for (size_t i = from; i < letters.size(); ++i) {
            if (letters[i].disk == item.disk && letters[i].partition == item.partition) {
                item.letter = letters[i].letter;
                from = i;  // a volume with several extents gives several items
                break;
            }
        }
    }
}

std::vector<std::string> DefaultSelectors(const std::vector<ReportItem>& items)
{
    std::vector<std::string> selectors;
    for (const ReportItem& item : items) {
        std::string selector = item.Selector();
        if (std::find(selectors.begin(), selectors.end(), selector) == selectors.end()) {
            selectors.push_back(std::move(selector));
        }
    }
    return selectors;
}

std::vector<std::string> SplitItems(const std::vector<std::string>& args)
{
    std::vector<std::string> items;
    for (const std::string& arg : args) {
        size_t start = 0;
        while (start <= arg.size()) {
            size_t comma = arg.find(',', start);
            if (comma == std::string::npos) {
                comma = arg.size();
            }
            std::string item = Trim(arg.substr(start, comma - start));
            if (!item.empty()) {
                items.push_back(std::move(item));
            }
            start = comma + 1;
        }
    }
    return items;
}

LONG TestedDisk(const std::string& selector)
{
    LONG disk = -1;
    for (const std::string& item : SplitItems({selector})) {
        LONG partition = 0;
        (void)hdd::ReadItemNumbers(Widen(item), disk, partition);
    }
    return disk;
}

std::string JoinItems(const std::vector<std::string>& items)
{
    std::string joined;
    for (const std::string& item : items) {
        if (!joined.empty()) {
            joined += ',';
        }
        joined += item;
    }
    return joined;
}

std::string Narrow(const wchar_t* text, size_t length)
{
    std::string narrow;
    narrow.reserve(length);
    for (size_t i = 0; i < length; ++i) {
        const wchar_t c = text[i];
        narrow += static_cast<ULONG>(c) < 0x80 ? static_cast<char>(c) : '?';
    }
    return narrow;
}

std::wstring Widen(const std::string& text)
{
    std::wstring wide;
    wide.reserve(text.size());
    for (unsigned char c : text) {
        wide += static_cast<wchar_t>(c);
    }
    return wide;
}

}  // namespace hddiag
