// The OpenMetrics text every metrics file is written with: the header lines
// of a family, its samples kept together whatever order they came in, label
// values escaped, and one # EOF at the end.
#include <gtest/gtest.h>

#include <functional>

#include "platform/win32.h"
#include "tools/hddiag/text/openmetrics.h"

namespace hddiag::testing {
namespace {

const MetricFamily kReads = Gauge("t_reads", "", "Reads.");
const MetricFamily kTime = Gauge("t_time_seconds", "seconds", "Time.");
const MetricFamily kLatency{"t_latency_seconds", "histogram", "seconds", "Latency."};

MetricLabels Disk(const std::string& device)
{
    return MetricLabels().Add("disk", "0").Add("device", device);
}

TEST(OpenMetricsText, WritesFamiliesSamplesAndOneEof)
{
    struct Row {
        const char* what;
        std::function<void(OpenMetricsText&)> fill;
        std::string text;
    };
    const Row rows[] = {
        {"nothing", [](OpenMetricsText&) {}, "# EOF\n"},
        {"no unit line without a unit",
         [](OpenMetricsText& m) { m.Sample(m.Add(kReads), Disk("sda"), 3); },
         "# TYPE t_reads gauge\n# HELP t_reads Reads.\nt_reads{disk=\"0\",device=\"sda\"} 3\n# EOF\n"},
        {"unit line between type and help",
         [](OpenMetricsText& m) { m.Sample(m.Add(kTime), MetricLabels(), 1.7e9); },
         "# TYPE t_time_seconds gauge\n# UNIT t_time_seconds seconds\n# HELP t_time_seconds Time.\n"
         "t_time_seconds 1700000000\n# EOF\n"},
        {"an empty family left out or declared",
         [](OpenMetricsText& m) {
             m.Add(kReads);
             m.Add(kTime, EmptyFamily::Declare);
         },
         "# TYPE t_time_seconds gauge\n# UNIT t_time_seconds seconds\n# HELP t_time_seconds Time.\n# EOF\n"},
        {"samples grouped under their family, families in the order added",
         [](OpenMetricsText& m) {
             const size_t reads = m.Add(kReads);
             const size_t time = m.Add(kTime);
             m.Sample(time, Disk("a"), 0.25);
             m.Sample(reads, Disk("a"), ULONGLONG{18446744073709551615ULL});
             m.Sample(time, Disk("b"), 2.0);
             m.Sample(reads, Disk("b"), LONGLONG{-1});
         },
         "# TYPE t_reads gauge\n# HELP t_reads Reads.\n"
         "t_reads{disk=\"0\",device=\"a\"} 18446744073709551615\nt_reads{disk=\"0\",device=\"b\"} -1\n"
         "# TYPE t_time_seconds gauge\n# UNIT t_time_seconds seconds\n# HELP t_time_seconds Time.\n"
         "t_time_seconds{disk=\"0\",device=\"a\"} 0.25\nt_time_seconds{disk=\"0\",device=\"b\"} 2\n# EOF\n"},
        {"a histogram's suffixes and its le label",
         [](OpenMetricsText& m) {
             const size_t h = m.Add(kLatency);
             m.Sample(h, Disk("a").With("le", MetricNumber(0.001)), 1, "_bucket");
             m.Sample(h, Disk("a").With("le", "+Inf"), 2, "_bucket");
             m.Sample(h, Disk("a"), 2, "_count");
         },
         "# TYPE t_latency_seconds histogram\n# UNIT t_latency_seconds seconds\n# HELP t_latency_seconds Latency.\n"
         "t_latency_seconds_bucket{disk=\"0\",device=\"a\",le=\"0.001\"} 1\n"
         "t_latency_seconds_bucket{disk=\"0\",device=\"a\",le=\"+Inf\"} 2\n"
         "t_latency_seconds_count{disk=\"0\",device=\"a\"} 2\n# EOF\n"},
        {"label values escaped, bytes that are not UTF-8 replaced",
         [](OpenMetricsText& m) { m.Sample(m.Add(kReads), Disk("C:\\a \"b\"\nc\xff"), 1); },
         "# TYPE t_reads gauge\n# HELP t_reads Reads.\n"
         "t_reads{disk=\"0\",device=\"C:\\\\a \\\"b\\\"\\nc\xEF\xBF\xBD\"} 1\n# EOF\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        OpenMetricsText metrics;
        row.fill(metrics);
        EXPECT_EQ(metrics.Text(), row.text);
        EXPECT_EQ(metrics.Text(), row.text) << "a second Text() differs";
    }
}

}  // namespace
}  // namespace hddiag::testing
