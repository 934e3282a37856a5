// The JSON form of a machine description. Every key is checked: a typo is an
// error, never a silently ignored setting. Errors name the place as a path
// into the document (disks[0].geometry.sectors_per_track) and the problem.
#include <cmath>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/sim/machine_description.h"

namespace hdd::sim {

namespace {

using nlohmann::json;

constexpr ULONGLONG kMaxDword = 0xFFFFFFFFull;
constexpr ULONGLONG kMaxSigned64 = 0x7FFFFFFFFFFFFFFFull;
constexpr ULONGLONG kMaxSigned32 = 0x7FFFFFFFull;

[[noreturn]] void Fail(const std::string& place, const std::string& problem)
{
    throw MachineError(place + ": " + problem);
}

// A key as a place: as it is when it is a plain name, else quoted as JSON
// text, so that an empty key or one such as ": x" still names its place.
std::string At(const std::string& place, const std::string& key)
{
    bool plain = !key.empty();
    for (const char c : key) {
        plain = plain && ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_');
    }
    const std::string name = plain ? key : json(key).dump(-1, ' ', false, json::error_handler_t::replace);
    return place.empty() ? name : place + "." + name;
}
std::string At(const std::string& place, size_t i) { return place + "[" + std::to_string(i) + "]"; }

std::string Lower(std::string s)
{
    for (char& c : s) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return s;
}

void CheckObject(const json& j, const std::string& place, std::initializer_list<const char*> keys)
{
    if (!j.is_object()) {
        Fail(place.empty() ? "machine description" : place, "must be an object");
    }
    for (const auto& item : j.items()) {
        bool known = false;
        std::string expected;
        for (const char* k : keys) {
            known = known || item.key() == k;
            expected += expected.empty() ? k : std::string(", ") + k;
        }
        if (!known) {
            Fail(At(place, item.key()), "unknown key (expected one of: " + expected + ")");
        }
    }
}

const json& Required(const json& obj, const char* key, const std::string& place)
{
    const auto it = obj.find(key);
    if (it == obj.end()) {
        Fail(At(place, key), "is missing");
    }
    return *it;
}

const json& Array(const json& j, const std::string& place)
{
    if (!j.is_array()) {
        Fail(place, "must be a list");
    }
    return j;
}

ULONGLONG Unsigned(const json& j, const std::string& place, ULONGLONG max)
{
    if (j.is_number_unsigned()) {
        const ULONGLONG v = j.get<ULONGLONG>();
        if (v > max) {
            Fail(place, "is too large (at most " + std::to_string(max) + ")");
        }
        return v;
    }
    if (j.is_number_integer()) {
        if (j.get<LONGLONG>() == 0) {
            return 0;  // written -0
        }
        Fail(place, "must not be negative");
    }
    if (j.is_number_float()) {
        Fail(place, "must be a whole number");
    }
    Fail(place, "must be a number");
}

std::string String(const json& j, const std::string& place)
{
    if (!j.is_string()) {
        Fail(place, "must be a text");
    }
    return j.get<std::string>();
}

// UTF-8 to the platform's wide text (UTF-16 where wchar_t has 16 bits).
std::wstring Widen(const std::string& text, const std::string& place)
{
    std::wstring out;
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        unsigned int cp = 0;
        size_t n = 0;
        if (c < 0x80) {
            cp = c;
            n = 1;
        } else if ((c & 0xE0) == 0xC0) {
            cp = c & 0x1Fu;
            n = 2;
        } else if ((c & 0xF0) == 0xE0) {
            cp = c & 0x0Fu;
            n = 3;
        } else if ((c & 0xF8) == 0xF0) {
            cp = c & 0x07u;
            n = 4;
        } else {
            Fail(place, "is not valid UTF-8");
        }
        if (i + n > text.size()) {
            Fail(place, "is not valid UTF-8");
        }
        for (size_t k = 1; k < n; ++k) {
            cp = (cp << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3Fu);
        }
        i += n;
        if constexpr (sizeof(wchar_t) == 2) {
            if (cp >= 0x10000) {
                cp -= 0x10000;
                out += static_cast<wchar_t>(0xD800 + (cp >> 10));
                out += static_cast<wchar_t>(0xDC00 + (cp & 0x3FF));
                continue;
            }
        }
        out += static_cast<wchar_t>(cp);
    }
    return out;
}

// "C" or "C:", either case.
WCHAR Letter(const json& j, const std::string& place)
{
    const std::string s = j.is_string() ? j.get<std::string>() : std::string();
    const bool shaped = s.size() == 1 || (s.size() == 2 && s[1] == ':');
    const char c = shaped ? s[0] : '\0';
    if (c >= 'a' && c <= 'z') {
        return static_cast<WCHAR>(L'A' + (c - 'a'));
    }
    if (c >= 'A' && c <= 'Z') {
        return static_cast<WCHAR>(L'A' + (c - 'A'));
    }
    Fail(place, "must be a drive letter from \"A\" to \"Z\"");
}

struct Named {
    const char* name;
    DWORD value;
};

DWORD NameOrNumber(const json& j, const std::string& place, std::initializer_list<Named> names)
{
    if (j.is_string()) {
        const std::string s = Lower(j.get<std::string>());
        std::string known;
        for (const Named& n : names) {
            if (s == n.name) {
                return n.value;
            }
            known += known.empty() ? n.name : std::string(", ") + n.name;
        }
        Fail(place, "unknown name \"" + j.get<std::string>() + "\" (expected " + known + " or a number)");
    }
    return static_cast<DWORD>(Unsigned(j, place, 255));
}

ULONGLONG ParseNumberText(const std::string& s, const std::string& place, ULONGLONG max)
{
    const bool hex = s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X');
    const size_t start = hex ? 2 : 0;
    if (s.size() <= start) {
        Fail(place, "must be a number");
    }
    ULONGLONG v = 0;
    for (size_t i = start; i < s.size(); ++i) {
        const char c = s[i];
        unsigned int digit = 0;
        if (c >= '0' && c <= '9') {
            digit = static_cast<unsigned int>(c - '0');
        } else if (hex && c >= 'a' && c <= 'f') {
            digit = static_cast<unsigned int>(c - 'a' + 10);
        } else if (hex && c >= 'A' && c <= 'F') {
            digit = static_cast<unsigned int>(c - 'A' + 10);
        } else {
            Fail(place, "\"" + s + "\" is not a number");
        }
        const ULONGLONG base = hex ? 16 : 10;
        if (v > (max - digit) / base) {
            Fail(place, "is too large (at most " + std::to_string(max) + ")");
        }
        v = v * base + digit;
    }
    return v;
}

SectorRange Sectors(const json& j, const std::string& place)
{
    if (j.is_string()) {
        const std::string s = j.get<std::string>();
        const size_t dash = s.find('-');
        if (dash == std::string::npos || dash == 0 || dash + 1 == s.size()) {
            Fail(place, "must be a sector number or a range \"first-last\"");
        }
        return SectorRange{ParseNumberText(s.substr(0, dash), place, kMaxSigned64),
                           ParseNumberText(s.substr(dash + 1), place, kMaxSigned64)};
    }
    if (!j.is_number()) {
        Fail(place, "must be a sector number or a range \"first-last\"");
    }
    const ULONGLONG n = Unsigned(j, place, kMaxSigned64);
    return SectorRange{n, n};
}

Latency ReadLatency(const json& j, const std::string& place)
{
    Latency l;
    if (j.is_string()) {
        const std::string s = Lower(j.get<std::string>());
        if (s == "instant") {
            l.model = LatencyModel::Instant;
        } else if (s == "ssd") {
            l.model = LatencyModel::Ssd;
        } else if (s == "hdd") {
            l.model = LatencyModel::Hdd;
        } else {
            Fail(place, "unknown name \"" + j.get<std::string>() + "\" (expected instant, ssd, hdd or milliseconds)");
        }
        return l;
    }
    if (!j.is_number()) {
        Fail(place, "must be instant, ssd, hdd or milliseconds per read");
    }
    l.model = LatencyModel::FixedMs;
    l.milliseconds = j.get<double>();
    return l;
}

// "slow": [ { "sectors": "5000-5100", "ms": 300 } ]
std::vector<SlowRange> ReadSlowRanges(const json& j, const std::string& place)
{
    std::vector<SlowRange> ranges;
    const json& list = Array(j, place);
    for (size_t i = 0; i < list.size(); ++i) {
        const std::string ip = At(place, i);
        CheckObject(list[i], ip, {"sectors", "ms"});
        const SectorRange sectors = Sectors(Required(list[i], "sectors", ip), At(ip, "sectors"));
        const json& ms = Required(list[i], "ms", ip);
        if (!ms.is_number()) {
            Fail(At(ip, "ms"), "must be milliseconds");
        }
        ranges.push_back(SlowRange{sectors.first, sectors.last, ms.get<double>()});
    }
    return ranges;
}

// "self_test": { "short": { entry }, "extended": { entry } }, each entry as
// smartctl writes one row of the disk's self-test log. Its values are the
// front end's to read; its shape is checked here, so that a mistake shows
// where it is made rather than as an odd health verdict.
void ReadSelfTests(const json& j, const std::string& place, SimDisk& d)
{
    CheckObject(j, place, {"short", "extended"});
    for (const auto& [key, field] : {std::pair{"short", &d.shortSelfTestEntry}, {"extended", &d.extendedSelfTestEntry}}) {
        if (!j.contains(key)) {
            continue;
        }
        const json& e = j[key];
        const bool ata = e.is_object() && e.contains("type") && e.contains("status");
        const bool nvme = e.is_object() && e.contains("self_test_code") && e.contains("self_test_result");
        if (!ata && !nvme) {
            Fail(At(place, key), "must be an entry of smartctl's self-test log: an object with type and status (ATA) "
                                 "or self_test_code and self_test_result (NVMe)");
        }
        // A read failure's LBA counts the disk's own sectors.
        if (e.contains("lba")) {
            const std::string lp = At(At(place, key), "lba");
            const ULONGLONG lba = Unsigned(e["lba"], lp, kMaxSigned64);
            if (d.bytesPerSector != 0 && lba >= d.size / d.bytesPerSector) {
                Fail(lp, "LBA " + std::to_string(lba) + " lies outside the disk (" +
                             std::to_string(d.size / d.bytesPerSector) + " sectors of " +
                             std::to_string(d.bytesPerSector) + " bytes)");
            }
        }
        *field = e.dump(2, ' ', false, json::error_handler_t::replace);
    }
}

SimDisk ReadDisk(const json& j, const std::string& p)
{
    CheckObject(j, p,
                {"bus", "media", "model", "serial", "wwn", "geometry", "size", "partitions", "unreadable", "latency",
                 "slow", "smartctl", "self_test"});
    SimDisk d;
    // What the disk calls itself, as a front end reports it; any text.
    for (const auto& [key, field] : {std::pair{"model", &d.model}, {"serial", &d.serial}, {"wwn", &d.wwn}}) {
        if (j.contains(key)) {
            *field = String(j[key], At(p, key));
        }
    }
    if (j.contains("bus")) {
        d.bus = NameOrNumber(j["bus"], At(p, "bus"),
                             {{"ata", BusTypeAta}, {"sata", BusTypeSata}, {"raid", BusTypeRAID},
                              {"usb", BusTypeUsb}, {"scsi", BusTypeScsi}, {"sas", BusTypeSas},
                              {"nvme", BusTypeNvme}, {"atapi", BusTypeAtapi}, {"1394", BusType1394}});
    }
    if (j.contains("media")) {
        d.media = NameOrNumber(j["media"], At(p, "media"),
                               {{"fixed", FixedMedia}, {"removable", RemovableMedia}, {"unknown", Unknown}});
    }
    const std::string gp = At(p, "geometry");
    const json& g = Required(j, "geometry", p);
    CheckObject(g, gp, {"cylinders", "tracks_per_cylinder", "sectors_per_track", "bytes_per_sector"});
    d.cylinders = static_cast<LONGLONG>(Unsigned(Required(g, "cylinders", gp), At(gp, "cylinders"), kMaxSigned64));
    d.tracksPerCylinder = static_cast<DWORD>(
        Unsigned(Required(g, "tracks_per_cylinder", gp), At(gp, "tracks_per_cylinder"), kMaxDword));
    d.sectorsPerTrack =
        static_cast<DWORD>(Unsigned(Required(g, "sectors_per_track", gp), At(gp, "sectors_per_track"), kMaxDword));
    if (g.contains("bytes_per_sector")) {
        d.bytesPerSector =
            static_cast<DWORD>(Unsigned(g["bytes_per_sector"], At(gp, "bytes_per_sector"), kMaxDword));
    }
    d.size = j.contains("size") ? Unsigned(j["size"], At(p, "size"), kMaxSigned64) : GeometryBytes(d);
    if (j.contains("partitions")) {
        const std::string pp = At(p, "partitions");
        const json& list = Array(j["partitions"], pp);
        for (size_t i = 0; i < list.size(); ++i) {
            const std::string ip = At(pp, i);
            const json& e = list[i];
            CheckObject(e, ip, {"number", "offset", "length", "letter"});
            SimPartition part;
            part.number = static_cast<DWORD>(Unsigned(Required(e, "number", ip), At(ip, "number"), kMaxDword));
            part.offset = Unsigned(Required(e, "offset", ip), At(ip, "offset"), kMaxSigned64);
            part.length = Unsigned(Required(e, "length", ip), At(ip, "length"), kMaxSigned64);
            if (e.contains("letter")) {
                part.letter = Letter(e["letter"], At(ip, "letter"));
            }
            d.partitions.push_back(part);
        }
    }
    if (j.contains("unreadable")) {
        const std::string up = At(p, "unreadable");
        const json& list = Array(j["unreadable"], up);
        for (size_t i = 0; i < list.size(); ++i) {
            d.unreadable.push_back(Sectors(list[i], At(up, i)));
        }
    }
    if (j.contains("latency")) {
        d.latency = ReadLatency(j["latency"], At(p, "latency"));
    }
    if (j.contains("slow")) {
        d.slow = ReadSlowRanges(j["slow"], At(p, "slow"));
    }
    // A file of smartctl's JSON output, or that output written in place.
    if (j.contains("smartctl")) {
        const json& s = j["smartctl"];
        if (s.is_object()) {
            d.smartctlJson = s.dump(2, ' ', false, json::error_handler_t::replace);
        } else {
            d.smartctlFile = String(s, At(p, "smartctl"));
            if (d.smartctlFile.empty()) {
                Fail(At(p, "smartctl"), "must name a file of smartctl's JSON output, or be that output");
            }
        }
    }
    if (j.contains("self_test")) {
        ReadSelfTests(j["self_test"], At(p, "self_test"), d);
    }
    return d;
}

SimVolume ReadVolume(const json& j, const std::string& p)
{
    CheckObject(j, p, {"letter", "partition", "extents"});
    SimVolume v;
    v.letter = Letter(Required(j, "letter", p), At(p, "letter"));
    if (j.contains("partition")) {
        v.partition = static_cast<DWORD>(Unsigned(j["partition"], At(p, "partition"), kMaxDword));
    }
    const std::string ep = At(p, "extents");
    const json& list = Array(Required(j, "extents", p), ep);
    for (size_t i = 0; i < list.size(); ++i) {
        const std::string ip = At(ep, i);
        const json& e = list[i];
        CheckObject(e, ip, {"disk", "offset", "length"});
        SimExtent x;
        x.disk = static_cast<DWORD>(Unsigned(Required(e, "disk", ip), At(ip, "disk"), kMaxSigned32));
        x.offset = Unsigned(Required(e, "offset", ip), At(ip, "offset"), kMaxSigned64);
        x.length = Unsigned(Required(e, "length", ip), At(ip, "length"), kMaxSigned64);
        v.extents.push_back(x);
    }
    return v;
}

Fault ReadFault(const json& j, const std::string& p)
{
    CheckObject(j, p, {"op", "path", "code", "disk", "nth", "error"});
    Fault f;
    const std::string op = String(Required(j, "op", p), At(p, "op"));
    const char* applies[3] = {};  // keys that this op takes besides op, nth and error
    if (op == "open") {
        f.op = FaultOp::Open;
        applies[0] = "path";
    } else if (op == "ioctl") {
        f.op = FaultOp::Ioctl;
        applies[0] = "path";
        applies[1] = "code";
    } else if (op == "seek" || op == "read") {
        f.op = op == "seek" ? FaultOp::Seek : FaultOp::Read;
        applies[0] = "disk";
    } else if (op == "random") {
        f.op = FaultOp::Random;
    } else {
        Fail(At(p, "op"), "unknown operation \"" + op + "\" (expected open, ioctl, seek, read or random)");
    }
    for (const char* key : {"path", "code", "disk"}) {
        const bool takes = (applies[0] != nullptr && std::string(applies[0]) == key) ||
                           (applies[1] != nullptr && std::string(applies[1]) == key);
        if (j.contains(key) && !takes) {
            Fail(At(p, key), "does not apply to a fault of op \"" + op + "\"");
        }
    }
    if (j.contains("path")) {
        f.path = Widen(String(j["path"], At(p, "path")), At(p, "path"));
    }
    if (j.contains("code")) {
        const json& c = j["code"];
        f.code = c.is_string() ? static_cast<DWORD>(ParseNumberText(c.get<std::string>(), At(p, "code"), kMaxDword))
                               : static_cast<DWORD>(Unsigned(c, At(p, "code"), kMaxDword));
    }
    if (j.contains("disk")) {
        f.disk = static_cast<LONG>(Unsigned(j["disk"], At(p, "disk"), kMaxSigned32));
    }
    if (j.contains("nth")) {
        f.nth = Unsigned(j["nth"], At(p, "nth"), kMaxSigned64);
    }
    if (j.contains("error")) {
        f.error = static_cast<DWORD>(
            Unsigned(j["error"], At(p, "error"), f.op == FaultOp::Random ? kMaxSigned32 : kMaxDword));
        f.zeroError = f.error == 0;
        if (f.op == FaultOp::Random && f.zeroError) {
            Fail(At(p, "error"), "must be at least 1 for op \"random\" (a failed draw answers a nonzero code)");
        }
    }
    return f;
}

// Refuses a key given twice in one object, which the parser would otherwise
// settle silently by keeping the last.
class DuplicateKeyCheck {
public:
    bool operator()(int /*depth*/, json::parse_event_t event, json& /*parsed*/)
    {
        switch (event) {
        case json::parse_event_t::object_start:
            m_frames.push_back(Frame{false, 0, {}, {}, PlaceOfChild()});
            break;
        case json::parse_event_t::array_start:
            m_frames.push_back(Frame{true, 0, {}, {}, PlaceOfChild()});
            break;
        case json::parse_event_t::key: {
            Frame& f = m_frames.back();
            f.key = m_lastKey;
            break;
        }
        case json::parse_event_t::object_end:
        case json::parse_event_t::array_end:
            m_frames.pop_back();
            Advance();
            break;
        case json::parse_event_t::value:
            Advance();
            break;
        }
        return true;
    }

