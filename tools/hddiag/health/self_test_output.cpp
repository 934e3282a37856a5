#include "tools/hddiag/health/self_test_output.h"

#include "tools/hddiag/text/json_values.h"
#include "tools/hddiag/health/self_test.h"

namespace hddiag {

namespace {

using nlohmann::ordered_json;

std::string Outcome(const SelfTestEntry& e, bool nvme)
{
    switch (e.result) {
    case SelfTestResult::Passed:
        return "passed";
    case SelfTestResult::Failed:
        return FailureText(e, nvme);
    case SelfTestResult::StoppedByHost:
        return "stopped by the host" + (e.statusText.empty() ? std::string() : " (" + e.statusText + ")");
    case SelfTestResult::InProgress:
        return "running" +
               (e.remainingPercent ? ", " + std::to_string(*e.remainingPercent) + "% left" : std::string());
    case SelfTestResult::Unknown:
        break;
    }
    return e.statusText.empty() ? "unknown status" : e.statusText;
}

std::string When(const SelfTestEntry& e, const SmartReading& r)
{
    if (e.result == SelfTestResult::InProgress) {
        return "";
    }
    if (const std::optional<ULONGLONG> age = SelfTestAgeHours(e, r.selfTests->nvme, r.powerOnHours)) {
        return ", " + std::to_string(*age) + " power-on hours ago";
    }
    return e.hours ? ", at " + std::to_string(*e.hours) + " power-on hours" : std::string();
}

}  // namespace

std::string SelfTestLine(const SmartReading& r)
{
    if (!r.selfTests) {
        return {};
    }
    const SelfTestLog& log = *r.selfTests;
    std::string line;
    if (!log.running.empty()) {
        line = log.running + (log.runningPercent ? " (" + std::to_string(*log.runningPercent) + "% done)" : "");
    }
    for (const SelfTestEntry* e : LatestOfEachKind(log, false)) {
        const std::string kind = e->kind == SelfTestKind::Other && !e->type.empty() ? e->type : SelfTestKindName(e->kind);
        line += (line.empty() ? "" : "; ") + kind + When(*e, r) + ": " + Outcome(*e, log.nvme);
    }
    return line;
}

ordered_json SelfTestJson(const SmartReading& r)
{
    if (!r.selfTests) {
        return ordered_json();
    }
    const SelfTestLog& log = *r.selfTests;
    ordered_json entries = ordered_json::array();
    for (const SelfTestEntry& e : log.entries) {
        entries.push_back({{"kind", SelfTestKindName(e.kind)},
                           {"type", e.type},
                           {"result", SelfTestResultName(e.result)},
                           {"status", OrNull(e.status)},
                           {"status_string", e.statusText},
                           {"remaining_percent", OrNull(e.remainingPercent)},
                           {"power_on_hours", OrNull(e.hours)},
                           {"age_hours", OrNull(SelfTestAgeHours(e, log.nvme, r.powerOnHours))},
                           {"lba", OrNull(e.lba)},
                           {"segment", OrNull(e.segment)}});
    }
    return {{"running", log.running.empty() ? ordered_json() : ordered_json(log.running)},
            {"running_percent", OrNull(log.runningPercent)},
            {"error_count_total", OrNull(log.errorCount)},
            {"error_count_outdated", OrNull(log.outdatedErrors)},
            {"entries", std::move(entries)}};
}

}  // namespace hddiag
