#include "tools/hddiag/health/self_test_json.h"

#include "tools/hddiag/health/self_test.h"

namespace hddiag {

namespace {

using nlohmann::json;

// NVMe's value for a log slot that holds no result.
constexpr ULONG kNvmeUnusedSlot = 15;

void ReadCounts(JsonReader& in, const json& log, const std::string& at, SelfTestLog& l)
{
    l.errorCount = in.Unsigned(log, "error_count_total", at + ".error_count_total");
    l.outdatedErrors = in.Unsigned(log, "error_count_outdated", at + ".error_count_outdated");
}

// A list whose every slot is an object; null slots (smartctl leaves them in
// a sparse NVMe table) are passed over, anything else is named.
template <typename ReadEntry>
void ReadTable(JsonReader& in, const json& log, const std::string& at, ReadEntry read)
{
    const json* table = in.Array(log, "table", at + ".table");
    if (table == nullptr) {
        return;
    }
    for (size_t i = 0; i < table->size(); ++i) {
        const json& row = (*table)[i];
        const std::string place = at + ".table[" + std::to_string(i) + "]";
        if (row.is_object()) {
            read(row, place);
        } else if (!row.is_null()) {
            in.Note(place, "is not an object");
        }
    }
}

SelfTestEntry ReadAtaEntry(JsonReader& in, const json& row, const std::string& at)
{
    SelfTestEntry e;
    std::optional<ULONG> type;
    if (const json* t = in.Object(row, "type", at + ".type")) {
        type = in.Small(*t, "value", at + ".type.value");
        e.type = in.Text(*t, "string", at + ".type.string");
    }
    e.kind = type ? AtaSelfTestKind(*type) : SelfTestKindFromName(e.type);
    std::optional<bool> passed;
    if (const json* s = in.Object(row, "status", at + ".status")) {
        // The status byte: the code in the high nibble, tenths left in the low.
        if (const std::optional<ULONGLONG> value = in.Unsigned(*s, "value", at + ".status.value", 0xFF)) {
            e.status = static_cast<ULONG>(*value >> 4);
            e.remainingPercent = static_cast<ULONG>(*value & 0x0F) * 10;
        }
        e.statusText = in.Text(*s, "string", at + ".status.string");
        passed = in.Bool(*s, "passed", at + ".status.passed");
    }
    e.result = AtaSelfTestResult(e.status, passed);
    e.hours = in.Unsigned(row, "lifetime_hours", at + ".lifetime_hours");
    e.lba = in.Unsigned(row, "lba", at + ".lba");
    return e;
}

bool ReadAta(JsonReader& in, const json& doc, SmartReading& r)
{
    const json* log = in.Object(doc, "ata_smart_self_test_log", "ata_smart_self_test_log");
    if (log == nullptr) {
        return false;
    }
    // The extended log (48-bit LBAs) when smartctl read it, else the standard one.
    for (const char* part : {"extended", "standard"}) {
        const std::string at = std::string("ata_smart_self_test_log.") + part;
        const json* l = in.Object(*log, part, at);
        if (l == nullptr) {
            continue;
        }
        SelfTestLog tests;
        ReadCounts(in, *l, at, tests);
        ReadTable(in, *l, at, [&](const json& row, const std::string& place) {
            tests.entries.push_back(ReadAtaEntry(in, row, place));
        });
        r.selfTests = std::move(tests);
        return true;
    }
    return false;
}

void ReadNvme(JsonReader& in, const json& doc, SmartReading& r)
{
    const std::string at = "nvme_self_test_log";
    const json* log = in.Object(doc, "nvme_self_test_log", at);
    if (log == nullptr) {
        return;
    }
    SelfTestLog tests;
    tests.nvme = true;
    if (const json* op = in.Object(*log, "current_self_test_operation", at + ".current_self_test_operation")) {
        const std::optional<ULONG> value = in.Small(*op, "value", at + ".current_self_test_operation.value");
        const std::string text = in.Text(*op, "string", at + ".current_self_test_operation.string");
        if (value.value_or(0) != 0) {
            tests.running = text.empty() ? "a self-test is in progress" : text;
            tests.runningPercent =
                in.Small(*log, "current_self_test_completion_percent", at + ".current_self_test_completion_percent");
        }
    }
    ReadCounts(in, *log, at, tests);
    ReadTable(in, *log, at, [&](const json& row, const std::string& place) {
        SelfTestEntry e;
        std::optional<ULONG> code;
        if (const json* c = in.Object(row, "self_test_code", place + ".self_test_code")) {
            code = in.Small(*c, "value", place + ".self_test_code.value");
            e.type = in.Text(*c, "string", place + ".self_test_code.string");
        }
        e.kind = code ? NvmeSelfTestKind(*code) : SelfTestKindFromName(e.type);
        if (const json* s = in.Object(row, "self_test_result", place + ".self_test_result")) {
            e.status = in.Small(*s, "value", place + ".self_test_result.value");
            e.statusText = in.Text(*s, "string", place + ".self_test_result.string");
        }
        if (e.status == kNvmeUnusedSlot) {
            return;
        }
        e.result = e.status ? NvmeSelfTestResult(*e.status) : SelfTestResult::Unknown;
        e.hours = in.Unsigned(row, "power_on_hours", place + ".power_on_hours");
        e.lba = in.Unsigned(row, "lba", place + ".lba");
        e.segment = in.Small(row, "segment", place + ".segment");
        tests.entries.push_back(std::move(e));
    });
    r.selfTests = std::move(tests);
}

}  // namespace

void ReadSelfTestLog(JsonReader& in, const json& doc, SmartReading& r)
{
    if (!ReadAta(in, doc, r)) {
        ReadNvme(in, doc, r);
    }
}

}  // namespace hddiag
