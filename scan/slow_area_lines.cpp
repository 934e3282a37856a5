#include "scan/slow_area_lines.h"

#include <algorithm>
#include <charconv>

namespace hdd::scan {

namespace {

constexpr std::string_view kPrefix = "slow_area:";

// "key=digits" at the front of text, which it then leaves.
bool Field(std::string_view& text, std::string_view key, ULONGLONG& value)
{
    while (!text.empty() && text.front() == ' ') {
        text.remove_prefix(1);
    }
    if (text.substr(0, key.size()) != key || text.size() <= key.size() || text[key.size()] != '=') {
        return false;
    }
    text.remove_prefix(key.size() + 1);
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end == text.data()) {
        return false;
    }
    text.remove_prefix(static_cast<size_t>(end - text.data()));
    return true;
}

}  // namespace

std::string SlowAreaComment(const SlowArea& area)
{
    return std::string(kPrefix) + " first=" + std::to_string(area.firstSector) +
           " sectors=" + std::to_string(area.sectors) + " worst_ns=" + std::to_string(area.worstNs);
}

std::vector<SlowArea> ReadSlowAreaComments(std::string_view text)
{
    std::vector<SlowArea> areas;
    while (!text.empty()) {
        const size_t nl = text.find('\n');
        std::string_view line = text.substr(0, nl);
        text.remove_prefix(nl == std::string_view::npos ? text.size() : nl + 1);
        if (line.empty() || line.front() != '#') {
            continue;
        }
        line.remove_prefix(1);
        while (!line.empty() && line.front() == ' ') {
            line.remove_prefix(1);
        }
        if (line.substr(0, kPrefix.size()) != kPrefix) {
            continue;
        }
        line.remove_prefix(kPrefix.size());
        SlowArea a;
        if (Field(line, "first", a.firstSector) && Field(line, "sectors", a.sectors) &&
            Field(line, "worst_ns", a.worstNs) && a.sectors != 0 && a.firstSector + a.sectors > a.firstSector) {
            areas.push_back(a);
        }
    }
    return areas;
}

void AddSlowRead(std::vector<SlowArea>& areas, ULONGLONG firstSector, ULONGLONG sectors, ULONGLONG ns)
{
    if (!areas.empty() && areas.back().firstSector + areas.back().sectors == firstSector) {
        areas.back().sectors += sectors;
        areas.back().worstNs = std::max(areas.back().worstNs, ns);
    } else {
        areas.push_back(SlowArea{firstSector, sectors, ns});
    }
}

std::vector<SlowArea> MergeSlowAreas(std::vector<SlowArea> a, const std::vector<SlowArea>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    std::sort(a.begin(), a.end(), [](const SlowArea& x, const SlowArea& y) { return x.firstSector < y.firstSector; });
    std::vector<SlowArea> merged;
    for (const SlowArea& s : a) {
        if (!merged.empty() && s.firstSector <= merged.back().firstSector + merged.back().sectors) {
            SlowArea& m = merged.back();
            const ULONGLONG end = std::max(m.firstSector + m.sectors, s.firstSector + s.sectors);
            m.sectors = end - m.firstSector;
            m.worstNs = std::max(m.worstNs, s.worstNs);
        } else {
            merged.push_back(s);
        }
    }
    return merged;
}

}  // namespace hdd::scan
