// The latency recorder against brute force: the same reads kept in full and
// sorted give the exact figures the recorder must match (percentiles within
// the histogram's stated resolution of 1/64), whatever the order of reads.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "tools/hddiag/latency/latency_recorder.h"

namespace hddiag::testing {
namespace {

struct Read {
    ULONGLONG sector;
    ULONGLONG ns;
    DWORD error;  // 0: succeeded
};

LatencySummary Record(const std::vector<Read>& reads, ULONGLONG startNs = 1000, ULONGLONG endNs = 5000)
{
    LatencyRecorder recorder;
    recorder.Begin(startNs);
    for (const Read& r : reads) {
        if (r.error == 0) {
            recorder.RecordSuccess(r.sector, r.ns);
        } else {
            recorder.RecordFailure(r.sector, r.error, r.ns);
        }
    }
    return recorder.Finish(endNs);
}

// The exact percentile: the smallest latency at least that share of reads do not exceed.
ULONGLONG ExactPercentile(std::vector<ULONGLONG> sorted, double share)
{
    const size_t rank = std::max<size_t>(1, static_cast<size_t>(std::ceil(share * static_cast<double>(sorted.size()))));
    return sorted[rank - 1];
}

void ExpectMatchesBruteForce(const std::vector<Read>& reads, const LatencySummary& s)
{
    std::vector<ULONGLONG> ok;
    std::vector<TimedRead> byLatency;
    std::array<ULONGLONG, kLatencyClassCount> classes{};
    std::vector<FailedRead> failed;
    for (const Read& r : reads) {
        if (r.error != 0) {
            failed.push_back({r.sector, r.error, r.ns});
            continue;
        }
        ok.push_back(r.ns);
        byLatency.push_back({r.sector, r.ns});
        const size_t c = static_cast<size_t>(
            std::upper_bound(kLatencyClassBoundsNs.begin(), kLatencyClassBoundsNs.end(), r.ns) -
            kLatencyClassBoundsNs.begin());
        ++classes[c];
    }
    EXPECT_EQ(s.reads, reads.size());
    EXPECT_EQ(s.failedReads, failed.size());
    EXPECT_EQ(s.classes, classes);
    EXPECT_EQ(s.failed, std::vector<FailedRead>(failed.begin(), failed.begin() + std::min<size_t>(failed.size(), 1000)));
    EXPECT_EQ(s.failedNotListed, failed.size() > 1000 ? failed.size() - 1000 : 0);

    // Slowest first, equal ones in the order read.
    std::stable_sort(byLatency.begin(), byLatency.end(),
                     [](const TimedRead& a, const TimedRead& b) { return a.nanoseconds > b.nanoseconds; });
    byLatency.resize(std::min<size_t>(byLatency.size(), LatencyRecorder::kSlowestKept));
    EXPECT_EQ(s.slowest, byLatency);

    if (ok.empty()) {
        return;
    }
    std::sort(ok.begin(), ok.end());
    ULONGLONG sum = 0;
    for (ULONGLONG v : ok) {
        sum += v;
    }
    EXPECT_EQ(s.minNs, ok.front());
    EXPECT_EQ(s.maxNs, ok.back());
    EXPECT_EQ(s.sumNs, sum);
    EXPECT_EQ(s.meanNs, sum / ok.size());
    const std::pair<ULONGLONG, double> percentiles[] = {
        {s.p50Ns, 0.5}, {s.p90Ns, 0.9}, {s.p99Ns, 0.99}, {s.p999Ns, 0.999}};
    for (const auto& [got, share] : percentiles) {
        const ULONGLONG exact = ExactPercentile(ok, share);
        EXPECT_LE(std::fabs(static_cast<double>(got) - static_cast<double>(exact)), static_cast<double>(exact) / 64)
            << "share " << share << ": " << got << " for " << exact;
    }
}

// Every read lies in the one bucket that covers its sector, the buckets are
// as narrow as 128 of them allow, and their figures are those of their reads.
void ExpectPositionMap(const std::vector<Read>& reads, const LatencySummary& s)
{
    ULONGLONG low = ~0ull;
    ULONGLONG high = 0;
    for (const Read& r : reads) {
        low = std::min(low, r.sector);
        high = std::max(high, r.sector);
    }
    const ULONGLONG width = s.sectorsPerBucket;
    ASSERT_TRUE(width != 0 && (width & (width - 1)) == 0) << width;
    EXPECT_LT(high / width - low / width, LatencyRecorder::kPositionBuckets);
    if (width > 1) {
        EXPECT_GE(high / (width / 2) - low / (width / 2), LatencyRecorder::kPositionBuckets) << "not the narrowest";
    }
    ASSERT_EQ(s.positions.size(), high / width - low / width + 1);
    for (size_t i = 0; i < s.positions.size(); ++i) {
        const PositionBucket& b = s.positions[i];
        EXPECT_EQ(b.firstSector, (low / width + i) * width);
        EXPECT_EQ(b.lastSector, b.firstSector + width - 1);
        ULONGLONG count = 0, failures = 0, sum = 0, max = 0;
        for (const Read& r : reads) {
            if (r.sector >= b.firstSector && r.sector <= b.lastSector) {
                if (r.error != 0) {
                    ++failures;
                } else {
                    ++count;
                    sum += r.ns;
                    max = std::max(max, r.ns);
                }
            }
        }
        SCOPED_TRACE("bucket " + std::to_string(i));
        EXPECT_EQ(b.reads, count);
        EXPECT_EQ(b.failed, failures);
        EXPECT_EQ(b.maxNs, max);
        EXPECT_EQ(b.meanNs, count == 0 ? 0 : sum / count);
    }
}

TEST(LatencyRecorder, HistogramBucketsTileTheRangeAndHoldTheirValues)
{
    ULONGLONG expectedLow = 0;
    for (size_t i = 0; i < LatencyRecorder::kHistogramBuckets; ++i) {
        SCOPED_TRACE(i);
        const ULONGLONG low = LatencyRecorder::BucketLow(i);
        const ULONGLONG width = LatencyRecorder::BucketWidth(i);
        ASSERT_EQ(low, expectedLow);
        EXPECT_EQ(LatencyRecorder::HistogramIndex(low), i);
        EXPECT_EQ(LatencyRecorder::HistogramIndex(low + width - 1), i);
        // The stated resolution: half a bucket is at most 1/64 of its values.
        if (width > 1) {
            EXPECT_LE(width * 32, low);
        }
        expectedLow = low + width;
    }
    EXPECT_EQ(LatencyRecorder::HistogramIndex(~0ull), LatencyRecorder::kHistogramBuckets - 1);
}

TEST(LatencyRecorder, MatchesBruteForceInAnyOrder)
{
    std::mt19937_64 random(12);
    const auto logUniform = [&random](double lowNs, double highNs) {
        std::uniform_real_distribution<double> e(std::log(lowNs), std::log(highNs));
        return static_cast<ULONGLONG>(std::exp(e(random)));
    };
    struct Row {
        const char* what;
        std::vector<Read> reads;
    };
    std::vector<Row> rows;
    {
        Row row{"log-uniform latencies from 1 ns to 2 s over a 16 TB disk", {}};
        for (int i = 0; i < 20000; ++i) {
            row.reads.push_back({random() % 31250000000ull, logUniform(1, 2e9), 0});
        }
        rows.push_back(std::move(row));
    }
    {
        Row row{"a sweep with a slow area and some failures", {}};
        for (ULONGLONG sector = 1000000; sector < 1000000 + 252 * 5000; sector += 252) {
            const bool slow = sector >= 1500000 && sector < 1510000;
            const DWORD error = sector % 100000 < 252 ? 23u : 0u;
            row.reads.push_back({sector, slow ? 300000000ull + sector % 7 : 4667000ull + sector % 1000, error});
        }
        rows.push_back(std::move(row));
    }
    {
        Row row{"all equal: the first twenty are the slowest", {}};
        for (ULONGLONG i = 0; i < 500; ++i) {
            row.reads.push_back({i * 3, 2500000, 0});
        }
        rows.push_back(std::move(row));
    }
    {
        Row row{"more failures than are listed", {}};
        for (ULONGLONG i = 0; i < 1600; ++i) {
            row.reads.push_back({i, 1000 + i, i % 3 == 0 ? 0u : 27u});
        }
        rows.push_back(std::move(row));
    }
    rows.push_back({"one read", {{77, 5000000, 0}}});
    rows.push_back({"only a failure", {{77, 100, 23}}});

    for (Row& row : rows) {
        SCOPED_TRACE(row.what);
        const LatencySummary forward = Record(row.reads);
        ExpectMatchesBruteForce(row.reads, forward);
        ExpectPositionMap(row.reads, forward);
        // The map and the percentiles do not depend on the order of reads.
        std::vector<Read> shuffled = row.reads;
        std::shuffle(shuffled.begin(), shuffled.end(), random);
        const LatencySummary other = Record(shuffled);
        ExpectPositionMap(shuffled, other);
        EXPECT_EQ(other.sectorsPerBucket, forward.sectorsPerBucket);
        EXPECT_EQ(other.p99Ns, forward.p99Ns);
        EXPECT_EQ(other.classes, forward.classes);
    }
}

TEST(LatencyRecorder, BeginForgetsThePreviousTestAndFinishTimesIt)
{
    LatencyRecorder recorder;
    recorder.Begin(100);
    recorder.RecordSuccess(5, 900000000);
    recorder.RecordFailure(9, 23, 1);
    recorder.Begin(2000000000);
    recorder.RecordSuccess(1000, 2000000);
    recorder.RecordSuccess(1001, 4000000);
    const LatencySummary s = recorder.Finish(3000000000);
    EXPECT_EQ(s.reads, 2u);
    EXPECT_EQ(s.failedReads, 0u);
    EXPECT_TRUE(s.failed.empty());
    EXPECT_EQ(s.maxNs, 4000000u);
    EXPECT_EQ(s.elapsedNs, 1000000000u);
    EXPECT_DOUBLE_EQ(s.ReadsPerSecond(), 2.0);
    ASSERT_EQ(s.positions.size(), 2u);
    EXPECT_EQ(s.positions[0].firstSector, 1000u);
    EXPECT_EQ(s.sectorsPerBucket, 1u);
    EXPECT_EQ(s.SlowestBucket(), &s.positions[1]);

    // No reads: nothing to show, and no time passed gives no rate.
    recorder.Begin(7);
    const LatencySummary none = recorder.Finish(7);
    EXPECT_EQ(none.reads, 0u);
    EXPECT_TRUE(none.positions.empty());
    EXPECT_EQ(none.SlowestBucket(), nullptr);
    EXPECT_EQ(none.ReadsPerSecond(), 0.0);
}

// Successful reads at or above the bound are slow, failed ones never; the
// default bound is the slowest class's, and Begin keeps the bound but
// forgets the count.
TEST(LatencyRecorder, CountsSlowReadsFromItsBound)
{
    const std::vector<Read> reads = {
        {1, 499999999, 0}, {2, 500000000, 0}, {3, 800000000, 0}, {4, 900000000, 23}, {5, 1000, 0}};
    EXPECT_EQ(Record(reads).slowReads, Record(reads).classes[kLatencyClassCount - 1]);
    struct Row {
        ULONGLONG bound;
        ULONGLONG slow;
    };
    const Row rows[] = {{kSlowReadNs, 2}, {1, 4}, {1001, 3}, {500000001, 1}, {800000001, 0}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.bound);
        LatencyRecorder recorder;
        recorder.CountSlowFrom(row.bound);
        for (int pass = 0; pass < 2; ++pass) {
            recorder.Begin(0);
            for (const Read& r : reads) {
                if (r.error == 0) {
                    recorder.RecordSuccess(r.sector, r.ns);
                } else {
                    recorder.RecordFailure(r.sector, r.error, r.ns);
                }
            }
            EXPECT_EQ(recorder.Finish(1).slowReads, row.slow);
        }
        recorder.Begin(0);
        EXPECT_EQ(recorder.Finish(1).slowReads, 0u);
    }
}

}  // namespace
}  // namespace hddiag::testing
