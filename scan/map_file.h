// The scan's map file, in the mapfile format that ddrescuelog and
// ddrescueview read: '#' comments, a status line "POS STATUS PASS", then one
// data line "POS SIZE STATUS" per range, positions and sizes in bytes from
// the disk's start written 0x%08llX, the lines covering the whole disk.
// A comment names the disk and the range scanned, so that a map is never
// applied to another disk. Pure functions over strings: the front end owns
// the files.
#pragma once

#include <string>
#include <string_view>

#include "platform/win32.h"
#include "scan/range_map.h"

namespace hdd::scan {

// The disk a map belongs to and the range it was scanned over.
struct MapIdentity {
    std::string device;  // as the front end names it (/dev/sdb, \\.\PHYSICALDRIVE1, an image path)
    std::string model;
    std::string serial;
    ULONGLONG diskBytes = 0;
    DWORD sectorBytes = 0;
    ULONGLONG rangePos = 0;    // bytes
    ULONGLONG rangeBytes = 0;  // bytes
    // A name of the device that survives its renaming (/dev/disk/by-id/...);
    // empty where the system has none (Windows, image files) and in maps
    // written before it was recorded.
    std::string stableName = {};
};

// How much of the map's disk must be this one.
enum class MapCheck {
    Identity,  // the geometry and the disk's identity
    Geometry,  // size, sector size and whole sectors only (--map-force)
};

// The whole file. `comments` are extra heading lines (without '#'), e.g. the
// command line and the times; a line break inside one is written as a space.
std::string WriteMapFile(const RangeMap& map, const MapIdentity& identity,
                         const std::vector<std::string>& comments = {});

// Reads a map file. False with the line and what is wrong when it cannot be
// parsed or its lines do not cover one disk from byte 0 without gap or
// overlap. `identity` receives the disk comment when there is one (then
// `hasIdentity` is true); a map written by another tool has none.
bool ParseMapFile(std::string_view text, RangeMap& map, MapIdentity& identity, bool& hasIdentity,
                  std::string& error);

// Empty when the map's disk is this one; else which field differs, with both
// values. Serials decide where both have one; a serial on one side only is
// another disk. Without serials the model must match, and the device: by
// its stable name where both have one, else by the path it was given.
std::string IdentityDifference(const MapIdentity& found, const MapIdentity& disk);

// Whether a parsed map may be resumed on this disk: its size and sector
// size, and with MapCheck::Identity the identity above (a map without the
// disk comment: its size, and every boundary on a whole sector). False with
// the reason otherwise.
bool MapFitsDisk(const RangeMap& map, const MapIdentity& found, bool hasIdentity, const MapIdentity& disk,
                 std::string& why, MapCheck check = MapCheck::Identity);

// ParseMapFile then MapFitsDisk; on failure `map` is left alone.
bool LoadMapForDisk(std::string_view text, const MapIdentity& disk, RangeMap& map, std::string& why,
                    MapCheck check = MapCheck::Identity);

}  // namespace hdd::scan
