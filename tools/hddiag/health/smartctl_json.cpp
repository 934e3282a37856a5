#include "tools/hddiag/health/smartctl_json.h"

#include <nlohmann/json.hpp>

#include "tools/hddiag/health/json_reader.h"
#include "tools/hddiag/health/self_test_json.h"
#include "tools/hddiag/health/verdict.h"

namespace hddiag {

namespace {

using nlohmann::json;

void ReadAttributes(JsonReader& in, const json& doc, SmartReading& r)
{
    const json* section = in.Object(doc, "ata_smart_attributes", "ata_smart_attributes");
    const json* table = section != nullptr ? in.Array(*section, "table", "ata_smart_attributes.table") : nullptr;
    if (table == nullptr) {
        return;
    }
    for (size_t i = 0; i < table->size(); ++i) {
        const json& row = (*table)[i];
        const std::string at = "ata_smart_attributes.table[" + std::to_string(i) + "]";
        if (!row.is_object()) {
            in.Note(at, "is not an object");
            continue;
        }
        const std::optional<ULONG> id = in.Small(row, "id", at + ".id");
        if (!id || *id == 0 || *id > 255) {
            if (id) {
                in.Note(at + ".id", "is not an attribute number (1-255)");
            } else if (!row.contains("id")) {
                in.Note(at + ".id", "is missing");
            }
            continue;
        }
        SmartAttribute a;
        a.id = *id;
        a.name = in.Text(row, "name", at + ".name");
        a.value = in.Small(row, "value", at + ".value");
        a.worst = in.Small(row, "worst", at + ".worst");
        a.threshold = in.Small(row, "thresh", at + ".thresh");
        a.whenFailed = in.Text(row, "when_failed", at + ".when_failed");
        if (const json* flags = in.Object(row, "flags", at + ".flags")) {
            a.prefail = in.Bool(*flags, "prefailure", at + ".flags.prefailure").value_or(false);
        }
        if (const json* raw = in.Object(row, "raw", at + ".raw")) {
            a.raw = in.Unsigned(*raw, "value", at + ".raw.value");
            a.rawText = in.Text(*raw, "string", at + ".raw.string");
        }
        r.attributes.push_back(std::move(a));
    }
}

void ReadNvme(JsonReader& in, const json& doc, SmartReading& r)
{
    const json* log = in.Object(doc, "nvme_smart_health_information_log", "nvme_smart_health_information_log");
    if (log == nullptr) {
        return;
    }
    const std::string at = "nvme_smart_health_information_log.";
    NvmeHealthLog n;
    n.criticalWarning = in.Small(*log, "critical_warning", at + "critical_warning");
    n.availableSpare = in.Small(*log, "available_spare", at + "available_spare");
    n.availableSpareThreshold = in.Small(*log, "available_spare_threshold", at + "available_spare_threshold");
    n.percentageUsed = in.Small(*log, "percentage_used", at + "percentage_used");
    n.mediaErrors = in.Unsigned(*log, "media_errors", at + "media_errors");
    r.nvme = n;
}

void ReadScsi(JsonReader& in, const json& doc, SmartReading& r)
{
    r.scsiGrownDefects = in.Unsigned(doc, "scsi_grown_defect_list", "scsi_grown_defect_list");
    if (const json* log = in.Object(doc, "scsi_error_counter_log", "scsi_error_counter_log")) {
        if (const json* read = in.Object(*log, "read", "scsi_error_counter_log.read")) {
            r.scsiUncorrectedReadErrors =
                in.Unsigned(*read, "total_uncorrected_errors", "scsi_error_counter_log.read.total_uncorrected_errors");
        }
    }
}

SmartReading ReadDocument(const json& doc, std::optional<ULONG> processExit)
{
    SmartReading r;
    JsonReader in(r.notes);
    if (const json* version = in.Array(doc, "json_format_version", "json_format_version")) {
        if (version->empty() || !(*version)[0].is_number_unsigned() || (*version)[0].get<ULONGLONG>() != 1) {
            r.notes.push_back("json_format_version is not 1.x, the version hddiag knows; read as if it were");
        }
    }
    if (const json* tool = in.Object(doc, "smartctl", "smartctl")) {
        if (const std::optional<ULONG> status = in.Small(*tool, "exit_status", "smartctl.exit_status")) {
            r.exitStatus = *status & 0xFFu;
        }
        if (const json* messages = in.Array(*tool, "messages", "smartctl.messages")) {
            for (const json& m : *messages) {
                const std::string text = m.is_object() && m.contains("string") && m["string"].is_string()
                                             ? m["string"].get<std::string>()
                                             : std::string();
                const std::string severity = m.is_object() && m.contains("severity") && m["severity"].is_string()
                                                 ? m["severity"].get<std::string>()
                                                 : std::string();
                if (!text.empty() && severity != "information") {
                    r.messages.push_back(text);
                }
            }
        }
    }
    if (!r.exitStatus) {
        r.exitStatus = processExit;
    }
    if (const json* device = in.Object(doc, "device", "device")) {
        r.protocol = in.Text(*device, "protocol", "device.protocol");
        r.deviceType = in.Text(*device, "type", "device.type");
    }
    r.model = in.Text(doc, "model_name", "model_name");
    if (r.model.empty()) {
        const std::string vendor = in.Text(doc, "scsi_vendor", "scsi_vendor");
        const std::string product = in.Text(doc, "scsi_product", "scsi_product");
        r.model = vendor.empty() ? product : product.empty() ? vendor : vendor + " " + product;
    }
    r.serial = in.Text(doc, "serial_number", "serial_number");
    if (const json* support = in.Object(doc, "smart_support", "smart_support")) {
        r.smartAvailable = in.Bool(*support, "available", "smart_support.available");
    }
    if (const json* status = in.Object(doc, "smart_status", "smart_status")) {
        r.passed = in.Bool(*status, "passed", "smart_status.passed");
    }
    ReadAttributes(in, doc, r);
    ReadNvme(in, doc, r);
    ReadScsi(in, doc, r);
    if (const json* t = in.Object(doc, "temperature", "temperature")) {
        r.temperature = in.Signed(*t, "current", "temperature.current");
    }
    if (const json* p = in.Object(doc, "power_on_time", "power_on_time")) {
        r.powerOnHours = in.Unsigned(*p, "hours", "power_on_time.hours");
    }
    if (const json* log = in.Object(doc, "ata_smart_error_log", "ata_smart_error_log")) {
        for (const char* kind : {"summary", "extended"}) {
            if (const json* s = in.Object(*log, kind, std::string("ata_smart_error_log.") + kind)) {
                r.errorLogCount = in.Unsigned(*s, "count", std::string("ata_smart_error_log.") + kind + ".count");
                break;
            }
        }
    }
    ReadSelfTestLog(in, doc, r);
    return r;
}

bool HasData(const SmartReading& r)
{
    return r.passed || !r.attributes.empty() || r.nvme || r.scsiGrownDefects || r.scsiUncorrectedReadErrors;
}

std::string FirstMessage(const SmartReading& r, const std::string& fallback)
{
    return r.messages.empty() ? fallback : r.messages.front();
}

}  // namespace

DiskHealth HealthFromSmartctl(LONG disk, const std::string& text, std::optional<ULONG> processExit)
{
    DiskHealth h;
    h.disk = disk;
    const json doc = json::parse(text, nullptr, /*allow_exceptions=*/false);
    if (doc.is_discarded() || !doc.is_object()) {
        h.state = HealthState::NotRead;
        h.note = doc.is_discarded() ? "smartctl's output is not complete JSON" : "smartctl's output is not a JSON object";
        if (processExit) {
            h.note += " (exit status " + std::to_string(*processExit) + ")";
        }
        return h;
    }
    h.reading = ReadDocument(doc, processExit);
    const SmartReading& r = h.reading;
    const ULONG exit = r.exitStatus.value_or(0);
    if (r.exitStatus == kSmartctlStandbyExit) {
        h.state = HealthState::Asleep;
        h.note = "in standby; not woken";
    } else if ((exit & 0x01u) != 0) {
        // smartctl knows no way to talk to it (virtio, an image file, an unknown USB bridge).
        h.state = HealthState::NotSupported;
        h.note = FirstMessage(r, "smartctl cannot tell the device type");
    } else if (r.smartAvailable == false) {
        h.state = HealthState::NotSupported;
        h.note = "the device has no SMART";
    } else if (!HasData(r) && (exit & 0x02u) != 0) {
        h.state = HealthState::NotRead;
        h.note = "smartctl could not open the device: " + FirstMessage(r, "exit status " + std::to_string(exit));
    } else if (!HasData(r)) {
        h.state = HealthState::NotSupported;
        h.note = FirstMessage(r, "smartctl read no SMART data");
    } else {
        h.state = HealthState::Read;
        if ((exit & 0x04u) != 0) {
            h.note = "a SMART command failed: " + FirstMessage(r, "exit status bit 2");
        }
        Judge(h);
    }
    return h;
}

}  // namespace hddiag
