#include "tools/hddiag/view/view_choice.h"

#include <cstdlib>
#include <string>

#include "tools/hddiag/host/terminal.h"

namespace hddiag {

ViewEnvironment ViewEnvironmentOf(const AppIo& io, bool readsTimed)
{
    ViewEnvironment env;
    env.terminal = io.errIsTerminal;
    const char* noColor = std::getenv("NO_COLOR");
    env.noColor = noColor != nullptr && *noColor != '\0';
    const char* term = std::getenv("TERM");
    env.dumb = term != nullptr && std::string(term) == "dumb";
    env.readsTimed = readsTimed;
    return env;
}

ViewMode ChooseView(const Options& options, const AppIo& io, bool readsTimed, ViewEnvironment* env)
{
    ViewEnvironment chosen = ViewEnvironmentOf(io, readsTimed);
    ViewMode mode = ChooseViewMode(options.view, chosen);
    if (mode == ViewMode::Map && chosen.terminal) {
        chosen.sequencesOn = host::EnableTerminalSequences();
        mode = ChooseViewMode(options.view, chosen);
    }
    if (env != nullptr) {
        *env = chosen;
    }
    return mode;
}

}  // namespace hddiag
