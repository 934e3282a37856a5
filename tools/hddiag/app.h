// hddiag as a function, so its whole behaviour can be run in-process.
#pragma once

#include "tools/hddiag/session/app_io.h"

namespace hddiag {

// Runs one command line; returns the exit status.
int RunHddiag(int argc, const char* const* argv, AppIo& io);

}  // namespace hddiag
