// The metrics file's labels: the tested disk (the selection's last item, as
// the component reads it) with its identity, and label values escaped.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "tools/hddiag/writers/metrics_writer.h"

namespace hddiag::testing {
namespace {

DiskRow Disk(LONG number, std::string device, std::string model, std::string serial, std::string wwn = "")
{
    DiskRow row;
    row.disk = number;
    row.device = std::move(device);
    row.model = std::move(model);
    row.serial = std::move(serial);
    row.wwn = std::move(wwn);
    return row;
}

std::string Metrics(const RunResult& result)
{
    std::ostringstream out;
    WriteMetrics(out, result, RunInfo{"m.json", "1.0", 1.7e9});
    return out.str();
}

TEST(MetricsWriter, SeriesNameTheTestedDiskWithItsIdentity)
{
    RunResult result;
    result.disks = {Disk(0, "sda", "Plain", "S0"), Disk(1, "sdb", "Other", "S\"1\\")};
    struct Row {
        std::string selector;
        std::string labels;
    };
    const Row rows[] = {
        {"0-1", R"(disk="0",device="sda",serial="S0",partition="1")"},
        {"0-1,1-2", R"(disk="1",device="sdb",serial="S\"1\\",partition="1,2")"},
        {"1-2, 0-1", R"(disk="0",device="sda",serial="S0",partition="2,1")"},
        {"1-2,x-1", R"(disk="1",device="sdb",serial="S\"1\\",partition="2,1")"},  // x names no disk
        {"7-1", R"(disk="7",device="",serial="",partition="1")"},                 // a disk nobody knows
        {"x-1", R"(disk="",device="",serial="",partition="1")"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.selector);
        result.tests = {TestRecord{TestKind::Surface, row.selector, 0, 0, Outcome::Passed}};
        const std::string text = Metrics(result);
        EXPECT_NE(text.find("hddiag_test_passed{" + row.labels + ",test=\"surface\"} 1\n"), std::string::npos)
            << text;
    }
}

TEST(MetricsWriter, DiskInfoIsAGaugeWithEscapedLabels)
{
    RunResult result;
    result.disks = {Disk(0, "/img/a \"b\".img", "WDC \"Blue\" C:\\x\nline 2", "WD-1", "0x50014ee2b1c2d3e4"),
                    Disk(1, "PhysicalDrive1", "", "")};
    const std::string text = Metrics(result);
    EXPECT_NE(text.find("# TYPE hddiag_disk_info gauge\n"), std::string::npos) << text;
    EXPECT_NE(text.find(R"(hddiag_disk_info{disk="0",device="/img/a \"b\".img",model="WDC \"Blue\" C:\\x\nline 2",)"
                        R"(serial="WD-1",wwn="0x50014ee2b1c2d3e4"} 1)" "\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find(R"(hddiag_disk_info{disk="1",device="PhysicalDrive1",model="",serial="",wwn=""} 1)" "\n"),
              std::string::npos)
        << text;
    // node_exporter 1.5 drops a whole file with an info type or a timestamp.
    EXPECT_EQ(text.find(" info\n"), std::string::npos);
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line[0] != '#') {
            const size_t close = line.rfind('}');
            const std::string rest = line.substr(close == std::string::npos ? 0 : close + 1);
            EXPECT_EQ(std::count(rest.begin(), rest.end(), ' '), 1) << "not a name and a value alone: " << line;
        }
    }
}

}  // namespace
}  // namespace hddiag::testing
