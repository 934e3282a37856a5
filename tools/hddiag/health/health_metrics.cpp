#include "tools/hddiag/health/health_metrics.h"

#include <filesystem>
#include <sstream>

#include "tools/hddiag/health/self_test.h"
#include "tools/hddiag/health/verdict.h"
#include "tools/hddiag/text/openmetrics.h"

namespace hddiag {

namespace {

const char* const kReadTime = "hddiag_smart_read_timestamp_seconds";

MetricLabels DiskLabels(const DiskHealth& h, const std::vector<DiskRow>& rows)
{
    const DiskRow* row = FindDisk(rows, h.disk);
    const std::string serial = row != nullptr && !row->serial.empty() ? row->serial : h.reading.serial;
    return MetricLabels()
        .Add("disk", std::to_string(h.disk))
        .Add("device", row != nullptr ? row->device : std::string())
        .Add("serial", serial);
}

}  // namespace

std::string HealthMetricsPath(const std::string& metricsPath)
{
    const std::filesystem::path path(metricsPath);
    std::filesystem::path name = path.stem();
    name += "-health";
    name += path.extension();
    return (path.has_parent_path() ? path.parent_path() / name : name).string();
}

std::map<std::string, double> PreviousReadTimes(const std::string& text)
{
    std::map<std::string, double> times;
    std::istringstream lines(text);
    std::string line;
    const std::string prefix = std::string(kReadTime) + "{";
    while (std::getline(lines, line)) {
        const size_t close = line.rfind("} ");
        if (line.compare(0, prefix.size(), prefix) != 0 || close == std::string::npos || close < prefix.size()) {
            continue;
        }
        try {
            size_t used = 0;
            const std::string value = line.substr(close + 2);
            const double v = std::stod(value, &used);
            if (used == value.size() && v > 0) {
                times[line.substr(prefix.size(), close - prefix.size())] = v;
            }
        } catch (const std::exception&) {
            // not a line of ours
        }
    }
    return times;
}

void WriteHealthMetrics(std::ostream& out, const std::vector<DiskRow>& rows, const std::vector<DiskHealth>& health,
                        const std::map<std::string, double>& previous)
{
    OpenMetricsText metrics;
    const size_t status =
        metrics.Add(Gauge("hddiag_smart_status", "", "The drive's overall SMART assessment: 1 passed, 0 failed."));
    const size_t verdict = metrics.Add(
        Gauge("hddiag_smart_verdict", "", "hddiag's verdict on the disk's SMART (1 for the verdict it has)."));
    const size_t raw = metrics.Add(Gauge("hddiag_smart_attribute_raw", "",
                                         "Raw value of a failure-predicting ATA attribute (188 shown, never judged)."));
    const size_t normalized =
        metrics.Add(Gauge("hddiag_smart_attribute_normalized", "", "Normalized value of that ATA attribute."));
    const size_t critical = metrics.Add(Gauge("hddiag_nvme_critical_warning", "", "The NVMe critical warning bits."));
    const size_t media = metrics.Add(Gauge("hddiag_nvme_media_errors", "", "NVMe unrecovered data integrity errors."));
    const size_t used = metrics.Add(
        Gauge("hddiag_nvme_percentage_used", "", "NVMe estimate of the life used, in percent (may pass 100)."));
    const size_t spare = metrics.Add(Gauge("hddiag_nvme_available_spare", "", "NVMe spare capacity left, in percent."));
    const size_t temperature = metrics.Add(
        Gauge("hddiag_disk_temperature_celsius", "celsius", "The disk's temperature as smartctl reports it."));
    const size_t hours = metrics.Add(
        Gauge("hddiag_disk_power_on_hours", "", "Hours the disk has been powered on, as smartctl reports it."));
    const size_t testResult = metrics.Add(
        Gauge("hddiag_smart_self_test_result", "",
              "The newest finished self-test of a kind: 1 for the result it has (stopped: by the host)."));
    const size_t testAge = metrics.Add(Gauge("hddiag_smart_self_test_age_hours", "",
                                             "Power-on hours since the newest finished self-test of a kind ended."));
    const size_t readTime = metrics.Add(Gauge(kReadTime, "seconds", "When the disk's SMART was last read."));

    for (const DiskHealth& h : health) {
        const MetricLabels labels = DiskLabels(h, rows);
        if (h.state != HealthState::Read) {
            // Not supported: nothing to read, ever. Otherwise the last read stands.
            const auto it = previous.find(labels.Text());
            if (h.state != HealthState::NotSupported && it != previous.end()) {
                metrics.Sample(readTime, labels, it->second);
            }
            continue;
        }
        const SmartReading& r = h.reading;
        if (r.passed) {
            metrics.Sample(status, labels, *r.passed ? 1 : 0);
        }
        for (Verdict v : {Verdict::Good, Verdict::Warning, Verdict::Failing}) {
            metrics.Sample(verdict, labels.With("verdict", VerdictName(v)), h.verdict == v ? 1 : 0);
        }
        for (const SmartAttribute& a : r.attributes) {
            if (!IsMetricAttribute(a.id)) {
                continue;
            }
            const MetricLabels al = labels.With("id", std::to_string(a.id)).With("name", a.name);
            if (a.raw) {
                metrics.Sample(raw, al, *a.raw);
            }
            if (a.value) {
                metrics.Sample(normalized, al, *a.value);
            }
        }
        const auto put = [&metrics, &labels](size_t family, const auto& v) {
            if (v) {
                metrics.Sample(family, labels, *v);
            }
        };
        if (r.nvme) {
            put(critical, r.nvme->criticalWarning);
            put(media, r.nvme->mediaErrors);
            put(used, r.nvme->percentageUsed);
            put(spare, r.nvme->availableSpare);
        }
        put(temperature, r.temperature);
        put(hours, r.powerOnHours);
        if (r.selfTests) {
            for (const SelfTestEntry* e : LatestOfEachKind(*r.selfTests, true)) {
                const MetricLabels kl = labels.With("kind", SelfTestKindName(e->kind));
                for (SelfTestResult result : {SelfTestResult::Passed, SelfTestResult::Failed, SelfTestResult::StoppedByHost,
                                              SelfTestResult::Unknown}) {
                    metrics.Sample(testResult, kl.With("result", SelfTestResultName(result)),
                                   e->result == result ? 1 : 0);
                }
                if (const std::optional<ULONGLONG> age = SelfTestAgeHours(*e, r.selfTests->nvme, r.powerOnHours)) {
                    metrics.Sample(testAge, kl, *age);
                }
            }
        }
        metrics.Sample(readTime, labels, h.readTime);
    }
    out << metrics.Text();
}

}  // namespace hddiag
