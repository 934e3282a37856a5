#include "scan/map_file.h"

#include <algorithm>
#include <vector>

namespace hdd::scan {

namespace {

constexpr std::string_view kDiskComment = "# Disk:";

// 0x%08llX, without printf: its forms differ between C runtimes.
void AppendHex(std::string& out, ULONGLONG value)
{
    char digits[16];
    int n = 0;
    do {
        digits[n++] = "0123456789ABCDEF"[value & 0xF];
        value >>= 4;
    } while (value != 0);
    out += "0x";
    out.append(n < 8 ? static_cast<size_t>(8 - n) : 0, '0');
    while (n > 0) {
        out += digits[--n];
    }
}

void AppendQuoted(std::string& out, const std::string& text)
{
    out += '"';
    for (char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (c == '\n' || c == '\r') {
            out += ' ';
        } else {
            out += c;
        }
    }
    out += '"';
}

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r'; }

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && IsSpace(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && IsSpace(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

// The next blank-separated word of `line`, removed from it.
std::string_view NextWord(std::string_view& line)
{
    line = Trim(line);
    size_t n = 0;
    while (n < line.size() && !IsSpace(line[n])) {
        ++n;
    }
    const std::string_view word = line.substr(0, n);
    line.remove_prefix(n);
    return word;
}

// A number in C syntax, as the other tool reads the format's numbers (C's
// strtoull with base 0): "0x" or "0X" and hexadecimal digits, "0" and octal
// digits (0100 is 64; "0" alone is zero), or decimal digits. Nothing else: no
// sign, blank, empty word, "0x" without digits or trailing character, and no
// value past 64 bits.
bool ParseNumber(std::string_view word, ULONGLONG& value)
{
    value = 0;
    if (word.empty()) {
        return false;
    }
    ULONGLONG base = 10;
    if (word.size() >= 2 && word[0] == '0' && (word[1] == 'x' || word[1] == 'X')) {
        base = 16;
        word.remove_prefix(2);
        if (word.empty()) {
            return false;
        }
    } else if (word[0] == '0') {
        base = 8;
    }
    for (char c : word) {
        ULONGLONG digit = base;  // none of this base's digits
        if (c >= '0' && c <= '9') {
            digit = static_cast<ULONGLONG>(c - '0');
        } else if (c >= 'a' && c <= 'f') {
            digit = static_cast<ULONGLONG>(c - 'a' + 10);
        } else if (c >= 'A' && c <= 'F') {
            digit = static_cast<ULONGLONG>(c - 'A' + 10);
        }
        if (digit >= base) {
            return false;
        }
        if (value > (~0ull - digit) / base) {
            return false;  // does not fit 64 bits
        }
        value = value * base + digit;
    }
    return true;
}

// A number of the disk comment: ours alone (the other tool skips comments)
// and written in decimal, so a leading zero is refused rather than read as
// octal: "size=0100" is more likely a slip than 64 bytes.
bool ParseCommentNumber(std::string_view word, ULONGLONG& value)
{
    if (word.size() > 1 && word[0] == '0' && word[1] != 'x' && word[1] != 'X') {
        value = 0;
        return false;
    }
    return ParseNumber(word, value);
}

bool StateOf(std::string_view word, SectorState& state)
{
    if (word.size() != 1) {
        return false;
    }
    switch (word[0]) {
    case '?':
    case '*':
    case '/':
    case '-':
    case '+':
        state = static_cast<SectorState>(word[0]);
        return true;
    default:
        return false;
    }
}

// The status line's character; the other tool's filling and generating
// modes count as finished, its retry passes as scraping.
bool PhaseOf(std::string_view word, ScanPhase& phase)
{
    if (word.size() != 1) {
        return false;
    }
    switch (word[0]) {
    case '?':
    case '*':
    case '/':
    case '+':
        phase = static_cast<ScanPhase>(word[0]);
        return true;
    case '-':
        phase = ScanPhase::Scrape;
        return true;
    case 'F':
    case 'G':
        phase = ScanPhase::Finished;
        return true;
    default:
        return false;
    }
}

// key="quoted \" text" or key=word pairs of the disk comment.
bool ParseDiskComment(std::string_view text, MapIdentity& id, std::string& error)
{
    bool haveSize = false;
    bool haveSector = false;
    while (!(text = Trim(text)).empty()) {
        const size_t eq = text.find('=');
        if (eq == std::string_view::npos) {
            error = "a disk comment field without '='";
            return false;
        }
        const std::string_view key = text.substr(0, eq);
        text.remove_prefix(eq + 1);
        std::string value;
        if (!text.empty() && text.front() == '"') {
            size_t i = 1;
            for (; i < text.size() && text[i] != '"'; ++i) {
                if (text[i] == '\\' && i + 1 < text.size()) {
                    ++i;
                }
                value += text[i];
            }
            if (i >= text.size()) {
                error = "an unterminated quoted value in the disk comment";
                return false;
            }
            text.remove_prefix(i + 1);
        } else {
            value = std::string(NextWord(text));
        }
        ULONGLONG number = 0;
        const bool numeric = ParseCommentNumber(value, number);
        if (key == "device") {
            id.device = value;
        } else if (key == "model") {
            id.model = value;
        } else if (key == "serial") {
            id.serial = value;
        } else if (key == "stable_name") {
            id.stableName = value;
        } else if (key == "size" && numeric) {
            id.diskBytes = number;
            haveSize = true;
        } else if (key == "sector_size" && numeric && number <= 0xFFFFFFFFull) {
            id.sectorBytes = static_cast<DWORD>(number);
            haveSector = true;
        } else if (key == "range_pos" && numeric) {
            id.rangePos = number;
        } else if (key == "range_size" && numeric) {
            id.rangeBytes = number;
        } else if (key == "size" || key == "sector_size" || key == "range_pos" || key == "range_size") {
            error = "the disk comment's " + std::string(key) + " is not a number: " + value;
            return false;
        }
        // Other keys are for people, or from a later version.
    }
    if (!haveSize || !haveSector) {
        error = "the disk comment gives no size or sector size";
        return false;
    }
    return true;
}

}  // namespace

std::string WriteMapFile(const RangeMap& map, const MapIdentity& identity, const std::vector<std::string>& comments)
{
    std::string out;
    out.reserve(256 + map.Ranges().size() * 32);
    out += "# Mapfile. Created by hddiag scan\n";
    for (const std::string& c : comments) {
        out += "# ";
        for (char ch : c) {
            out += ch == '\n' || ch == '\r' ? ' ' : ch;
        }
        out += '\n';
    }
    out += kDiskComment;
    out += " device=";
    AppendQuoted(out, identity.device);
    out += " model=";
    AppendQuoted(out, identity.model);
    out += " serial=";
    AppendQuoted(out, identity.serial);
    out += " size=" + std::to_string(identity.diskBytes);
    out += " sector_size=" + std::to_string(identity.sectorBytes);
    out += " range_pos=" + std::to_string(identity.rangePos);
    out += " range_size=" + std::to_string(identity.rangeBytes);
    if (!identity.stableName.empty()) {
        out += " stable_name=";
        AppendQuoted(out, identity.stableName);
    }
    out += "\n# current_pos  current_status  current_pass\n";
    AppendHex(out, map.Position());
    out += "     ";
    out += static_cast<char>(map.Phase());
    out += "               " + std::to_string(map.Pass()) + "\n#      pos        size  status\n";
    for (const MapRange& r : map.Ranges()) {
        AppendHex(out, r.pos);
        out += "  ";
        AppendHex(out, r.size);
        out += "  ";
        out += static_cast<char>(r.state);
        out += '\n';
    }
    return out;
}

bool ParseMapFile(std::string_view text, RangeMap& map, MapIdentity& identity, bool& hasIdentity, std::string& error)
{
    hasIdentity = false;
    identity = MapIdentity{};
    bool haveStatus = false;
    ScanPhase phase = ScanPhase::FastPass;
    ULONGLONG position = 0;
    ULONGLONG passNumber = 1;
    std::vector<MapRange> ranges;
    ULONGLONG end = 0;
    size_t lineNumber = 0;
    while (!text.empty()) {
        const size_t nl = text.find('\n');
        std::string_view line = text.substr(0, nl);
        text.remove_prefix(nl == std::string_view::npos ? text.size() : nl + 1);
        ++lineNumber;
        const std::string where = "line " + std::to_string(lineNumber) + ": ";
        line = Trim(line);
        if (line.empty()) {
            continue;
        }
        if (line.front() == '#') {
            if (line.substr(0, kDiskComment.size()) == kDiskComment) {
                std::string why;
                if (hasIdentity || !ParseDiskComment(line.substr(kDiskComment.size()), identity, why)) {
                    error = where + (hasIdentity ? "a second disk comment" : why);
                    return false;
                }
                hasIdentity = true;
            }
            continue;
        }
        if (!haveStatus) {
            // POS STATUS [PASS]
            const std::string_view pos = NextWord(line);
            const std::string_view status = NextWord(line);
            const std::string_view pass = NextWord(line);
            if (!ParseNumber(pos, position) || !PhaseOf(status, phase) ||
                (!pass.empty() && !ParseNumber(pass, passNumber)) || !NextWord(line).empty()) {
                error = where + "not a status line (position, status, pass)";
                return false;
            }
            haveStatus = true;
            continue;
        }
        MapRange r;
        const std::string_view pos = NextWord(line);
        const std::string_view size = NextWord(line);
        const std::string_view status = NextWord(line);
        if (!ParseNumber(pos, r.pos) || !ParseNumber(size, r.size) || !StateOf(status, r.state) ||
            !NextWord(line).empty()) {
            error = where + "not a data line (position, size, status ?*/-+)";
            return false;
        }
        if (r.size == 0) {
            error = where + "a block of 0 bytes";
            return false;
        }
        if (r.pos != end) {
            error = where + (r.pos < end ? "overlaps the block before it" : "leaves a gap after the block before it");
            return false;
        }
        if (r.size > ~0ull - r.pos) {
            error = where + "runs past the largest position";
            return false;
        }
        end = r.pos + r.size;
        ranges.push_back(r);
    }
    if (!haveStatus) {
        error = "no status line: not a map file";
        return false;
    }
    if (ranges.empty()) {
        error = "no data lines";
        return false;
    }
    RangeMap parsed;
    if (!parsed.Assign(end, std::move(ranges))) {
        error = "the blocks do not cover the disk";
        return false;
    }
    // The other tool counts up to five passes; ours are 1 to 3, and any
    // later pass of its is our last.
    parsed.SetProgress(phase, position, static_cast<DWORD>(std::clamp<ULONGLONG>(passNumber, 1, 3)));
    map = std::move(parsed);
    return true;
}

std::string IdentityDifference(const MapIdentity& found, const MapIdentity& disk)
{
    const auto quoted = [](const std::string& text) { return "\"" + text + "\""; };
    if (!found.serial.empty() || !disk.serial.empty()) {
        if (found.serial == disk.serial) {
            return {};
        }
        const std::string map = found.serial.empty() ? "a disk without a serial" : "the disk with serial " + quoted(found.serial);
        return "the map is of " + map + "; this one " + (disk.serial.empty() ? "has none" : "has serial " + quoted(disk.serial));
    }
    if (found.model != disk.model) {
        return "the map is of a disk of model " + quoted(found.model) + "; this one's model is " + quoted(disk.model);
    }
    // A renamed disk keeps its stable name; without one on both sides only
    // the path can tell two disks of one model and size apart.
    if (!found.stableName.empty() && !disk.stableName.empty()) {
        if (found.stableName != disk.stableName) {
            return "the map is of device " + quoted(found.stableName) + "; this one is " + quoted(disk.stableName);
        }
        return {};
    }
    if (found.device != disk.device) {
        return "the map is of device " + quoted(found.device) + "; this one is " + quoted(disk.device);
    }
    return {};
}

bool MapFitsDisk(const RangeMap& map, const MapIdentity& found, bool hasIdentity, const MapIdentity& disk,
                 std::string& why, MapCheck check)
{
    if (hasIdentity) {
        if (found.diskBytes != disk.diskBytes) {
            why = "the map is of a disk of " + std::to_string(found.diskBytes) + " bytes; this one has " +
                  std::to_string(disk.diskBytes);
            return false;
        }
        if (found.sectorBytes != disk.sectorBytes) {
            why = "the map is of a disk of " + std::to_string(found.sectorBytes) + "-byte sectors; this one has " +
                  std::to_string(disk.sectorBytes) + "-byte sectors";
            return false;
        }
        if (check == MapCheck::Identity) {
            why = IdentityDifference(found, disk);
            if (!why.empty()) {
                return false;
            }
        }
    }
    if (map.DiskBytes() != disk.diskBytes) {
        why = "the map's blocks cover " + std::to_string(map.DiskBytes()) + " bytes; the disk has " +
              std::to_string(disk.diskBytes);
        return false;
    }
    if (disk.sectorBytes == 0) {
        why = "the disk's sector size is unknown";
        return false;
    }
    for (const MapRange& r : map.Ranges()) {
        if (r.pos % disk.sectorBytes != 0 || (r.End() % disk.sectorBytes != 0 && r.End() != disk.diskBytes)) {
            why = "the map's block at byte " + std::to_string(r.pos) + " does not lie on whole sectors of " +
                  std::to_string(disk.sectorBytes) + " bytes";
            return false;
        }
    }
    return true;
}

bool LoadMapForDisk(std::string_view text, const MapIdentity& disk, RangeMap& map, std::string& why,
                    MapCheck check)
{
    RangeMap parsed;
    MapIdentity found;
    bool hasIdentity = false;
    if (!ParseMapFile(text, parsed, found, hasIdentity, why)) {
        return false;
    }
    if (!MapFitsDisk(parsed, found, hasIdentity, disk, why, check)) {
        return false;
    }
    map = std::move(parsed);
    return true;
}

}  // namespace hdd::scan
