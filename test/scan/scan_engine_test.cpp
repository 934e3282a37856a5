// The full scan on the simulated machine: planted unreadable sectors found
// exactly, each sector read once or twice, ranges, resume, a vanishing disk
// and a huge disk.
#include <gtest/gtest.h>

#include <chrono>
#include <set>
#include <string>

#include "scan/disk_size.h"
#include "scan/map_file.h"
#include "scan/scan_engine.h"
#include "test/scan/scan_support.h"

namespace hdd::testing {
namespace {

using scan::MapRange;
using scan::RangeMap;
using scan::RunScan;
using scan::ScanEnd;
using scan::ScanResult;
using scan::SectorState;
using sim::SectorRange;
using sim::SimMachine;

constexpr ULONGLONG kUnits = 20000;  // 512-byte units of the test disk
constexpr DWORD kBlock = 65536;

// Planted in 512-byte units: the first and the last sector, one alone, one
// across a block boundary, two closer together than one skip, a wide area.
const std::vector<SectorRange> kPlanted = {{0, 0},       {127, 129},   {1000, 1000}, {5000, 5000},
                                           {5300, 5300}, {8000, 8999}, {19999, 19999}};

std::set<ULONGLONG> Expected(const std::vector<SectorRange>& bad, DWORD sectorBytes, ULONGLONG first,
                             ULONGLONG count)
{
    std::set<ULONGLONG> sectors;
    for (const SectorRange& r : bad) {
        for (ULONGLONG u = r.first; u <= r.last; ++u) {
            const ULONGLONG s = u * 512 / sectorBytes;
            if (s >= first && s < first + count) {
                sectors.insert(s);
            }
        }
    }
    return sectors;
}

scan::ScanTarget TargetOf(SimMachine& m, ULONGLONG firstSector, ULONGLONG sectorCount)
{
    scan::DiskSize size;
    DWORD error = 0;
    EXPECT_TRUE(scan::QueryDiskSize(m, L"\\\\.\\PHYSICALDRIVE0", size, error)) << error;
    scan::ScanTarget t;
    t.devicePath = L"\\\\.\\PHYSICALDRIVE0";
    t.diskBytes = size.bytes;
    t.sectorBytes = size.sectorBytes;
    t.firstSector = firstSector;
    t.sectorCount = sectorCount != 0 ? sectorCount : size.bytes / size.sectorBytes - firstSector;
    return t;
}

struct PhaseRecorder final : scan::ScanObserver {
    std::string phases;
    ULONGLONG reads = 0;
    ULONGLONG stopAfter = ~0ull;
    std::atomic<bool>* stop = nullptr;
    std::string saved;  // the last map saved
    scan::MapIdentity identity;
    void OnPhase(scan::ScanPhase phase, const scan::ScanProgress&) override { phases += static_cast<char>(phase); }
    void OnRead(ULONGLONG, ULONGLONG, ULONGLONG, DWORD, const scan::ScanProgress&) override
    {
        if (++reads == stopAfter && stop != nullptr) {
            stop->store(true);
        }
    }
    void OnSave(const RangeMap& map, const scan::ScanProgress&) override { saved = scan::WriteMapFile(map, identity); }
};

TEST(ScanEngineTest, FindsEveryPlantedSectorReadingEachSectorOnceOrTwice)
{
    struct Row {
        const char* name;
        DWORD sectorBytes;
        ULONGLONG firstSector;  // of the range, in the disk's sectors
        ULONGLONG sectorCount;  // 0: to the disk's end
        bool scrape;
    };
    const Row rows[] = {
        {"whole disk, 512-byte sectors", 512, 0, 0, true},
        {"partition, 512-byte sectors", 512, 2048, 15000, true},
        {"whole disk, 4096-byte sectors", 4096, 0, 0, true},
        {"whole disk without scraping", 512, 0, 0, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const ULONGLONG sectors = kUnits * 512 / row.sectorBytes;
        SimMachine m(OneDisk(ScanDisk(sectors, row.sectorBytes, kPlanted)));
        SimScanClock clock(m);
        const scan::ScanTarget target = TargetOf(m, row.firstSector, row.sectorCount);
        ASSERT_EQ(target.diskBytes, kUnits * 512) << "the length, not the geometry's whole cylinders";
        m.ClearCalls();
        RangeMap map(target.diskBytes);
        scan::ScanOptions options;
        options.blockBytes = kBlock;
        options.scrape = row.scrape;
        PhaseRecorder observer;
        const ScanResult r = RunScan(m, target, options, map, clock, &observer);

        ASSERT_EQ(r.end, ScanEnd::Finished) << r.why;
        EXPECT_EQ(map.Phase(), scan::ScanPhase::Finished);
        // The fast pass, the backward pass over its skips, the trim (and the scrape).
        EXPECT_EQ(observer.phases, row.scrape ? "??*/+" : "??*+");
        const std::set<ULONGLONG> expected = Expected(kPlanted, row.sectorBytes, target.firstSector,
                                                      target.sectorCount);
        const std::set<ULONGLONG> found = UnreadableSectors(map, row.sectorBytes);
        const std::vector<int> counts = ReadsPerSector(m, sectors, row.sectorBytes);
        const ULONGLONG end = target.firstSector + target.sectorCount;
        for (ULONGLONG s = 0; s < sectors; ++s) {
            const bool inRange = s >= target.firstSector && s < end;
            const SectorState state = map.StateAt(s * row.sectorBytes);
            ASSERT_LE(counts[s], inRange ? 2 : 0) << "sector " << s;
            if (!inRange) {
                ASSERT_EQ(state, SectorState::Untried) << "sector " << s;
            } else if (row.scrape) {
                ASSERT_GE(counts[s], 1) << "sector " << s;
                ASSERT_TRUE(state == SectorState::Read || state == SectorState::Unreadable) << "sector " << s;
            } else {
                // Gaps between failed blocks stay untried inside the damage.
                ASSERT_TRUE(state == SectorState::Read || state == SectorState::Unreadable ||
                            state == SectorState::NotScraped || state == SectorState::Untried)
                    << "sector " << s;
            }
        }
        if (row.scrape) {
            EXPECT_EQ(found, expected);
        } else {
            for (ULONGLONG s : found) {
                EXPECT_TRUE(expected.count(s) != 0) << "sector " << s << " is readable";
            }
            EXPECT_GT(map.BytesIn(SectorState::NotScraped, 0, target.diskBytes), 0u);
        }
        EXPECT_EQ(r.unreadableSectors, found.size());
        EXPECT_EQ(r.progress.bytesThisRun + r.progress.unreadableBytes + r.progress.notScrapedBytes +
                      r.progress.untriedBytes,
                  target.sectorCount * row.sectorBytes);
        // What a damaged area costs: at most one failed block from each side,
        // and (with the scrape) no one-sector read that goes backward, which
        // on a rotating disk pays a seek each.
        // (The disk-still-there check after failures reads a good sector
        // elsewhere; a read after a good one is never such a check.)
        ULONGLONG failedBlocks = 0;
        ULONGLONG backward = 0;
        ULONGLONG lastEnd = 0;
        bool lastOk = true;
        for (const sim::CallRecord& c : m.Calls()) {
            if (c.kind != sim::CallKind::Read || c.disk != 0) {
                continue;
            }
            failedBlocks += !c.ok && c.bytes > row.sectorBytes ? 1 : 0;
            backward += lastOk && c.bytes == row.sectorBytes && c.sector * row.sectorBytes < lastEnd ? 1 : 0;
            lastEnd = c.sector * row.sectorBytes + c.bytes;
            lastOk = c.ok;
        }
        EXPECT_LE(failedBlocks, 2 * r.unreadableAreas);
        if (row.scrape) {
            // The trim's and the scrape's jumps to each region, the check's reads.
            EXPECT_LE(backward, 2 * r.unreadableAreas + 2);
        }
        EXPECT_EQ(m.OpenHandleCount(), 0u);
    }
}

TEST(ScanEngineTest, SlowReadsAreListedWhereTheyArePlanted)
{
    sim::SimDisk disk = ScanDisk(kUnits, 512, {});
    disk.slow = {{3000, 3010, 600.0}, {3072, 3072, 100.0}};
    SimMachine m(OneDisk(disk));
    SimScanClock clock(m);
    RangeMap map(disk.size);
    scan::ScanOptions options;
    options.blockBytes = kBlock;
    const ScanResult r = RunScan(m, TargetOf(m, 0, 0), options, map, clock);
    ASSERT_EQ(r.end, ScanEnd::Finished);
    // The block of 128 sectors holding 3000-3010; the 100 ms one is not slow.
    ASSERT_EQ(r.slowAreas.size(), 1u);
    EXPECT_EQ(r.slowAreas[0], (scan::SlowArea{2944, 128, 600000000ull}));
}

// Stopped after some reads (in each phase), saved and resumed on a fresh
// machine: the same map as one scan, without reading again what was settled.
TEST(ScanEngineTest, ResumesFromASavedMapToTheSameResult)
{
    SimMachine whole(OneDisk(ScanDisk(kUnits, 512, kPlanted)));
    SimScanClock wholeClock(whole);
    RangeMap expected(kUnits * 512);
    scan::ScanOptions options;
    options.blockBytes = kBlock;
    PhaseRecorder counter;
    ASSERT_EQ(RunScan(whole, TargetOf(whole, 0, 0), options, expected, wholeClock, &counter).end, ScanEnd::Finished);

    for (const ULONGLONG stopAfter : std::vector<ULONGLONG>{1, 40, 160, 600, 1500, counter.reads - 1}) {
        SCOPED_TRACE("stopped after read " + std::to_string(stopAfter) + " of " + std::to_string(counter.reads));
        SimMachine first(OneDisk(ScanDisk(kUnits, 512, kPlanted)));
        SimScanClock clock(first);
        const scan::ScanTarget target = TargetOf(first, 0, 0);
        std::atomic<bool> stop{false};
        PhaseRecorder observer;
        observer.stop = &stop;
        observer.stopAfter = stopAfter;
        observer.identity = scan::MapIdentity{"disk0", "M", "SIM0", target.diskBytes, 512, 0, target.diskBytes};
        scan::ScanOptions stoppable = options;
        stoppable.stop = &stop;
        RangeMap map(target.diskBytes);
        ASSERT_EQ(RunScan(first, target, stoppable, map, clock, &observer).end, ScanEnd::Stopped);
        const std::string text = scan::WriteMapFile(map, observer.identity);

        RangeMap loaded;
        std::string why;
        ASSERT_TRUE(scan::LoadMapForDisk(text, observer.identity, loaded, why)) << why;
        EXPECT_EQ(loaded.Phase(), map.Phase());
        SimMachine second(OneDisk(ScanDisk(kUnits, 512, kPlanted)));
        SimScanClock secondClock(second);
        PhaseRecorder rest;
        ASSERT_EQ(RunScan(second, target, options, loaded, secondClock, &rest).end, ScanEnd::Finished);
        EXPECT_EQ(loaded.Ranges(), expected.Ranges());
        // Only the check's reads go over settled ground.
        EXPECT_LE(stopAfter + rest.reads, counter.reads + 1);
    }
}

// A map whose status line is past the work its ranges leave (another tool's
// map, or one finished on another range) is scanned to the same result as a
// fresh one: untried and untrimmed sectors are read whatever the line says.
TEST(ScanEngineTest, StatusLinePastTheWorkLeftIsNotTrusted)
{
    SimMachine whole(OneDisk(ScanDisk(kUnits, 512, kPlanted)));
    SimScanClock wholeClock(whole);
    RangeMap expected(kUnits * 512);
    scan::ScanOptions options;
    options.blockBytes = kBlock;
    ASSERT_EQ(RunScan(whole, TargetOf(whole, 0, 0), options, expected, wholeClock).end, ScanEnd::Finished);

    const ULONGLONG half = kUnits * 512 / 2;
    const struct {
        const char* name;
        scan::ScanPhase phase;
        SectorState firstHalf;
        SectorState secondHalf;
    } cases[] = {
        {"finished, all untried", scan::ScanPhase::Finished, SectorState::Untried, SectorState::Untried},
        {"scraping, all untried", scan::ScanPhase::Scrape, SectorState::Untried, SectorState::Untried},
        {"trimming, all untried", scan::ScanPhase::Trim, SectorState::Untried, SectorState::Untried},
        {"finished, half read", scan::ScanPhase::Finished, SectorState::Read, SectorState::Untried},
        {"finished, half untrimmed", scan::ScanPhase::Finished, SectorState::NotTrimmed, SectorState::Untried},
        {"finished, all untrimmed", scan::ScanPhase::Finished, SectorState::NotTrimmed, SectorState::NotTrimmed},
        {"scraping, all untrimmed", scan::ScanPhase::Scrape, SectorState::NotTrimmed, SectorState::NotTrimmed},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SimMachine m(OneDisk(ScanDisk(kUnits, 512, kPlanted)));
        SimScanClock clock(m);
        RangeMap map(kUnits * 512);
        map.Set(0, half, c.firstHalf);
        map.Set(half, kUnits * 512 - half, c.secondHalf);
        map.SetProgress(c.phase, kUnits * 512);
        const ScanResult r = RunScan(m, TargetOf(m, 0, 0), options, map, clock);
        ASSERT_EQ(r.end, ScanEnd::Finished);
        if (c.firstHalf == SectorState::Read) {
            // Only the untried half was read: what lies in the read half stays read.
            EXPECT_EQ(map.BytesIn(SectorState::Untried, 0, kUnits * 512), 0u);
            EXPECT_EQ(map.BytesIn(SectorState::Read, 0, half), half);
            continue;
        }
        EXPECT_EQ(map.Ranges(), expected.Ranges());
        EXPECT_EQ(r.unreadableSectors, Expected(kPlanted, 512, 0, kUnits).size());
    }
}

// Reads of the disk fail after a number of them, as when it is unplugged;
// opens fail too, or (a loop device over a vanished file) go on working.
class VanishingOs final : public OsApi {
public:
    VanishingOs(SimMachine& m, ULONGLONG readsBefore, DWORD error, bool opensFail)
        : m_m(m), m_readsBefore(readsBefore), m_error(error), m_opensFail(opensFail)
    {
    }
    bool Gone() const { return m_reads >= m_readsBefore; }

    HANDLE CreateFileW(LPCWSTR a, DWORD b, DWORD c, LPSECURITY_ATTRIBUTES d, DWORD e, DWORD f, HANDLE g) override
    {
        if (Gone() && m_opensFail) {
            m_m.SetLastError(ERROR_FILE_NOT_FOUND);
            return INVALID_HANDLE_VALUE;
        }
        return m_m.CreateFileW(a, b, c, d, e, f, g);
    }
    BOOL DeviceIoControl(HANDLE a, DWORD b, LPVOID c, DWORD d, LPVOID e, DWORD f, LPDWORD g, LPOVERLAPPED h) override
    {
        return m_m.DeviceIoControl(a, b, c, d, e, f, g, h);
    }
    DWORD SetFilePointer(HANDLE a, LONG b, PLONG c, DWORD d) override { return m_m.SetFilePointer(a, b, c, d); }
    BOOL ReadFile(HANDLE a, LPVOID b, DWORD c, LPDWORD d, LPOVERLAPPED e) override
    {
        if (Gone()) {
            m_m.SetLastError(m_error);
            return FALSE;
        }
        ++m_reads;
        return m_m.ReadFile(a, b, c, d, e);
    }
    BOOL CloseHandle(HANDLE a) override { return m_m.CloseHandle(a); }
    DWORD GetLastError() override { return m_m.GetLastError(); }
    void SetLastError(DWORD e) override { m_m.SetLastError(e); }
    DWORD GetLogicalDrives() override { return m_m.GetLogicalDrives(); }
    DWORD GetTickCount() override { return m_m.GetTickCount(); }
    void Sleep(DWORD ms) override { m_m.Sleep(ms); }
    errno_t rand_s(unsigned int* v) override { return m_m.rand_s(v); }

private:
    SimMachine& m_m;
    ULONGLONG m_reads = 0;
    ULONGLONG m_readsBefore;
    DWORD m_error;
    bool m_opensFail;
};

TEST(ScanEngineTest, AVanishedDiskEndsTheScanWithoutFalseUnreadableSectors)
{
    struct Row {
        const char* name;
        scan::ScanPhase phase;  // the one it goes in
        DWORD pass;
        ULONGLONG readsInto;    // reads into that phase before it goes
        DWORD error;
        bool opensFail;
        DWORD named;          // the error it names
        scan::ScanPhase end;  // the phase it ends in
    };
    using P = scan::ScanPhase;
    const Row rows[] = {
        {"unplugged in the fast pass", P::FastPass, 1, 60, ERROR_CRC, true, ERROR_FILE_NOT_FOUND, P::FastPass},
        {"loop device over a vanished file, fast pass", P::FastPass, 1, 60, ERROR_CRC, false, ERROR_CRC, P::FastPass},
        {"not ready, fast pass", P::FastPass, 1, 60, 21, false, 21, P::FastPass},
        // Too few failures there for a check: the one before the trim finds it.
        {"loop device over a vanished file, backward pass", P::FastPass, 2, 2, ERROR_CRC, false, ERROR_CRC, P::Trim},
        {"unplugged in the trim", P::Trim, 1, 20, ERROR_CRC, true, ERROR_FILE_NOT_FOUND, P::Trim},
        {"loop device over a vanished file, trim", P::Trim, 1, 20, ERROR_CRC, false, ERROR_CRC, P::Trim},
        {"loop device over a vanished file, scrape", P::Scrape, 1, 20, ERROR_CRC, false, ERROR_CRC, P::Scrape},
    };
    // Where each phase begins, in the machine's reads (checks included), on
    // an uninterrupted scan.
    struct PhaseStarts final : scan::ScanObserver {
        const SimMachine* m = nullptr;
        std::vector<std::pair<std::pair<P, DWORD>, ULONGLONG>> starts;
        void OnPhase(P phase, const scan::ScanProgress& p) override
        {
            starts.push_back({{phase, p.pass}, m->ReadCount()});
        }
    } whole;
    {
        SimMachine m(OneDisk(ScanDisk(kUnits, 512, kPlanted)));
        whole.m = &m;
        SimScanClock clock(m);
        RangeMap map(kUnits * 512);
        scan::ScanOptions options;
        options.blockBytes = kBlock;
        ASSERT_EQ(RunScan(m, TargetOf(m, 0, 0), options, map, clock, &whole).end, ScanEnd::Finished);
    }
    const std::set<ULONGLONG> planted = Expected(kPlanted, 512, 0, kUnits);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ULONGLONG readsBefore = 0;
        for (const auto& [phase, reads] : whole.starts) {
            if (phase == std::make_pair(row.phase, row.pass)) {
                readsBefore = reads + row.readsInto;
            }
        }
        ASSERT_NE(readsBefore, 0u) << "the phase never began";
        SimMachine m(OneDisk(ScanDisk(kUnits, 512, kPlanted)));
        SimScanClock clock(m);
        const scan::ScanTarget target = TargetOf(m, 0, 0);
        VanishingOs os(m, readsBefore, row.error, row.opensFail);
        RangeMap map(target.diskBytes);
        scan::ScanOptions options;
        options.blockBytes = kBlock;
        const ScanResult r = RunScan(os, target, options, map, clock);
        EXPECT_EQ(r.end, ScanEnd::DiskGone);
        EXPECT_EQ(r.error, row.named);
        EXPECT_EQ(map.Phase(), row.end);
        EXPECT_TRUE(os.Gone());
        for (ULONGLONG s : UnreadableSectors(map, 512)) {
            EXPECT_TRUE(planted.count(s) != 0) << "sector " << s << " taken for unreadable";
        }
        EXPECT_LT(m.ReadCount(), readsBefore + 20) << "the scan went on after the disk went";
        EXPECT_EQ(m.OpenHandleCount(), 0u);
    }
}

TEST(ScanEngineTest, RefusesTargetsThatDoNotFit)
{
    SimMachine m(OneDisk(ScanDisk(kUnits, 512, {})));
    SimScanClock clock(m);
    const scan::ScanTarget good = TargetOf(m, 0, 0);
    struct Row {
        const char* name;
        scan::ScanTarget target;
        DWORD block;
        ULONGLONG mapBytes;
    };
    scan::ScanTarget pastEnd = good;
    pastEnd.firstSector = 10;
    pastEnd.sectorCount = kUnits - 9;
    scan::ScanTarget odd = good;
    odd.sectorBytes = 520;
    const Row rows[] = {
        {"range past the disk's end", pastEnd, kBlock, good.diskBytes},
        {"block not a multiple of the sector", good, 1000, good.diskBytes},
        {"unreadable sector size", odd, kBlock, good.diskBytes},
        {"map of another size", good, kBlock, good.diskBytes + 512},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        RangeMap map(row.mapBytes);
        scan::ScanOptions options;
        options.blockBytes = row.block;
        const ScanResult r = RunScan(m, row.target, options, map, clock);
        EXPECT_EQ(r.end, ScanEnd::InvalidArgs);
        EXPECT_FALSE(r.why.empty());
    }
    EXPECT_EQ(m.ReadCount(), 0u);
}

// 16 TiB of a disk without media: no buffer filled, nothing recorded, a map
// of a few ranges; the memory stays flat.
TEST(ScanEngineTest, ScansASixteenTebibyteDiskWithFlatMemory)
{
    constexpr ULONGLONG kBytes = 16ull << 40;
    const ULONGLONG last = kBytes / 512 - 1;
    SimMachine m(OneDisk(ScanDisk(kBytes / 512, 512, {{1ull << 33, 1ull << 33}, {last, last}})));
    m.SetRecording(false);
    m.SetFillReads(false);
    SimScanClock clock(m);
    RangeMap map(kBytes);
    scan::ScanOptions options;
    options.blockBytes = scan::kMaxBlockBytes;
    const auto start = std::chrono::steady_clock::now();
    const ScanResult r = RunScan(m, TargetOf(m, 0, 0), options, map, clock);
    const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ASSERT_EQ(r.end, ScanEnd::Finished);
    EXPECT_EQ(UnreadableSectors(map, 512), (std::set<ULONGLONG>{1ull << 33, last}));
    EXPECT_LE(map.Ranges().size(), 4u);
    EXPECT_LT(seconds, 60.0);
}

}  // namespace
}  // namespace hdd::testing
