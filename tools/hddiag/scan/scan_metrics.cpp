// The scan's OpenMetrics file holds only hddiag_scan_* series: no run or
// disk-info series, which the test runs' file carries, because
// node_exporter's textfile collector refuses a series two files share.
#include <iomanip>
#include <sstream>

#include "tools/hddiag/scan/scan_output.h"
#include "tools/hddiag/text/openmetrics.h"

namespace hddiag {

namespace {

std::string Labels(const TargetFigures& t)
{
    const DiskRow& row = t.Disk().row;
    const DWORD partition = t.outcome->target.partition;
    return "{disk=\"" + std::to_string(row.disk) + "\",device=\"" + MetricLabelValue(row.device) + "\",serial=\"" +
           MetricLabelValue(row.serial) + "\",partition=\"" + (partition == 0 ? std::string() : std::to_string(partition)) +
           "\"} ";
}

struct Family {
    const char* name;
    const char* unit;  // empty: none
    const char* help;
};

}  // namespace

std::string ScanMetricsText(const ScanRun& run)
{
    const Family families[] = {
        {"hddiag_scan_unreadable_sectors", "", "Sectors of the target found unreadable by one-sector reads."},
        {"hddiag_scan_unreadable_areas", "", "Separate runs of unreadable sectors in the target."},
        {"hddiag_scan_bytes_read", "", "Bytes of the target read without error (resumed maps included)."},
        {"hddiag_scan_complete", "", "1 when every sector of the target was read or found unreadable, else 0."},
        {"hddiag_scan_duration_seconds", "seconds", "How long this run of the scan took."},
        {"hddiag_scan_end_timestamp_seconds", "seconds", "When the scan of the target ended."},
    };
    std::ostringstream samples[6];
    bool any = false;
    for (const TargetFigures& t : run.targets) {
        if (!t.outcome->ran) {
            continue;
        }
        any = true;
        const std::string labels = Labels(t);
        const hdd::scan::ScanProgress& p = t.outcome->result.progress;
        samples[0] << families[0].name << labels << t.unreadableSectors << '\n';
        samples[1] << families[1].name << labels << t.unreadableAreas.size() << '\n';
        samples[2] << families[2].name << labels << t.readSectors * t.Disk().sectorSize << '\n';
        samples[3] << families[3].name << labels << (t.complete ? 1 : 0) << '\n';
        samples[4] << families[4].name << labels << MetricNumber(static_cast<double>(p.elapsedNs) / 1e9) << '\n';
        samples[5] << families[5].name << labels << MetricNumber(t.outcome->endTime) << '\n';
    }
    std::string out;
    for (size_t i = 0; i < 6 && any; ++i) {
        out += std::string("# TYPE ") + families[i].name + " gauge\n";
        if (*families[i].unit != '\0') {
            out += std::string("# UNIT ") + families[i].name + " " + families[i].unit + "\n";
        }
        out += std::string("# HELP ") + families[i].name + " " + families[i].help + "\n" + samples[i].str();
    }
    return out + "# EOF\n";
}

}  // namespace hddiag
