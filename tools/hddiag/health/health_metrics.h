// The disks' health as OpenMetrics text, in a file of its own beside the
// tests' (node_exporter refuses a series that two files of its folder both
// carry): only hddiag_smart_*, hddiag_nvme_* and hddiag_disk_temperature /
// power-on series, each with the disk's disk, device and serial labels.
#pragma once

#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "tools/hddiag/health/disk_health.h"
#include "tools/hddiag/session/real_disks.h"

namespace hddiag {

// The health file that goes with a tests' metrics file: hddiag.prom ->
// hddiag-health.prom in the same folder.
std::string HealthMetricsPath(const std::string& metricsPath);

// hddiag_smart_read_timestamp_seconds of a health file written before, by
// its labels: a disk that cannot be read now (asleep, smartctl missing)
// keeps the time it was last read, so that staleness can be alerted on.
std::map<std::string, double> PreviousReadTimes(const std::string& text);

void WriteHealthMetrics(std::ostream& out, const std::vector<DiskRow>& rows, const std::vector<DiskHealth>& health,
                        const std::map<std::string, double>& previous);

}  // namespace hddiag
