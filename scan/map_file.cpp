#include "scan/map_file.h"

namespace hdd::scan {

std::string WriteMapFile(const RangeMap&, const MapIdentity&, const std::vector<std::string>&) { return {}; }

bool ParseMapFile(std::string_view, RangeMap&, MapIdentity&, bool& hasIdentity, std::string& error)
{
    hasIdentity = false;
    error = "not written yet";
    return false;
}

bool MapFitsDisk(const RangeMap&, const MapIdentity&, bool, const MapIdentity&, std::string& why)
{
    why = "not written yet";
    return false;
}

bool LoadMapForDisk(std::string_view, const MapIdentity&, RangeMap&, std::string& why)
{
    why = "not written yet";
    return false;
}

}  // namespace hdd::scan
