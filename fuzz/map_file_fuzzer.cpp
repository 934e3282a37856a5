// The scan's map file as hddiag reads it back to resume: any text is parsed
// or refused with a reason, never half-taken; a map that parses covers one
// disk from byte 0, and written again it parses to the same ranges, phase,
// position and pass (and the same disk comment). The first word of the input
// is also read as a number of the map and held to C's strtoull with base 0,
// which is how the other tool reads the format's numbers.
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "scan/map_file.h"

using namespace hdd::scan;

namespace {

// A parsed map's own shape: ranges in order from byte 0, none empty, no two
// neighbours of one state, ending at the disk's size; a pass of ours.
void CheckShape(const RangeMap& map)
{
    FUZZ_CHECK(!map.Ranges().empty());
    ULONGLONG at = 0;
    for (size_t i = 0; i < map.Ranges().size(); ++i) {
        const MapRange& r = map.Ranges()[i];
        FUZZ_CHECK(r.pos == at && r.size != 0 && r.size <= ~0ull - r.pos);
        FUZZ_CHECK(i == 0 || map.Ranges()[i - 1].state != r.state);
        at = r.End();
    }
    FUZZ_CHECK(at == map.DiskBytes());
    FUZZ_CHECK(map.Pass() >= 1 && map.Pass() <= 3);
}

bool SameIdentity(const MapIdentity& a, const MapIdentity& b)
{
    return a.device == b.device && a.model == b.model && a.serial == b.serial && a.diskBytes == b.diskBytes &&
           a.sectorBytes == b.sectorBytes && a.rangePos == b.rangePos && a.rangeBytes == b.rangeBytes &&
           a.stableName == b.stableName;
}

// The writer puts a line break inside a quoted value as a space.
std::string OneLine(std::string s)
{
    for (char& c : s) {
        if (c == '\r' || c == '\n') {
            c = ' ';
        }
    }
    return s;
}

// LoadMapForDisk against `disk`: the parse and the fit check together, the
// map untouched when either refuses.
void CheckLoad(std::string_view text, const MapIdentity& disk, bool parsed, const RangeMap& parsedMap,
               const MapIdentity& found, bool hasIdentity)
{
    RangeMap map(7);
    map.SetProgress(ScanPhase::Trim, 5, 2);
    std::string why;
    const bool loaded = LoadMapForDisk(text, disk, map, why);
    std::string fitWhy;
    const bool fits = parsed && MapFitsDisk(parsedMap, found, hasIdentity, disk, fitWhy);
    FUZZ_CHECK(loaded == fits);
    if (loaded) {
        FUZZ_CHECK(map.Ranges() == parsedMap.Ranges() && map.DiskBytes() == disk.diskBytes);
        FUZZ_CHECK(map.Phase() == parsedMap.Phase() && map.Position() == parsedMap.Position() &&
                   map.Pass() == parsedMap.Pass());
    } else {
        FUZZ_CHECK(!why.empty());
        FUZZ_CHECK(map.DiskBytes() == 7 && map.Ranges().size() == 1 && map.Phase() == ScanPhase::Trim &&
                   map.Position() == 5 && map.Pass() == 2);
    }
}

// The input's first word (up to a blank or line break) as the status line's
// position: taken exactly when strtoull with base 0 takes all of it, with
// no sign and no overflow, and then with its value.
void CheckNumberSyntax(std::string_view text)
{
    const size_t end = text.find_first_of(" \t\r\n#");
    const std::string word(text.substr(0, end == std::string_view::npos ? text.size() : end));
    if (word.empty() || word.size() > 64) {
        return;
    }
    RangeMap map;
    MapIdentity found;
    bool hasIdentity = false;
    std::string error;
    const bool parsed = ParseMapFile(word + " ? 1\n0x0 0x200 +\n", map, found, hasIdentity, error);

    const bool digitFirst = word[0] >= '0' && word[0] <= '9';
    const bool noNul = word.find('\0') == std::string::npos;
    char* stop = nullptr;
    errno = 0;
    const unsigned long long value = std::strtoull(word.c_str(), &stop, 0);
    const bool whole = noNul && stop == word.c_str() + word.size();
    const bool c = digitFirst && whole && errno != ERANGE;
    if (parsed != c) {
        std::fprintf(stderr, "number \"%s\": map reader %s, strtoull %s\n", word.c_str(),
                     parsed ? "takes it" : "refuses it", c ? "takes it" : "refuses it");
    }
    FUZZ_CHECK(parsed == c);
    FUZZ_CHECK(!parsed || map.Position() == value);
    FUZZ_CHECK(parsed || error == "line 1: not a status line (position, status, pass)");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    CheckNumberSyntax(text);

    RangeMap map;
    MapIdentity found;
    bool hasIdentity = false;
    std::string error;
    const bool parsed = ParseMapFile(text, map, found, hasIdentity, error);
    if (!parsed) {
        FUZZ_CHECK(!error.empty());
    } else {
        CheckShape(map);
    }

    // Against a disk of 1 MiB of 512-byte sectors, and against the disk the
    // map names (or, without a name, the size its blocks cover).
    const MapIdentity mib{"/dev/sdb", "FUZZ", "F-1", 1048576, 512, 0, 1048576};
    CheckLoad(text, mib, parsed, map, found, hasIdentity);
    if (parsed) {
        MapIdentity own = hasIdentity ? found : mib;
        if (!hasIdentity) {
            own.diskBytes = map.DiskBytes();
        }
        CheckLoad(text, own, parsed, map, found, hasIdentity);
    }
    if (!parsed) {
        return 0;
    }

    // Written back (with the disk comment it had, or an empty one), it must
    // parse to the same map, and to the same disk comment.
    // A heading comment as the front end writes one, with whatever bytes.
    const std::vector<std::string> comments{"Written by the fuzzer, " + std::string(text.substr(0, 80))};
    const std::string written = WriteMapFile(map, found, comments);
    RangeMap back;
    MapIdentity foundBack;
    bool hasIdentityBack = false;
    std::string errorBack;
    const bool reparsed = ParseMapFile(written, back, foundBack, hasIdentityBack, errorBack);
    if (!reparsed) {
        std::fprintf(stderr, "the written map does not parse: %s\n%s", errorBack.c_str(), written.c_str());
    }
    FUZZ_CHECK(reparsed);
    FUZZ_CHECK(hasIdentityBack);
    FUZZ_CHECK(back.Ranges() == map.Ranges() && back.DiskBytes() == map.DiskBytes());
    FUZZ_CHECK(back.Phase() == map.Phase());
    FUZZ_CHECK(back.Position() == map.Position());
    FUZZ_CHECK(back.Pass() == map.Pass());
    MapIdentity expected = found;
    expected.device = OneLine(expected.device);
    expected.model = OneLine(expected.model);
    expected.serial = OneLine(expected.serial);
    expected.stableName = OneLine(expected.stableName);
    FUZZ_CHECK(SameIdentity(foundBack, expected));
    // And written once more, the same text: the writer is a fixed point.
    FUZZ_CHECK(WriteMapFile(back, foundBack, comments) == written);
    return 0;
}
