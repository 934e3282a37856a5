#include "tools/hddiag/view/view_mode.h"

namespace hddiag {

ViewMode ChooseViewMode(ViewOption option, const ViewEnvironment& env)
{
    switch (option) {
    case ViewOption::None:
        return ViewMode::None;
    case ViewOption::Lines:
        return ViewMode::Lines;
    case ViewOption::Map:
        // Asked for (to measure it, say): drawn wherever standard error goes.
        return env.readsTimed ? ViewMode::Map : (env.terminal ? ViewMode::Bar : ViewMode::Lines);
    case ViewOption::Auto:
        break;
    }
    if (!env.terminal || env.dumb) {
        return ViewMode::Lines;
    }
    if (!env.readsTimed) {
        return ViewMode::Bar;
    }
    return env.sequencesOn ? ViewMode::Map : ViewMode::Lines;
}

bool ChooseColour(ColorOption option, const ViewEnvironment& env)
{
    switch (option) {
    case ColorOption::Always:
        return true;
    case ColorOption::Never:
        return false;
    case ColorOption::Auto:
        break;
    }
    return env.terminal && !env.noColor && !env.dumb && env.sequencesOn;
}

}  // namespace hddiag
