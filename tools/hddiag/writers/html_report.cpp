#include "tools/hddiag/writers/html_report.h"

#include <chrono>

#include "tools/hddiag/health/health_html.h"
#include "tools/hddiag/latency/latency_text.h"
#include "tools/hddiag/text/text_escape.h"
#include "tools/hddiag/writers/coverage_html.h"
#include "tools/hddiag/view/map_render.h"
#include "tools/hddiag/writers/svg_charts.h"

namespace hddiag {

namespace {

using seconds_type = std::chrono::seconds;

const char* const kStyle = R"(
body { font-family: sans-serif; margin: 2em; color: #222; max-width: 1000px; }
h1 { font-size: 1.6em; } h2 { font-size: 1.3em; margin-top: 2em; border-bottom: 1px solid #ccc; }
h3 { font-size: 1.05em; margin-bottom: 0.3em; }
table { border-collapse: collapse; margin: 0.5em 0; }
th, td { border: 1px solid #ccc; padding: 0.2em 0.6em; text-align: left; }
td.n { text-align: right; font-variant-numeric: tabular-nums; }
.passed { color: #1a7f37; } .failed, .aborted { color: #c62828; } .refused, .notrun { color: #8a6d00; }
svg text { font-size: 11px; fill: #333; }
svg .grid line { stroke: #e4e4e4; } svg .axis line { stroke: #666; }
.side { display: flex; gap: 3em; align-items: flex-start; }
pre.map { line-height: 1.1; font-size: 12px; }
svg rect.max { fill: #9ecae1; } svg rect.mean { fill: #3182bd; } svg rect.failed { fill: #d62728; }
)";

std::string UtcText(double seconds)
{
    using namespace std::chrono;
    const sys_seconds time{seconds_type(static_cast<LONGLONG>(seconds))};
    const sys_days day = floor<days>(time);
    const year_month_day date{day};
    const hh_mm_ss<seconds_type> clock{time - day};
    const auto two = [](LONGLONG v) { return (v < 10 ? "0" : "") + std::to_string(v); };
    return std::to_string(static_cast<int>(date.year())) + "-" + two(static_cast<unsigned>(date.month())) + "-" +
           two(static_cast<unsigned>(date.day())) + " " + two(clock.hours().count()) + ":" +
           two(clock.minutes().count()) + ":" + two(clock.seconds().count()) + " UTC";
}

std::string Cell(const std::string& text, bool number = false)
{
    return std::string(number ? "<td class=\"n\">" : "<td>") + EscapeHtml(text) + "</td>";
}

std::string OutcomeClass(Outcome outcome) { return outcome == Outcome::NotRun ? "notrun" : OutcomeName(outcome); }

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
    out << "<table>\n<tr><th>Test</th><th>Items</th><th>Outcome</th><th>Result</th><th>Reads</th>"
           "<th>Reads/s</th><th>p99</th><th>Max</th><th>Failed</th></tr>\n";
    for (size_t i = 0; i < result.tests.size(); ++i) {
        const TestRecord& test = result.tests[i];
        const LatencySummary* latency = result.LatencyOf(i);
        out << "<tr>" << Cell(Describe(test.kind).method) << Cell(test.selector) << "<td class=\""
            << OutcomeClass(test.outcome) << "\">" << OutcomeName(test.outcome) << "</td>"
            << Cell(ResultText(test, latency));
        if (latency != nullptr) {
            const bool timed = latency->SuccessfulReads() > 0;
            out << Cell(std::to_string(latency->reads), true)
                << Cell(latency->elapsedNs == 0 ? "-" : FormatFixed(latency->ReadsPerSecond(), 1), true)
                << Cell(timed ? FormatLatency(latency->p99Ns) : "-", true)
                << Cell(timed ? FormatLatency(latency->maxNs) : "-", true)
                << Cell(std::to_string(latency->failedReads), true);
        } else {
            out << "<td colspan=\"5\">not timed</td>";
        }
        out << "</tr>\n";
    }
    out << "</table>\n";
}

void Figures(std::ostream& out, const LatencySummary& latency)
{
    const bool timed = latency.SuccessfulReads() > 0;
    const auto ms = [timed](ULONGLONG ns) { return timed ? FormatLatency(ns) : std::string("-"); };
    out << "<table>\n<tr><th>Reads</th><th>Failed</th><th>Time</th><th>Reads/s</th><th>Min</th><th>Mean</th>"
           "<th>Max</th><th>p50</th><th>p90</th><th>p99</th><th>p99.9</th></tr>\n<tr>"
        << Cell(std::to_string(latency.reads), true) << Cell(std::to_string(latency.failedReads), true)
        << Cell(FormatFixed(static_cast<double>(latency.elapsedNs) / 1e9, 3) + " s", true)
        << Cell(latency.elapsedNs == 0 ? "-" : FormatFixed(latency.ReadsPerSecond(), 1), true)
        << Cell(ms(latency.minNs), true) << Cell(ms(latency.meanNs), true) << Cell(ms(latency.maxNs), true)
        << Cell(ms(latency.p50Ns), true) << Cell(ms(latency.p90Ns), true) << Cell(ms(latency.p99Ns), true)
        << Cell(ms(latency.p999Ns), true) << "</tr>\n</table>\n";
}

// The live view's map at the test's end, in the same glyphs and classes.
void MapPicture(std::ostream& out, const ReadMap& map)
{
    constexpr int kColumns = 100;
    constexpr int kRows = 24;
    out << "<h3>Map</h3>\n<style>";
    for (CellMark m = 0; m < kMarkCount; ++m) {
        out << "pre.map .m" << static_cast<int>(m) << " { color: " << MarkHtmlColour(m) << "; }";
    }
    out << "</style>\n<pre class=\"map\">" << RenderMap(map, kColumns, kRows, ColourMode::Html) << "</pre>\n";
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
        out << "<p>No reads (" << EscapeHtml(ResultCodeName(test.code)) << ").</p>\n";
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
    out << "<div class=\"side\">\n<div>\n<h3>Slowest reads</h3>\n<table>\n<tr><th>Sector</th><th>Latency</th></tr>\n";
    for (const TimedRead& read : latency.slowest) {
        out << "<tr>" << Cell(std::to_string(read.sector), true) << Cell(FormatLatency(read.nanoseconds), true)
            << "</tr>\n";
    }
    out << "</table>\n</div>\n<div>\n<h3>Failed reads</h3>\n";
    if (latency.failed.empty()) {
        out << "<p>None.</p>\n";
    } else {
        out << "<table>\n<tr><th>Sector</th><th>Error</th><th>Latency</th></tr>\n";
        for (const FailedRead& read : latency.failed) {
            out << "<tr>" << Cell(std::to_string(read.sector), true) << Cell(Win32ErrorText(read.error))
                << Cell(FormatLatency(read.nanoseconds), true) << "</tr>\n";
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
    out << "<h3>Disk identity</h3>\n<table>\n<tr><th>Disk</th><th>Device</th><th>Bus</th><th>Model</th>"
           "<th>Serial</th><th>WWN</th><th>Size (bytes)</th></tr>\n";
    for (const DiskRow& row : disks) {
        out << "<tr>" << Cell(std::to_string(row.disk), true) << Cell(row.device) << Cell(row.bus)
            << Cell(row.model) << Cell(row.serial) << Cell(row.wwn)
            << Cell(row.size == 0 ? std::string() : std::to_string(row.size), true) << "</tr>\n";
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

std::string EscapeHtml(const std::string& text)
{
    // Valid UTF-8 without control characters, which XML does not allow even
    // as references: the page is declared UTF-8 and must parse as XHTML too.
    std::string escaped;
    for (char c : Printable(text)) {
        switch (c) {
        case '&':
            escaped += "&amp;";
            break;
        case '<':
            escaped += "&lt;";
            break;
        case '>':
            escaped += "&gt;";
            break;
        case '"':
            escaped += "&quot;";
            break;
        case '\'':
            escaped += "&#39;";
            break;
        default:
            escaped += c;
        }
    }
    return escaped;
}

void WriteHtmlReport(std::ostream& out, const RunResult& result, const RunInfo& info)
{
    out << "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\"/>\n"
           "<title>hddiag report</title>\n<style>"
        << kStyle << "</style>\n</head>\n<body>\n<h1>hddiag report</h1>\n";
    out << "<p>Machine: " << EscapeHtml(info.machine) << "; hddiag " << EscapeHtml(info.version) << "; ended "
        << UtcText(info.endTime) << ".</p>\n";

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

    out << "<h3>Disks</h3>\n<table>\n<tr><th>Letter</th><th>Disk</th><th>Partition</th><th>Size (MiB)</th></tr>\n";
    for (const ReportItem& item : result.report.items) {
        out << "<tr>" << Cell(item.letter != 0 ? std::string(1, item.letter) + ":" : std::string("?"))
            << Cell(std::to_string(item.disk), true) << Cell(std::to_string(item.partition), true)
            << Cell(std::to_string(item.sizeMiB), true) << "</tr>\n";
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
    out << "</body>\n</html>\n";
}

}  // namespace hddiag
