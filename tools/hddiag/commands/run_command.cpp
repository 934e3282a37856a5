#include "tools/hddiag/commands/run_command.h"

#include <memory>
#include <optional>

#include "platform/os_api.h"
#include "platform/sim/sim_machine.h"
#include "tools/hddiag/commands/health_command.h"
#include "tools/hddiag/health/health_output.h"
#include "tools/hddiag/health/health_source.h"
#include "tools/hddiag/host/host.h"
#include "tools/hddiag/host/output_file.h"
#include "tools/hddiag/host/terminal.h"
#include "tools/hddiag/latency/batch_estimate.h"
#include "tools/hddiag/latency/latency_clock.h"
#include "tools/hddiag/latency/latency_collector.h"
#include "tools/hddiag/latency/timed_os.h"
#include "tools/hddiag/options/smartctl_type.h"
#include "tools/hddiag/session/component.h"
#include "tools/hddiag/session/machine_file.h"
#include "tools/hddiag/session/real_disks.h"
#include "tools/hddiag/session/session.h"
#include "tools/hddiag/text/text_escape.h"
#include "tools/hddiag/view/map_view.h"
#include "tools/hddiag/view/progress_view.h"
#include "tools/hddiag/view/view_choice.h"
#include "tools/hddiag/writers/disk_coverage.h"
#include "tools/hddiag/writers/output.h"
#include "tools/hddiag/writers/run_files.h"
#include "tools/hddiag/writers/trace_writer.h"

