// What the full scan costs on a damaged rotating disk, against the ideal.
//
//   scan_damage [--gib N]
//
// Each pattern of unreadable sectors is planted on a simulated SATA disk of N
// GiB (default 100) with the hdd latency model (100 MB/s; a read that does
// not start where the last one ended pays a seek and half a turn). Every
// unreadable sector lies under a slow range, so that each failed read costs
// what a desktop drive's own retries cost (3 s). The scan's elapsed time on
// the machine's clock is set against the ideal: the healthy disk's time plus
// one failed read per unreadable sector and one per damaged area (a maximal
// run of adjacent unreadable sectors: the block read that meets it).
//
// The clock is simulated, so the figures are exact and repeatable; this is a
// benchmark of the scan's strategy, not of the machine running it. Exits 1
// when any pattern is over its goal (1.05 x ideal; for a large area left
// unscraped, 1.05 x the healthy time plus 4 failed reads per area).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "platform/sim/sim_machine.h"
#include "scan/disk_size.h"
#include "scan/scan_engine.h"

namespace {

using hdd::sim::SectorRange;

constexpr double kFailureMs = 3000.0;
constexpr ULONGLONG kGiB = 1ull << 30;
constexpr DWORD kBlock = 1u << 20;

struct Pattern {
    std::string name;
    DWORD sectorBytes = 512;
    std::vector<SectorRange> bad;  // in the disk's own sectors
    bool scrape = true;
};

class MachineClock final : public hdd::scan::ScanClock {
public:
    explicit MachineClock(const hdd::sim::SimMachine& m) : m_m(m) {}
    ULONGLONG NowNanoseconds() override { return m_m.NowMicroseconds() * 1000u; }

private:
    const hdd::sim::SimMachine& m_m;
};

struct Outcome {
    double seconds = 0;
    ULONGLONG reads = 0;
    ULONGLONG failed = 0;
    ULONGLONG unreadable = 0;
    bool exact = false;
};

Outcome Scan(ULONGLONG diskBytes, const Pattern& p)
{
    hdd::sim::SimDisk disk;
    disk.bus = BusTypeSata;
    disk.media = FixedMedia;
    disk.bytesPerSector = p.sectorBytes;
    disk.tracksPerCylinder = 255;
    disk.sectorsPerTrack = 63;
    disk.size = diskBytes;
    disk.cylinders = static_cast<LONGLONG>(diskBytes / (255ull * 63 * p.sectorBytes));
    disk.latency.model = hdd::sim::LatencyModel::Hdd;
    // The machine plants in 512-byte units.
    const ULONGLONG units = p.sectorBytes / 512;
    for (const SectorRange& r : p.bad) {
        const SectorRange u{r.first * units, r.last * units + units - 1};
        disk.unreadable.push_back(u);
        disk.slow.push_back(hdd::sim::SlowRange{u.first, u.last, kFailureMs});
    }
    hdd::sim::MachineDescription d;
    d.disks.push_back(disk);
    hdd::sim::SimMachine m(d);
    m.SetRecording(false);
    m.SetFillReads(false);
    MachineClock clock(m);

    hdd::scan::ScanTarget t;
    t.devicePath = L"\\\\.\\PHYSICALDRIVE0";
    t.diskBytes = diskBytes;
    t.sectorBytes = p.sectorBytes;
    t.sectorCount = diskBytes / p.sectorBytes;
    hdd::scan::ScanOptions options;
    options.blockBytes = kBlock;
    options.scrape = p.scrape;
    options.saveIntervalNs = 0;
    hdd::scan::RangeMap map(diskBytes);
    const hdd::scan::ScanResult r = hdd::scan::RunScan(m, t, options, map, clock);

    Outcome o;
    o.seconds = static_cast<double>(r.progress.elapsedNs) / 1e9;
    o.reads = r.progress.readsThisRun;
    o.failed = r.progress.failedReads;
    o.unreadable = r.unreadableSectors;
    std::set<ULONGLONG> planted;
    for (const SectorRange& b : p.bad) {
        for (ULONGLONG s = b.first; s <= b.last; ++s) {
            planted.insert(s);
        }
    }
    std::set<ULONGLONG> found;
    for (const hdd::scan::MapRange& mr : map.Ranges()) {
        if (mr.state == hdd::scan::SectorState::Unreadable) {
            for (ULONGLONG s = mr.pos / p.sectorBytes; s < mr.End() / p.sectorBytes; ++s) {
                found.insert(s);
            }
        }
    }
    // Without the scrape the inside of an area stays unread: every sector
    // found must be planted, and every area found.
    bool subset = true;
    for (ULONGLONG s : found) {
        subset = subset && planted.count(s) != 0;
    }
    o.exact = r.end == hdd::scan::ScanEnd::Finished && (p.scrape ? found == planted : subset && !found.empty());
    return o;
}

ULONGLONG Areas(const std::vector<SectorRange>& bad)
{
    std::set<ULONGLONG> sectors;
    for (const SectorRange& b : bad) {
        for (ULONGLONG s = b.first; s <= b.last; ++s) {
            sectors.insert(s);
        }
    }
    ULONGLONG areas = 0;
    ULONGLONG last = ~0ull;
    for (ULONGLONG s : sectors) {
        areas += (last == ~0ull || s != last + 1) ? 1 : 0;
        last = s;
    }
    return areas;
}

ULONGLONG Sectors(const std::vector<SectorRange>& bad)
{
    ULONGLONG n = 0;
    for (const SectorRange& b : bad) {
        n += b.last - b.first + 1;
    }
    return n;
}

// A fixed, spread-out scatter: the same every run.
std::vector<SectorRange> Scattered(ULONGLONG sectors, int count, ULONGLONG seed)
{
    std::vector<SectorRange> bad;
    ULONGLONG x = seed;
    for (int i = 0; i < count; ++i) {
        x = x * 6364136223846793005ull + 1442695040888963407ull;
        const ULONGLONG slot = sectors / static_cast<ULONGLONG>(count);
        const ULONGLONG s = static_cast<ULONGLONG>(i) * slot + (x >> 17) % slot;
        bad.push_back({s, s});
    }
    return bad;
}

std::vector<Pattern> Patterns(ULONGLONG diskBytes)
{
    const ULONGLONG n = diskBytes / 512;
    const ULONGLONG perBlock = kBlock / 512;
    std::vector<Pattern> ps;
    ps.push_back({"40 scattered single sectors", 512, Scattered(n, 40, 1)});

    Pattern pairs{"16 pairs across a block boundary", 512, {}};
    for (ULONGLONG i = 1; i <= 16; ++i) {
        const ULONGLONG edge = (n / perBlock) * i / 17 * perBlock;
        pairs.bad.push_back({edge - 1, edge});
    }
    ps.push_back(pairs);

    ps.push_back({"one area of 3,000 sectors", 512, {{n / 3 + 777, n / 3 + 777 + 2999}}});

    Pattern scratch{"120 sectors, one every 1,500", 512, {}};
    for (ULONGLONG i = 0; i < 120; ++i) {
        const ULONGLONG s = n / 2 + 123 + i * 1500;
        scratch.bad.push_back({s, s});
    }
    ps.push_back(scratch);

    ps.push_back({"first, middle and last sector", 512, {{0, 0}, {n / 2, n / 2}, {n - 1, n - 1}}});

    // Eight pairs of small areas two blocks apart: the second lies inside
    // the skip after the first one's failed block.
    Pattern close{"8 pairs of areas closer than one skip", 512, {}};
    for (ULONGLONG i = 1; i <= 8; ++i) {
        const ULONGLONG a = n * i / 9 + 301;
        close.bad.push_back({a, a + 3});
        close.bad.push_back({a + 2 * perBlock + 500, a + 2 * perBlock + 501});
    }
    ps.push_back(close);

    ps.push_back({"4096-byte sectors, 20 scattered", 4096, Scattered(diskBytes / 4096, 20, 7)});

    ps.push_back({"an area of 400,000 sectors, no scrape", 512, {{n / 4 + 4321, n / 4 + 4321 + 399999}}, false});
    return ps;
}

}  // namespace

