// What hddiag's timing of every read costs: the disk tests and the read
// primitive on an instant simulated disk, plain, through the timing seam with
// no recorder attached, and recording every read (the front end's normal
// state during a test). Compare time_per_read between the variants; run with
// --benchmark_repetitions=10 --benchmark_report_aggregates_only=true on a
// quiet machine.
#include <benchmark/benchmark.h>

#include <optional>

#include "bench_machine.h"
#include "drive/device.h"
#include "drive/device_handle.h"
#include "object/chdd_object.h"
#include "platform/os_api.h"
#include "platform/sim/sim_machine.h"
#include "support/object_state.h"
#include "tools/hddiag/latency/latency_clock.h"
#include "tools/hddiag/latency/latency_recorder.h"
#include "tools/hddiag/latency/timed_os.h"

namespace {

using hdd::CCHDDObject;
using hdd::bench::BenchMachine;
using hdd::bench::kBenchSectorBytes;

enum Timing { kPlain, kDetached, kRecording };

// The seam as hddiag sets it up: the machine, then the timing seam over it.
class Seam {
public:
    Seam(hdd::sim::SimMachine& machine, Timing timing) : m_clock(machine), m_timed(machine, m_clock)
    {
        if (timing != kPlain) {
            m_scope.emplace(m_timed);
        }
        if (timing == kRecording) {
            m_recorder.Begin(m_clock.NowNanoseconds());
            m_timed.Attach(&m_recorder);
        }
    }
    ~Seam() { m_timed.Attach(nullptr); }

private:
    hddiag::SimMachineClock m_clock;
    hddiag::TimedOs m_timed;
    hddiag::LatencyRecorder m_recorder;
    std::optional<hdd::ScopedOsApi> m_scope;
};

void SetPerRead(benchmark::State& state, double reads)
{
    state.SetItemsProcessed(static_cast<int64_t>(reads));
    state.counters["time_per_read"] =
        benchmark::Counter(reads, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void SurfaceScan(benchmark::State& state)
{
    hdd::sim::SimMachine machine(BenchMachine(252ull * 10000));
    machine.SetRecording(false);
    hdd::ScopedOsApi scope(machine);
    Seam seam(machine, static_cast<Timing>(state.range(0)));
    auto* object = new CCHDDObject;
    object->AddRef();
    hdd::ObjectState::Volumes(*object).push_back(hdd::VolumeEntry{0, 2, L'D'});
    hdd::ObjectState::UnitsPlanned(*object) = 1000000;
    BSTR selector = SysAllocString(L"0-2");
    const ULONGLONG before = machine.ReadCount();
    for (auto _ : state) {
        LONG ret = 0;
        if (object->HDDSurfaceScanTest(selector, &ret) != 0 || ret != 0) {
            state.SkipWithError("the test failed");
            break;
        }
    }
    SetPerRead(state, static_cast<double>(machine.ReadCount() - before));
    SysFreeString(selector);
    object->Release();
}

void ReadTestSector(benchmark::State& state)
{
    hdd::sim::SimMachine machine(BenchMachine(8192ull * 10000));
    machine.SetRecording(false);
    hdd::ScopedOsApi scope(machine);
    Seam seam(machine, static_cast<Timing>(state.range(0)));
    hdd::DeviceHandle drive(hdd::OpenPhysicalDrive(0));
    ULONGLONG sector = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(hdd::ReadTestSector(drive.Get(), sector, kBenchSectorBytes));
        sector = (sector + 8192) % (8192ull * 10000);
    }
    SetPerRead(state, static_cast<double>(state.iterations()));
}

}  // namespace

BENCHMARK(SurfaceScan)->ArgName("timing")->Arg(kPlain)->Arg(kDetached)->Arg(kRecording)->Unit(benchmark::kMillisecond);
BENCHMARK(ReadTestSector)->ArgName("timing")->Arg(kPlain)->Arg(kDetached)->Arg(kRecording);

BENCHMARK_MAIN();
