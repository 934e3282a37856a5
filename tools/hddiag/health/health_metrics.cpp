#include "tools/hddiag/health/health_metrics.h"

#include <filesystem>
#include <iomanip>
#include <sstream>

#include "tools/hddiag/health/self_test.h"
#include "tools/hddiag/health/verdict.h"
#include "tools/hddiag/text/openmetrics.h"

namespace hddiag {

namespace {

const char* const kReadTime = "hddiag_smart_read_timestamp_seconds";

std::string DiskLabels(const DiskHealth& h, const std::vector<DiskRow>& rows)
{
    const DiskRow* row = FindDisk(rows, h.disk);
    const std::string serial = row != nullptr && !row->serial.empty() ? row->serial : h.reading.serial;
    return "disk=\"" + std::to_string(h.disk) + "\",device=\"" + MetricLabelValue(row != nullptr ? row->device : std::string()) +
           "\",serial=\"" + MetricLabelValue(serial) + "\"";
}

struct Family {
    const char* name;
    const char* unit;
    const char* help;
    std::ostringstream samples;
};

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
    Family status{"hddiag_smart_status", "", "The drive's overall SMART assessment: 1 passed, 0 failed.", {}};
    Family verdict{"hddiag_smart_verdict", "", "hddiag's verdict on the disk's SMART (1 for the verdict it has).", {}};
    Family raw{"hddiag_smart_attribute_raw", "", "Raw value of a failure-predicting ATA attribute (188 shown, never judged).", {}};
    Family normalized{"hddiag_smart_attribute_normalized", "", "Normalized value of that ATA attribute.", {}};
    Family critical{"hddiag_nvme_critical_warning", "", "The NVMe critical warning bits.", {}};
    Family media{"hddiag_nvme_media_errors", "", "NVMe unrecovered data integrity errors.", {}};
    Family used{"hddiag_nvme_percentage_used", "", "NVMe estimate of the life used, in percent (may pass 100).", {}};
    Family spare{"hddiag_nvme_available_spare", "", "NVMe spare capacity left, in percent.", {}};
    Family temperature{"hddiag_disk_temperature_celsius", "celsius", "The disk's temperature as smartctl reports it.", {}};
    Family hours{"hddiag_disk_power_on_hours", "", "Hours the disk has been powered on, as smartctl reports it.", {}};
    Family testResult{"hddiag_smart_self_test_result", "",
                      "The newest finished self-test of a kind: 1 for the result it has (stopped: by the host).", {}};
    Family testAge{"hddiag_smart_self_test_age_hours", "",
                   "Power-on hours since the newest finished self-test of a kind ended.", {}};
    Family readTime{kReadTime, "seconds", "When the disk's SMART was last read.", {}};

    for (const DiskHealth& h : health) {
        const std::string labels = DiskLabels(h, rows);
        if (h.state != HealthState::Read) {
            // Not supported: nothing to read, ever. Otherwise the last read stands.
            const auto it = previous.find(labels);
            if (h.state != HealthState::NotSupported && it != previous.end()) {
                readTime.samples << kReadTime << '{' << labels << "} " << MetricNumber(it->second) << '\n';
            }
            continue;
        }
        const SmartReading& r = h.reading;
        const std::string l = "{" + labels + "} ";
        if (r.passed) {
            status.samples << status.name << l << (*r.passed ? 1 : 0) << '\n';
        }
        for (Verdict v : {Verdict::Good, Verdict::Warning, Verdict::Failing}) {
            verdict.samples << verdict.name << '{' << labels << ",verdict=\"" << VerdictName(v) << "\"} "
                            << (h.verdict == v ? 1 : 0) << '\n';
        }
        for (const SmartAttribute& a : r.attributes) {
            if (!IsMetricAttribute(a.id)) {
                continue;
            }
            const std::string al = "{" + labels + ",id=\"" + std::to_string(a.id) + "\",name=\"" + MetricLabelValue(a.name) + "\"} ";
            if (a.raw) {
                raw.samples << raw.name << al << *a.raw << '\n';
            }
            if (a.value) {
                normalized.samples << normalized.name << al << *a.value << '\n';
            }
        }
        if (r.nvme) {
            const auto put = [&l](Family& f, const auto& v) {
                if (v) {
                    f.samples << f.name << l << *v << '\n';
                }
            };
            put(critical, r.nvme->criticalWarning);
            put(media, r.nvme->mediaErrors);
            put(used, r.nvme->percentageUsed);
            put(spare, r.nvme->availableSpare);
        }
        if (r.temperature) {
            temperature.samples << temperature.name << l << *r.temperature << '\n';
        }
        if (r.powerOnHours) {
            hours.samples << hours.name << l << *r.powerOnHours << '\n';
        }
        if (r.selfTests) {
            for (const SelfTestEntry* e : LatestOfEachKind(*r.selfTests, true)) {
                const std::string kl = labels + ",kind=\"" + SelfTestKindName(e->kind) + "\"";
                for (SelfTestResult result : {SelfTestResult::Passed, SelfTestResult::Failed, SelfTestResult::StoppedByHost,
                                              SelfTestResult::Unknown}) {
                    testResult.samples << testResult.name << '{' << kl << ",result=\"" << SelfTestResultName(result)
                                       << "\"} " << (e->result == result ? 1 : 0) << '\n';
                }
                if (const std::optional<ULONGLONG> age = SelfTestAgeHours(*e, r.selfTests->nvme, r.powerOnHours)) {
                    testAge.samples << testAge.name << '{' << kl << "} " << *age << '\n';
                }
            }
        }
        readTime.samples << kReadTime << l << MetricNumber(h.readTime) << '\n';
    }
    for (Family* f : {&status, &verdict, &raw, &normalized, &critical, &media, &used, &spare, &temperature, &hours,
                      &testResult, &testAge, &readTime}) {
        const std::string samples = f->samples.str();
        if (samples.empty()) {
            continue;
        }
        out << "# TYPE " << f->name << " gauge\n";
        if (*f->unit != '\0') {
            out << "# UNIT " << f->name << ' ' << f->unit << '\n';
        }
        out << "# HELP " << f->name << ' ' << f->help << '\n' << samples;
    }
    out << "# EOF\n";
}

}  // namespace hddiag
