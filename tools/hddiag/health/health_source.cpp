#include "tools/hddiag/health/health_source.h"


#include "tools/hddiag/latency/wall_time.h"
#include "tools/hddiag/health/smartctl_json.h"
#include "tools/hddiag/host/output_file.h"
#include "tools/hddiag/host/program.h"

namespace hddiag {

namespace {

const char* const kSmartctlMissing = "smartctl not found; install smartmontools";

// smartctl answers in well under a second; on a disk that stopped answering
// each of its commands waits out the kernel's timeouts and retries.
constexpr DWORD kSmartctlTimeoutMs = 120000;

class SmartctlSource final : public HealthSource {
public:
    explicit SmartctlSource(std::vector<SmartctlType> types)
        : m_path(host::FindProgram("smartctl")), m_types(std::move(types))
    {
    }

    DiskHealth Read(const DiskRow& row) override
    {
        DiskHealth h;
        h.disk = row.disk;
        if (m_path.empty()) {
            h.note = kSmartctlMissing;
            return h;
        }
        if (host::InspectPath(row.path).kind == host::FileKind::Regular) {
            h.state = HealthState::NotSupported;
            h.note = "an image file has no SMART";
            return h;
        }
        std::vector<std::string> args = SmartctlArguments(SmartctlTypeFor(m_types, row));
        args.push_back(host::SmartctlDeviceName(row));
        const host::ProgramRun run = host::RunProgram(m_path, args, kSmartctlTimeoutMs);
        if (!run.started || !run.exited) {
            h.note = "smartctl " + std::string(run.started ? "did not finish: " : "did not start: ") + run.error;
            return h;
        }
        h = HealthFromSmartctl(row.disk, run.output, run.exitStatus);
        return h;
    }

    std::string Note() const override { return m_path.empty() ? kSmartctlMissing : std::string(); }

private:
    std::string m_path;
    std::vector<SmartctlType> m_types;
};

class MachineSource final : public HealthSource {
public:
    explicit MachineSource(std::vector<std::string> outputs) : m_outputs(std::move(outputs)) {}

    DiskHealth Read(const DiskRow& row) override
    {
        const size_t i = static_cast<size_t>(row.disk);
        if (row.disk < 0 || i >= m_outputs.size() || m_outputs[i].empty()) {
            DiskHealth h;
            h.disk = row.disk;
            h.state = HealthState::NotSupported;
            h.note = "the machine gives no SMART for it";
            return h;
        }
        return HealthFromSmartctl(row.disk, m_outputs[i], std::nullopt);
    }

private:
    std::vector<std::string> m_outputs;
};

}  // namespace

std::vector<std::string> SmartctlArguments(const std::string& type)
{
    std::vector<std::string> args = {"--json", "--info", "--health", "--attributes", "--log=error", "--log=selftest",
                                     "--nocheck=standby," + std::to_string(kSmartctlStandbyExit)};
    if (!type.empty()) {
        args.push_back("-d");
        args.push_back(type);
    }
    return args;
}

std::unique_ptr<HealthSource> SmartctlHealth(std::vector<SmartctlType> types)
{
    return std::make_unique<SmartctlSource>(std::move(types));
}

std::unique_ptr<HealthSource> MachineHealth(std::vector<std::string> outputs)
{
    return std::make_unique<MachineSource>(std::move(outputs));
}

std::vector<DiskHealth> ReadHealth(HealthSource& source, const std::vector<DiskRow>& rows)
{
    std::vector<DiskHealth> health;
    for (const DiskRow& row : rows) {
        DiskHealth h = source.Read(row);
        h.disk = row.disk;
        h.readTime = UtcNowSeconds();
        health.push_back(std::move(h));
    }
    return health;
}

}  // namespace hddiag
