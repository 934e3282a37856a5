#include "tools/hddiag/check/check_output.h"

#include <nlohmann/json.hpp>
#include <sstream>

#include "tools/hddiag/text/json_values.h"
#include "tools/hddiag/health/health_html.h"
#include "tools/hddiag/health/health_output.h"
#include "tools/hddiag/scanning/scan_output.h"
#include "tools/hddiag/text/html_page.h"
#include "tools/hddiag/text/openmetrics.h"
#include "tools/hddiag/text/text_escape.h"
#include "tools/hddiag/view/map_render.h"
#include "tools/hddiag/writers/html_report.h"

namespace hddiag {

namespace {

std::string Label(const DiskRow& row)
{
    std::string label = "disk " + std::to_string(row.disk) + " (" + Printable(row.device);
    if (!row.model.empty()) {
        label += ", " + Printable(row.model);
    }
    if (!row.serial.empty()) {
        label += ", serial " + Printable(row.serial);
    }
    return label + ")";
}

nlohmann::ordered_json SelfTestJson(const SelfTestOutcome& t)
{
    using nlohmann::ordered_json;
    if (!t.asked) {
        return ordered_json();
    }
    return {{"kind", t.kind},
            {"ran", t.ran},
            {"passed", t.ran ? ordered_json(t.passed) : ordered_json()},
            {"result", t.result.empty() ? ordered_json() : ordered_json(t.result)},
            {"lba", t.lba ? ordered_json(*t.lba) : ordered_json()},
            {"note", t.note.empty() ? ordered_json() : ordered_json(t.note)}};
}

nlohmann::ordered_json ScanJson(const DiskCheck& d)
{
    using nlohmann::ordered_json;
    const ScanFacts& s = d.facts.scan;
    if (!s.asked) {
        return ordered_json();
    }
    ordered_json unreadable = ordered_json::array();
    for (const SectorSpan& a : s.unreadable) {
        unreadable.push_back({{"first_sector", a.first}, {"sectors", a.end - a.first}});
    }
    ordered_json slow = ordered_json::array();
    for (const hdd::scan::SlowArea& a : s.slowAreas) {
        slow.push_back({{"first_sector", a.firstSector},
                        {"sectors", a.sectors},
                        {"worst_ms", static_cast<double>(a.worstNs) / 1e6}});
    }
    return {{"ran", s.ran},
            {"end", s.endText},
            {"sector_size", s.sectorBytes},
            {"sectors_unreadable", s.unreadableSectors},
            {"sectors_untried", s.untriedSectors},
            {"unreadable_areas", std::move(unreadable)},
            {"slow_areas", std::move(slow)},
            {"map", d.figures != nullptr && !d.figures->scan->MapPath().empty()
                        ? ordered_json(d.figures->scan->MapPath())
                        : ordered_json()}};
}

}  // namespace

void PrintCheckSummary(std::ostream& out, const CheckRun& run)
{
    size_t counts[3] = {};
    for (const DiskCheck& d : run.disks) {
        ++counts[static_cast<size_t>(d.verdict.verdict)];
        out << Label(d.row) << ": " << VerdictName(d.verdict.verdict) << '\n';
        for (const std::string& r : d.verdict.reasons) {
            out << "  - " << Printable(r) << '\n';
        }
        for (const std::string& n : d.verdict.notes) {
            out << "  note: " << Printable(n) << '\n';
        }
        if (d.figures != nullptr && !d.figures->scan->MapPath().empty()) {
            out << "  map: " << Printable(d.figures->scan->MapPath())
                << (d.figures->scan->MapError().empty() ? std::string() : " NOT SAVED: " + d.figures->scan->MapError())
                << '\n';
        }
    }
    out << "Check: " << run.disks.size() << " disk" << (run.disks.size() == 1 ? "" : "s") << ", " << counts[0]
        << " good, " << counts[1] << " warning, " << counts[2] << " failing\n";
    if (run.interrupted) {
        out << "Stopped by a signal; the maps hold what was read, and the same command resumes.\n";
    }
}

void PrintCheckJson(std::ostream& out, const CheckRun& run)
{
    using nlohmann::ordered_json;
    ordered_json disks = ordered_json::array();
    for (const DiskCheck& d : run.disks) {
        disks.push_back({{"disk", d.row.disk},
                         {"device", d.row.device},
                         {"path", d.row.path},
                         {"model", TextOrNull(d.row.model)},
                         {"serial", TextOrNull(d.row.serial)},
                         {"verdict", VerdictName(d.verdict.verdict)},
                         {"reasons", d.verdict.reasons},
                         {"notes", d.verdict.notes},
                         {"health_before", HealthJson({d.facts.before}).at(0)},
                         {"health_after", HealthJson({d.facts.after}).at(0)},
                         {"self_test", SelfTestJson(d.facts.selfTest)},
                         {"scan", ScanJson(d)}});
    }
    ordered_json doc = {{"checks", std::move(disks)},
                        {"interrupted", run.interrupted},
                        {"passed", CheckExitCode(run) == kExitPassed}};
    out << doc.dump(2, ' ', false, ordered_json::error_handler_t::replace) << '\n';
}

std::string CheckReportPage(const CheckRun& run, const std::string& machine)
{
    // One line per text in a cell, each escaped.
    const auto lines = [](const std::vector<std::string>& texts) {
        std::string cell = "<td>";
        for (const std::string& text : texts) {
            cell += EscapeHtml(text) + "<br/>";
        }
        return cell + "</td>";
    };
    std::ostringstream page;
    BeginHtmlPage(page, "hddiag check", MapHtmlStyle());
    WriteScanHeading(page, run.scan, machine);
    page << HtmlTableStart({"Disk", "Verdict", "Reasons", "Notes"});
    for (const DiskCheck& d : run.disks) {
        page << HtmlRow(HtmlCell(Label(d.row)) +
                        HtmlCell(VerdictName(d.verdict.verdict), VerdictClass(d.verdict.verdict)) +
                        lines(d.verdict.reasons) + lines(d.verdict.notes));
    }
    page << "</table>\n";
    // The scan's sections below the verdicts: its maps and areas, disk by disk.
    WriteScanSections(page, run.scan);
    EndHtmlPage(page);
    return page.str();
}

std::string CheckMetricsText(const CheckRun& run)
{
    OpenMetricsText metrics;
    // Without disks the file holds no family; with them, every family is
    // declared, a good disk's empty reasons included.
    const EmptyFamily empty = run.disks.empty() ? EmptyFamily::Omit : EmptyFamily::Declare;
    const auto gauge = [&metrics, empty](const char* name, const char* unit, const char* help) {
        return metrics.Add(Gauge(name, unit, help), empty);
    };
    const size_t verdict =
        gauge("hddiag_check_verdict", "", "1 for the disk's verdict (good, warning or failing), 0 for the others.");
    const size_t reason = gauge("hddiag_check_reason", "", "1 for each reason of a verdict other than good.");
    const size_t unreadable =
        gauge("hddiag_check_unreadable_sectors", "", "Sectors the check's scan found unreadable.");
    const size_t slow =
        gauge("hddiag_check_slow_areas", "", "Areas whose reads took --slow or longer in the check's scan.");
    const size_t scanned =
        gauge("hddiag_check_scanned", "", "1 when every sector of the disk was read or found unreadable, else 0.");
    const size_t end = gauge("hddiag_check_end_timestamp_seconds", "seconds", "When the check ended.");
    for (const DiskCheck& d : run.disks) {
        const MetricLabels id = MetricLabels()
                                    .Add("disk", std::to_string(d.row.disk))
                                    .Add("device", d.row.device)
                                    .Add("serial", d.row.serial);
        for (const Verdict v : {Verdict::Good, Verdict::Warning, Verdict::Failing}) {
            metrics.Sample(verdict, id.With("verdict", VerdictName(v)), d.verdict.verdict == v ? 1 : 0);
        }
        for (const std::string& r : d.verdict.reasons) {
            metrics.Sample(reason, id.With("reason", r), 1);
        }
        metrics.Sample(unreadable, id, d.facts.scan.unreadableSectors);
        metrics.Sample(slow, id, d.facts.scan.slowAreas.size());
        metrics.Sample(scanned, id, d.figures != nullptr && d.figures->complete ? 1 : 0);
        metrics.Sample(end, id, run.endTime);
    }
    return metrics.Text();
}

}  // namespace hddiag
