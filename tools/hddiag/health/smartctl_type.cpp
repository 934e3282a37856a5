#include "tools/hddiag/health/smartctl_type.h"

#include <algorithm>

#include "tools/hddiag/health/disk_choice.h"
#include "tools/hddiag/text/text_escape.h"

namespace hddiag {

namespace {

bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsTypeChar(char c) { return IsLetter(c) || (c >= '0' && c <= '9') || c == ',' || c == '/' || c == '+' || c == '-'; }

}  // namespace

bool ParseSmartctlType(const std::string& text, SmartctlType& parsed, std::string& error)
{
    const size_t equals = text.find('=');
    if (equals == std::string::npos || equals == 0 || equals + 1 == text.size()) {
        error = "--smartctl-type needs DISK=TYPE (a disk number or device, and smartctl's -d type such as sat or "
                "sat,12), not '" + Printable(text) + "'";
        return false;
    }
    const std::string type = text.substr(equals + 1);
    if (!IsLetter(type[0]) || !std::all_of(type.begin(), type.end(), IsTypeChar)) {
        error = "--smartctl-type " + Printable(text) + ": the type may hold only letters, digits and , / + - after a "
                "first letter, as smartctl's -d takes it";
        return false;
    }
    parsed = SmartctlType{text.substr(0, equals), type};
    return true;
}

std::string SmartctlTypeFor(const std::vector<SmartctlType>& types, const DiskRow& row)
{
    for (const SmartctlType& t : types) {
        if (NamesDisk(row, t.disk)) {
            return t.type;
        }
    }
    return {};
}

bool CheckSmartctlTypes(const std::vector<SmartctlType>& types, const std::vector<DiskRow>& rows, std::string& error)
{
    for (const SmartctlType& t : types) {
        if (std::none_of(rows.begin(), rows.end(), [&t](const DiskRow& r) { return NamesDisk(r, t.disk); })) {
            const std::string disk = Printable(t.disk);
            error = "--smartctl-type " + disk + "=" + t.type + ": there is no disk '" + disk + "'";
            return false;
        }
    }
    return true;
}

}  // namespace hddiag
