#include "tools/hddiag/output.h"

#include <iomanip>
#include <nlohmann/json.hpp>

namespace hddiag {

namespace {

std::string PlanText(const PlanRecord& plan)
{
    return "StartHDDTest(\"" + plan.items + "\", " + Hex32(plan.mask) + ") returned " +
           std::to_string(static_cast<LONG>(plan.status));
}

}  // namespace

int ExitCodeFor(const RunResult& result)
{
    if (result.interrupted) {
        return 1;
    }
    for (const TestRecord& test : result.tests) {
        if (test.outcome != Outcome::Passed) {
            return 1;
        }
    }
    return 0;
}

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
    for (const TestRecord& test : result.tests) {
        out << "  " << std::left << std::setw(20) << Describe(test.kind).method << std::setw(10) << test.selector
            << std::setw(9) << OutcomeName(test.outcome) << std::right;
        if (test.outcome != Outcome::NotRun) {
            out << Hex32(static_cast<ULONG>(test.code)) << ' ' << ResultCodeName(test.code);
        }
        out << '\n';
    }
    if (result.interrupted) {
        out << "Aborted: Ctrl-C stopped the run";
        for (const TestRecord& test : result.tests) {
            if (test.outcome == Outcome::Aborted) {
                out << "; " << Describe(test.kind).method << ' ' << test.selector << " ended with HDD_TEST_ABORTED";
            }
        }
        out << ".\n";
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
    if (withTests) {
        if (result.plan.made) {
            doc["plan"] = {{"items", result.plan.items}, {"mask", result.plan.mask}, {"status", result.plan.status}};
        }
        ordered_json tests = ordered_json::array();
        for (const TestRecord& test : result.tests) {
            ordered_json entry = {{"test", Describe(test.kind).name},
                                  {"method", Describe(test.kind).method},
                                  {"selector", test.selector},
                                  {"outcome", OutcomeName(test.outcome)}};
            if (test.outcome != Outcome::NotRun) {
                entry["status"] = test.status;
                entry["code"] = Hex32(static_cast<ULONG>(test.code));
                entry["code_name"] = ResultCodeName(test.code);
            }
            tests.push_back(std::move(entry));
        }
        doc["results"] = std::move(tests);
        doc["aborted"] = result.interrupted;
        doc["passed"] = ExitCodeFor(result) == 0;
    }
    out << doc.dump(2) << '\n';
}

}  // namespace hddiag
