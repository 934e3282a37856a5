#include "tools/hddiag/check/self_test_drivers.h"

#include <nlohmann/json.hpp>

#include "tools/hddiag/health/health_source.h"
#include "tools/hddiag/health/self_test.h"
#include "tools/hddiag/health/smartctl_json.h"
#include "tools/hddiag/host/program.h"

namespace hddiag {

namespace {

// A self-test's commands answer at once; the wait is in the polls.
constexpr DWORD kSmartctlTimeoutMs = 120000;

class SmartctlDriver final : public SelfTestDriver {
public:
    explicit SmartctlDriver(std::vector<SmartctlType> types)
        : m_path(host::FindProgram("smartctl")), m_types(std::move(types))
    {
    }

    bool Start(const DiskRow& row, const std::string& kind, std::string& why) override
    {
        if (m_path.empty()) {
            why = "smartctl not found; install smartmontools";
            return false;
        }
        const host::ProgramRun run = Smartctl(row, {"--json", "--test=" + kind});
        if (!run.started || !run.exited) {
            why = "smartctl did not answer: " + run.error;
            return false;
        }
        // Bits 0 and 1: the command line or the device; bit 2: the drive
        // refused the command.
        if ((run.exitStatus & 7) != 0) {
            why = "the drive would not start it (smartctl exit status " + std::to_string(run.exitStatus) + ")";
            return false;
        }
        return true;
    }

    SelfTestProgress Poll(const DiskRow& row) override
    {
        SelfTestProgress p;
        const host::ProgramRun run = Smartctl(row, {"--json", "--capabilities", "--log=selftest"});
        if (!run.started || !run.exited) {
            p.error = "smartctl did not answer: " + run.error;
            return p;
        }
        m_last = run.output;
        const nlohmann::json doc = nlohmann::json::parse(run.output, nullptr, false);
        if (doc.is_discarded()) {
            p.error = "smartctl's output is not JSON";
            return p;
        }
        // ATA: a status of 15 in its high nibble is a test in progress.
        const nlohmann::json* status = Find(doc, {"ata_smart_data", "self_test", "status"});
        if (status != nullptr && status->contains("value") && (*status)["value"].is_number_unsigned()) {
            p.running = ((*status)["value"].get<ULONG>() >> 4) == 15;
            if (p.running && status->contains("remaining_percent") && (*status)["remaining_percent"].is_number()) {
                p.percentLeft = (*status)["remaining_percent"].get<ULONG>();
            }
            return p;
        }
        const nlohmann::json* nvme = Find(doc, {"nvme_self_test_log"});
        if (nvme != nullptr) {
            const nlohmann::json* op = Find(*nvme, {"current_self_test_operation", "value"});
            p.running = op != nullptr && op->is_number() && op->get<ULONG>() != 0;
            const nlohmann::json* done = Find(*nvme, {"current_self_test_completion_percent"});
            if (p.running && done != nullptr && done->is_number()) {
                p.percentLeft = 100 - std::min<ULONG>(100, done->get<ULONG>());
            }
        }
        return p;
    }

    void Abort(const DiskRow& row) override { Smartctl(row, {"--abort"}); }

    SelfTestOutcome Result(const DiskRow& row, const std::string& kind) override
    {
        SelfTestOutcome o;
        const DiskHealth h = HealthFromSmartctl(row.disk, m_last, std::nullopt);
        const SelfTestEntry* entry = h.reading.selfTests ? LastFinished(*h.reading.selfTests) : nullptr;
        if (entry == nullptr) {
            o.kind = kind == "long" ? "extended" : "short";
            o.note = "the drive's self-test log holds no finished test";
            return o;
        }
        return OutcomeOfEntry(*entry, h.reading.selfTests->nvme);
    }

private:
    static const nlohmann::json* Find(const nlohmann::json& doc, std::initializer_list<const char*> path)
    {
        const nlohmann::json* at = &doc;
        for (const char* key : path) {
            if (!at->is_object() || !at->contains(key)) {
                return nullptr;
            }
            at = &(*at)[key];
        }
        return at;
    }

