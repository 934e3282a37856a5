// What the live view adds to every read: sector reads on an instant simulated
// disk through the timing seam, recording every read, without and with the
// view (its map fed on every read, the frame deadline compared on every read,
// frames drawn into a discarding stream). On the simulated machine's clock
// an instant disk never reaches a frame deadline; on the host's clock frames
// are drawn ten times a second, as on a real disk. The difference of
// time_per_read between "view:0" and "view:1" of the same clock is the cost;
// RecordRead shows the recording of a read alone, without and with the map.
//
//   build/native/bench/hddiag_view_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>

#include <memory>
#include <optional>
#include <ostream>
#include <streambuf>

#include "bench_machine.h"
#include "drive/device.h"
#include "drive/device_handle.h"
#include "platform/os_api.h"
#include "platform/sim/sim_machine.h"
#include "tools/hddiag/latency/latency_clock.h"
#include "tools/hddiag/latency/latency_recorder.h"
#include "tools/hddiag/latency/timed_os.h"
#include "tools/hddiag/view/map_view.h"

namespace {

class Discard final : public std::streambuf {
protected:
    int overflow(int c) override { return c; }
    std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

enum ClockKind { kSimClock, kHostClock };

void ReadTestSector(benchmark::State& state)
{
    const ULONGLONG partition = 8192ull * 10000;
    hdd::sim::SimMachine machine(hdd::bench::BenchMachine(partition));
    machine.SetRecording(false);
    hdd::ScopedOsApi machineScope(machine);
    hddiag::SimMachineClock simClock(machine);
    hddiag::HostClock hostClock;
    hddiag::LatencyClock& clock =
        state.range(0) == kSimClock ? static_cast<hddiag::LatencyClock&>(simClock) : hostClock;
    hddiag::TimedOs timed(machine, clock);
    hdd::ScopedOsApi timedScope(timed);
    hddiag::LatencyRecorder recorder;
    Discard discard;
    std::ostream sink(&discard);
    std::optional<hddiag::MapView> view;
    hddiag::TestRecord record;
    record.selector = "0-2";
    if (state.range(1) != 0) {
        hddiag::MapViewSettings settings;
        settings.colour = hddiag::ColourMode::Ansi;
        settings.size = [] { return hddiag::host::TerminalSize{120, 40}; };
        settings.wallClock = &hostClock;
        view.emplace(sink, clock, timed, recorder, settings);
        view->SetReportItems({hddiag::ReportItem{0, 2, static_cast<LONGLONG>(partition / 2048), 'D'}});
        view->OnTestStart(record, 0, 1);
    }
    recorder.Begin(clock.NowNanoseconds());
    timed.Attach(&recorder);
    hdd::DeviceHandle drive(hdd::OpenPhysicalDrive(0));
    ULONGLONG sector = 2048;
    for (auto _ : state) {
        benchmark::DoNotOptimize(hdd::ReadTestSector(drive.Get(), sector, hdd::bench::kBenchSectorBytes));
        sector = sector + 8192 < partition ? sector + 8192 : 2048 + (sector + 1) % 8192;
    }
    timed.Attach(nullptr);
    if (view) {
        view->OnTestEnd(record, 0, 1);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
    state.counters["time_per_read"] = benchmark::Counter(static_cast<double>(state.iterations()),
                                                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// The recording of one read alone, without the machine's own cost around it:
// what feeding the map adds, with less noise than a whole read.
void RecordRead(benchmark::State& state)
{
    hddiag::LatencyRecorder recorder;
    hddiag::ReadMap map;
    map.Begin({{2048, 2048 + 8192ull * 10000}});
    recorder.Begin(0);
    if (state.range(0) != 0) {
        recorder.Feed(&map);
    }
    ULONGLONG sector = 2048;
    ULONGLONG ns = 1000;
    for (auto _ : state) {
        recorder.RecordSuccess(sector, ns);
        sector = sector + 8192 < 8192ull * 10000 ? sector + 8192 : 2048;
        ns = (ns * 7 + 13) % 9000000;  // mostly fast, a few slower classes
    }
    benchmark::DoNotOptimize(map.Reads());
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}

}  // namespace

BENCHMARK(RecordRead)->ArgName("view")->Arg(0)->Arg(1);
BENCHMARK(ReadTestSector)->ArgNames({"clock", "view"})->ArgsProduct({{kSimClock, kHostClock}, {0, 1}});

BENCHMARK_MAIN();
