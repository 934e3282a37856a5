// Which view a command shows, from its options and where standard error
// goes: the choice every command makes the same way.
#pragma once

#include "tools/hddiag/options/options.h"
#include "tools/hddiag/session/app_io.h"
#include "tools/hddiag/view/view_mode.h"

namespace hddiag {

// Standard error, NO_COLOR and TERM as the view sees them.
ViewEnvironment ViewEnvironmentOf(const AppIo& io, bool readsTimed);

// The view; a map on a console turns escape sequences on first (Windows), and
// falls back when it cannot. env, when given, gets the environment chosen in.
ViewMode ChooseView(const Options& options, const AppIo& io, bool readsTimed, ViewEnvironment* env = nullptr);

}  // namespace hddiag
