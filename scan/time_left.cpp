#include "scan/time_left.h"

#include <algorithm>

namespace hdd::scan {

namespace {

// Whole nanoseconds, at least 1 and at most what 64 bits hold (a huge disk
// with slow failures can ask for more; a double past the range must not be
// converted).
ULONGLONG ToNs(double ns)
{
    constexpr double kMost = 1.8e19;
    if (!(ns >= 1)) {
        return 1;
    }
    return ns >= kMost ? static_cast<ULONGLONG>(kMost) : static_cast<ULONGLONG>(ns);
}

}  // namespace

ULONGLONG EstimateNsLeft(const ScanProgress& p, DWORD sectorBytes, bool scrape)
{
    if (sectorBytes == 0 || p.phase == ScanPhase::Finished || p.readsThisRun == 0) {
        return 0;  // nothing to price the work with yet
    }
    const double sector = sectorBytes;
    // Prices: what this run paid, or the nearest stand-in before it paid any.
    double perByte = 0;
    if (p.blockBytes != 0) {
        perByte = static_cast<double>(p.blockNs) / static_cast<double>(p.blockBytes);
    } else if (p.sectorReads != 0) {
        perByte = static_cast<double>(p.sectorNs) / (static_cast<double>(p.sectorReads) * sector);
    }
    const double perSector = p.sectorReads != 0 ? static_cast<double>(p.sectorNs) / static_cast<double>(p.sectorReads)
                                                : perByte * sector;
    const double perFailure = p.failedReads != 0 ? static_cast<double>(p.failedNs) / static_cast<double>(p.failedReads)
                                                 : perSector;
    // How many of the sectors left to read one by one will fail: as many as
    // failed inside damage so far, or among all one-sector reads before any
    // was made there.
    const ULONGLONG oneByOne = p.sectorReads + p.failedSectorReads;
    double density = 0.0;
    if (p.insideReads != 0) {
        density = static_cast<double>(p.insideFailures) / static_cast<double>(p.insideReads);
    } else if (oneByOne != 0) {
        density = static_cast<double>(p.failedSectorReads) / static_cast<double>(oneByOne);
    }

    // Work left: bytes for the block passes, sectors one at a time, and the
    // failed reads among them (each damaged region costs at least one).
    double blockBytes = 0;
    double sectors = 0;
    double failures = 0;
    const double scraped = scrape ? static_cast<double>(p.notScrapedBytes) : 0.0;
    switch (p.phase) {
    case ScanPhase::FastPass:
        blockBytes = static_cast<double>(p.untriedBytes);
        sectors = (static_cast<double>(p.notTrimmedBytes) + scraped) / sector;
        failures = static_cast<double>(p.failedReads - p.failedSectorReads);
        break;
    case ScanPhase::Trim: {
        const ULONGLONG regionsLeft = p.areas > p.area ? p.areas - p.area + 1 : 1;
        if (p.area >= 2 && p.areaStartNs > p.phaseStartNs) {
            // Regions of one disk tend to be alike: price the rest at what
            // the finished ones cost, less what the current one has taken.
            const double perRegion =
                static_cast<double>(p.areaStartNs - p.phaseStartNs) / static_cast<double>(p.area - 1);
            const double inCurrent = static_cast<double>(p.elapsedNs - std::min(p.elapsedNs, p.areaStartNs));
            const double trimNs = std::max(perRegion * static_cast<double>(regionsLeft) - inCurrent, perRegion / 2);
            // The regions not trimmed yet will leave as much to scrape as
            // the trimmed ones did.
            const double scrapeSectors =
                scraped / sector * static_cast<double>(p.areas) / static_cast<double>(p.area - 1);
            const double scrapeFailures = density * scrapeSectors;
            return ToNs(trimNs + (scrapeSectors - scrapeFailures) * perSector + scrapeFailures * perFailure);
        }
        sectors = (static_cast<double>(p.notTrimmedBytes + p.untriedBytes) + scraped) / sector;
        failures = static_cast<double>(regionsLeft);
        break;
    }
    case ScanPhase::Scrape:
        sectors = scraped / sector;
        break;
    case ScanPhase::Finished:
        break;
    }
    failures = std::min(sectors, failures + density * sectors);
    const double ns = blockBytes * perByte + (sectors - failures) * perSector + failures * perFailure;
    const bool workLeft = blockBytes > 0 || sectors > 0;
    if (!workLeft) {
        return 0;
    }
    return ToNs(ns);
}

}  // namespace hdd::scan
