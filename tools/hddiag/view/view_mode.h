// Which progress standard error shows, and whether in colour: from --view,
// --color, the terminal and the environment.
#pragma once

#include "tools/hddiag/options/options.h"

namespace hddiag {

enum class ViewMode {
    Map,    // the live map, redrawn in place
    Bar,    // one line redrawn in place (a terminal, but no reads to see)
    Lines,  // a plain line every ten percent, no escape byte
    None,
};

struct ViewEnvironment {
    bool terminal = false;   // standard error is a terminal
    bool noColor = false;    // NO_COLOR is set and not empty
    bool dumb = false;       // TERM=dumb: no cursor movement, no colour
    bool readsTimed = false; // the component is linked in, so there are reads to map
    bool sequencesOn = true; // the console took escape sequences (Windows)
};

ViewMode ChooseViewMode(ViewOption option, const ViewEnvironment& env);
bool ChooseColour(ColorOption option, const ViewEnvironment& env);

}  // namespace hddiag
