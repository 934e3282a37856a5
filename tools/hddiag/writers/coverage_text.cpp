#include "tools/hddiag/writers/coverage_text.h"

#include <algorithm>
#include <iomanip>
#include <iterator>

#include "tools/hddiag/latency/latency_text.h"
#include "tools/hddiag/text/text_escape.h"
#include "tools/hddiag/writers/output.h"
#include "tools/hddiag/text/text_escape.h"

namespace hddiag {

const char* const kNothingTested = "Nothing was tested: no test ran to its end on any disk.";

std::string CoverageText(const DiskCoverage& disk)
{
    if (!disk.Tested()) {
        // The first of the commands that read every sector; the JSON lists them all.
        return "not tested: " + disk.notTested + "; to test it: " + (disk.fullRead.empty() ? "" : disk.fullRead.front());
    }
    const size_t tests = disk.Tests();
    std::string text = "tested: " + std::to_string(tests) + (tests == 1 ? " test, " : " tests, ") +
                       std::to_string(disk.outcomes[static_cast<size_t>(Outcome::Passed)]) + " passed";
    for (const Outcome outcome : {Outcome::Failed, Outcome::Refused, Outcome::Aborted}) {
        const size_t count = disk.outcomes[static_cast<size_t>(outcome)];
        if (count > 0) {
            text += ", " + std::to_string(count) + " " + OutcomeName(outcome);
        }
    }
    if (disk.timed) {
        text += "; " + std::to_string(disk.reads) + (disk.reads == 1 ? " read" : " reads");
        if (disk.sectors != 0) {
            text += " of its " + std::to_string(disk.sectors) + " sectors";
        }
    }
    return text;
}

std::string SlowReadsText(const DiskCoverage& disk, ULONGLONG slowReadNs)
{
    if (disk.slowReads == 0) {
        return {};
    }
    return std::to_string(disk.slowReads) + (disk.slowReads == 1 ? " read" : " reads") + " took " +
           std::to_string(slowReadNs / 1000000) + " ms or more, the slowest " +
           FormatLatency(disk.slowest.nanoseconds) + " (sector " + std::to_string(disk.slowest.sector) + ")";
}

std::string SamplingText()
{
    std::string commands;
    for (size_t i = 0; i < std::size(kFullReadCommands); ++i) {
        commands += std::string(i == 0 ? "" : " or ") + "hddiag " + kFullReadCommands[i] + " N";
    }
    return "The tests read a sample of each disk's sectors, so a disk that passed may still hold unreadable "
           "ones; " + commands + " reads every sector of disk N.";
}

void PrintDisksSummary(std::ostream& out, const RunResult& result)
{
    if (!result.coverage.empty()) {
        size_t numberWidth = 0;
        size_t deviceWidth = 0;
        size_t busWidth = 0;
        for (const DiskCoverage& disk : result.coverage) {
            numberWidth = std::max(numberWidth, std::to_string(disk.disk).size());
            deviceWidth = std::max(deviceWidth, Printable(disk.device).size());
            busWidth = std::max(busWidth, disk.bus.size());
        }
        out << "Disks:\n" << std::left;
        for (const DiskCoverage& disk : result.coverage) {
            out << "  " << std::setw(static_cast<int>(numberWidth + 2)) << disk.disk
                << std::setw(static_cast<int>(deviceWidth + 2)) << Printable(disk.device)
                << std::setw(static_cast<int>(busWidth + 2)) << disk.bus << Printable(CoverageText(disk));
            if (!disk.health.empty()) {
                out << "; health: " << disk.health;
            }
            out << '\n';
            const std::string slow = SlowReadsText(disk, result.slowReadNs);
            if (!slow.empty()) {
                out << "  " << std::string(numberWidth + 2, ' ') << "warning: " << slow << '\n';
            }
        }
        out << std::right;
    }
    if (TestsRun(result) == 0) {
        out << kNothingTested << '\n';
    }
    out << SamplingText() << '\n';
}

}  // namespace hddiag
