// Consistency of a machine description, with the places named as the JSON
// form spells them.
#include <cmath>
#include <map>
#include <string>

#include "platform/sim/machine_description.h"

namespace hdd::sim {

namespace {

constexpr ULONGLONG kMaxDiskBytes = 1ull << 62;
constexpr double kMaxReadMilliseconds = 60000.0;

[[noreturn]] void Fail(const std::string& place, const std::string& problem)
{
    throw MachineError(place + ": " + problem);
}

std::string Index(const std::string& place, size_t i) { return place + "[" + std::to_string(i) + "]"; }

bool MulFits(ULONGLONG a, ULONGLONG b, ULONGLONG& product)
{
    if (a != 0 && b > kMaxDiskBytes / a) {
        return false;
    }
    product = a * b;
    return product <= kMaxDiskBytes;
}

// Each letter belongs to one volume only; remembers who took it.
class LetterRegistry {
public:
    void Claim(WCHAR letter, const std::string& place)
    {
        if (letter < L'A' || letter > L'Z') {
            Fail(place, "must be a letter from A to Z");
        }
        const auto [it, fresh] = m_owner.emplace(letter, place);
        if (!fresh) {
            Fail(place, std::string("letter ") + static_cast<char>(letter) + " is already used by " + it->second);
        }
    }

private:
    std::map<WCHAR, std::string> m_owner;
};

void ValidateSlowRanges(const SimDisk& d, const std::string& p, ULONGLONG sectors)
{
    for (size_t j = 0; j < d.slow.size(); ++j) {
        const SlowRange& r = d.slow[j];
        const std::string rp = Index(p + ".slow", j);
        if (r.first > r.last) {
            Fail(rp + ".sectors", "the first sector lies after the last");
        }
        if (r.last >= sectors) {
            Fail(rp + ".sectors", "sector " + std::to_string(r.last) + " lies outside the disk (" +
                                      std::to_string(sectors) + " sectors of 512 bytes)");
        }
        if (!std::isfinite(r.milliseconds) || r.milliseconds < 0 || r.milliseconds > kMaxReadMilliseconds) {
            Fail(rp + ".ms", "must lie between 0 and 60000");
        }
    }
}

void ValidateDisk(const SimDisk& d, const std::string& p, LetterRegistry& letters)
{
    if (d.cylinders < 0) {
        Fail(p + ".geometry.cylinders", "must not be negative");
    }
    // Zeros are allowed in the geometry: a failing drive or a broken bridge
    // reports them, and the component has to be shown them.
    const DWORD b = d.bytesPerSector;
    if (b != 0 && (b < 512 || b > 65536 || (b & (b - 1)) != 0)) {
        Fail(p + ".geometry.bytes_per_sector", "must be 0 or a power of two from 512 to 65536");
    }
    ULONGLONG bytes = 0;
    if (!MulFits(static_cast<ULONGLONG>(d.cylinders), d.tracksPerCylinder, bytes) ||
        !MulFits(bytes, d.sectorsPerTrack, bytes) || !MulFits(bytes, b, bytes)) {
        Fail(p + ".geometry", "describes more than 2^62 bytes");
    }
    if (d.size > kMaxDiskBytes) {
        Fail(p + ".size", "must not exceed 2^62 bytes");
    }
    for (size_t j = 0; j < d.partitions.size(); ++j) {
        const SimPartition& part = d.partitions[j];
        const std::string pp = Index(p + ".partitions", j);
        if (part.number == 0) {
            Fail(pp + ".number", "partition numbers start at 1");
        }
        if (part.length == 0) {
            Fail(pp + ".length", "must be at least 1 byte");
        }
        // A partition may run past the end of its disk, as a damaged or
        // copied partition table has it; reads there fail.
        for (size_t k = 0; k < j; ++k) {
            const SimPartition& other = d.partitions[k];
            if (other.number == part.number) {
                Fail(pp + ".number", "partition " + std::to_string(part.number) + " is already used by " +
                                         Index(p + ".partitions", k));
            }
            if (part.offset < other.offset + other.length && other.offset < part.offset + part.length) {
                Fail(pp, "overlaps " + Index(p + ".partitions", k));
            }
        }
        if (part.letter != 0) {
            letters.Claim(part.letter, pp + ".letter");
        }
    }
    const ULONGLONG sectors = d.size / 512 + (d.size % 512 != 0 ? 1 : 0);
    for (size_t j = 0; j < d.unreadable.size(); ++j) {
        const SectorRange& r = d.unreadable[j];
        const std::string rp = Index(p + ".unreadable", j);
        if (r.first > r.last) {
            Fail(rp, "the first sector lies after the last");
        }
        if (r.last >= sectors) {
            Fail(rp, "sector " + std::to_string(r.last) + " lies outside the disk (" + std::to_string(sectors) +
                         " sectors of 512 bytes)");
        }
    }
    if (d.latency.model == LatencyModel::FixedMs &&
        (!std::isfinite(d.latency.milliseconds) || d.latency.milliseconds < 0 ||
         d.latency.milliseconds > kMaxReadMilliseconds)) {
        Fail(p + ".latency", "milliseconds per read must lie between 0 and 60000");
    }
    ValidateSlowRanges(d, p, sectors);
    // A self-test's entry joins the disk's smartctl output; a disk without
    // SMART runs none.
    const bool selfTests = !d.shortSelfTestEntry.empty() || !d.extendedSelfTestEntry.empty();
    if (selfTests && d.smartctlFile.empty() && d.smartctlJson.empty()) {
        Fail(p + ".self_test", "needs the disk's smartctl output (a disk without SMART runs no self-test)");
    }
}

}  // namespace

ULONGLONG GeometryBytes(const SimDisk& disk)
{
    ULONGLONG bytes = 0;
    if (disk.cylinders <= 0 || !MulFits(static_cast<ULONGLONG>(disk.cylinders), disk.tracksPerCylinder, bytes) ||
        !MulFits(bytes, disk.sectorsPerTrack, bytes) || !MulFits(bytes, disk.bytesPerSector, bytes)) {
        return 0;
    }
    return bytes;
}

void ValidateMachine(const MachineDescription& m)
{
    LetterRegistry letters;
    for (size_t i = 0; i < m.disks.size(); ++i) {
        ValidateDisk(m.disks[i], Index("disks", i), letters);
    }
    for (size_t i = 0; i < m.volumes.size(); ++i) {
        const SimVolume& v = m.volumes[i];
        const std::string vp = Index("volumes", i);
        letters.Claim(v.letter, vp + ".letter");
        for (size_t j = 0; j < v.extents.size(); ++j) {
            const SimExtent& e = v.extents[j];
            const std::string ep = Index(vp + ".extents", j);
            if (e.disk >= m.disks.size()) {
                Fail(ep + ".disk", "there is no disk " + std::to_string(e.disk));
            }
            if (e.length == 0) {
                Fail(ep + ".length", "must be at least 1 byte");
            }
            const ULONGLONG size = m.disks[e.disk].size;
            if (e.offset > size || e.length > size - e.offset) {
                Fail(ep, "ends past the end of disk " + std::to_string(e.disk) + " (" + std::to_string(size) +
                             " bytes)");
            }
        }
    }
    for (size_t i = 0; i < m.faults.size(); ++i) {
        const Fault& f = m.faults[i];
        if (f.disk >= 0 && static_cast<size_t>(f.disk) >= m.disks.size()) {
            Fail(Index("faults", i) + ".disk", "there is no disk " + std::to_string(f.disk));
        }
    }
    for (size_t i = 0; i < m.unopenableLetters.size(); ++i) {
        letters.Claim(m.unopenableLetters[i], Index("unopenable_letters", i));
    }
}

}  // namespace hdd::sim
