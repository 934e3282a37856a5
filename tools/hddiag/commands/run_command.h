// hddiag info, test and run: the component's disk report, one test on a
// selector, or the plan and every chosen test on every item, through the
// installed component, the one linked in here on this computer's disks or
// --disk paths, or a simulated machine. health runs here too: it needs the
// component's disk report.
#pragma once

#include "tools/hddiag/options/options.h"
#include "tools/hddiag/session/app_io.h"

namespace hddiag {

int RunComponentCommand(const Options& options, AppIo& io);

}  // namespace hddiag
