#include "tools/hddiag/writers/run_files.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tools/hddiag/writers/html_report.h"
#include "tools/hddiag/writers/metrics_writer.h"

namespace hddiag {

bool ReplaceFile(const std::string& path, const std::string& text)
{
    const std::string temporary = path + ".tmp";
    {
        std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
        file << text;
        file.close();
        if (!file) {
            std::error_code ignored;
            std::filesystem::remove(temporary, ignored);
            return false;
        }
    }
    std::error_code error;
    std::filesystem::rename(temporary, path, error);
    if (error) {
        std::filesystem::remove(temporary, error);
        return false;
    }
    return true;
}

bool WriteRunFiles(const Options& options, const RunResult& result, std::ostream& err)
{
    if (options.reportPath.empty() && options.metricsPath.empty()) {
        return true;
    }
    RunInfo info;
    info.machine = options.machine.empty() ? std::string("this machine's disks") : options.machine;
    info.version = HDDIAG_VERSION;
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    info.endTime = static_cast<double>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count()) / 1000.0;

    bool ok = true;
    if (!options.reportPath.empty()) {
        std::ostringstream page;
        WriteHtmlReport(page, result, info);
        if (!ReplaceFile(options.reportPath, page.str())) {
            err << "hddiag: cannot write the report to '" << options.reportPath << "'\n";
            ok = false;
        }
    }
    if (!options.metricsPath.empty()) {
        std::ostringstream metrics;
        WriteMetrics(metrics, result, info);
        if (!ReplaceFile(options.metricsPath, metrics.str())) {
            err << "hddiag: cannot write the metrics to '" << options.metricsPath << "'\n";
            ok = false;
        }
    }
    return ok;
}

}  // namespace hddiag
