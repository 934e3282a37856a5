#include "tools/hddiag/writers/output.h"

#include <iomanip>
#include <nlohmann/json.hpp>

#include "tools/hddiag/text/json_values.h"
#include "tools/hddiag/health/health_output.h"
#include "tools/hddiag/latency/latency_text.h"
#include "tools/hddiag/text/text_escape.h"
#include "tools/hddiag/writers/coverage_text.h"
#include "tools/hddiag/text/text_escape.h"

namespace hddiag {

namespace {

std::string PlanText(const PlanRecord& plan)
{
    return "StartHDDTest(\"" + Printable(plan.items) + "\", " + Hex32(plan.mask) + ") returned " +
           std::to_string(static_cast<LONG>(plan.status));
}

double Ms(ULONGLONG ns) { return static_cast<double>(ns) / 1e6; }

nlohmann::ordered_json LatencyJson(const LatencySummary& latency)
{
    using nlohmann::ordered_json;
    const bool timed = latency.SuccessfulReads() > 0;
    const auto ms = [timed](ULONGLONG ns) { return timed ? ordered_json(Ms(ns)) : ordered_json(); };
    ordered_json classes = ordered_json::object();
    static const char* const keys[kLatencyClassCount] = {"lt_5ms",   "lt_20ms",  "lt_50ms",
                                                         "lt_150ms", "lt_500ms", "ge_500ms"};
    for (size_t i = 0; i < kLatencyClassCount; ++i) {
        classes[keys[i]] = latency.classes[i];
    }
    classes["failed"] = latency.failedReads;
    ordered_json slowest = ordered_json::array();
    for (const TimedRead& read : latency.slowest) {
        slowest.push_back({{"sector", read.sector}, {"ms", Ms(read.nanoseconds)}});
    }
    ordered_json failed = ordered_json::array();
    for (const FailedRead& read : latency.failed) {
        failed.push_back({{"sector", read.sector}, {"error", read.error}, {"ms", Ms(read.nanoseconds)}});
    }
    ordered_json buckets = ordered_json::array();
    for (const PositionBucket& b : latency.positions) {
        buckets.push_back({{"first_sector", b.firstSector},
                           {"last_sector", b.lastSector},
                           {"reads", b.reads},
                           {"failed", b.failed},
                           {"max_ms", Ms(b.maxNs)},
                           {"mean_ms", Ms(b.meanNs)}});
    }
    return {{"reads", latency.reads},
            {"failed_reads", latency.failedReads},
            {"elapsed_s", static_cast<double>(latency.elapsedNs) / 1e9},
            {"reads_per_s", latency.elapsedNs == 0 ? ordered_json() : ordered_json(latency.ReadsPerSecond())},
            {"min_ms", ms(latency.minNs)},
            {"mean_ms", ms(latency.meanNs)},
            {"max_ms", ms(latency.maxNs)},
            {"p50_ms", ms(latency.p50Ns)},
            {"p90_ms", ms(latency.p90Ns)},
            {"p99_ms", ms(latency.p99Ns)},
            {"p99_9_ms", ms(latency.p999Ns)},
            {"classes", classes},
            {"slowest", slowest},
            {"failed", failed},
            {"failed_not_listed", latency.failedNotListed},
            {"by_position", {{"sectors_per_bucket", latency.sectorsPerBucket}, {"buckets", buckets}}}};
}

// The disks as info's table shows them, with their identity; what is not
// known (model, serial, wwn, size, sector size, problem) is null, and so is the letter of
// a partition without one, which then has a reason.
nlohmann::ordered_json DisksJson(const std::vector<DiskRow>& rows)
{
    using nlohmann::ordered_json;
    ordered_json disks = ordered_json::array();
    for (const DiskRow& row : rows) {
        ordered_json volumes = ordered_json::array();
        for (const DiskVolume& v : row.volumes) {
            ordered_json volume = {{"letter", v.letter != 0 ? ordered_json(std::string(1, v.letter)) : ordered_json()},
                                   {"partition", v.partition}};
            if (v.letter == 0) {
                volume["reason"] = v.reason;
            }
            volumes.push_back(std::move(volume));
        }
        disks.push_back({{"disk", row.disk},
                         {"device", row.device},
                         {"path", row.path},
                         {"bus", TextOrNull(row.bus)},
                         {"model", TextOrNull(row.model)},
                         {"serial", TextOrNull(row.serial)},
                         {"wwn", TextOrNull(row.wwn)},
                         {"size_bytes", row.size == 0 ? ordered_json() : ordered_json(row.size)},
                         {"bytes_per_sector", row.bytesPerSector == 0 ? ordered_json() : ordered_json(row.bytesPerSector)},
                         {"problem", TextOrNull(row.problem)},
                         {"volumes", std::move(volumes)}});
    }
    return disks;
}

// What run did to each disk; what was not measured is null.
nlohmann::ordered_json CoverageJson(const std::vector<DiskCoverage>& disks)
{
    using nlohmann::ordered_json;
    ordered_json entries = ordered_json::array();
    for (const DiskCoverage& disk : disks) {
        const auto timed = [&disk](ULONGLONG value) { return disk.timed ? ordered_json(value) : ordered_json(); };
        ordered_json slowest;
        if (disk.timed && disk.slowest.nanoseconds != 0) {
            slowest = {{"sector", disk.slowest.sector}, {"ms", Ms(disk.slowest.nanoseconds)}};
        }
        entries.push_back({{"disk", disk.disk},
                           {"device", disk.device},
                           {"state", !disk.Tested() ? "not tested" : disk.slowReads > 0 ? "slow" : "tested"},
                           {"tested", disk.Tested()},
                           {"not_tested_reason", disk.Tested() ? ordered_json() : ordered_json(disk.notTested)},
                           {"tests", disk.Tests()},
                           {"tests_passed", disk.outcomes[static_cast<size_t>(Outcome::Passed)]},
                           {"reads", timed(disk.reads)},
                           {"sectors", disk.sectors == 0 ? ordered_json() : ordered_json(disk.sectors)},
                           {"slow_reads", timed(disk.slowReads)},
                           {"slowest", slowest},
                           {"health", disk.health.empty() ? ordered_json() : ordered_json(disk.health)},
                           {"full_read", disk.fullRead}});
    }
    return entries;
}

}  // namespace

int ExitCodeFor(const RunResult& result)
{
    if (result.interrupted) {
        return kExitFailed;
    }
    for (const TestRecord& test : result.tests) {
        if (test.outcome != Outcome::Passed) {
            return kExitFailed;
        }
    }
    return kExitPassed;
}

bool RunPassed(const RunResult& result) { return ExitCodeFor(result) == kExitPassed && TestsRun(result) > 0; }

void PrintReport(std::ostream& out, const ReportRecord& report)
{
    if (report.items.empty()) {
        out << "No volume lies on an accepted disk.\n";
    } else {
        out << std::left << std::setw(8) << "Letter" << std::setw(6) << "Disk" << std::setw(11) << "Partition"
            << "Size (MiB)\n";
        for (const ReportItem& item : report.items) {
            out << std::setw(8) << (item.letter != 0 ? std::string(1, item.letter) + ":" : std::string("?"))
                << std::setw(6) << item.disk << std::setw(11) << item.partition << item.sizeMiB << '\n';
        }
        out << std::right;
    }
    out << "Report: " << report.text << '\n';
}

void PrintSummary(std::ostream& out, const RunResult& result)
{
    if (result.plan.made) {
        out << "Plan: " << PlanText(result.plan) << '\n';
    }
    size_t counts[5] = {};
    for (const TestRecord& test : result.tests) {
        ++counts[static_cast<size_t>(test.outcome)];
    }
    out << "Summary: " << result.tests.size() << " test" << (result.tests.size() == 1 ? "" : "s") << ", "
        << counts[static_cast<size_t>(Outcome::Passed)] << " passed, " << counts[static_cast<size_t>(Outcome::Failed)]
        << " failed, " << counts[static_cast<size_t>(Outcome::Refused)] << " refused, "
        << counts[static_cast<size_t>(Outcome::Aborted)] << " aborted, "
        << counts[static_cast<size_t>(Outcome::NotRun)] << " not run\n";
    for (size_t i = 0; i < result.tests.size(); ++i) {
        const TestRecord& test = result.tests[i];
        out << "  " << std::left << std::setw(20) << Describe(test.kind).method << std::setw(10) << Printable(test.selector)
            << std::setw(9) << OutcomeName(test.outcome) << std::right;
        const LatencySummary* latency = result.LatencyOf(i);
        if (test.outcome != Outcome::NotRun) {
            out << Hex32(static_cast<ULONG>(test.code)) << ' ' << ResultCodeName(test.code);
        }
        // Why it failed: the first read that did not succeed.
        const std::string failedRead = latency != nullptr ? FirstFailedReadLine(*latency) : std::string();
        if (test.outcome != Outcome::Passed && !failedRead.empty()) {
            out << "; " << failedRead;
        }
        out << '\n';
        if (latency != nullptr && latency->reads > 0) {
            out << "      " << LatencyLine(*latency) << '\n';
            const std::string area = SlowAreaLine(*latency);
            if (!area.empty()) {
                out << "      " << area << '\n';
            }
        }
    }
    if (result.interrupted) {
        out << "Aborted: Ctrl-C stopped the run";
        for (const TestRecord& test : result.tests) {
            if (test.outcome == Outcome::Aborted) {
                out << "; " << Describe(test.kind).method << ' ' << Printable(test.selector) << " ended with HDD_TEST_ABORTED";
            }
        }
        out << ".\n";
    }
    if (result.plan.made) {
        PrintDisksSummary(out, result);
    }
}

void PrintJson(std::ostream& out, const RunResult& result, bool withTests)
{
    using nlohmann::ordered_json;
    ordered_json volumes = ordered_json::array();
    for (const ReportItem& item : result.report.items) {
        volumes.push_back({{"letter", item.letter != 0 ? ordered_json(std::string(1, item.letter)) : ordered_json()},
                           {"disk", item.disk},
                           {"partition", item.partition},
                           {"size_mib", item.sizeMiB}});
    }
    ordered_json doc;
    doc["report"] = {{"status", result.report.status}, {"text", result.report.text}, {"volumes", volumes}};
    if (!result.disks.empty()) {
        doc["disks"] = DisksJson(result.disks);
    }
    if (!result.health.empty()) {
        doc["health"] = HealthJson(result.health);
    }
    if (withTests) {
        if (result.plan.made) {
            doc["plan"] = {{"items", result.plan.items}, {"mask", result.plan.mask}, {"status", result.plan.status}};
        }
        ordered_json tests = ordered_json::array();
        for (size_t i = 0; i < result.tests.size(); ++i) {
            const TestRecord& test = result.tests[i];
            ordered_json entry = {{"test", Describe(test.kind).name},
                                  {"method", Describe(test.kind).method},
                                  {"selector", test.selector},
                                  {"outcome", OutcomeName(test.outcome)}};
            if (test.outcome != Outcome::NotRun) {
                entry["status"] = test.status;
                entry["code"] = Hex32(static_cast<ULONG>(test.code));
                entry["code_name"] = ResultCodeName(test.code);
            }
            if (const LatencySummary* latency = result.LatencyOf(i)) {
                entry["latency"] = LatencyJson(*latency);
            }
            tests.push_back(std::move(entry));
        }
        doc["results"] = std::move(tests);
        if (result.plan.made) {
            doc["per_disk"] = CoverageJson(result.coverage);
            doc["slow_read_ms"] = result.slowReadNs / 1000000;
        }
        doc["aborted"] = result.interrupted;
        doc["tests_run"] = TestsRun(result);
        doc["passed"] = RunPassed(result);
    }
    // Names from outside may hold any bytes: what is not UTF-8 becomes U+FFFD.
    out << doc.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) << '\n';
}

}  // namespace hddiag
