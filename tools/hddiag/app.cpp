#include "tools/hddiag/app.h"

#include "tools/hddiag/commands/check_command.h"
#include "tools/hddiag/commands/run_command.h"
#include "tools/hddiag/commands/scan_command.h"
#include "tools/hddiag/host/host.h"
#include "tools/hddiag/options/options.h"

namespace hddiag {

int RunHddiag(int argc, const char* const* argv, AppIo& io)
{
    const ParsedCommandLine parsed = ParseCommandLine(argc, argv, host::DefaultMachine(), io.out, io.err);
    if (!parsed.proceed) {
        return parsed.exitCode;
    }
    const Options& options = parsed.options;
    switch (options.command) {
    case Command::Scan:
        return RunScanCommand(options, io);
    case Command::Check:
        return RunCheckCommand(options, io);
    case Command::Info:
    case Command::Test:
    case Command::Run:
    case Command::Health:
        break;
    }
    return RunComponentCommand(options, io);
}

}  // namespace hddiag
