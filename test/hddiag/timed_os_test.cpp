// The timing seam over a simulated machine: each read the component's own
// primitive makes is recorded once, with its sector, the simulated time of
// its seek and read, and the error of a failed seek or read; every call
// still reaches the machine underneath.
#include <gtest/gtest.h>

#include "drive/device.h"
#include "drive/device_handle.h"
#include "platform/sim/sim_machine.h"
#include "tools/hddiag/latency/latency_text.h"
#include "tools/hddiag/latency/read_map.h"
#include "tools/hddiag/session/result_codes.h"
#include "tools/hddiag/latency/timed_os.h"

namespace hddiag::testing {
namespace {

// Sector 200 holds an unreadable 512-byte unit (its last), sector 100 a slow
// one (its first); the fourth seek fails.
hdd::sim::MachineDescription Machine(DWORD bytesPerSector)
{
    const ULONGLONG units = bytesPerSector / 512;  // 512-byte units per sector
    hdd::sim::SimDisk disk;
    disk.cylinders = 10;
    disk.tracksPerCylinder = 255;
    disk.sectorsPerTrack = 63;
    disk.bytesPerSector = bytesPerSector;
    disk.size = 10ull * 255 * 63 * bytesPerSector;
    disk.latency = {hdd::sim::LatencyModel::FixedMs, 2};
    disk.unreadable = {{200 * units + units - 1, 200 * units + units - 1}};
    disk.slow = {{100 * units, 100 * units, 5}};
    hdd::sim::MachineDescription m;
    m.disks.push_back(disk);
    hdd::sim::Fault seekFault;
    seekFault.op = hdd::sim::FaultOp::Seek;
    seekFault.nth = 4;
    seekFault.error = 87;
    m.faults.push_back(seekFault);
    return m;
}

TEST(TimedOs, RecordsEachSeekAndReadAsOneTimedRead)
{
    // Positions are named in the drive's own sectors, whatever their size.
    for (DWORD bytesPerSector : {512u, 4096u}) {
        SCOPED_TRACE(bytesPerSector);
        hdd::sim::SimMachine machine(Machine(bytesPerSector));
        SimMachineClock clock(machine);
        TimedOs timed(machine, clock);
        hdd::ScopedOsApi scope(timed);
        LatencyRecorder recorder;
        recorder.Begin(clock.NowNanoseconds());
        timed.Attach(&recorder);
        {
            hdd::DeviceHandle drive(hdd::OpenPhysicalDrive(0));
            // The fourth seek (to 300) fails; 200 is unreadable; 100 is slow.
            for (ULONGLONG sector : {10ull, 100ull, 200ull, 300ull, 400ull}) {
                hdd::ReadTestSector(drive.Get(), sector, bytesPerSector);
            }
            timed.Attach(nullptr);
            hdd::ReadTestSector(drive.Get(), 500, bytesPerSector);  // not recorded
        }
        const LatencySummary s = recorder.Finish(clock.NowNanoseconds() - 2000000);
        EXPECT_EQ(s.reads, 5u);
        EXPECT_EQ(s.failedReads, 2u);
        EXPECT_EQ(s.failed, (std::vector<FailedRead>{{200, 23, 2000000}, {300, 87, 0}}));
        EXPECT_EQ(s.slowest, (std::vector<TimedRead>{{100, 7000000}, {10, 2000000}, {400, 2000000}}));
        EXPECT_EQ(s.classes, (std::array<ULONGLONG, kLatencyClassCount>{2, 1, 0, 0, 0, 0}));
        EXPECT_EQ(s.elapsedNs, 4 * 2000000u + 5000000u);
        // Every call went through to the machine, the unrecorded one too.
        EXPECT_EQ(machine.ReadCount(), 5u);
        EXPECT_EQ(machine.OpenHandleCount(), 0u);
    }
}

// A drive that does not open (unplugged between two tests, say) leaves its
// error with the recorder, so a refused test can say why; the last error the
// component then reads is untouched, and only the first failure is kept.
TEST(TimedOs, KeepsTheFirstFailedOpenForTheSummary)
{
    hdd::sim::MachineDescription description = Machine(512);
    hdd::sim::Fault openFault;
    openFault.op = hdd::sim::FaultOp::Open;
    openFault.error = 21;
    description.faults.push_back(openFault);
    hdd::sim::SimMachine machine(description);
    SimMachineClock clock(machine);
    TimedOs timed(machine, clock);
    hdd::ScopedOsApi scope(timed);
    LatencyRecorder recorder;
    recorder.Begin(clock.NowNanoseconds());
    timed.Attach(&recorder);
    EXPECT_EQ(hdd::OpenPhysicalDrive(0), INVALID_HANDLE_VALUE);
    EXPECT_EQ(hdd::Os().GetLastError(), 21u);
    hdd::Os().SetLastError(2);
    machine.SetLastError(2);
    const LatencySummary s = recorder.Finish(clock.NowNanoseconds());
    EXPECT_EQ(s.openError, 21u);
    EXPECT_EQ(FirstFailedReadLine(s), "open failed: " + Win32ErrorText(21));
    recorder.Begin(clock.NowNanoseconds());  // a new test forgets it
    EXPECT_EQ(recorder.Finish(clock.NowNanoseconds()).openError, 0u);
    EXPECT_EQ(FirstFailedReadLine(recorder.Finish(clock.NowNanoseconds())), "");
}

// The live view's two hooks: the frame hook after the first read and then
// whenever a read ends past the deadline it gave; the map beside the recorder.
TEST(TimedOs, CallsTheFrameHookPastItsDeadlineAndFeedsTheMap)
{
    class Frames final : public FrameHook {
    public:
        ULONGLONG OnFrame(ULONGLONG nowNs) override
        {
            calls.push_back(nowNs);
            return nowNs + 5000000;  // every 5 ms at most
        }
        std::vector<ULONGLONG> calls;
    };
    hdd::sim::MachineDescription description = Machine(512);
    description.faults.clear();
    hdd::sim::SimMachine machine(description);
    SimMachineClock clock(machine);
    TimedOs timed(machine, clock);
    hdd::ScopedOsApi scope(timed);
    LatencyRecorder recorder;
    ReadMap map;
    map.Begin({{0, 1000}});
    recorder.Begin(clock.NowNanoseconds());
    recorder.Feed(&map);
    timed.Attach(&recorder);
    Frames frames;
    timed.SetFrameHook(&frames);
    {
        hdd::DeviceHandle drive(hdd::OpenPhysicalDrive(0));
        // 2 ms a read (100 is 5 ms slower, 200 fails after its 2 ms).
        for (ULONGLONG sector : {10ull, 20ull, 30ull, 40ull, 100ull, 200ull, 300ull}) {
            hdd::ReadTestSector(drive.Get(), sector, 512);
        }
        timed.SetFrameHook(nullptr);
        hdd::ReadTestSector(drive.Get(), 400, 512);
    }
    // Reads end at 2, 4, 6, 8, 15, 17, 19 and 21 ms.
    EXPECT_EQ(frames.calls, (std::vector<ULONGLONG>{2000000, 8000000, 15000000}));
    EXPECT_EQ(map.Count(MarkOfLatency(2000000)), 6u);
    EXPECT_EQ(map.Count(MarkOfLatency(7000000)), 1u);
    EXPECT_EQ(map.Count(kFailedMark), 1u);
    EXPECT_EQ(map.FirstFailedSector(), 200u);
    EXPECT_EQ(map.Cell(100), MarkOfLatency(7000000));
    EXPECT_EQ(map.Cell(200), kFailedMark);
    EXPECT_EQ(map.Cell(50), kNotRead);
}

}  // namespace
}  // namespace hddiag::testing
