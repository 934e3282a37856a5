#include "tools/hddiag/writers/coverage_html.h"

#include "tools/hddiag/latency/latency_text.h"
#include "tools/hddiag/writers/coverage_text.h"
#include "tools/hddiag/writers/html_report.h"

namespace hddiag {

namespace {

std::string Td(const std::string& text, const char* cssClass = nullptr)
{
    return std::string("<td") + (cssClass != nullptr ? std::string(" class=\"") + cssClass + "\"" : std::string()) +
           ">" + EscapeHtml(text) + "</td>";
}

const char* CoverageClass(const DiskCoverage& disk)
{
    if (!disk.Tested()) {
        return "notrun";
    }
    if (disk.outcomes[static_cast<size_t>(Outcome::Passed)] != disk.Tests()) {
        return "failed";
    }
    return disk.slowReads > 0 ? "refused" : "passed";  // a slow disk is a warning, in the refused colour
}

}  // namespace

void WriteCoverageSection(std::ostream& out, const RunResult& result)
{
    if (!result.coverage.empty()) {
        out << "<h3>Per disk</h3>\n<table>\n<tr><th>Disk</th><th>Device</th><th>Bus</th><th>Tests</th><th>Reads of "
            << result.slowReadNs / 1000000 << " ms or more</th><th>Slowest read</th><th>Health</th></tr>\n";
        for (const DiskCoverage& disk : result.coverage) {
            const bool slow = disk.slowReads > 0;
            out << "<tr>" << Td(std::to_string(disk.disk), "n") << Td(disk.device) << Td(disk.bus)
                << Td(CoverageText(disk), CoverageClass(disk))
                << (disk.timed ? Td(std::to_string(disk.slowReads), slow ? "n refused" : "n") : Td("-", "n"))
                << (disk.timed && disk.slowest.nanoseconds != 0
                        ? Td(FormatLatency(disk.slowest.nanoseconds) + " (sector " +
                             std::to_string(disk.slowest.sector) + ")")
                        : Td("-"))
                << Td(disk.health.empty() ? std::string("-") : disk.health) << "</tr>\n";
        }
        out << "</table>\n";
        for (const DiskCoverage& disk : result.coverage) {
            const std::string slow = SlowReadsText(disk, result.slowReadNs);
            if (!slow.empty()) {
                out << "<p class=\"refused\">Warning, disk " << disk.disk << ": " << EscapeHtml(slow) << ".</p>\n";
            }
        }
    }
    if (TestsRun(result) == 0) {
        out << "<p class=\"notrun\">" << EscapeHtml(kNothingTested) << "</p>\n";
    }
    out << "<p>" << EscapeHtml(SamplingText()) << "</p>\n";
}

}  // namespace hddiag
