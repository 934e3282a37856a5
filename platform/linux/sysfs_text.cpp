#include "platform/linux/sysfs_text.h"

#include <fstream>

namespace hdd::blockdev {

std::string TrimBlanks(const std::string& text)
{
    const char* blanks = " \t\r\n";
    const size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

std::string ReadSysfsLine(const std::filesystem::path& file)
{
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return TrimBlanks(line);
}

}  // namespace hdd::blockdev
