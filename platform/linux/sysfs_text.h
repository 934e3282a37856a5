// sysfs attributes as text.
#pragma once

#include <filesystem>
#include <string>

namespace hdd::blockdev {

// The first line of the file without blanks at either end; empty when the
// file cannot be read.
std::string ReadSysfsLine(const std::filesystem::path& file);

// The text without blanks (space, tab, CR, LF) at either end.
std::string TrimBlanks(const std::string& text);

}  // namespace hdd::blockdev
