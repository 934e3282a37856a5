#include "tools/hddiag/health/health_html.h"

#include <algorithm>

#include "tools/hddiag/health/health_output.h"
#include "tools/hddiag/health/self_test.h"
#include "tools/hddiag/health/verdict.h"
#include "tools/hddiag/text/html_page.h"
#include "tools/hddiag/text/text_escape.h"

namespace hddiag {

namespace {

template <typename T>
std::string Known(const std::optional<T>& v)
{
    return v ? std::to_string(*v) : std::string();
}

const char* HealthClass(const DiskHealth& h) { return h.state != HealthState::Read ? "notrun" : VerdictClass(h.verdict); }

// The predictors in their own order, then the rest in the drive's order.
std::vector<const SmartAttribute*> PredictorsFirst(const SmartReading& r)
{
    std::vector<const SmartAttribute*> order;
    for (ULONG id : {5u, 187u, 188u, 197u, 198u}) {
        if (const SmartAttribute* a = r.Attribute(id)) {
            order.push_back(a);
        }
    }
    for (const SmartAttribute& a : r.attributes) {
        if (std::find(order.begin(), order.end(), &a) == order.end()) {
            order.push_back(&a);
        }
    }
    return order;
}

void Attributes(std::ostream& out, const SmartReading& r)
{
    out << HtmlTableStart({"ID", "Attribute", "Value", "Worst", "Threshold", "Type", "Failed", "Raw"});
    for (const SmartAttribute* a : PredictorsFirst(r)) {
        const std::string name = IsMetricAttribute(a->id) ? a->name + (a->id == 188 ? " (shown)" : " (predictor)") : a->name;
        out << HtmlRow(NumberCell(a->id) + HtmlCell(name) + NumberCell(Known(a->value)) + NumberCell(Known(a->worst)) +
                       NumberCell(Known(a->threshold)) + HtmlCell(a->prefail ? "prefail" : "usage") +
                       HtmlCell(a->whenFailed) + ValueCell(a->rawText.empty() ? Known(a->raw) : a->rawText));
    }
    out << "</table>\n";
}

void Figures(std::ostream& out, const SmartReading& r)
{
    std::vector<std::pair<std::string, std::string>> rows;
    if (r.passed) {
        rows.push_back({"Overall assessment", *r.passed ? "passed" : "FAILED"});
    }
    if (r.nvme) {
        rows.push_back({"NVMe critical warning", Known(r.nvme->criticalWarning)});
        rows.push_back({"NVMe media errors", Known(r.nvme->mediaErrors)});
        rows.push_back({"NVMe percentage used", Known(r.nvme->percentageUsed)});
        rows.push_back({"NVMe available spare (threshold)",
                        Known(r.nvme->availableSpare) + " (" + Known(r.nvme->availableSpareThreshold) + ")"});
    }
    if (r.scsiGrownDefects) {
        rows.push_back({"SCSI grown defects", Known(r.scsiGrownDefects)});
    }
    if (r.scsiUncorrectedReadErrors) {
        rows.push_back({"SCSI uncorrected read errors", Known(r.scsiUncorrectedReadErrors)});
    }
    if (r.temperature) {
        rows.push_back({"Temperature (C)", std::to_string(*r.temperature)});
    }
    if (r.powerOnHours) {
        rows.push_back({"Power-on hours", Known(r.powerOnHours)});
    }
    if (r.errorLogCount) {
        rows.push_back({"ATA error log entries", Known(r.errorLogCount)});
    }
    out << "<table>\n";
    for (const auto& [what, value] : rows) {
        out << HtmlRow(HeadingCell(what) + ValueCell(value));
    }
    out << "</table>\n";
}

void SelfTests(std::ostream& out, const SmartReading& r)
{
    const SelfTestLog& log = *r.selfTests;
    if (!log.running.empty()) {
        out << "<p>Self-test running: " << EscapeHtml(log.running)
            << (log.runningPercent ? " (" + std::to_string(*log.runningPercent) + "% done)" : std::string()) << "</p>\n";
    }
    if (log.entries.empty()) {
        out << "<p>The self-test log holds no test.</p>\n";
        return;
    }
    out << HtmlTableStart({"Self-test", "Result", "Status", "Power-on hours", "Hours ago", "LBA"});
    for (const SelfTestEntry& e : log.entries) {
        const std::string result =
            e.result == SelfTestResult::Failed ? FailureText(e, log.nvme) : SelfTestResultName(e.result);
        out << HtmlRow(HtmlCell(e.type.empty() ? SelfTestKindName(e.kind) : e.type) + HtmlCell(result) +
                       HtmlCell(e.statusText) + NumberCell(Known(e.hours)) +
                       NumberCell(Known(SelfTestAgeHours(e, log.nvme, r.powerOnHours))) + NumberCell(Known(e.lba)));
    }
    out << "</table>\n";
}

}  // namespace

const char* VerdictClass(Verdict verdict)
{
    return verdict == Verdict::Good ? "passed" : verdict == Verdict::Warning ? "warning" : "failed";
}

void WriteHealthSection(std::ostream& out, const std::vector<DiskRow>& rows, const std::vector<DiskHealth>& health)
{
    if (health.empty()) {
        return;
    }
    out << "<h2>Health</h2>\n";
    for (const DiskHealth& h : health) {
        const DiskRow* row = FindDisk(rows, h.disk);
        out << "<h3>Disk " << h.disk << (row != nullptr ? " (" + EscapeHtml(row->device) + ")" : std::string())
            << ": <span class=\"" << HealthClass(h) << "\">" << EscapeHtml(HealthSummary(h)) << "</span></h3>\n";
        const std::string why = HealthWhy(h);
        if (!why.empty()) {
            out << "<p>" << EscapeHtml(why) << "</p>\n";
        }
        if (h.state != HealthState::Read) {
            continue;
        }
        Figures(out, h.reading);
        if (!h.reading.attributes.empty()) {
            Attributes(out, h.reading);
        }
        if (h.reading.selfTests) {
            SelfTests(out, h.reading);
        }
        for (const std::string& note : h.reading.notes) {
            out << "<p>Note: " << EscapeHtml(note) << "</p>\n";
        }
    }
}

}  // namespace hddiag