int main(int argc, char** argv)
{
    ULONGLONG gib = 100;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--gib") == 0 && i + 1 < argc) {
            gib = std::strtoull(argv[++i], nullptr, 10);
        } else {
            std::fprintf(stderr, "usage: scan_damage [--gib N]\n");
            return 2;
        }
    }
    const ULONGLONG diskBytes = gib * kGiB;
    const double failure = kFailureMs / 1000.0;
    const Outcome healthy512 = Scan(diskBytes, Pattern{"healthy", 512, {}});
    const Outcome healthy4k = Scan(diskBytes, Pattern{"healthy", 4096, {}});
    std::printf("%-40s %10s %10s %7s %6s %9s %7s  %s\n",
                "pattern", "elapsed s", "ideal s", "x ideal", "goal", "reads", "failed", "list");
    std::printf("%-40s %10.1f %10.1f %7.3f %6s %9llu %7d  %s\n",
                "healthy disk", healthy512.seconds, healthy512.seconds, 1.0, "",
                static_cast<unsigned long long>(healthy512.reads), 0, "");
    bool over = false;
    for (const Pattern& p : Patterns(diskBytes)) {
        const Outcome o = Scan(diskBytes, p);
        const double healthy = p.sectorBytes == 512 ? healthy512.seconds : healthy4k.seconds;
        const ULONGLONG areas = Areas(p.bad);
        double ideal = 0;
        double goal = 1.05;
        if (p.scrape) {
            ideal = healthy + static_cast<double>(Sectors(p.bad) + areas) * failure;
        } else {
            // Only the edges of each area are read on their own.
            ideal = 1.05 * healthy + static_cast<double>(4 * areas) * failure;
            goal = 1.0;
        }
        const double ratio = o.seconds / ideal;
        const bool ok = ratio <= goal && o.exact;
        over = over || !ok;
        std::printf("%-40s %10.1f %10.1f %7.3f %6.2f %9llu %7llu  %s\n",
                    p.name.c_str(), o.seconds, ideal, ratio, goal, static_cast<unsigned long long>(o.reads),
                    static_cast<unsigned long long>(o.failed), o.exact ? (ok ? "exact" : "exact, OVER") : "WRONG");
    }
    return over ? 1 : 0;
}
