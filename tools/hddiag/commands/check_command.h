// hddiag check: is the disk failing? For each disk, at the same time: its
// health, the drive's own self-test when asked, a read of every sector, its
// health again; then one verdict per disk from one table of rules.
#pragma once

#include "tools/hddiag/session/app_io.h"
#include "tools/hddiag/options/options.h"

namespace hddiag {

class HealthSource;
class SelfTestDriver;

// health and selfTest replace smartctl (tests); null: the machine's own, or
// smartctl on this computer.
int RunCheckCommand(const Options& options, AppIo& io, HealthSource* health = nullptr,
                    SelfTestDriver* selfTest = nullptr);

}  // namespace hddiag
