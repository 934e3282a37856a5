#include "tools/hddiag/writers/html_report.h"

#include "tools/hddiag/health/health_html.h"
#include "tools/hddiag/latency/latency_text.h"
#include "tools/hddiag/latency/wall_time.h"
#include "tools/hddiag/text/text_escape.h"
#include "tools/hddiag/writers/coverage_html.h"
#include "tools/hddiag/view/map_render.h"
#include "tools/hddiag/writers/svg_charts.h"
#include "tools/hddiag/text/html_page.h"
#include "tools/hddiag/text/text_escape.h"

namespace hddiag {

namespace {

std::string OutcomeClass(Outcome outcome) { return outcome == Outcome::NotRun ? "notrun" : OutcomeName(outcome); }

// "HDD_PARTITION_NOT_TESTABLE: a selected partition cannot be resolved: ...".
std::string CodeWithMeaning(LONG code)
{
    const char* meaning = ResultCodeMeaning(code);
    return meaning != nullptr ? ResultCodeName(code) + ": " + meaning : ResultCodeName(code);
}

std::string TestTitle(const TestRecord& test)
{
    return std::string(Describe(test.kind).method) + " " + test.selector;
}

// The result code's name and, for a test that did not pass, its first failed read.
std::string ResultText(const TestRecord& test, const LatencySummary* latency)
{
    if (test.outcome == Outcome::NotRun) {
        return std::string();
    }
    const std::string failedRead = latency != nullptr ? FirstFailedReadLine(*latency) : std::string();
    return test.outcome == Outcome::Passed || failedRead.empty() ? ResultCodeName(test.code)
                                                                 : ResultCodeName(test.code) + "; " + failedRead;
}

void SummaryTable(std::ostream& out, const RunResult& result)
{
    out << HtmlTableStart({"Test", "Items", "Outcome", "Result", "Reads", "Reads/s", "p99", "Max", "Failed"});
    for (size_t i = 0; i < result.tests.size(); ++i) {
        const TestRecord& test = result.tests[i];
        const LatencySummary* latency = result.LatencyOf(i);
        std::string cells = HtmlCell(Describe(test.kind).method) + HtmlCell(test.selector) +
                            HtmlCell(OutcomeName(test.outcome), OutcomeClass(test.outcome)) +
                            HtmlCell(ResultText(test, latency));
        if (latency != nullptr) {
            const bool timed = latency->SuccessfulReads() > 0;
            cells += NumberCell(latency->reads) +
                     NumberCell(latency->elapsedNs == 0 ? "-" : FormatFixed(latency->ReadsPerSecond(), 1)) +
                     NumberCell(timed ? FormatLatency(latency->p99Ns) : "-") +
                     NumberCell(timed ? FormatLatency(latency->maxNs) : "-") + NumberCell(latency->failedReads);
        } else {
            cells += "<td colspan=\"5\">not timed</td>";
        }
        out << HtmlRow(cells);
    }
    out << "</table>\n";
}

void Figures(std::ostream& out, const LatencySummary& latency)
{
    const bool timed = latency.SuccessfulReads() > 0;
    const auto ms = [timed](ULONGLONG ns) { return timed ? FormatLatency(ns) : std::string("-"); };
    out << HtmlTableStart({"Reads", "Failed", "Time", "Reads/s", "Min", "Mean", "Max", "p50", "p90", "p99", "p99.9"})
        << HtmlRow(NumberCell(latency.reads) + NumberCell(latency.failedReads) +
                   NumberCell(FormatFixed(static_cast<double>(latency.elapsedNs) / 1e9, 3) + " s") +
                   NumberCell(latency.elapsedNs == 0 ? "-" : FormatFixed(latency.ReadsPerSecond(), 1)) +
                   NumberCell(ms(latency.minNs)) + NumberCell(ms(latency.meanNs)) + NumberCell(ms(latency.maxNs)) +
                   NumberCell(ms(latency.p50Ns)) + NumberCell(ms(latency.p90Ns)) + NumberCell(ms(latency.p99Ns)) +
                   NumberCell(ms(latency.p999Ns)))
        << "</table>\n";
}

// The live view's map at the test's end, in the same glyphs and classes.
void MapPicture(std::ostream& out, const ReadMap& map)
{
    constexpr int kColumns = 100;
    constexpr int kRows = 24;
    out << "<h3>Map</h3>\n<pre class=\"map\">"
        << RenderMap(map, kColumns, kRows, ColourMode::Html) << "</pre>\n";
}

void TestSection(std::ostream& out, const TestRecord& test, const LatencySummary& latency, const std::string& disk,
                 const ReadMap* map)
{
    out << "<h2>" << EscapeHtml(TestTitle(test)) << ": <span class=\"" << OutcomeClass(test.outcome) << "\">"
        << OutcomeName(test.outcome) << "</span></h2>\n";
    if (!disk.empty()) {
        out << "<p>" << EscapeHtml(disk) << "</p>\n";
    }
    if (latency.reads == 0) {
        out << "<p>No reads (" << EscapeHtml(CodeWithMeaning(test.code)) << ").</p>\n";
        return;
    }
    const std::string failedRead = FirstFailedReadLine(latency);
    if (test.outcome != Outcome::Passed && !failedRead.empty()) {
        out << "<p>" << EscapeHtml(ResultCodeName(test.code) + ": " + failedRead) << "</p>\n";
    }
    Figures(out, latency);
    if (map != nullptr) {
        MapPicture(out, *map);
    }
    out << "<h3>Latency by position</h3>\n";
    const std::string chart = PositionChart(latency);
    out << (chart.empty() ? std::string("<p>No read took measurable time.</p>\n") : chart);
    const std::string area = SlowAreaLine(latency);
    if (!area.empty()) {
        out << "<p>" << EscapeHtml(area) << "</p>\n";
    }
    out << "<h3>Latency classes</h3>\n" << ClassChart(latency);
    out << "<div class=\"side\">\n<div>\n<h3>Slowest reads</h3>\n" << HtmlTableStart({"Sector", "Latency"});
    for (const TimedRead& read : latency.slowest) {
        out << HtmlRow(NumberCell(read.sector) + NumberCell(FormatLatency(read.nanoseconds)));
    }
    out << "</table>\n</div>\n<div>\n<h3>Failed reads</h3>\n";
    if (latency.failed.empty()) {
        out << "<p>None.</p>\n";
    } else {
        out << HtmlTableStart({"Sector", "Error", "Latency"});
        for (const FailedRead& read : latency.failed) {
            // A read that failed at once took no time worth a figure.
            out << HtmlRow(NumberCell(read.sector) + HtmlCell(Win32ErrorText(read.error)) +
                           (read.nanoseconds == 0 ? HtmlCell("failed", "failed")
                                                  : NumberCell(FormatLatency(read.nanoseconds))));
        }
        out << "</table>\n";
        if (latency.failedNotListed > 0) {
            out << "<p>" << latency.failedNotListed << " more failed reads are not listed.</p>\n";
        }
    }
    out << "</div>\n</div>\n";
}

// Every disk known, with what it calls itself.
void IdentityTable(std::ostream& out, const std::vector<DiskRow>& disks)
{
    out << "<h3>Disk identity</h3>\n"
        << HtmlTableStart({"Disk", "Device", "Bus", "Model", "Serial", "WWN", "Size (bytes)"});
    for (const DiskRow& row : disks) {
        out << HtmlRow(NumberCell(std::to_string(row.disk)) + HtmlCell(row.device) + HtmlCell(row.bus) +
                       HtmlCell(row.model) + HtmlCell(row.serial) + HtmlCell(row.wwn) +
                       NumberCell(row.size == 0 ? std::string() : std::to_string(row.size)));
    }
    out << "</table>\n";
}

// "Disk 1: sdb, model M, serial S" for the disk a test's selection names.
std::string DiskLine(const TestRecord& test, const std::vector<DiskRow>& disks)
{
    const LONG disk = TestedDisk(test.selector);
    const DiskRow* row = FindDisk(disks, disk);
    if (row == nullptr) {
        return {};
    }
    std::string line = "Disk " + std::to_string(disk) + ": " + row->device;
    if (!row->model.empty()) {
        line += ", model " + row->model;
    }
    if (!row->serial.empty()) {
        line += ", serial " + row->serial;
    }
    return line;
}

}  // namespace

void WriteHtmlReport(std::ostream& out, const RunResult& result, const RunInfo& info)
{
    BeginHtmlPage(out, "hddiag report", MapHtmlStyle());
    out << "<p>Machine: " << EscapeHtml(info.machine) << "; hddiag " << EscapeHtml(info.version) << "; ended "
        << UtcDateText(info.endTime) << ".</p>\n";

    size_t outcomes[5] = {};
    for (const TestRecord& test : result.tests) {
        ++outcomes[static_cast<size_t>(test.outcome)];
    }
    out << "<h2>Summary</h2>\n<p>" << result.tests.size() << " tests: " << outcomes[0] << " passed, " << outcomes[1]
        << " failed, " << outcomes[3] << " refused, " << outcomes[2] << " aborted, " << outcomes[4]
        << " not run." << (result.interrupted ? " Ctrl-C stopped the run." : "") << "</p>\n";
    if (!result.tests.empty()) {
        SummaryTable(out, result);
    }
    if (result.plan.made) {
        WriteCoverageSection(out, result);
    }

    out << "<h3>Disks</h3>\n" << HtmlTableStart({"Letter", "Disk", "Partition", "Size (MiB)"});
    for (const ReportItem& item : result.report.items) {
        out << HtmlRow(HtmlCell(item.letter != 0 ? std::string(1, item.letter) + ":" : std::string("?")) +
                       NumberCell(std::to_string(item.disk)) + NumberCell(std::to_string(item.partition)) +
                       NumberCell(std::to_string(item.sizeMiB)));
    }
    out << "</table>\n<p>Report: " << EscapeHtml(result.report.text) << "</p>\n";
    if (!result.disks.empty()) {
        IdentityTable(out, result.disks);
    }
    WriteHealthSection(out, result.disks, result.health);

    for (size_t i = 0; i < result.tests.size(); ++i) {
        if (const LatencySummary* latency = result.LatencyOf(i)) {
            TestSection(out, result.tests[i], *latency, DiskLine(result.tests[i], result.disks), result.MapOf(i));
        }
    }
    EndHtmlPage(out);
}

}  // namespace hddiag
