// The read latencies of one test, kept in memory of a fixed size whatever
// the number of reads: counts, extremes and sum, a log-scaled histogram for
// the percentiles, the classes scanner users know, the slowest reads, the
// failed reads (up to a cap), and a map of latency by position on the disk.
// Recording a read allocates nothing.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <vector>

#include "platform/win32.h"

namespace hddiag {

// Classes by latency: < 5, < 20, < 50, < 150, < 500 ms, >= 500 ms; failed
// reads are counted apart.
constexpr size_t kLatencyClassCount = 6;
constexpr std::array<ULONGLONG, kLatencyClassCount - 1> kLatencyClassBoundsNs = {
    5000000ull, 20000000ull, 50000000ull, 150000000ull, 500000000ull};

// Reads at or above the slowest class's bound are slow reads: run's --slow
// default, and the bucket the alert rule in deploy/prometheus counts above.
constexpr ULONGLONG kSlowReadNs = kLatencyClassBoundsNs.back();
constexpr DWORD kSlowReadMs = static_cast<DWORD>(kSlowReadNs / 1000000);

// "< 5 ms", ..., ">= 500 ms".
const char* LatencyClassLabel(size_t index);

// The class of a read's latency, 0 (< 5 ms) to 5 (>= 500 ms); one comparison
// for a fast read.
inline size_t LatencyClassOf(ULONGLONG ns)
{
    size_t c = 0;
    while (c < kLatencyClassBoundsNs.size() && ns >= kLatencyClassBoundsNs[c]) {
        ++c;
    }
    return c;
}

struct TimedRead {
    ULONGLONG sector = 0;
    ULONGLONG nanoseconds = 0;
    bool operator==(const TimedRead&) const = default;
};

struct FailedRead {
    ULONGLONG sector = 0;
    DWORD error = 0;
    ULONGLONG nanoseconds = 0;
    bool operator==(const FailedRead&) const = default;
};

// Reads whose sectors fall in [firstSector, lastSector].
struct PositionBucket {
    ULONGLONG firstSector = 0;
    ULONGLONG lastSector = 0;
    ULONGLONG reads = 0;   // successful
    ULONGLONG failed = 0;
    ULONGLONG maxNs = 0;
    ULONGLONG meanNs = 0;
};

// What one test's reads came to. Latency figures cover the successful reads.
struct LatencySummary {
    ULONGLONG reads = 0;  // all timed reads, failed ones included
    ULONGLONG failedReads = 0;
    ULONGLONG elapsedNs = 0;  // from the test's start to its end
    ULONGLONG minNs = 0;
    ULONGLONG meanNs = 0;
    ULONGLONG maxNs = 0;
    ULONGLONG sumNs = 0;
    ULONGLONG p50Ns = 0;
    ULONGLONG p90Ns = 0;
    ULONGLONG p99Ns = 0;
    ULONGLONG p999Ns = 0;
    std::array<ULONGLONG, kLatencyClassCount> classes{};
    ULONGLONG slowReads = 0;  // successful reads at or above the recorder's slow bound
    std::vector<TimedRead> slowest;  // slowest first; equal ones in read order
    std::vector<FailedRead> failed;  // in read order
    ULONGLONG failedNotListed = 0;   // failed reads beyond the list's cap
    DWORD openError = 0;  // the test's first failed open (a drive or volume gone), 0: none
    ULONGLONG sectorsPerBucket = 0;
    std::vector<PositionBucket> positions;  // from the first to the last bucket read

    ULONGLONG SuccessfulReads() const { return reads - failedReads; }
    // 0 when no time passed.
    double ReadsPerSecond() const;
    // The bucket with the highest maximum (the first of equal ones); null
    // without successful reads.
    const PositionBucket* SlowestBucket() const;
};

class ReadMap;

class LatencyRecorder {
public:
    static constexpr size_t kSlowestKept = 20;
    static constexpr size_t kFailedKept = 1000;
    static constexpr size_t kPositionBuckets = 128;
    // The histogram: exact below 64 ns, then 32 buckets to each power of
    // two, so a percentile (a bucket's middle) is within 1/64 of the latency
    // it stands for; latencies of 2^45 ns (about 9.8 hours) and more share
    // the last bucket.
    static constexpr unsigned kSubBucketBits = 5;
    static constexpr ULONGLONG kSubBuckets = 1ull << kSubBucketBits;
    static constexpr unsigned kTopExponent = 44;
    static constexpr size_t kHistogramBuckets = (kTopExponent - kSubBucketBits + 2) * kSubBuckets;

    LatencyRecorder();

    // Forgets the previous test.
    void Begin(ULONGLONG nowNs);
    // Successful reads at or above this are counted as slow (kept by Begin).
    void CountSlowFrom(ULONGLONG ns) { m_slowFromNs = ns; }
    // Also marks every read on this map (null: none), which Begin leaves alone.
    void Feed(ReadMap* map) { m_map = map; }

