#include "tools/hddiag/commands/health_command.h"

#include <string>

#include "tools/hddiag/health/health_output.h"
#include "tools/hddiag/session/disk_choice.h"

namespace hddiag {

std::vector<DiskHealth> ReadDisksHealth(HealthSource& source, const std::vector<DiskRow>& rows, AppIo& io)
{
    const std::string note = source.Note();
    if (!note.empty()) {
        io.err << "hddiag: health not read: " << note << '\n';
    }
    return ReadHealth(source, rows);
}

int RunHealthCommand(const Options& options, RunResult& result, HealthSource& source, AppIo& io, RunFiles& files)
{
    std::vector<DiskRow> chosen;
    std::string error;
    if (!ChooseDisks(result.disks, options.healthDisks, chosen, error)) {
        io.err << "hddiag: " << error << '\n';
        return kExitUsage;
    }
    result.health = ReadDisksHealth(source, chosen, io);
    if (options.json) {
        PrintJson(io.out, result, false);
    } else if (!options.trace) {
        PrintHealthTable(io.out, result.disks, result.health);
    }
    files.Write(options, result, io.err);
    return AnyFailing(result.health) ? kExitFailed : kExitPassed;
}

}  // namespace hddiag
