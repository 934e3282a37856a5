#include "tools/hddiag/session/machine_file.h"

#include <exception>

#include "platform/sim/machine_description.h"
#include "tools/hddiag/text/text_escape.h"

namespace hddiag {

bool LoadMachineDescription(const std::string& name, hdd::sim::MachineDescription& description, std::string& error)
{
    try {
        description = name == "builtin" ? hdd::sim::BuiltinMachine() : hdd::sim::LoadMachineFile(name);
        return true;
    } catch (const std::exception& e) {
        error = "cannot use machine file '" + Printable(name) + "': " + Printable(e.what());
        return false;
    }
}

}  // namespace hddiag
