// How FindProgram searches on POSIX, with PATH and the folders after it
// given, so that a test need not change the environment.
#pragma once

#include <string>
#include <vector>

namespace hddiag::host {

// The first executable file NAME in path's folders (an empty one is the
// current folder), then in after's; NAME itself when it holds a slash and is
// one. Empty when there is none.
std::string FindProgramOn(const std::string& name, const std::string& path, const std::vector<std::string>& after);

}  // namespace hddiag::host
