// --machine: the built-in simulated machine or a machine file, loaded the
// same way by every command.
#pragma once

#include <string>

#include "platform/sim/machine_description.h"

namespace hddiag {

// False with why ("cannot use machine file '...': ...") when the file cannot
// be read or describes no valid machine.
bool LoadMachineDescription(const std::string& name, hdd::sim::MachineDescription& description, std::string& error);

}  // namespace hddiag
