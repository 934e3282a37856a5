#include "tools/hddiag/writers/coverage_html.h"

#include "tools/hddiag/health/health_html.h"
#include "tools/hddiag/latency/latency_text.h"
#include "tools/hddiag/writers/coverage_text.h"
#include "tools/hddiag/text/html_page.h"
#include "tools/hddiag/text/text_escape.h"

namespace hddiag {

namespace {

const char* CoverageClass(const DiskCoverage& disk)
{
    if (!disk.Tested()) {
        return "notrun";
    }
    if (disk.outcomes[static_cast<size_t>(Outcome::Passed)] != disk.Tests()) {
        return "failed";
    }
    return disk.slowReads > 0 ? "warning" : "passed";
}

// The health column in the health section's colours; none for a disk not read.
std::string HealthClass(const std::string& health)
{
    for (const Verdict v : {Verdict::Good, Verdict::Warning, Verdict::Failing}) {
        if (health == VerdictName(v)) {
            return VerdictClass(v);
        }
    }
    return std::string();
}

}  // namespace

void WriteCoverageSection(std::ostream& out, const RunResult& result)
{
    if (!result.coverage.empty()) {
        out << "<h3>Per disk</h3>\n"
            << HtmlTableStart({"Disk", "Device", "Bus", "Tests",
                               "Reads of " + std::to_string(result.slowReadNs / 1000000) + " ms or more",
                               "Slowest read", "Health"});
        for (const DiskCoverage& disk : result.coverage) {
            const bool slow = disk.slowReads > 0;
            out << HtmlRow(NumberCell(std::to_string(disk.disk)) + HtmlCell(disk.device) + HtmlCell(disk.bus) +
                           HtmlCell(CoverageText(disk), CoverageClass(disk)) +
                           (disk.timed ? HtmlCell(std::to_string(disk.slowReads), slow ? "n warning" : "n")
                                       : NumberCell("-")) +
                           HtmlCell(disk.timed && disk.slowest.nanoseconds != 0
                                        ? FormatLatency(disk.slowest.nanoseconds) + " (sector " +
                                              std::to_string(disk.slowest.sector) + ")"
                                        : std::string("-")) +
                           HtmlCell(disk.health.empty() ? std::string("-") : disk.health, HealthClass(disk.health)));
        }
        out << "</table>\n";
        for (const DiskCoverage& disk : result.coverage) {
            const std::string slow = SlowReadsText(disk, result.slowReadNs);
            if (!slow.empty()) {
                out << "<p class=\"warning\">Warning, disk " << disk.disk << ": " << EscapeHtml(slow) << ".</p>\n";
            }
        }
    }
    if (TestsRun(result) == 0) {
        out << "<p class=\"notrun\">" << EscapeHtml(kNothingTested) << "</p>\n";
    }
    out << "<p>" << EscapeHtml(SamplingText()) << "</p>\n";
}

}  // namespace hddiag
