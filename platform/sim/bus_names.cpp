#include "platform/sim/bus_names.h"

#include <cctype>

namespace hdd::sim {

namespace {

struct BusName {
    const char* accepted;  // empty: shown only
    const char* shown;
    DWORD bus;
};

constexpr BusName kBuses[] = {
    {"ata", "ATA", BusTypeAta},     {"sata", "SATA", BusTypeSata},   {"raid", "RAID", BusTypeRAID},
    {"usb", "USB", BusTypeUsb},     {"scsi", "SCSI", BusTypeScsi},   {"sas", "SAS", BusTypeSas},
    {"nvme", "NVMe", BusTypeNvme},  {"atapi", "ATAPI", BusTypeAtapi}, {"1394", "1394", BusType1394},
    {"", "SD", BusTypeSd},          {"", "MMC", BusTypeMmc},         {"", "virtual", BusTypeVirtual},
    {"", "file", BusTypeFileBackedVirtual}, {"", "unknown", BusTypeUnknown},
};

}  // namespace

std::optional<DWORD> BusFromName(const std::string& name)
{
    std::string lower;
    for (char c : name) {
        lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    for (const BusName& b : kBuses) {
        if (*b.accepted != '\0' && lower == b.accepted) {
            return b.bus;
        }
    }
    if (lower.empty() || lower.size() > 3 || lower.find_first_not_of("0123456789") != std::string::npos) {
        return std::nullopt;
    }
    const DWORD number = static_cast<DWORD>(std::stoul(lower));
    return number <= 255 ? std::optional<DWORD>(number) : std::nullopt;
}

std::string BusDisplayName(DWORD bus)
{
    for (const BusName& b : kBuses) {
        if (b.bus == bus) {
            return b.shown;
        }
    }
    return std::to_string(bus);
}

}  // namespace hdd::sim
