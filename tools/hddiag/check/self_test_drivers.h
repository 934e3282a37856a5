// The drivers of a self-test: smartctl on this computer, or the entries a
// simulated machine's description says a self-test leaves in its log.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/sim/machine_description.h"
#include "tools/hddiag/check/self_test_runner.h"
#include "tools/hddiag/options/smartctl_type.h"

namespace hddiag {

// smartctl -t to start, -c -l selftest to follow and read the result, -X to
// abort; the device types given with --smartctl-type.
std::unique_ptr<SelfTestDriver> SmartctlSelfTests(std::vector<SmartctlType> types);

// Self-tests end at once with the entry the machine gives for their kind.
std::unique_ptr<SelfTestDriver> MachineSelfTests(const hdd::sim::MachineDescription& machine);

// How an ended test reads for the verdict, from the log's newest entry.
SelfTestOutcome OutcomeOfEntry(const SelfTestEntry& entry, bool nvme);

}  // namespace hddiag
