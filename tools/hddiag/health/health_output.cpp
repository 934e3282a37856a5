#include "tools/hddiag/health/health_output.h"

#include <algorithm>
#include <iomanip>

#include "tools/hddiag/text/json_values.h"
#include "tools/hddiag/health/self_test_output.h"
#include "tools/hddiag/text/text_escape.h"

namespace hddiag {

namespace {

using nlohmann::ordered_json;

const char* StateName(HealthState state)
{
    switch (state) {
    case HealthState::Read:
        return "read";
    case HealthState::NotSupported:
        return "not supported";
    case HealthState::Asleep:
        return "asleep";
    case HealthState::NotRead:
        return "not read";
    }
    return "?";
}

ordered_json SmartJson(const SmartReading& r)
{
    ordered_json attributes = ordered_json::array();
    for (const SmartAttribute& a : r.attributes) {
        attributes.push_back({{"id", a.id},
                              {"name", a.name},
                              {"value", OrNull(a.value)},
                              {"worst", OrNull(a.worst)},
                              {"thresh", OrNull(a.threshold)},
                              {"prefail", a.prefail},
                              {"when_failed", a.whenFailed},
                              {"raw", OrNull(a.raw)},
                              {"raw_string", a.rawText}});
    }
    ordered_json smart = {{"exit_status", OrNull(r.exitStatus)},
                          {"protocol", TextOrNull(r.protocol)},
                          {"model", TextOrNull(r.model)},
                          {"serial", TextOrNull(r.serial)},
                          {"passed", OrNull(r.passed)},
                          {"temperature_celsius", OrNull(r.temperature)},
                          {"power_on_hours", OrNull(r.powerOnHours)},
                          {"attributes", std::move(attributes)}};
    if (r.nvme) {
        smart["nvme"] = {{"critical_warning", OrNull(r.nvme->criticalWarning)},
                         {"available_spare", OrNull(r.nvme->availableSpare)},
                         {"available_spare_threshold", OrNull(r.nvme->availableSpareThreshold)},
                         {"percentage_used", OrNull(r.nvme->percentageUsed)},
                         {"media_errors", OrNull(r.nvme->mediaErrors)}};
    }
    if (r.scsiGrownDefects || r.scsiUncorrectedReadErrors) {
        smart["scsi"] = {{"grown_defects", OrNull(r.scsiGrownDefects)},
                         {"uncorrected_read_errors", OrNull(r.scsiUncorrectedReadErrors)}};
    }
    if (r.errorLogCount) {
        smart["error_log_count"] = *r.errorLogCount;
    }
    if (r.selfTests) {
        smart["self_tests"] = SelfTestJson(r);
    }
    smart["messages"] = r.messages;
    smart["notes"] = r.notes;
    return smart;
}

std::string Join(const std::vector<std::string>& parts)
{
    std::string text;
    for (const std::string& p : parts) {
        text += (text.empty() ? "" : "; ") + p;
    }
    return text;
}

}  // namespace

std::string HealthWhy(const DiskHealth& health)
{
    if (health.state != HealthState::Read) {
        return health.note;
    }
    std::string why = Join(health.reasons);
    for (const std::string& said : {Join(health.noted), health.note}) {
        if (!said.empty()) {
            why += (why.empty() ? "" : "; ") + said;
        }
    }
    return why;
}

void PrintHealthTable(std::ostream& out, const std::vector<DiskRow>& rows, const std::vector<DiskHealth>& health)
{
    struct Line {
        std::string disk, device, model, serial, verdict, temperature, hours, why;
    };
    std::vector<Line> lines{{"Disk", "Device", "Model", "Serial", "Health", "Temp", "Hours", "Why"}};
    std::vector<std::string> selfTests;
    std::vector<std::string> notes;
    for (const DiskHealth& h : health) {
        const DiskRow* row = FindDisk(rows, h.disk);
        const auto known = [](const std::string& text) { return text.empty() ? std::string("-") : Printable(text); };
        Line line{std::to_string(h.disk),
                  row != nullptr ? known(row->device) : "-",
                  known(row != nullptr && !row->model.empty() ? row->model : h.reading.model),
                  known(row != nullptr && !row->serial.empty() ? row->serial : h.reading.serial),
                  HealthSummary(h),
                  h.reading.temperature ? std::to_string(*h.reading.temperature) + " C" : "-",
                  h.reading.powerOnHours ? std::to_string(*h.reading.powerOnHours) : "-",
                  Printable(HealthWhy(h))};
        lines.push_back(std::move(line));
        const std::string tests = h.state == HealthState::Read ? SelfTestLine(h.reading) : std::string();
        if (!tests.empty()) {
            selfTests.push_back("disk " + std::to_string(h.disk) + ": " + Printable(tests));
        }
        for (const std::string& note : h.reading.notes) {
            notes.push_back("disk " + std::to_string(h.disk) + ": " + Printable(note));
        }
    }
    size_t widths[7] = {};
    for (const Line& l : lines) {
        const std::string* cells[7] = {&l.disk, &l.device, &l.model, &l.serial, &l.verdict, &l.temperature, &l.hours};
        for (size_t i = 0; i < 7; ++i) {
            widths[i] = std::max(widths[i], cells[i]->size() + 2);
        }
    }
    out << std::left;
    for (const Line& l : lines) {
        const std::string* cells[7] = {&l.disk, &l.device, &l.model, &l.serial, &l.verdict, &l.temperature, &l.hours};
        for (size_t i = 0; i < 7; ++i) {
            out << std::setw(static_cast<int>(widths[i])) << *cells[i];
        }
        out << l.why << '\n';
    }
    out << std::right;
    for (const std::string& tests : selfTests) {
        out << "Self-tests of " << tests << '\n';
    }
    for (const std::string& note : notes) {
        out << "Note: " << note << '\n';
    }
}

ordered_json HealthJson(const std::vector<DiskHealth>& health)
{
    ordered_json disks = ordered_json::array();
    for (const DiskHealth& h : health) {
        ordered_json entry = {{"disk", h.disk},
                              {"state", StateName(h.state)},
                              {"verdict", h.state == HealthState::Read ? ordered_json(VerdictName(h.verdict)) : ordered_json()},
                              {"reasons", h.reasons},
                              {"noted", h.noted},
                              {"note", TextOrNull(h.note)},
                              {"read_time", h.readTime}};
        if (h.state == HealthState::Read) {
            entry["smart"] = SmartJson(h.reading);
        }
        disks.push_back(std::move(entry));
    }
    return disks;
}

}  // namespace hddiag
