#include "platform/linux/system_disks.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "platform/linux/sysfs_text.h"

namespace hdd::blockdev {

namespace fs = std::filesystem;

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

bool StartsWith(const std::string& text, const std::string& prefix) { return text.rfind(prefix, 0) == 0; }

// A path component of the form <word><digits> (usb2, ata1, fw0) or <word> alone.
bool ComponentIs(const std::string& component, const std::string& word, bool digitsFollow)
{
    if (!StartsWith(component, word)) {
        return false;
    }
    if (!digitsFollow) {
        return component.size() == word.size();
    }
    return component.size() > word.size() &&
           std::all_of(component.begin() + static_cast<std::ptrdiff_t>(word.size()), component.end(), IsDigit);
}

std::vector<std::string> Components(const std::string& path)
{
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= path.size()) {
        size_t slash = path.find('/', start);
        if (slash == std::string::npos) {
            slash = path.size();
        }
        if (slash > start) {
            parts.push_back(path.substr(start, slash - start));
        }
        start = slash + 1;
    }
    return parts;
}

bool AnyComponent(const std::vector<std::string>& parts, const std::string& word, bool digitsFollow)
{
    return std::any_of(parts.begin(), parts.end(),
                       [&](const std::string& c) { return ComponentIs(c, word, digitsFollow); });
}

// /sys/block/NAME/size counts 512-byte units whatever the sector size.
ULONGLONG SysfsSize(const fs::path& block)
{
    const std::string text = ReadSysfsLine(block / "size");
    return !text.empty() && std::all_of(text.begin(), text.end(), IsDigit) && text.size() < 19
               ? std::stoull(text) * 512
               : 0;
}

enum class Group { Device = 0, Md = 1, Loop = 2, None = 3 };

Group GroupOf(const fs::path& block, const std::string& name)
{
    std::error_code ec;
    if (StartsWith(name, "loop")) {
        return ReadSysfsLine(block / "loop" / "backing_file").empty() ? Group::None : Group::Loop;
    }
    if (StartsWith(name, "md") && fs::is_directory(block / "md", ec)) {
        return Group::Md;
    }
    if (fs::exists(block / "device", ec)) {
        return Group::Device;
    }
    return Group::None;
}

// A kernel disk name split for ordering: the driver's family, the index the
// letter-named families (sda, vdb, hdc, xvdd) spell in letters, and the rest.
struct NameKey {
    std::string family;
    ULONGLONG letters = 0;  // a=1 ... z=26, aa=27, ...
    std::string rest;
};

NameKey KeyOf(const std::string& name)
{
    NameKey key;
    for (const char* family : {"xvd", "sd", "vd", "hd"}) {
        const std::string f = family;
        if (name.size() > f.size() && StartsWith(name, f) &&
            std::all_of(name.begin() + static_cast<std::ptrdiff_t>(f.size()), name.end(),
                        [](char c) { return c >= 'a' && c <= 'z'; })) {
            key.family = f;
            for (size_t i = f.size(); i < name.size() && key.letters < (1ull << 56); ++i) {
                key.letters = key.letters * 26 + static_cast<ULONGLONG>(name[i] - 'a' + 1);
            }
            return key;
        }
    }
    size_t i = 0;
    while (i < name.size() && IsLetter(name[i])) {
        ++i;
    }
    key.family = name.substr(0, i);
    key.rest = name.substr(i);
    return key;
}

// Digit runs by value, everything else character by character.
bool NaturalLess(const std::string& a, const std::string& b)
{
    size_t i = 0;
    size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (IsDigit(a[i]) && IsDigit(b[j])) {
            size_t ei = i;
            size_t ej = j;
            while (ei < a.size() && IsDigit(a[ei])) {
                ++ei;
            }
            while (ej < b.size() && IsDigit(b[ej])) {
                ++ej;
            }
            while (i + 1 < ei && a[i] == '0') {
                ++i;
            }
            while (j + 1 < ej && b[j] == '0') {
                ++j;
            }
            if (ei - i != ej - j) {
                return ei - i < ej - j;
            }
            const int order = a.compare(i, ei - i, b, j, ej - j);
            if (order != 0) {
                return order < 0;
            }
            i = ei;
            j = ej;
        } else {
            if (a[i] != b[j]) {
                return a[i] < b[j];
            }
            ++i;
            ++j;
        }
    }
    return a.size() - i < b.size() - j;
}

}  // namespace

