#include "tools/hddiag/writers/metrics_writer.h"

#include <iomanip>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tools/hddiag/session/report.h"
#include "tools/hddiag/text/openmetrics.h"

namespace hddiag {

namespace {

// {disk="1",device="sdb",serial="S1",partition="1,2",test="surface"}: the
// tested disk with its identity, the items' partitions.
std::string Labels(const TestRecord& test, const std::vector<DiskRow>& disks)
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
    return "disk=\"" + (disk < 0 ? std::string() : std::to_string(disk)) + "\",device=\"" +
           MetricLabelValue(row != nullptr ? row->device : std::string()) + "\",serial=\"" +
           MetricLabelValue(row != nullptr ? row->serial : std::string()) + "\",partition=\"" + MetricLabelValue(partitions) +
           "\",test=\"" + Describe(test.kind).name + "\"";
}

// hddiag_disk_info{disk,device,model,serial,wwn} 1 for every disk known. A
// gauge: node_exporter 1.5 refuses a whole file with the info type.
std::string DiskInfo(const std::vector<DiskRow>& disks)
{
    std::string samples;
    for (const DiskRow& row : disks) {
        samples += "hddiag_disk_info{disk=\"" + std::to_string(row.disk) + "\",device=\"" + MetricLabelValue(row.device) +
                   "\",model=\"" + MetricLabelValue(row.model) + "\",serial=\"" + MetricLabelValue(row.serial) + "\",wwn=\"" +
                   MetricLabelValue(row.wwn) + "\"} 1\n";
    }
    return samples;
}

// {disk="0",device="sda",serial="S1"}: a disk with its identity, as the
// health file labels it.
std::string DiskLabels(const DiskCoverage& disk, const std::vector<DiskRow>& disks)
{
    const DiskRow* row = FindDisk(disks, disk.disk);
    return "{disk=\"" + std::to_string(disk.disk) + "\",device=\"" + MetricLabelValue(disk.device) + "\",serial=\"" +
           MetricLabelValue(row != nullptr ? row->serial : std::string()) + "\"} ";
}

struct Family {
    const char* name;
    const char* type;
    const char* unit;  // empty: none
    const char* help;
};

void Header(std::ostream& out, const Family& f)
{
    out << "# TYPE " << f.name << ' ' << f.type << '\n';
    if (*f.unit != '\0') {
        out << "# UNIT " << f.name << ' ' << f.unit << '\n';
    }
    out << "# HELP " << f.name << ' ' << f.help << '\n';
}

}  // namespace

void WriteMetrics(std::ostream& out, const RunResult& result, const RunInfo& info)
{
    // One series per disk, partition and test: a test repeated on the same
    // items keeps its first result.
    struct Series {
        std::string labels;
        const TestRecord* test;
        const LatencySummary* latency;
    };
    std::vector<Series> series;
    std::set<std::string> seen;
    for (size_t i = 0; i < result.tests.size(); ++i) {
        const TestRecord& test = result.tests[i];
        std::string labels = Labels(test, result.disks);
        if (test.outcome != Outcome::NotRun && seen.insert(labels).second) {
            series.push_back({std::move(labels), &test, result.LatencyOf(i)});
        }
    }

    // A family is written only when it has samples.
    const auto emit = [&out](const Family& family, const std::string& samples) {
        if (!samples.empty()) {
            Header(out, family);
            out << samples;
        }
    };
    emit({"hddiag_disk_info", "gauge", "",
          "The disks hddiag knows, by number, with their identity (always 1)."},
         DiskInfo(result.disks));
    std::ostringstream tested, slowReads;
    for (const DiskCoverage& disk : result.coverage) {
        const std::string labels = DiskLabels(disk, result.disks);
        tested << "hddiag_disk_tested" << labels << (disk.Tested() ? 1 : 0) << '\n';
        if (disk.timed) {
            slowReads << "hddiag_disk_slow_reads" << labels << disk.slowReads << '\n';
        }
    }
    emit({"hddiag_disk_tested", "gauge", "",
          "1 when a test of the run read the disk to its end, 0 when none did (a bus or media the tests do not "
          "take, no lettered partition, refused, stopped)."},
         tested.str());
    emit({"hddiag_disk_slow_reads", "gauge", "",
          "Successful reads of the disk's tests that took hddiag_run_slow_read_seconds or more."},
         slowReads.str());
    std::ostringstream codes, passed, reads, failed, duration, histogram;
    for (const Series& s : series) {
        const std::string labels = "{" + s.labels + "} ";
        codes << "hddiag_test_result_code" << labels << s.test->code << '\n';
        passed << "hddiag_test_passed" << labels << (s.test->outcome == Outcome::Passed ? 1 : 0) << '\n';
        if (s.latency == nullptr) {
            continue;
        }
        reads << "hddiag_test_reads" << labels << s.latency->reads << '\n';
        failed << "hddiag_test_failed_reads" << labels << s.latency->failedReads << '\n';
        duration << "hddiag_test_duration_seconds" << labels << MetricNumber(static_cast<double>(s.latency->elapsedNs) / 1e9)
                 << '\n';
        ULONGLONG cumulative = 0;
        for (size_t c = 0; c < kLatencyClassCount; ++c) {
            cumulative += s.latency->classes[c];
            const std::string le =
                c < kLatencyClassBoundsNs.size() ? MetricNumber(static_cast<double>(kLatencyClassBoundsNs[c]) / 1e9) : "+Inf";
            histogram << "hddiag_test_read_latency_seconds_bucket{" << s.labels << ",le=\"" << le << "\"} "
                      << cumulative << '\n';
        }
        histogram << "hddiag_test_read_latency_seconds_count" << labels << cumulative << '\n';
        histogram << "hddiag_test_read_latency_seconds_sum" << labels
                  << MetricNumber(static_cast<double>(s.latency->sumNs) / 1e9) << '\n';
    }
    emit({"hddiag_test_result_code", "gauge", "", "What the test method handed back as its result (0 when it passed)."},
         codes.str());
    emit({"hddiag_test_passed", "gauge", "", "1 when the test passed, else 0."}, passed.str());
    emit({"hddiag_test_reads", "gauge", "", "Sector reads the test made, failed ones included."}, reads.str());
    emit({"hddiag_test_failed_reads", "gauge", "", "Sector reads of the test that failed."}, failed.str());
    emit({"hddiag_test_duration_seconds", "gauge", "seconds", "How long the test took."}, duration.str());
    emit({"hddiag_test_read_latency_seconds", "histogram", "seconds",
          "Latency of the test's successful sector reads, seek included."},
         histogram.str());
    emit({"hddiag_run_passed", "gauge", "",
          "1 when at least one test ran and every test of the run passed, else 0 (also when nothing was tested)."},
         std::string("hddiag_run_passed ") + (RunPassed(result) ? "1" : "0") + "\n");
    emit({"hddiag_run_tests", "gauge", "", "Tests that ran to their end, passed or failed; 0: nothing was tested."},
         "hddiag_run_tests " + std::to_string(TestsRun(result)) + "\n");
    if (!result.coverage.empty()) {
        emit({"hddiag_run_slow_read_seconds", "gauge", "seconds", "From this latency on a read counts as slow (--slow)."},
             "hddiag_run_slow_read_seconds " + MetricNumber(static_cast<double>(result.slowReadNs) / 1e9) + "\n");
    }
    emit({"hddiag_run_end_timestamp_seconds", "gauge", "seconds", "When the run ended."},
         "hddiag_run_end_timestamp_seconds " + MetricNumber(info.endTime) + "\n");
    out << "# EOF\n";
}

}  // namespace hddiag