    host::ProgramRun Smartctl(const DiskRow& row, std::vector<std::string> args) const
    {
        const std::string type = SmartctlTypeFor(m_types, row);
        if (!type.empty()) {
            args.push_back("--device=" + type);
        }
        args.push_back(host::SmartctlDeviceName(row));
        return host::RunProgram(m_path, args, kSmartctlTimeoutMs);
    }

    std::string m_path;
    std::vector<SmartctlType> m_types;
    std::string m_last;  // the last poll's output, which holds the log
};

class MachineDriver final : public SelfTestDriver {
public:
    explicit MachineDriver(const hdd::sim::MachineDescription& machine)
    {
        for (const hdd::sim::SimDisk& d : machine.disks) {
            m_entries.push_back({d.shortSelfTestEntry, d.extendedSelfTestEntry});
        }
    }

    bool Start(const DiskRow& row, const std::string& kind, std::string& why) override
    {
        if (EntryOf(row, kind).empty()) {
            why = "the machine gives no " + std::string(kind == "long" ? "extended" : "short") + " self-test for it";
            return false;
        }
        return true;
    }

    SelfTestProgress Poll(const DiskRow&) override { return {}; }
    void Abort(const DiskRow&) override {}
    DWORD PollIntervalMs() const override { return 0; }

    SelfTestOutcome Result(const DiskRow& row, const std::string& kind) override
    {
        // The entry read as the head of a log smartctl printed.
        const nlohmann::json entry = nlohmann::json::parse(EntryOf(row, kind), nullptr, false);
        const bool nvme = entry.is_object() && entry.contains("self_test_code");
        nlohmann::json doc;
        if (nvme) {
            doc["nvme_self_test_log"]["table"] = nlohmann::json::array({entry});
        } else {
            doc["ata_smart_self_test_log"]["standard"]["table"] = nlohmann::json::array({entry});
        }
        const DiskHealth h = HealthFromSmartctl(row.disk, doc.dump(), std::nullopt);
        const SelfTestEntry* e = h.reading.selfTests ? LastFinished(*h.reading.selfTests) : nullptr;
        if (e == nullptr) {
            SelfTestOutcome o;
            o.kind = kind == "long" ? "extended" : "short";
            o.note = "the machine's self-test entry cannot be read";
            return o;
        }
        return OutcomeOfEntry(*e, nvme);
    }

private:
    const std::string& EntryOf(const DiskRow& row, const std::string& kind) const
    {
        static const std::string none;
        const size_t i = static_cast<size_t>(row.disk);
        if (row.disk < 0 || i >= m_entries.size()) {
            return none;
        }
        return kind == "long" ? m_entries[i].second : m_entries[i].first;
    }

    std::vector<std::pair<std::string, std::string>> m_entries;  // short, extended
};

}  // namespace

SelfTestOutcome OutcomeOfEntry(const SelfTestEntry& entry, bool nvme)
{
    SelfTestOutcome o;
    o.kind = SelfTestKindName(entry.kind);
    o.result = entry.statusText.empty() ? SelfTestResultName(entry.result) : entry.statusText;
    switch (entry.result) {
    case SelfTestResult::Passed:
        o.ran = true;
        o.passed = true;
        break;
    case SelfTestResult::Failed:
        o.ran = true;
        o.lba = entry.lba;
        o.result = FailureText(entry, nvme);
        break;
    case SelfTestResult::StoppedByHost:
    case SelfTestResult::InProgress:
    case SelfTestResult::Unknown:
        o.note = "it ended without a result: " + o.result;
        break;
    }
    return o;
}

std::unique_ptr<SelfTestDriver> SmartctlSelfTests(std::vector<SmartctlType> types)
{
    return std::make_unique<SmartctlDriver>(std::move(types));
}

std::unique_ptr<SelfTestDriver> MachineSelfTests(const hdd::sim::MachineDescription& machine)
{
    return std::make_unique<MachineDriver>(machine);
}

}  // namespace hddiag
