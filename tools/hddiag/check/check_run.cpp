#include "tools/hddiag/check/check_run.h"

namespace hddiag {

int CheckExitCode(const CheckRun& run)
{
    if (run.interrupted) {
        return ScanExitCode(run.scan) == kExitFailed ? kExitFailed : kExitInterrupted;
    }
    for (const DiskCheck& d : run.disks) {
        if (d.verdict.verdict == Verdict::Failing) {
            return kExitFailed;
        }
    }
    return kExitPassed;
}

}  // namespace hddiag
