#include "tools/hddiag/scanning/scan_targets.h"

#include <algorithm>
#include <cctype>
#include <climits>

#include "tools/hddiag/host/output_file.h"
#include "tools/hddiag/text/text_escape.h"

namespace hddiag {

namespace {

std::optional<ULONGLONG> Digits(const std::string& text, ULONGLONG limit)
{
    if (text.empty() || text.size() > 10) {
        return std::nullopt;
    }
    ULONGLONG value = 0;
    for (char c : text) {
        if (std::isdigit(static_cast<unsigned char>(c)) == 0) {
            return std::nullopt;
        }
        value = value * 10 + static_cast<ULONGLONG>(c - '0');
    }
    return value <= limit ? std::optional<ULONGLONG>(value) : std::nullopt;
}

bool SameText(const std::string& a, const std::string& b, bool anyCase)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [anyCase](char x, char y) {
               return anyCase ? std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y))
                              : x == y;
           });
}

}  // namespace

std::optional<LONG> PhysicalDriveNumber(const std::string& text)
{
    const std::string prefix = "\\\\.\\physicaldrive";
    if (text.size() <= prefix.size() || !SameText(text.substr(0, prefix.size()), prefix, true)) {
        return std::nullopt;
    }
    const std::optional<ULONGLONG> n = Digits(text.substr(prefix.size()), LONG_MAX);
    return n ? std::optional<LONG>(static_cast<LONG>(*n)) : std::nullopt;
}

const ScanDiskInfo* FindDiskByDevice(const std::vector<ScanDiskInfo>& disks, const std::string& text)
{
    if (text.empty()) {
        return nullptr;
    }
    const std::optional<LONG> drive = PhysicalDriveNumber(text);
    for (const ScanDiskInfo& d : disks) {
        const DiskRow& r = d.row;
        if ((drive && SameText(r.path, text, true)) || text == r.path ||
            (!r.device.empty() && (text == r.device || text == "/dev/" + r.device))) {
            return &d;
        }
    }
    // Another name of the same node: a stable one (/dev/disk/by-id/...) or a link.
    const host::PathFacts named = host::InspectPath(text);
    if (named.kind == host::FileKind::Missing) {
        return nullptr;
    }
    for (const ScanDiskInfo& d : disks) {
        const host::PathFacts facts = host::InspectPath(d.row.path);
        if (facts.kind != host::FileKind::Missing && facts.id == named.id) {
            return &d;
        }
    }
    return nullptr;
}

std::optional<TargetName> ParseTargetName(const std::string& text)
{
    const size_t dash = text.find('-');
    const std::optional<ULONGLONG> disk = Digits(text.substr(0, dash), LONG_MAX);
    if (!disk) {
        return std::nullopt;
    }
    TargetName name;
    name.disk = static_cast<LONG>(*disk);
    if (dash != std::string::npos) {
        const std::optional<ULONGLONG> partition = Digits(text.substr(dash + 1), 0xFFFFFFFFull);
        if (!partition || *partition == 0) {
            return std::nullopt;
        }
        name.partition = static_cast<DWORD>(*partition);
    }
    return name;
}

const ScanDiskInfo* FindScanDisk(const std::vector<ScanDiskInfo>& disks, LONG disk)
{
    for (const ScanDiskInfo& d : disks) {
        if (d.row.disk == disk) {
            return &d;
        }
    }
    return nullptr;
}

bool ResolveTargets(const std::vector<std::string>& texts, const std::vector<ScanDiskInfo>& disks,
                    std::vector<DiskTarget>& targets, std::string& error)
{
    targets.clear();
    for (const std::string& text : texts) {
        std::optional<TargetName> name = ParseTargetName(text);
        if (!name) {
            if (const ScanDiskInfo* byDevice = FindDiskByDevice(disks, text)) {
                name = TargetName{byDevice->row.disk, 0};
            } else {
                error = "'" + Printable(text) +
                        "' is not a target: give a disk number (1), one partition (1-2) or a disk's device "
                        "(/dev/sdb, /dev/disk/by-id/...)";
                return false;
            }
        }
        const ScanDiskInfo* disk = FindScanDisk(disks, name->disk);
        if (disk == nullptr) {
            error = "target " + text + ": there is no disk " + std::to_string(name->disk);
            return false;
        }
        if (!disk->unusable.empty()) {
            error = "target " + text + ": disk " + std::to_string(name->disk) + " cannot be read: " +
                    Printable(disk->unusable);
            return false;
        }
        DiskTarget target;
        target.text = text;
        target.disk = name->disk;
        target.partition = name->partition;
        const ULONGLONG sector = disk->sectorSize;
        if (name->partition == 0) {
            target.sectors = disk->row.size / sector;
        } else {
            const auto p = std::find_if(disk->partitions.begin(), disk->partitions.end(),
                                        [&](const ScanPartition& q) { return q.number == name->partition; });
            if (p == disk->partitions.end()) {
                error = "target " + text + ": disk " + std::to_string(name->disk) + " has no partition " +
                        std::to_string(name->partition);
                return false;
            }
            const ULONGLONG end = std::min(p->offset + p->length, disk->row.size) / sector;
            target.firstSector = (p->offset + sector - 1) / sector;
            target.sectors = end > target.firstSector ? end - target.firstSector : 0;
        }
        if (target.sectors == 0) {
            error = "target " + text + " holds no whole sector";
            return false;
        }
        const bool repeated = std::any_of(targets.begin(), targets.end(), [&](const DiskTarget& t) {
            return t.disk == target.disk && t.firstSector == target.firstSector && t.sectors == target.sectors;
        });
        if (!repeated) {
            targets.push_back(std::move(target));
        }
    }
    return true;
}

std::vector<std::vector<DiskTarget>> GroupByDisk(const std::vector<DiskTarget>& targets)
{
    std::vector<std::vector<DiskTarget>> groups;
    for (const DiskTarget& t : targets) {
        const auto group = std::find_if(groups.begin(), groups.end(),
                                        [&](const std::vector<DiskTarget>& g) { return g.front().disk == t.disk; });
        if (group == groups.end()) {
            groups.push_back({t});
        } else {
            group->push_back(t);
        }
    }
    return groups;
}

}  // namespace hddiag
