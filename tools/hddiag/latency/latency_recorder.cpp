#include "tools/hddiag/latency/latency_recorder.h"

#include <algorithm>

#include "tools/hddiag/latency/read_map.h"

namespace hddiag {

const char* LatencyClassLabel(size_t index)
{
    static const char* const labels[kLatencyClassCount] = {"< 5 ms",   "< 20 ms",  "< 50 ms",
                                                           "< 150 ms", "< 500 ms", ">= 500 ms"};
    return index < kLatencyClassCount ? labels[index] : "?";
}

double LatencySummary::ReadsPerSecond() const
{
    return elapsedNs == 0 ? 0.0 : static_cast<double>(reads) * 1e9 / static_cast<double>(elapsedNs);
}

const PositionBucket* LatencySummary::SlowestBucket() const
{
    const PositionBucket* slowest = nullptr;
    for (const PositionBucket& bucket : positions) {
        if (bucket.reads > 0 && (slowest == nullptr || bucket.maxNs > slowest->maxNs)) {
            slowest = &bucket;
        }
    }
    return slowest;
}

LatencyRecorder::LatencyRecorder() { m_failed.reserve(kFailedKept); }

void LatencyRecorder::Begin(ULONGLONG nowNs)
{
    m_startNs = nowNs;
    m_reads = 0;
    m_failedReads = 0;
    m_sumNs = 0;
    m_minNs = ~0ull;
    m_histogram.fill(0);
    m_classes.fill(0);
    m_slowReads = 0;
    m_slowestCount = 0;
    m_slowestFloor = 0;
    m_slowestMax = 0;
    m_keepFrom = 0;
    m_failed.clear();
    m_failedNotListed = 0;
    m_openError = 0;
    m_cells.fill(Cell{});
    m_mapEmpty = true;
    m_shift = 0;
    m_base = 0;
}

void LatencyRecorder::RecordFailure(ULONGLONG sector, DWORD error, ULONGLONG ns)
{
    ++m_reads;
    ++m_failedReads;
    ++MapCell(sector).failed;
    if (m_failed.size() < kFailedKept) {
        m_failed.push_back(FailedRead{sector, error, ns});
    } else {
        ++m_failedNotListed;
    }
    if (m_map != nullptr) {
        m_map->RecordFailure(sector, error);
    }
}

void LatencyRecorder::FeedMap(ULONGLONG sector, size_t latencyClass) { m_map->RecordClass(sector, latencyClass); }

void LatencyRecorder::Widen(ULONGLONG unit)
{
    // The units taken so far and the new one, at the present width.
    ULONGLONG low = unit;
    ULONGLONG high = unit;
    for (size_t i = 0; i < kPositionBuckets; ++i) {
        if (m_cells[i].reads != 0 || m_cells[i].failed != 0) {
            low = std::min(low, m_base + i);
            high = std::max(high, m_base + i);
        }
    }
    unsigned shift = m_shift;
    while (shift < 63 && (high >> (shift - m_shift)) - (low >> (shift - m_shift)) >= kPositionBuckets) {
        ++shift;
    }
    const ULONGLONG base = low >> (shift - m_shift);
    std::array<Cell, kPositionBuckets> merged{};
    for (size_t i = 0; i < kPositionBuckets; ++i) {
        const Cell& old = m_cells[i];
        if (old.reads == 0 && old.failed == 0) {
            continue;
        }
        // Every old cell lies inside one new cell, since both are aligned.
        Cell& into = merged[static_cast<size_t>(((m_base + i) >> (shift - m_shift)) - base)];
        into.reads += old.reads;
        into.failed += old.failed;
        into.sumNs += old.sumNs;
        into.maxNs = std::max(into.maxNs, old.maxNs);
    }
    m_cells = merged;
    m_shift = shift;
    m_base = base;
}

void LatencyRecorder::KeepSlow(ULONGLONG sector, ULONGLONG ns)
{
    const Slow entry{ns, sector, m_reads};
    size_t at = m_slowestFloor;
    if (m_slowestCount < kSlowestKept) {
        at = m_slowestCount++;
    }
    m_slowest[at] = entry;
    if (ns > m_slowest[m_slowestMax].nanoseconds) {
        m_slowestMax = at;
    }
    if (m_slowestCount == kSlowestKept) {
        // The entry to give up next: the fastest, and of equal ones the latest.
        m_slowestFloor = 0;
        for (size_t i = 1; i < kSlowestKept; ++i) {
            const Slow& a = m_slowest[i];
            const Slow& b = m_slowest[m_slowestFloor];
            if (a.nanoseconds < b.nanoseconds || (a.nanoseconds == b.nanoseconds && a.order > b.order)) {
                m_slowestFloor = i;
            }
        }
        // Only a read slower than all of them displaces one (equal ones keep the earlier).
        const ULONGLONG floor = m_slowest[m_slowestFloor].nanoseconds;
        m_keepFrom = floor == ~0ull ? floor : floor + 1;
    }
}

ULONGLONG LatencyRecorder::BucketLow(size_t index)
{
    if (index < 2 * kSubBuckets) {
        return index;
    }
    const unsigned shift = static_cast<unsigned>(index / kSubBuckets) - 1;
    return (kSubBuckets + index % kSubBuckets) << shift;
}

ULONGLONG LatencyRecorder::BucketWidth(size_t index)
{
    return index < 2 * kSubBuckets ? 1 : 1ull << (static_cast<unsigned>(index / kSubBuckets) - 1);
}

ULONGLONG LatencyRecorder::Percentile(ULONGLONG perMille) const
{
    const ULONGLONG successful = m_reads - m_failedReads;
    if (successful == 0) {
        return 0;
    }
    // The smallest latency that at least perMille of the reads do not exceed.
    const ULONGLONG rank = std::max<ULONGLONG>(1, (successful * perMille + 999) / 1000);
    if (rank >= successful) {
        return MaxNs();  // known exactly
    }
    ULONGLONG seen = 0;
    for (size_t i = 0; i < kHistogramBuckets; ++i) {
        seen += m_histogram[i];
        if (seen >= rank) {
            const ULONGLONG middle = BucketLow(i) + BucketWidth(i) / 2;
            return std::clamp(middle, m_minNs, MaxNs());
        }
    }
    return MaxNs();
}

LatencySummary LatencyRecorder::Finish(ULONGLONG nowNs) const
{
    LatencySummary s;
    s.reads = m_reads;
    s.failedReads = m_failedReads;
    s.elapsedNs = nowNs > m_startNs ? nowNs - m_startNs : 0;
    const ULONGLONG successful = m_reads - m_failedReads;
    if (successful > 0) {
        s.minNs = m_minNs;
        s.maxNs = MaxNs();
        s.sumNs = m_sumNs;
        s.meanNs = m_sumNs / successful;
        s.p50Ns = Percentile(500);
        s.p90Ns = Percentile(900);
        s.p99Ns = Percentile(990);
        s.p999Ns = Percentile(999);
    }
    s.classes = m_classes;
    s.slowReads = m_slowReads;

    std::vector<Slow> slow(m_slowest.begin(), m_slowest.begin() + static_cast<std::ptrdiff_t>(m_slowestCount));
    std::sort(slow.begin(), slow.end(), [](const Slow& a, const Slow& b) {
        return a.nanoseconds != b.nanoseconds ? a.nanoseconds > b.nanoseconds : a.order < b.order;
    });
    for (const Slow& entry : slow) {
        s.slowest.push_back(TimedRead{entry.sector, entry.nanoseconds});
    }
    s.failed = m_failed;
    s.failedNotListed = m_failedNotListed;
    s.openError = m_openError;

    if (!m_mapEmpty) {
        s.sectorsPerBucket = 1ull << m_shift;
        size_t first = kPositionBuckets;
        size_t last = 0;
        for (size_t i = 0; i < kPositionBuckets; ++i) {
            if (m_cells[i].reads != 0 || m_cells[i].failed != 0) {
                first = std::min(first, i);
                last = i;
            }
        }
        for (size_t i = first; i <= last && first < kPositionBuckets; ++i) {
            const Cell& cell = m_cells[i];
            PositionBucket bucket;
            bucket.firstSector = (m_base + i) << m_shift;
            bucket.lastSector = bucket.firstSector + (s.sectorsPerBucket - 1);
            bucket.reads = cell.reads;
            bucket.failed = cell.failed;
            bucket.maxNs = cell.maxNs;
            bucket.meanNs = cell.reads == 0 ? 0 : cell.sumNs / cell.reads;
            s.positions.push_back(bucket);
        }
    }
    return s;
}

}  // namespace hddiag
