#include "tools/hddiag/host/output_file.h"
#include "tools/hddiag/commands/scan_command.h"

#include "tools/hddiag/scanning/disk_scan.h"
#include "tools/hddiag/scanning/scan_files.h"
#include "tools/hddiag/scanning/scan_output.h"
#include "tools/hddiag/scanning/scan_runner.h"
#include "tools/hddiag/text/text_escape.h"

namespace hddiag {

namespace {

// Sizes that must fit every scanned disk's sectors.
bool CheckSizes(const ScanCommandOptions& scan, const std::vector<std::vector<DiskTarget>>& groups,
                const std::vector<ScanDiskInfo>& disks, std::string& error)
{
    if (!scan.badBlocksPath.empty() && (groups.size() != 1 || groups.front().size() != 1)) {
        error = "--bad-blocks takes one target: its numbers count from that target's first sector";
        return false;
    }
    for (const std::vector<DiskTarget>& group : groups) {
        const ScanDiskInfo& disk = *FindScanDisk(disks, group.front().disk);
        const std::string name = "disk " + std::to_string(disk.row.disk) + "'s sectors of " +
                                 std::to_string(disk.sectorSize) + " bytes";
        if (disk.sectorSize == 0 || scan.blockSize % disk.sectorSize != 0) {
            error = "--block-size " + std::to_string(scan.blockSize) + " is not a whole number of " + name;
            return false;
        }
        if (scan.badBlockSize != 0 && scan.badBlockSize % disk.sectorSize != 0) {
            error = "--bad-block-size " + std::to_string(scan.badBlockSize) + " is not a whole number of " + name;
            return false;
        }
    }
    return true;
}

}  // namespace

int RunScanCommand(const Options& options, AppIo& io)
{
    const ScanCommandOptions& scan = options.scan;
    std::string error;
    const std::unique_ptr<ScanSource> source = OpenScanSourceFor(options, scan.targets, error);
    std::vector<DiskTarget> targets;
    if (!source || !ResolveTargets(scan.targets, source->Disks(), targets, error)) {
        io.err << "hddiag: " << error << '\n';
        return kExitUsage;
    }
    const std::vector<std::vector<DiskTarget>> groups = GroupByDisk(targets);
    std::vector<const DiskRow*> rows;
    for (const std::vector<DiskTarget>& group : groups) {
        rows.push_back(&FindScanDisk(source->Disks(), group.front().disk)->row);
    }
    ScanFiles files;
    if (!CheckSizes(scan, groups, source->Disks(), error) || !files.Prepare(options, host::FilesThisRunReads(options), rows, error)) {
        io.err << "hddiag: " << error << '\n';
        return kExitUsage;
    }

    std::string targetList;
    for (const DiskTarget& t : targets) {
        targetList += " " + t.text;
    }
    std::vector<std::unique_ptr<DiskScan>> scans;
    if (!RunScanReaders(options, *source, groups, files, "Written by hddiag " HDDIAG_VERSION ", scan of" + targetList,
                        io, scans, error)) {
        io.err << "hddiag: " << error << '\n';
        return kExitUsage;
    }

    const bool interrupted = io.interrupt != nullptr && io.interrupt->load();
    ScanRun run = CollectScanRun(scans, interrupted);
    run.badBlocksPath = scan.badBlocksPath;
    if (!BadBlocksSettled(run)) {
        files.DropBadBlocks();
    }
    if (options.json) {
        PrintScanJson(io.out, run);
    } else {
        PrintScanSummary(io.out, run);
    }
    files.Write(files.WantsBadBlocks() ? ScanBadBlocks(run, scan.badBlockSize) : std::string(),
                files.WantsReport()
                    ? ScanReportPage(run, options.machine.empty() ? std::string("this machine's disks") : options.machine)
                    : std::string(),
                files.WantsMetrics() ? ScanMetricsText(run) : std::string(), io.err);
    return ScanExitCode(run);
}

}  // namespace hddiag