    // Where the value being read sits, for an error the parser raises there.
    std::string PlaceOfValue() const
    {
        const std::string place = PlaceOfChild();
        return place.empty() ? "machine description" : place;
    }

    // The key event's text arrives in `parsed`; the wrapper below passes it.
    void SeeKey(const std::string& key)
    {
        Frame& f = m_frames.back();
        if (!f.keys.insert(key).second) {
            Fail(At(f.place, key), "is given twice");
        }
        m_lastKey = key;
    }

private:
    struct Frame {
        bool isArray;
        size_t index;
        std::string key;
        std::set<std::string> keys;
        std::string place;
    };

    std::string PlaceOfChild() const
    {
        if (m_frames.empty()) {
            return "";
        }
        const Frame& f = m_frames.back();
        return f.isArray ? At(f.place, f.index) : At(f.place, f.key);
    }

    void Advance()
    {
        if (!m_frames.empty() && m_frames.back().isArray) {
            ++m_frames.back().index;
        }
    }

    std::vector<Frame> m_frames;
    std::string m_lastKey;
};

// The library's message without its "[json.exception.parse_error.101] " tag.
std::string WithoutTag(const json::exception& e)
{
    const std::string what = e.what();
    const size_t close = what.find("] ");
    return close != std::string::npos ? what.substr(close + 2) : what;
}

json ParseDocument(const std::string& text)
{
    DuplicateKeyCheck check;
    const json::parser_callback_t callback = [&check](int depth, json::parse_event_t event, json& parsed) {
        if (event == json::parse_event_t::key) {
            check.SeeKey(parsed.get<std::string>());
        }
        return check(depth, event, parsed);
    };
    try {
        return json::parse(text, callback, /*allow_exceptions=*/true, /*ignore_comments=*/true);
    } catch (const json::parse_error& e) {
        throw MachineError("machine description: not valid JSON: " + WithoutTag(e));
    } catch (const json::out_of_range& e) {
        // A number the parser cannot hold (1e400): named by its place and its text.
        const std::string what = WithoutTag(e);
        const size_t open = what.find('\'');
        const size_t close = what.rfind('\'');
        if (open != std::string::npos && close > open) {
            Fail(check.PlaceOfValue(), "the number " + what.substr(open + 1, close - open - 1) + " is out of range");
        }
        Fail(check.PlaceOfValue(), what);
    } catch (const json::exception& e) {
        Fail(check.PlaceOfValue(), WithoutTag(e));
    }
}

MachineDescription ReadMachine(const json& doc)
{
    CheckObject(doc, "", {"disks", "volumes", "faults", "unopenable_letters", "seed"});
    MachineDescription m;
    if (doc.contains("disks")) {
        const json& list = Array(doc["disks"], "disks");
        for (size_t i = 0; i < list.size(); ++i) {
            m.disks.push_back(ReadDisk(list[i], At("disks", i)));
        }
    }
    if (doc.contains("volumes")) {
        const json& list = Array(doc["volumes"], "volumes");
        for (size_t i = 0; i < list.size(); ++i) {
            m.volumes.push_back(ReadVolume(list[i], At("volumes", i)));
        }
    }
    if (doc.contains("faults")) {
        const json& list = Array(doc["faults"], "faults");
        for (size_t i = 0; i < list.size(); ++i) {
            m.faults.push_back(ReadFault(list[i], At("faults", i)));
        }
    }
    if (doc.contains("unopenable_letters")) {
        const json& list = Array(doc["unopenable_letters"], "unopenable_letters");
        for (size_t i = 0; i < list.size(); ++i) {
            m.unopenableLetters.push_back(Letter(list[i], At("unopenable_letters", i)));
        }
    }
    if (doc.contains("seed")) {
        m.seed = static_cast<unsigned int>(Unsigned(doc["seed"], "seed", kMaxDword));
    }
    ValidateMachine(m);
    return m;
}

}  // namespace

