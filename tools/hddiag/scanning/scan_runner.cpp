#include "tools/hddiag/scanning/scan_runner.h"

#include <atomic>
#include <chrono>
#include <optional>
#include <thread>

#include "platform/sim/machine_description.h"
#include "tools/hddiag/host/host.h"
#include "tools/hddiag/host/output_file.h"
#include "tools/hddiag/host/terminal.h"
#include "tools/hddiag/scanning/scan_lines.h"
#include "tools/hddiag/scanning/scan_view.h"
#include "tools/hddiag/session/machine_file.h"
#include "tools/hddiag/text/text_escape.h"
#include "tools/hddiag/view/view_choice.h"
#include "tools/hddiag/view/view_mode.h"

namespace hddiag {

namespace {

constexpr auto kFrame = std::chrono::milliseconds(100);

struct ViewChoice {
    ViewMode mode = ViewMode::None;
    ColourMode colour = ColourMode::Off;
};

ViewChoice ChooseScanView(const Options& options, const AppIo& io)
{
    ViewEnvironment env;
    ViewChoice choice;
    choice.mode = ChooseView(options, io, true, &env);
    choice.colour = ChooseColour(options.color, env) ? ColourMode::Ansi : ColourMode::Off;
    return choice;
}

}  // namespace

std::unique_ptr<ScanSource> OpenScanSourceFor(const Options& options, const std::vector<std::string>& names,
                                              std::string& error)
{
    if (options.machine.empty()) {
        std::vector<LONG> disks;
        for (const std::string& t : names) {
            if (const std::optional<TargetName> name = ParseTargetName(t)) {
                disks.push_back(name->disk);
            } else if (const std::optional<LONG> drive = PhysicalDriveNumber(t)) {
                disks.push_back(*drive);
            }
        }
        return host::OpenScanSource(options, disks, error);
    }
    hdd::sim::MachineDescription description;
    if (!LoadMachineDescription(options.machine, description, error)) {
        return nullptr;
    }
    return SimulatedScanSource(std::move(description), options.pace);
}

bool RunScanReaders(const Options& options, ScanSource& source, const std::vector<std::vector<DiskTarget>>& groups,
                    ScanFiles& files, const std::string& mapComment, AppIo& io,
                    std::vector<std::unique_ptr<DiskScan>>& scans, std::string& error)
{
    const ScanCommandOptions& scan = options.scan;
    // Every map is read (and a wrong one refused) before any disk is.
    std::vector<hdd::scan::RangeMap> maps(groups.size());
    std::vector<bool> loaded(groups.size(), false);
    std::vector<std::vector<hdd::scan::SlowArea>> slow(groups.size());
    for (size_t i = 0; i < groups.size(); ++i) {
        const ScanDiskInfo& disk = *FindScanDisk(source.Disks(), groups[i].front().disk);
        maps[i].Reset(disk.row.size);
        bool found = false;
        const hdd::scan::MapCheck check = scan.mapForce ? hdd::scan::MapCheck::Geometry : hdd::scan::MapCheck::Identity;
        if (!files.LoadMap(i, MapIdentityOf(disk), check, maps[i], found, slow[i], error)) {
            return false;
        }
        loaded[i] = found;
    }
    // Before any reader starts, so the line comes ahead of the view.
    for (size_t i = 0; i < groups.size(); ++i) {
        if (loaded[i]) {
            io.err << ResumeLine(*FindScanDisk(source.Disks(), groups[i].front().disk), groups[i], maps[i]) << '\n';
        }
    }

    const ViewChoice view = ChooseScanView(options, io);
    std::optional<ScanLines> lines;
    if (view.mode == ViewMode::Lines) {
        lines.emplace(io.err);
    }
    scans.clear();
    for (size_t i = 0; i < groups.size(); ++i) {
        const ScanDiskInfo& disk = *FindScanDisk(source.Disks(), groups[i].front().disk);
        DiskScanSettings settings;
        settings.engine.blockBytes = scan.blockSize;
        settings.engine.slowNs = static_cast<ULONGLONG>(scan.slowMs) * 1000000ull;
        settings.engine.scrape = scan.scrape;
        settings.engine.saveIntervalNs = static_cast<ULONGLONG>(scan.saveIntervalSeconds * 1e9);
        settings.engine.stop = io.interrupt;
        settings.mapPath = files.MapPath(i);
        settings.comments = {mapComment};
        settings.lines = lines ? &*lines : nullptr;
        std::string why;
        std::unique_ptr<DiskSeam> seam = source.OpenDisk(disk.row.disk, why);
        const bool opened = seam != nullptr;
        scans.push_back(std::make_unique<DiskScan>(disk, groups[i], std::move(seam), std::move(maps[i]), loaded[i],
                                                   std::move(settings)));
        scans.back()->SetEarlierSlowAreas(std::move(slow[i]));
        if (!opened) {
            scans.back()->SetSeamError(why.empty() ? std::string("its device cannot be opened") : why);
        }
    }

    // One reader per disk; the main thread draws.
    std::vector<std::thread> readers;
    std::atomic<size_t> running{scans.size()};
    for (const std::unique_ptr<DiskScan>& s : scans) {
        DiskScan* scanOfDisk = s.get();
        readers.emplace_back([scanOfDisk, &running] {
            scanOfDisk->Run();
            --running;
        });
    }
    std::optional<ScanMapView> mapView;
    if (view.mode == ViewMode::Map) {
        const bool terminal = io.errIsTerminal;
        mapView.emplace(io.err, view.colour, [terminal] {
            const host::TerminalSize fallback{};
            return terminal ? host::StderrTerminalSize(fallback) : fallback;
        });
        while (running.load() > 0) {
            mapView->Draw(scans);
            std::this_thread::sleep_for(kFrame);
        }
    }
    for (std::thread& reader : readers) {
        reader.join();
    }
    if (mapView) {
        mapView->Draw(scans);
        mapView->Finish();
    }

    return true;
}

}  // namespace hddiag
