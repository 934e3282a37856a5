// Cost per sector read of each disk test on an instant simulated disk, with
// the machine's call log off. The device primitive alone is measured too, so
// the tests' own overhead per read can be told from the machine's.
#include <benchmark/benchmark.h>

#include "bench_machine.h"
#include "drive/device.h"
#include "drive/device_handle.h"
#include "object/chdd_object.h"
#include "platform/os_api.h"
#include "platform/sim/sim_machine.h"
#include "support/object_state.h"

namespace {

using hdd::CCHDDObject;
using hdd::bench::BenchMachine;
using hdd::bench::kBenchSectorBytes;

using TestMethod = HRESULT (STDMETHODCALLTYPE CCHDDObject::*)(BSTR, LONG*);

void RunDiskTest(benchmark::State& state, TestMethod method, ULONGLONG partitionSectors)
{
    hdd::sim::SimMachine machine(BenchMachine(partitionSectors));
    machine.SetRecording(false);
    hdd::ScopedOsApi scope(machine);
    auto* object = new CCHDDObject;
    object->AddRef();
    hdd::ObjectState::Volumes(*object).push_back(hdd::VolumeEntry{0, 2, L'D'});
    hdd::ObjectState::UnitsPlanned(*object) = 1000000;  // with time estimates, as in a batch
    BSTR selector = SysAllocString(L"0-2");

    const ULONGLONG readsBefore = machine.ReadCount();
    for (auto _ : state) {
        LONG ret = 0;
        const HRESULT status = (object->*method)(selector, &ret);
        if (status != 0 || ret != 0) {
            state.SkipWithError("the test failed");
            break;
        }
        benchmark::DoNotOptimize(ret);
    }
    const double reads = static_cast<double>(machine.ReadCount() - readsBefore);
    state.SetItemsProcessed(static_cast<int64_t>(reads));
    state.counters["reads_per_call"] = reads / static_cast<double>(state.iterations());
    state.counters["time_per_read"] = benchmark::Counter(reads, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);

    SysFreeString(selector);
    object->Release();
}

void BM_LinearSeek(benchmark::State& state) { RunDiskTest(state, &CCHDDObject::HDDLinearSeekTest, 8192ull * 10000); }
void BM_FunnelSeek(benchmark::State& state) { RunDiskTest(state, &CCHDDObject::HDDFunnelSeekTest, 8192ull * 10000); }
void BM_RandomSeek(benchmark::State& state) { RunDiskTest(state, &CCHDDObject::HDDRandomSeekTest, 8192ull * 10000); }
void BM_SurfaceScan(benchmark::State& state) { RunDiskTest(state, &CCHDDObject::HDDSurfaceScanTest, 252ull * 10000); }

// The primitive alone: seek and read one sector on an open drive.
void BM_ReadTestSectorOnly(benchmark::State& state)
{
    hdd::sim::SimMachine machine(BenchMachine(8192ull * 10000));
    machine.SetRecording(false);
    hdd::ScopedOsApi scope(machine);
    hdd::DeviceHandle drive(hdd::OpenPhysicalDrive(0));
    ULONGLONG sector = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(hdd::ReadTestSector(drive.Get(), sector, kBenchSectorBytes));
        sector = (sector + 8192) % (8192ull * 10000);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
    state.counters["time_per_read"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

}  // namespace

BENCHMARK(BM_LinearSeek)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FunnelSeek)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RandomSeek)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SurfaceScan)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadTestSectorOnly);

BENCHMARK_MAIN();