MachineDescription ParseMachine(const std::string& jsonText)
{
    try {
        return ReadMachine(ParseDocument(jsonText));
    } catch (const json::exception& e) {
        // Every check above names its place; this is the last guard, so that
        // the library's own exceptions never reach the caller.
        throw MachineError("machine description: " + WithoutTag(e));
    }
}

MachineDescription LoadMachineFile(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        throw MachineError(path + ": cannot be read");
    }
    std::ostringstream text;
    text << file.rdbuf();
    MachineDescription machine;
    try {
        machine = ParseMachine(text.str());
    } catch (const MachineError& e) {
        throw MachineError(path + ": " + e.what());
    }
    // Each disk's smartctl output, from a file beside the machine file.
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    for (size_t i = 0; i < machine.disks.size(); ++i) {
        SimDisk& disk = machine.disks[i];
        if (disk.smartctlFile.empty()) {
            continue;
        }
        const std::filesystem::path named(disk.smartctlFile);
        const std::filesystem::path full = named.is_absolute() ? named : folder / named;
        std::ifstream smartctl(full, std::ios::binary);
        std::ostringstream output;
        if (!smartctl || !(output << smartctl.rdbuf())) {
            throw MachineError(path + ": disks[" + std::to_string(i) + "].smartctl: '" + disk.smartctlFile +
                               "' cannot be read");
        }
        disk.smartctlJson = output.str();
    }
    return machine;
}

}  // namespace hdd::sim
