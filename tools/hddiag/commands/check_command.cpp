#include "tools/hddiag/commands/check_command.h"

#include <chrono>
#include <exception>
#include <memory>
#include <thread>

#include "platform/sim/machine_description.h"
#include "tools/hddiag/check/check_output.h"
#include "tools/hddiag/check/check_run.h"
#include "tools/hddiag/check/self_test_runner.h"
#include "tools/hddiag/check/self_test_drivers.h"
#include "tools/hddiag/health/health_source.h"
#include "tools/hddiag/host/output_file.h"
#include "tools/hddiag/session/machine_file.h"
#include "tools/hddiag/scanning/scan_runner.h"
#include "tools/hddiag/scanning/scan_targets.h"
#include "tools/hddiag/text/text_escape.h"

namespace hddiag {

namespace {

// The disks named (by number or device), in order and each once; every disk
// when none is named.
bool ChooseCheckDisks(const std::vector<ScanDiskInfo>& disks, const std::vector<std::string>& names,
                      std::vector<const ScanDiskInfo*>& chosen, std::string& error)
{
    if (names.empty()) {
        for (const ScanDiskInfo& d : disks) {
            chosen.push_back(&d);
        }
        if (chosen.empty()) {
            error = "check: there is no disk to check";
            return false;
        }
        return true;
    }
    for (const std::string& name : names) {
        const std::optional<TargetName> number = ParseTargetName(name);
        const ScanDiskInfo* disk = number && number->partition == 0 ? FindScanDisk(disks, number->disk)
                                                                     : FindDiskByDevice(disks, name);
        if (disk == nullptr) {
            error = "check: no disk '" + Printable(name) + "': give a disk number (1) or its device (/dev/sdb)";
            return false;
        }
        if (std::find(chosen.begin(), chosen.end(), disk) == chosen.end()) {
            chosen.push_back(disk);
        }
    }
    return true;
}

// The machine's smartctl outputs and self-tests, or smartctl itself.
struct Sources {
    std::unique_ptr<HealthSource> health;
    std::unique_ptr<SelfTestDriver> selfTest;
};

bool OpenSources(const Options& options, Sources& s, std::string& error)
{
    if (options.machine.empty()) {
        s.health = SmartctlHealth(options.smartctlTypes);
        s.selfTest = SmartctlSelfTests(options.smartctlTypes);
        return true;
    }
    hdd::sim::MachineDescription d;
    if (!LoadMachineDescription(options.machine, d, error)) {
        return false;
    }
    std::vector<std::string> outputs;
    for (const hdd::sim::SimDisk& disk : d.disks) {
        outputs.push_back(disk.smartctlJson);
    }
    s.health = MachineHealth(outputs);
    s.selfTest = MachineSelfTests(d);
    return true;
}

ScanFacts ScanFactsOf(const Options& options, const ScanDiskInfo& disk, const TargetFigures* figures)
{
    ScanFacts s;
    s.asked = !options.noScan;
    s.sectorBytes = disk.sectorSize;
    s.slowMs = options.scan.slowMs;
    if (!s.asked) {
        return s;
    }
    if (figures == nullptr) {
        s.endText = !disk.unusable.empty() ? "the disk cannot be read: " + disk.unusable : "the check was stopped first";
        return s;
    }
    const TargetOutcome& o = *figures->outcome;
    s.ran = o.ran;
    s.end = o.result.end;
    s.endText = !figures->scan->SeamError().empty() ? "cannot be read: " + figures->scan->SeamError() : EndText(o);
    s.unreadableSectors = figures->unreadableSectors;
    s.unreadable = figures->unreadableAreas;
    s.untriedSectors = figures->untriedSectors;
    s.slowAreas = o.result.slowAreas;
    return s;
}

}  // namespace

int RunCheckCommand(const Options& options, AppIo& io, HealthSource* healthOverride, SelfTestDriver* selfTestOverride)
{
    std::string error;
    const std::unique_ptr<ScanSource> source = OpenScanSourceFor(options, options.checkDisks, error);
    std::vector<const ScanDiskInfo*> chosen;
    Sources sources;
    if (!source || !ChooseCheckDisks(source->Disks(), options.checkDisks, chosen, error) ||
        !OpenSources(options, sources, error)) {
        io.err << "hddiag: " << error << '\n';
        return kExitUsage;
    }
    HealthSource& health = healthOverride != nullptr ? *healthOverride : *sources.health;
    SelfTestDriver& selfTest = selfTestOverride != nullptr ? *selfTestOverride : *sources.selfTest;

    // Each usable disk is scanned whole, on a reader of its own.
    std::vector<std::vector<DiskTarget>> groups;
    std::vector<const DiskRow*> readers;
    std::vector<DiskRow> rows;
    for (const ScanDiskInfo* disk : chosen) {
        rows.push_back(disk->row);
        if (!options.noScan && disk->unusable.empty()) {
            std::vector<DiskTarget> whole;
            if (!ResolveTargets({std::to_string(disk->row.disk)}, source->Disks(), whole, error)) {
                io.err << "hddiag: " << error << '\n';
                return kExitUsage;
            }
            groups.push_back(whole);
            readers.push_back(&disk->row);
        }
    }
    ScanFiles files;
    if (!files.Prepare(options, host::FilesThisRunReads(options), readers, error)) {
        io.err << "hddiag: " << error << '\n';
        return kExitUsage;
    }
    const std::string note = health.Note();
    if (!note.empty()) {
        io.err << "hddiag: health not read: " << note << '\n';
    }

    CheckRun run;
    const std::vector<DiskHealth> before = ReadHealth(health, rows);
    std::vector<SelfTestOutcome> selfTests(rows.size());
    if (!options.selfTest.empty()) {
        selfTests = RunSelfTests(
            selfTest, rows, options.selfTest, io.interrupt,
            [&io](const DiskRow& row, const SelfTestProgress& p) {
                io.err << "check disk " << row.disk << " (" << Printable(row.device) << "): self-test "
                       << (p.running ? "running" : "ended")
                       << (p.percentLeft ? ", " + std::to_string(*p.percentLeft) + "% left" : std::string()) << '\n';
            },
            [](DWORD ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); });
    }
    run.interrupted = io.interrupt != nullptr && io.interrupt->load();
    std::vector<std::unique_ptr<DiskScan>> scans;
    if (!groups.empty() && !run.interrupted) {
        if (!RunScanReaders(options, *source, groups, files, "Written by hddiag " HDDIAG_VERSION ", check", io, scans,
                            error)) {
            io.err << "hddiag: " << error << '\n';
            return kExitUsage;
        }
    }
    run.interrupted = io.interrupt != nullptr && io.interrupt->load();
    run.scan = CollectScanRun(scans, run.interrupted);
    run.endTime = run.scan.endTime;
    const std::vector<DiskHealth> after = ReadHealth(health, rows);

    for (size_t i = 0; i < chosen.size(); ++i) {
        DiskCheck d;
        d.row = rows[i];
        for (const TargetFigures& t : run.scan.targets) {
            if (t.Disk().row.disk == rows[i].disk) {
                d.figures = &t;
            }
        }
        d.facts.disk = rows[i].disk;
        d.facts.before = before[i];
        d.facts.after = after[i];
        d.facts.selfTest = selfTests[i];
        d.facts.scan = ScanFactsOf(options, *chosen[i], d.figures);
        d.verdict = JudgeCheck(d.facts);
        run.disks.push_back(std::move(d));
    }

    if (options.json) {
        PrintCheckJson(io.out, run);
    } else {
        PrintCheckSummary(io.out, run);
    }
    files.Write(std::string(),
                files.WantsReport()
                    ? CheckReportPage(run, options.machine.empty() ? std::string("this machine's disks") : options.machine)
                    : std::string(),
                files.WantsMetrics() ? CheckMetricsText(run) : std::string(), io.err);
    return CheckExitCode(run);
}

}  // namespace hddiag
