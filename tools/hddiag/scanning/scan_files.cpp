#include "tools/hddiag/scanning/scan_files.h"

#include "scan/slow_area_lines.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include "tools/hddiag/scanning/map_names.h"
#include "tools/hddiag/text/text_escape.h"
#include "tools/hddiag/writers/run_files.h"

namespace hddiag {

namespace {

// A map holds a line per area: far below this even for a ruined disk.
constexpr std::uintmax_t kLargestMap = 256ull << 20;

}  // namespace

bool ScanFiles::Prepare(const Options& options, const std::vector<std::string>& inputs,
                        const std::vector<const DiskRow*>& rows, std::string& error)
{
    const ScanCommandOptions& scan = options.scan;
    if (!PrepareOutputFile("--bad-blocks", scan.badBlocksPath, inputs, m_badBlocks, error) ||
        !PrepareOutputFile("--report", options.reportPath, inputs, m_report, error) ||
        !PrepareOutputFile("--metrics", options.metricsPath, inputs, m_metrics, error)) {
        return false;
    }
    const std::vector<std::pair<const char*, const host::NewFile*>> outputs = {
        {"--bad-blocks", m_badBlocks.get()}, {"--report", m_report.get()}, {"--metrics", m_metrics.get()}};
    if (!OutputsDiffer(outputs, error)) {
        return false;
    }
    if (scan.mapPath.empty()) {
        return true;
    }
    if (!PrepareMaps(scan.mapPath, inputs, rows, error)) {
        return false;
    }
    // A map must not be the place of another output either.
    for (const std::string& map : m_maps) {
        std::string why;
        const std::unique_ptr<host::NewFile> probe = host::CreateBeside(map, why);
        if (!probe) {
            error = "cannot write --map " + QuotedPath(map) + ": " + why;
            return false;
        }
        std::vector<std::pair<const char*, const host::NewFile*>> withMap = {{"--map", probe.get()}};
        withMap.insert(withMap.end(), outputs.begin(), outputs.end());
        if (!OutputsDiffer(withMap, error)) {
            return false;
        }
    }
    return true;
}

bool ScanFiles::PrepareMaps(const std::string& mapOption, const std::vector<std::string>& inputs,
                            const std::vector<const DiskRow*>& rows, std::string& error)
{
    const host::PathFacts facts = host::InspectPath(mapOption);
    const bool folder = rows.size() > 1 || facts.kind == host::FileKind::Directory;
    if (!folder) {
        m_maps.push_back(mapOption);
    } else {
        if (facts.kind == host::FileKind::Missing) {
            std::error_code failed;
            std::filesystem::create_directory(std::filesystem::path(mapOption), failed);
            if (failed) {
                error = "--map " + QuotedPath(mapOption) + ": the folder for the maps of " + std::to_string(rows.size()) +
                        " disks cannot be made: " + failed.message();
                return false;
            }
        } else if (facts.kind != host::FileKind::Directory) {
            error = "--map " + QuotedPath(mapOption) + " is not a folder: with several disks --map names a folder "
                    "holding one map per disk";
            return false;
        }
        m_maps = MapPathsInFolder(mapOption, rows);
    }
    for (const std::string& map : m_maps) {
        const std::string refusal = OutputRefusal(map, inputs);
        if (!refusal.empty()) {
            error = "--map " + QuotedPath(map) + " " + refusal + ": refusing to use it as a map";
            return false;
        }
    }
    return true;
}

const std::string& ScanFiles::MapPath(size_t reader) const
{
    static const std::string none;
    return reader < m_maps.size() ? m_maps[reader] : none;
}

bool ScanFiles::LoadMap(size_t reader, const hdd::scan::MapIdentity& disk, hdd::scan::MapCheck check,
                        hdd::scan::RangeMap& map, bool& loaded, std::vector<hdd::scan::SlowArea>& slow,
                        std::string& why) const
{
    loaded = false;
    const std::string& path = MapPath(reader);
    if (path.empty() || host::InspectPath(path).kind == host::FileKind::Missing) {
        return true;
    }
    std::error_code failed;
    const std::uintmax_t size = std::filesystem::file_size(std::filesystem::path(path), failed);
    if (failed || size > kLargestMap) {
        why = "the map " + QuotedPath(path) + (failed ? " cannot be read: " + failed.message() : " is too large to be a map");
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    if (!in) {
        why = "the map " + QuotedPath(path) + " cannot be read";
        return false;
    }
    std::string problem;
    if (!hdd::scan::LoadMapForDisk(text.str(), disk, map, problem, check)) {
        why = "the map " + QuotedPath(path) + " cannot be used for " + Printable(disk.device) + ": " + Printable(problem);
        // Only the identity stands in the way: say how to resume it all the same.
        hdd::scan::RangeMap ignored;
        std::string geometry;
        if (check == hdd::scan::MapCheck::Identity &&
            hdd::scan::LoadMapForDisk(text.str(), disk, ignored, geometry, hdd::scan::MapCheck::Geometry)) {
            why += " (--map-force resumes it all the same)";
        }
        return false;
    }
    slow = hdd::scan::ReadSlowAreaComments(text.str());
    loaded = true;
    return true;
}

bool ScanFiles::SaveMap(const std::string& path, const std::string& text, std::string& why)
{
    const std::unique_ptr<host::NewFile> file = host::CreateBeside(path, why);
    return file && file->Write(text, why) && file->Commit(why);
}

void ScanFiles::Write(const std::string& badBlocks, const std::string& report, const std::string& metrics,
                      std::ostream& err)
{
    WriteOutputFile(m_badBlocks.get(), "bad-blocks list", badBlocks, err);
    WriteOutputFile(m_report.get(), "report", report, err);
    WriteOutputFile(m_metrics.get(), "metrics file", metrics, err);
    m_badBlocks.reset();
    m_report.reset();
    m_metrics.reset();
}

}  // namespace hddiag