namespace hddiag {

namespace {

class EventHook final : public SessionObserver {
public:
    explicit EventHook(std::function<void(INT, INT, INT)> hook) : m_hook(std::move(hook)) {}
    void OnEvent(INT kind, INT value, INT tag) override { m_hook(kind, value, tag); }

private:
    std::function<void(INT, INT, INT)> m_hook;
};




MapViewSettings MapSettings(const Options& options, const AppIo& io, bool draw, LatencyClock& wallClock,
                            BatchEstimate& estimate)
{
    MapViewSettings settings;
    settings.draw = draw;
    settings.colour = ChooseColour(options.color, ViewEnvironmentOf(io, true)) ? ColourMode::Ansi : ColourMode::Off;
    const bool terminal = io.errIsTerminal;
    settings.size = [terminal] {
        const host::TerminalSize fallback{};
        return terminal ? host::StderrTerminalSize(fallback) : fallback;
    };
    settings.wallClock = &wallClock;
    settings.estimate = &estimate;
    return settings;
}



// The command itself, on an object whose machine is in place. clock measures
// the run; timed is the seam that times the component's reads (null when the
// component reads through a seam of its own); health answers for the disks
// (null: smartctl).
int RunCommand(const Options& options, ICHDDObject& object, AppIo& io, RunFiles& files, TraceWriter* trace,
               LatencyClock& clock, TimedOs* timed, const std::vector<DiskRow>& disks = {},
               HealthSource* health = nullptr)
{
    std::unique_ptr<HealthSource> smartctl;
    if (health == nullptr) {
        smartctl = SmartctlHealth(options.smartctlTypes);
        health = smartctl.get();
    }
    Session session(object, io.interrupt);
    BatchEstimate estimate(clock);
    session.AddObserver(&estimate);  // before the views that show it
    const ViewMode mode = ChooseView(options, io, timed != nullptr);
    std::optional<ProgressView> progress;
    if (mode == ViewMode::Bar || mode == ViewMode::Lines) {
        session.AddObserver(&progress.emplace(io.err, mode == ViewMode::Bar, &estimate));
    }
    std::optional<LatencyCollector> latency;
    HostClock wallClock;
    std::optional<MapView> map;
    if (timed != nullptr) {
        latency.emplace(*timed, clock);
        latency->Recorder().CountSlowFrom(static_cast<ULONGLONG>(options.slowReadMs) * 1000000u);
        // The map is drawn live, or kept for the page only.
        if (mode == ViewMode::Map || !options.reportPath.empty()) {
            session.AddObserver(&map.emplace(io.err, clock, *timed, latency->Recorder(),
                                             MapSettings(options, io, mode == ViewMode::Map, wallClock, estimate)));
        }
        session.AddObserver(&*latency);
    }
    if (trace != nullptr) {
        session.AddObserver(trace);
    }
    std::optional<EventHook> hook;
    if (io.onEvent) {
        session.AddObserver(&hook.emplace(io.onEvent));
    }

    LONG code = 0;
    if (!session.Connect(code)) {
        io.err << "hddiag: SetCallback refused the callback: " << ResultCodeName(code) << '\n';
        return kExitComponent;
    }
    RunResult result;
    result.report = session.Report(LookUpVolumeLetters);
    result.disks = disks.empty() ? RowsOfReport(result.report.items) : disks;
    if (result.report.status != 0) {
        io.err << "hddiag: GetHardDiskInfo failed: " << ResultCodeName(result.report.status) << '\n';
        return kExitComponent;
    }
    if (!result.report.parsed) {
        io.err << "hddiag: the report is not a list of disk-partition-size items: " << Printable(result.report.text)
               << '\n';
    }
    const bool people = !options.trace && !options.json;
    std::string typesError;
    if (!CheckSmartctlTypes(options.smartctlTypes, result.disks, typesError)) {
        io.err << "hddiag: " << typesError << '\n';
        return kExitUsage;
    }
    if (options.command == Command::Health) {
        return RunHealthCommand(options, result, *health, io, files);
    }
    if (options.command == Command::Info) {
        result.health = ReadDisksHealth(*health, result.disks, io);
        if (options.json) {
            PrintJson(io.out, result, false);
        } else if (people) {
            PrintReport(io.out, result.report);
            if (!result.health.empty()) {
                io.out << '\n';
                PrintHealthTable(io.out, result.disks, result.health);
            }
        }
        files.Write(options, result, io.err);
        return kExitPassed;
    }

    std::vector<TestCall> calls;
    if (options.command == Command::Test) {
        // One test alone makes no batch: without StartHDDTest the component
        // sends no minutes, and the trace holds that test's calls only.
        calls.push_back({options.testKind, options.selector});
    } else {
        const std::vector<std::string> items =
            options.items.empty() ? DefaultSelectors(result.report.items) : SplitItems(options.items);
        result.plan = session.Plan(items, MaskOf(options.tests));
        for (TestKind kind : options.tests) {
            for (const std::string& item : items) {
                calls.push_back({kind, item});
            }
        }
        if (people) {
            PrintReport(io.out, result.report);
        }
    }
    estimate.Plan(calls, result.report.items);
    if (map) {
        map->SetReportItems(result.report.items);
    }
    result.tests = session.RunTests(calls);
    result.interrupted = session.Interrupted();
    session.Disconnect();
    if (latency) {
        result.latency = latency->Results();
        result.latency.resize(result.tests.size());
    }
    if (map) {
        result.maps = map->Maps();
        result.maps.resize(result.tests.size());
    }
    // Once, after the tests, when the disks are awake; it changes neither
    // the tests' results nor the exit status.
    if (options.command == Command::Run) {
        result.health = ReadDisksHealth(*health, result.disks, io);
        result.slowReadNs = static_cast<ULONGLONG>(options.slowReadMs) * 1000000u;
        result.coverage = CoverDisks(result, DiskCommandPrefix(options));
    }

    if (options.json) {
        PrintJson(io.out, result, true);
    } else if (people) {
        PrintSummary(io.out, result);
        if (!result.health.empty()) {
            io.out << '\n';
            PrintHealthTable(io.out, result.disks, result.health);
        }
    }
    // A file that cannot be written now is said to be missing; the exit
    // status stays the tests' outcome.
    files.Write(options, result, io.err);
    return ExitCodeFor(result);
}

// The component linked into hddiag, on whatever seam is installed now, with
// its reads timed on the clock.
int RunLinked(const Options& options, AppIo& io, RunFiles& files, TraceWriter* trace, LatencyClock& clock,
              const std::vector<DiskRow>& disks = {}, HealthSource* health = nullptr)
{
    TimedOs timed(hdd::Os(), clock);
    hdd::ScopedOsApi scope(timed);
    std::string error;
    std::unique_ptr<Component> component = CreateLinkedComponent(error);
    if (!component) {
        io.err << "hddiag: cannot create the component: " << error << '\n';
        return kExitComponent;
    }
    const int code = RunCommand(options, component->Object(), io, files, trace, clock, &timed, disks, health);
    // info's partition lines, the same for block devices, images and
    // simulated machines.
    if (code == kExitPassed && options.command == Command::Info && !options.trace && !options.json &&
        !disks.empty()) {
        io.out << '\n';
        PrintDiskTable(io.out, disks);
    }
    return code;
}

// Block devices and image files (or this computer's disks), read by the
// component linked in here; the trace has their reads too.
int RunOnRealDisks(const Options& options, AppIo& io, RunFiles& files, TraceWriter* trace)
{
    std::string error;
    std::unique_ptr<RealMachine> disks = host::OpenRealMachine(options.disks, options.seed, error);
    if (!disks) {
        io.err << "hddiag: " << Printable(error) << '\n';
        return kExitUsage;
    }
    if (trace != nullptr) {
        disks->ObserveReads([trace](LONG disk, ULONGLONG sector) { trace->Read(disk, sector); });
    }
    hdd::ScopedOsApi scope(disks->Api());
    HostClock clock;  // real reads take real time, whatever the machine's own clock says
    return RunLinked(options, io, files, trace, clock, disks->Rows());
}


}  // namespace

int RunComponentCommand(const Options& options, AppIo& io)
{
    std::string error;
    // The output files are checked and made before anything is read, so a
    // bad path costs no testing and no output aliases an input.
    RunFiles files;
    if (!files.Prepare(options, host::FilesThisRunReads(options), error)) {
        io.err << "hddiag: " << error << '\n';
        return kExitUsage;
    }
    std::optional<TraceWriter> trace;
    if (options.trace) {
        trace.emplace(io.out);
    }

    if (options.machine.empty() && options.disks.empty() && host::UsesInstalledComponent()) {
        if (options.seed) {
            io.err << "hddiag: --seed needs a simulated machine (--machine) or --disk\n";
            return kExitUsage;
        }
        HostClock clock;
        if (options.linked) {
            return RunLinked(options, io, files, trace ? &*trace : nullptr, clock);
        }
        // The installed component reads through its own seam: its reads are
        // neither timed nor traced; the trace has events and results.
        std::unique_ptr<Component> component = host::OpenInstalledComponent(error);
        if (!component) {
            io.err << "hddiag: " << error << '\n';
            return kExitComponent;
        }
        return RunCommand(options, component->Object(), io, files, trace ? &*trace : nullptr, clock, nullptr);
    }

    if (options.machine.empty()) {
        return RunOnRealDisks(options, io, files, trace ? &*trace : nullptr);
    }

    hdd::sim::MachineDescription description;
    if (!LoadMachineDescription(options.machine, description, error)) {
        io.err << "hddiag: " << error << '\n';
        return kExitUsage;
    }
    if (options.seed) {
        description.seed = *options.seed;
    }
    const std::vector<DiskRow> rows = RowsOfMachine(description);
    std::vector<std::string> smartctlOutputs;
    for (const hdd::sim::SimDisk& disk : description.disks) {
        smartctlOutputs.push_back(disk.smartctlJson);
    }
    const std::unique_ptr<HealthSource> health = MachineHealth(std::move(smartctlOutputs));
    hdd::sim::SimMachine machine(std::move(description));
    machine.SetRecording(false);  // a run makes millions of reads; the observer sees each
    machine.SetPacing(options.pace);
    if (trace) {
        TraceWriter& writer = *trace;
        machine.SetReadObserver([&writer](LONG disk, ULONGLONG sector) { writer.Read(disk, sector); });
    }
    hdd::ScopedOsApi scope(machine);
    SimMachineClock clock(machine);
    return RunLinked(options, io, files, trace ? &*trace : nullptr, clock, rows, health.get());
}

}  // namespace hddiag
