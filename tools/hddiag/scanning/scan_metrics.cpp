// The scan's OpenMetrics file holds only hddiag_scan_* series: no run or
// disk-info series, which the test runs' file carries, because
// node_exporter's textfile collector refuses a series two files share.
#include <string>

#include "tools/hddiag/scanning/scan_output.h"
#include "tools/hddiag/text/openmetrics.h"

namespace hddiag {

namespace {

MetricLabels Labels(const TargetFigures& t)
{
    const DiskRow& row = t.Disk().row;
    const DWORD partition = t.outcome->target.partition;
    return MetricLabels()
        .Add("disk", std::to_string(row.disk))
        .Add("device", row.device)
        .Add("serial", row.serial)
        .Add("partition", partition == 0 ? std::string() : std::to_string(partition));
}

}  // namespace

std::string ScanMetricsText(const ScanRun& run)
{
    OpenMetricsText metrics;
    const size_t unreadable = metrics.Add(
        Gauge("hddiag_scan_unreadable_sectors", "", "Sectors of the target found unreadable by one-sector reads."));
    const size_t areas =
        metrics.Add(Gauge("hddiag_scan_unreadable_areas", "", "Separate runs of unreadable sectors in the target."));
    const size_t bytes = metrics.Add(
        Gauge("hddiag_scan_bytes_read", "", "Bytes of the target read without error (resumed maps included)."));
    const size_t complete = metrics.Add(
        Gauge("hddiag_scan_complete", "", "1 when every sector of the target was read or found unreadable, else 0."));
    const size_t duration =
        metrics.Add(Gauge("hddiag_scan_duration_seconds", "seconds", "How long this run of the scan took."));
    const size_t end =
        metrics.Add(Gauge("hddiag_scan_end_timestamp_seconds", "seconds", "When the scan of the target ended."));
    for (const TargetFigures& t : run.targets) {
        if (!t.outcome->ran) {
            continue;
        }
        const MetricLabels labels = Labels(t);
        metrics.Sample(unreadable, labels, t.unreadableSectors);
        metrics.Sample(areas, labels, t.unreadableAreas.size());
        metrics.Sample(bytes, labels, t.readSectors * t.Disk().sectorSize);
        metrics.Sample(complete, labels, t.complete ? 1 : 0);
        metrics.Sample(duration, labels, static_cast<double>(t.outcome->result.progress.elapsedNs) / 1e9);
        metrics.Sample(end, labels, t.outcome->endTime);
    }
    return metrics.Text();
}

}  // namespace hddiag