DWORD BusFromSysfs(const std::string& name, const std::string& devicePath)
{
    if (StartsWith(name, "loop")) {
        return BusTypeFileBackedVirtual;
    }
    if (StartsWith(name, "md")) {
        return BusTypeRAID;
    }
    const std::vector<std::string> parts = Components(devicePath);
    auto has = [&](const std::string& word, bool digitsFollow) { return AnyComponent(parts, word, digitsFollow); };
    if (has("usb", true)) {
        return BusTypeUsb;
    }
    if (has("fw", true)) {
        return BusType1394;
    }
    if (std::any_of(parts.begin(), parts.end(), [](const std::string& c) { return StartsWith(c, "end_device-"); })) {
        return BusTypeSas;
    }
    if (has("ata", true)) {
        return BusTypeSata;
    }
    if (has("nvme", false) || StartsWith(name, "nvme")) {
        return BusTypeNvme;
    }
    if (has("mmc_host", false) || StartsWith(name, "mmcblk")) {
        return BusTypeSd;
    }
    if (has("virtio", true) ||
        std::any_of(parts.begin(), parts.end(), [](const std::string& c) { return StartsWith(c, "target"); })) {
        return BusTypeScsi;
    }
    return BusTypeUnknown;
}

bool DiskNameLess(const std::string& a, const std::string& b)
{
    const NameKey ka = KeyOf(a);
    const NameKey kb = KeyOf(b);
    if (ka.family != kb.family) {
        return ka.family < kb.family;
    }
    if (ka.letters != kb.letters) {
        return ka.letters < kb.letters;
    }
    return NaturalLess(ka.rest, kb.rest);
}

bool DescribeDeviceNode(const std::string& path, SystemDisk& disk)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISBLK(st.st_mode)) {
        return false;
    }
    std::error_code ec;
    const fs::path block = fs::canonical(
        "/sys/dev/block/" + std::to_string(major(st.st_rdev)) + ":" + std::to_string(minor(st.st_rdev)), ec);
    if (ec) {
        return false;
    }
    disk.name = block.filename().string();
    disk.path = path;
    disk.bus = BusFromSysfs(disk.name, block.string());
    disk.removable = ReadSysfsLine(block / "removable") == "1";
    disk.identity = IdentifyDisk(disk.name, block);
    disk.size = SysfsSize(block);
    disk.backingFile = ReadSysfsLine(block / "loop" / "backing_file");
    return true;
}

std::vector<SystemDisk> ListSystemDisks(const std::string& sysBlock)
{
    struct Found {
        Group group;
        SystemDisk disk;
    };
    std::vector<Found> found;
    std::error_code ec;
    for (const fs::directory_entry& entry : fs::directory_iterator(sysBlock, ec)) {
        const std::string name = entry.path().filename().string();
        const Group group = GroupOf(entry.path(), name);
        if (group == Group::None) {
            continue;
        }
        SystemDisk disk;
        disk.name = name;
        std::string node = name;
        std::replace(node.begin(), node.end(), '!', '/');  // cciss!c0d0 is /dev/cciss/c0d0
        disk.path = "/dev/" + node;
        const fs::path resolved = fs::canonical(entry.path(), ec);
        disk.bus = BusFromSysfs(name, ec ? std::string() : resolved.string());
        disk.removable = ReadSysfsLine(entry.path() / "removable") == "1";
        disk.identity = IdentifyDisk(name, entry.path());
        disk.size = SysfsSize(entry.path());
        disk.backingFile = ReadSysfsLine(entry.path() / "loop" / "backing_file");
        found.push_back({group, std::move(disk)});
    }
    std::sort(found.begin(), found.end(), [](const Found& x, const Found& y) {
        if (x.group != y.group) {
            return x.group < y.group;
        }
        return DiskNameLess(x.disk.name, y.disk.name);
    });
    std::vector<SystemDisk> disks;
    for (Found& f : found) {
        disks.push_back(std::move(f.disk));
    }
    return disks;
}

}  // namespace hdd::blockdev
