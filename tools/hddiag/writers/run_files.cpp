#include "tools/hddiag/writers/run_files.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include "tools/hddiag/latency/wall_time.h"
#include "tools/hddiag/health/health_metrics.h"
#include "tools/hddiag/text/text_escape.h"
#include "tools/hddiag/writers/html_report.h"
#include "tools/hddiag/writers/metrics_writer.h"
#include "tools/hddiag/text/text_escape.h"

namespace hddiag {

std::string QuotedPath(const std::string& path) { return "'" + Printable(path) + "'"; }

bool PrepareOutputFile(const char* option, const std::string& path, const std::vector<std::string>& inputs,
                std::unique_ptr<host::NewFile>& file, std::string& error)
{
    if (path.empty()) {
        return true;
    }
    const std::string refusal = OutputRefusal(path, inputs);
    if (!refusal.empty()) {
        error = std::string(option) + " " + QuotedPath(path) + " " + refusal + ": refusing to write over it";
        return false;
    }
    std::string why;
    file = host::CreateBeside(path, why);
    if (!file) {
        error = std::string("cannot write ") + option + " " + QuotedPath(path) + ": " + why;
        return false;
    }
    return true;
}

namespace {

// The health file being replaced, for the times it holds; empty when there is
// none (or it is not a small regular file).
std::string ReadSmallFile(const std::string& path)
{
    if (host::InspectPath(path).kind != host::FileKind::Regular) {
        return {};
    }
    std::ifstream in(path, std::ios::binary);
    std::string text(1u << 20, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<size_t>(in.gcount()));
    return text;
}

}  // namespace

void WriteOutputFile(host::NewFile* file, const char* what, const std::string& text, std::ostream& err)
{
    if (file == nullptr) {
        return;
    }
    std::string why;
    if (!file->Write(text, why) || !file->Commit(why)) {
        err << "hddiag: the " << what << " " << QuotedPath(file->Target()) << " is missing: writing it failed (" << why
            << ")\n";
    }
}


std::string OutputRefusal(const std::string& path, const std::vector<std::string>& inputs)
{
    const host::PathFacts facts = host::InspectPath(path);
    switch (facts.kind) {
    case host::FileKind::Missing:
        return {};
    case host::FileKind::Device:
        return "is a device (hddiag writes only regular files)";
    case host::FileKind::Directory:
        return "is a folder";
    case host::FileKind::Other:
        return "is not a regular file";
    case host::FileKind::Regular:
        break;
    }
    for (const std::string& input : inputs) {
        const host::PathFacts read = host::InspectPath(input);
        if (read.kind != host::FileKind::Missing && read.id == facts.id) {
            return "is " + QuotedPath(input) + ", which this run reads";
        }
    }
    return {};
}

bool SameOutputTarget(const host::NewFile& a, const host::NewFile& b)
{
    const host::PathFacts fa = host::InspectPath(a.Target());
    const host::PathFacts fb = host::InspectPath(b.Target());
    if (fa.kind != host::FileKind::Missing && fb.kind != host::FileKind::Missing) {
        return fa.id == fb.id;
    }
    const std::filesystem::path pa(a.Target());
    const std::filesystem::path pb(b.Target());
    const auto folder = [](const std::filesystem::path& p) {
        return host::InspectPath(p.has_parent_path() ? p.parent_path().string() : std::string("."));
    };
    const host::PathFacts da = folder(pa);
    const host::PathFacts db = folder(pb);
    return da.kind != host::FileKind::Missing && da.id == db.id && pa.filename() == pb.filename();
}

bool OutputsDiffer(const std::vector<std::pair<const char*, const host::NewFile*>>& outputs, std::string& error)
{
    for (size_t i = 0; i < outputs.size(); ++i) {
        for (size_t j = i + 1; j < outputs.size(); ++j) {
            if (outputs[i].second != nullptr && outputs[j].second != nullptr &&
                SameOutputTarget(*outputs[i].second, *outputs[j].second)) {
                error = std::string(outputs[i].first) + " and " + outputs[j].first + " name the same file " +
                        QuotedPath(outputs[i].second->Target()) + "; one would overwrite the other";
                return false;
            }
        }
    }
    return true;
}

bool RunFiles::Prepare(const Options& options, const std::vector<std::string>& inputs, std::string& error)
{
    // health's --metrics is the health file itself; info's and run's have
    // one of their own beside them.
    const bool healthOnly = options.command == Command::Health;
    const bool readsHealth = healthOnly || options.command == Command::Info || options.command == Command::Run;
    const std::string healthPath = healthOnly ? options.metricsPath
                                   : options.metricsPath.empty() || !readsHealth ? std::string()
                                                                                 : HealthMetricsPath(options.metricsPath);
    if (!PrepareOutputFile("--report", options.reportPath, inputs, m_report, error) ||
        !PrepareOutputFile("--metrics", healthOnly ? std::string() : options.metricsPath, inputs, m_metrics, error) ||
        !PrepareOutputFile(healthOnly ? "--metrics" : "health metrics", healthPath, inputs, m_health, error)) {
        Reset();
        return false;
    }
    const host::NewFile* metrics = m_metrics ? m_metrics.get() : m_health.get();
    if (!OutputsDiffer({{"--report", m_report.get()}, {"--metrics", metrics}}, error)) {
        Reset();
        return false;
    }
    if (m_metrics && m_health && (SameOutputTarget(*m_metrics, *m_health) || (m_report && SameOutputTarget(*m_report, *m_health)))) {
        error = "the health metrics file " + QuotedPath(m_health->Target()) + " is another output of this run";
        Reset();
        return false;
    }
    return true;
}

void RunFiles::Reset()
{
    m_report.reset();
    m_metrics.reset();
    m_health.reset();
}

void RunFiles::Write(const Options& options, const RunResult& result, std::ostream& err)
{
    if (!m_report && !m_metrics && !m_health) {
        return;
    }
    RunInfo info;
    info.machine = options.machine.empty() ? std::string("this machine's disks") : options.machine;
    info.version = HDDIAG_VERSION;
    info.endTime = UtcNowSeconds();

    if (m_report) {
        std::ostringstream page;
        WriteHtmlReport(page, result, info);
        WriteOutputFile(m_report.get(), "report", page.str(), err);
    }
    if (m_metrics) {
        std::ostringstream metrics;
        WriteMetrics(metrics, result, info);
        WriteOutputFile(m_metrics.get(), "metrics file", metrics.str(), err);
    }
    if (m_health) {
        std::ostringstream metrics;
        WriteHealthMetrics(metrics, result.disks, result.health, PreviousReadTimes(ReadSmallFile(m_health->Target())));
        WriteOutputFile(m_health.get(), "health metrics file", metrics.str(), err);
    }
    Reset();
}

}  // namespace hddiag