    void RecordSuccess(ULONGLONG sector, ULONGLONG ns)
    {
        ++m_reads;
        m_sumNs += ns;
        m_minNs = ns < m_minNs ? ns : m_minNs;  // (the maximum is the slowest kept read)
        ++m_histogram[HistogramIndex(ns)];
        const size_t latencyClass = LatencyClassOf(ns);
        ++m_classes[latencyClass];
        m_slowReads += ns >= m_slowFromNs ? 1u : 0u;
        Cell& cell = MapCell(sector);
        ++cell.reads;
        cell.sumNs += ns;
        cell.maxNs = ns > cell.maxNs ? ns : cell.maxNs;
        if (ns >= m_keepFrom) {
            KeepSlow(sector, ns);
        }
        if (m_map != nullptr) {
            FeedMap(sector, latencyClass);
        }
    }

    void RecordFailure(ULONGLONG sector, DWORD error, ULONGLONG ns);
    // A device path that did not open; only the test's first one is kept.
    void RecordOpenFailure(DWORD error)
    {
        if (m_openError == 0) {
            m_openError = error;
        }
    }

    LatencySummary Finish(ULONGLONG nowNs) const;

    static size_t HistogramIndex(ULONGLONG ns)
    {
        if (ns < 2 * kSubBuckets) {
            return static_cast<size_t>(ns);
        }
        unsigned exponent = static_cast<unsigned>(std::bit_width(ns)) - 1;
        if (exponent > kTopExponent) {
            return kHistogramBuckets - 1;
        }
        const unsigned shift = exponent - kSubBucketBits;
        return static_cast<size_t>((exponent - kSubBucketBits + 1) * kSubBuckets + (ns >> shift) - kSubBuckets);
    }
    // The smallest latency of a bucket and how many nanoseconds it spans.
    static ULONGLONG BucketLow(size_t index);
    static ULONGLONG BucketWidth(size_t index);

private:
    struct Cell {
        ULONGLONG reads = 0;
        ULONGLONG failed = 0;
        ULONGLONG sumNs = 0;
        ULONGLONG maxNs = 0;
    };
    struct Slow {
        ULONGLONG nanoseconds;
        ULONGLONG sector;
        ULONGLONG order;
    };

    // The map cell of a sector. Cells are 2^m_shift sectors wide and aligned
    // to their width; a sector outside the cells doubles the width until
    // every read so far fits, merging neighbours.
    Cell& MapCell(ULONGLONG sector)
    {
        if (m_mapEmpty) {
            m_mapEmpty = false;
            m_base = sector;
        }
        ULONGLONG unit = sector >> m_shift;
        if (unit < m_base || unit - m_base >= kPositionBuckets) {
            Widen(unit);
            unit = sector >> m_shift;
        }
        return m_cells[static_cast<size_t>(unit - m_base)];
    }
    // Makes room for a read in the cell `unit` of the present width.
    void Widen(ULONGLONG unit);
    void KeepSlow(ULONGLONG sector, ULONGLONG ns);
    void FeedMap(ULONGLONG sector, size_t latencyClass);
    ULONGLONG MaxNs() const { return m_slowestCount == 0 ? 0 : m_slowest[m_slowestMax].nanoseconds; }
    ULONGLONG Percentile(ULONGLONG perMille) const;

    ULONGLONG m_startNs = 0;
    ULONGLONG m_reads = 0;
    ULONGLONG m_failedReads = 0;
    ULONGLONG m_sumNs = 0;
    ULONGLONG m_minNs = ~0ull;
    std::array<ULONGLONG, kHistogramBuckets> m_histogram{};
    std::array<ULONGLONG, kLatencyClassCount> m_classes{};
    ULONGLONG m_slowFromNs = kSlowReadNs;
    ULONGLONG m_slowReads = 0;

    std::array<Slow, kSlowestKept> m_slowest{};
    size_t m_slowestCount = 0;
    size_t m_slowestFloor = 0;  // the fastest of the kept ones, once all are taken
    size_t m_slowestMax = 0;    // the slowest of them
    ULONGLONG m_keepFrom = 0;   // a read this slow is kept: 0 until all are taken

    std::vector<FailedRead> m_failed;  // capacity reserved once
    ULONGLONG m_failedNotListed = 0;
    DWORD m_openError = 0;

    std::array<Cell, kPositionBuckets> m_cells{};
    bool m_mapEmpty = true;
    unsigned m_shift = 0;
    ULONGLONG m_base = 0;  // the first cell's sector >> m_shift

    ReadMap* m_map = nullptr;
};

}  // namespace hddiag
