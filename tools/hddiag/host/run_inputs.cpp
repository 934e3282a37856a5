#include "tools/hddiag/host/output_file.h"

namespace hddiag::host {

std::vector<std::string> FilesThisRunReads(const Options& options)
{
    std::vector<std::string> files;
    if (!options.machine.empty() && options.machine != "builtin") {
        files.push_back(options.machine);
    }
    for (const DiskOption& disk : options.disks) {
        files.push_back(disk.path);
    }
    // This computer's disks: where the installed component reads them
    // (Windows), nothing stands behind them as a file.
    const bool systemDisks = options.machine.empty() && options.disks.empty();
    for (std::string& behind : FilesBehindDisks(options.disks, systemDisks)) {
        files.push_back(std::move(behind));
    }
    return files;
}

}  // namespace hddiag::host
