// Linux: the component has no real devices to work on yet, so hddiag runs on
// the built-in simulated machine unless told otherwise.
#include <unistd.h>

#include "tools/hddiag/host/host.h"

namespace hddiag::host {

std::string DefaultMachine() { return "builtin"; }

bool StderrIsTerminal() { return isatty(STDERR_FILENO) != 0; }

std::unique_ptr<Component> OpenInstalledComponent(std::string& error)
{
    error = "this system's disks are not supported yet; use --machine builtin or a machine file";
    return nullptr;
}

}  // namespace hddiag::host
