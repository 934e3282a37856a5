#include "tools/hddiag/writers/metrics_writer.h"

#include <set>
#include <string>
#include <vector>

#include "tools/hddiag/session/report.h"
#include "tools/hddiag/text/openmetrics.h"

namespace hddiag {

namespace {

// {disk="1",device="sdb",serial="S1",partition="1,2",test="surface"}: the
// tested disk with its identity, the items' partitions.
MetricLabels Labels(const TestRecord& test, const std::vector<DiskRow>& disks)
{
    const std::vector<std::string> items = SplitItems({test.selector});
    const LONG disk = TestedDisk(test.selector);
    std::string partitions;
    for (const std::string& item : items) {
        const size_t dash = item.find('-', 1);
        if (!partitions.empty()) {
            partitions += ',';
        }
        partitions += dash == std::string::npos ? std::string() : item.substr(dash + 1);
    }
    const DiskRow* row = FindDisk(disks, disk);
    return MetricLabels()
        .Add("disk", disk < 0 ? std::string() : std::to_string(disk))
        .Add("device", row != nullptr ? row->device : std::string())
        .Add("serial", row != nullptr ? row->serial : std::string())
        .Add("partition", partitions)
        .Add("test", Describe(test.kind).name);
}

// {disk="0",device="sda",serial="S1"}: a disk with its identity, as the
// health file labels it.
MetricLabels DiskLabels(const DiskCoverage& disk, const std::vector<DiskRow>& disks)
{
    const DiskRow* row = FindDisk(disks, disk.disk);
    return MetricLabels()
        .Add("disk", std::to_string(disk.disk))
        .Add("device", disk.device)
        .Add("serial", row != nullptr ? row->serial : std::string());
}

}  // namespace

void WriteMetrics(std::ostream& out, const RunResult& result, const RunInfo& info)
{
    OpenMetricsText metrics;
    // A gauge: node_exporter 1.5 refuses a whole file with the info type.
    const size_t diskInfo = metrics.Add(
        Gauge("hddiag_disk_info", "", "The disks hddiag knows, by number, with their identity (always 1)."));
    const size_t tested = metrics.Add(
        Gauge("hddiag_disk_tested", "",
              "1 when a test of the run read the disk to its end, 0 when none did (a bus or media the tests do not "
              "take, no lettered partition, refused, stopped)."));
    const size_t slowReads =
        metrics.Add(Gauge("hddiag_disk_slow_reads", "",
                          "Successful reads of the disk's tests that took hddiag_run_slow_read_seconds or more."));
    const size_t code = metrics.Add(
        Gauge("hddiag_test_result_code", "", "What the test method handed back as its result (0 when it passed)."));
    const size_t passed = metrics.Add(Gauge("hddiag_test_passed", "", "1 when the test passed, else 0."));
    const size_t reads =
        metrics.Add(Gauge("hddiag_test_reads", "", "Sector reads the test made, failed ones included."));
    const size_t failed = metrics.Add(Gauge("hddiag_test_failed_reads", "", "Sector reads of the test that failed."));
    const size_t duration = metrics.Add(Gauge("hddiag_test_duration_seconds", "seconds", "How long the test took."));
    const size_t latency = metrics.Add({"hddiag_test_read_latency_seconds", "histogram", "seconds",
                                        "Latency of the test's successful sector reads, seek included."});
    const size_t runPassed = metrics.Add(
        Gauge("hddiag_run_passed", "",
              "1 when at least one test ran and every test of the run passed, else 0 (also when nothing was tested)."));
    const size_t runTests = metrics.Add(
        Gauge("hddiag_run_tests", "", "Tests that ran to their end, passed or failed; 0: nothing was tested."));
    const size_t slowBound = metrics.Add(
        Gauge("hddiag_run_slow_read_seconds", "seconds", "From this latency on a read counts as slow (--slow)."));
    const size_t end = metrics.Add(Gauge("hddiag_run_end_timestamp_seconds", "seconds", "When the run ended."));

    for (const DiskRow& row : result.disks) {
        metrics.Sample(diskInfo,
                       MetricLabels()
                           .Add("disk", std::to_string(row.disk))
                           .Add("device", row.device)
                           .Add("model", row.model)
                           .Add("serial", row.serial)
                           .Add("wwn", row.wwn),
                       1);
    }
    for (const DiskCoverage& disk : result.coverage) {
        const MetricLabels labels = DiskLabels(disk, result.disks);
        metrics.Sample(tested, labels, disk.Tested() ? 1 : 0);
        if (disk.timed) {
            metrics.Sample(slowReads, labels, disk.slowReads);
        }
    }
    // One series per disk, partition and test: a test repeated on the same
    // items keeps its first result.
    std::set<std::string> seen;
    for (size_t i = 0; i < result.tests.size(); ++i) {
        const TestRecord& test = result.tests[i];
        const MetricLabels labels = Labels(test, result.disks);
        if (test.outcome == Outcome::NotRun || !seen.insert(labels.Text()).second) {
            continue;
        }
        metrics.Sample(code, labels, test.code);
        metrics.Sample(passed, labels, test.outcome == Outcome::Passed ? 1 : 0);
        const LatencySummary* l = result.LatencyOf(i);
        if (l == nullptr) {
            continue;
        }
        metrics.Sample(reads, labels, l->reads);
        metrics.Sample(failed, labels, l->failedReads);
        metrics.Sample(duration, labels, static_cast<double>(l->elapsedNs) / 1e9);
        ULONGLONG cumulative = 0;
        for (size_t c = 0; c < kLatencyClassCount; ++c) {
            cumulative += l->classes[c];
            const std::string le =
                c < kLatencyClassBoundsNs.size() ? MetricNumber(static_cast<double>(kLatencyClassBoundsNs[c]) / 1e9) : "+Inf";
            metrics.Sample(latency, labels.With("le", le), cumulative, "_bucket");
        }
        metrics.Sample(latency, labels, cumulative, "_count");
        metrics.Sample(latency, labels, static_cast<double>(l->sumNs) / 1e9, "_sum");
    }
    metrics.Sample(runPassed, MetricLabels(), RunPassed(result) ? 1 : 0);
    metrics.Sample(runTests, MetricLabels(), TestsRun(result));
    if (!result.coverage.empty()) {
        metrics.Sample(slowBound, MetricLabels(), static_cast<double>(result.slowReadNs) / 1e9);
    }
    metrics.Sample(end, MetricLabels(), info.endTime);
    out << metrics.Text();
}

}  // namespace hddiag
