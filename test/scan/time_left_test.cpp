// The scan's time left on a simulated rotating disk with failures that cost
// 1.5 s each: halfway through the trim and through the scrape it is within a
// factor of 2 of the time the scan then took, and never 0 while reads remain.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "scan/time_left.h"
#include "test/scan/scan_support.h"

namespace hdd::testing {
namespace {

using scan::ScanPhase;
using sim::SectorRange;

constexpr ULONGLONG kDiskSectors = 4ull << 20;  // 2 GiB
constexpr double kFailureMs = 1500.0;

struct Sample {
    ScanPhase phase;
    ULONGLONG elapsedNs;
    ULONGLONG leftNs;
};

struct Recorder final : scan::ScanObserver {
    bool scrape = true;
    std::vector<Sample> samples;
    void OnRead(ULONGLONG, ULONGLONG, ULONGLONG, DWORD, const scan::ScanProgress& p) override
    {
        samples.push_back({p.phase, p.elapsedNs, scan::EstimateNsLeft(p, 512, scrape)});
    }
};

std::vector<SectorRange> Spots(std::initializer_list<ULONGLONG> starts, ULONGLONG length)
{
    std::vector<SectorRange> bad;
    for (ULONGLONG s : starts) {
        bad.push_back({s, s + length - 1});
    }
    return bad;
}

// Scratches: a bad sector every `step` sectors, `count` of them, from each start.
std::vector<SectorRange> Scratches(std::initializer_list<ULONGLONG> starts, ULONGLONG step, int count)
{
    std::vector<SectorRange> bad;
    for (ULONGLONG s : starts) {
        for (int i = 0; i < count; ++i) {
            bad.push_back({s + step * static_cast<ULONGLONG>(i), s + step * static_cast<ULONGLONG>(i)});
        }
    }
    return bad;
}

TEST(ScanTimeLeftTest, IsWithinAFactorOfTwoHalfwayThroughTrimAndScrape)
{
    struct Row {
        const char* name;
        std::vector<SectorRange> bad;
        std::vector<ScanPhase> phases;  // the ones whose middle is checked
    };
    const Row rows[] = {
        {"three spots of 30 sectors", Spots({500000, 1700000, 3300000}, 30), {ScanPhase::Trim}},
        {"twelve single sectors", Scratches({100000, 400000, 900000, 1200000, 1500000, 1800000}, 1000000, 2),
         {ScanPhase::Trim}},
        {"scratched areas: a bad sector every 300", Scratches({600000, 2100000, 3600000}, 300, 12),
         {ScanPhase::Trim, ScanPhase::Scrape}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        sim::SimDisk disk = ScanDisk(kDiskSectors, 512, row.bad);
        disk.latency.model = sim::LatencyModel::Hdd;
        for (const SectorRange& r : row.bad) {
            disk.slow.push_back({r.first, r.last, kFailureMs});
        }
        sim::SimMachine m(OneDisk(disk));
        m.SetRecording(false);
        SimScanClock clock(m);
        scan::ScanTarget t;
        t.devicePath = L"\\\\.\\PHYSICALDRIVE0";
        t.diskBytes = disk.size;
        t.sectorBytes = 512;
        t.sectorCount = kDiskSectors;
        scan::ScanOptions options;
        options.saveIntervalNs = 0;
        scan::RangeMap map(disk.size);
        Recorder rec;
        const scan::ScanResult r = scan::RunScan(m, t, options, map, clock, &rec);
        ASSERT_EQ(r.end, scan::ScanEnd::Finished);
        ASSERT_GE(rec.samples.size(), 2u);
        const ULONGLONG total = r.progress.elapsedNs;

        for (size_t i = 0; i + 1 < rec.samples.size(); ++i) {
            ASSERT_GT(rec.samples[i].leftNs, 0u) << "read " << i << " of " << rec.samples.size();
        }
        for (const ScanPhase phase : row.phases) {
            SCOPED_TRACE(std::string("phase ") + static_cast<char>(phase));
            ULONGLONG begin = ~0ull;
            ULONGLONG end = 0;
            for (const Sample& s : rec.samples) {
                if (s.phase == phase) {
                    begin = std::min(begin, s.elapsedNs);
                    end = std::max(end, s.elapsedNs);
                }
            }
            ASSERT_LT(begin, end) << "the phase never ran";
            const ULONGLONG middle = begin + (end - begin) / 2;
            for (const Sample& s : rec.samples) {
                if (s.phase == phase && s.elapsedNs >= middle) {
                    const double actual = static_cast<double>(total - s.elapsedNs);
                    const double shown = static_cast<double>(s.leftNs);
                    EXPECT_LE(shown, 2 * actual) << "shown " << shown / 1e9 << " s, took " << actual / 1e9 << " s";
                    EXPECT_GE(shown, actual / 2) << "shown " << shown / 1e9 << " s, took " << actual / 1e9 << " s";
                    break;
                }
            }
        }
    }
}

}  // namespace
}  // namespace hdd::testing
