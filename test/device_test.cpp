// The device primitives over the simulated machine: the rules of the
// geometry record, the seek-and-read rule, the random draw, the bus check
// and the volume lookups.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "drive/device.h"
#include "drive/device_handle.h"
#include "platform/sim/sim_machine.h"

namespace hdd {
namespace {

using sim::CallKind;
using sim::Fault;
using sim::FaultOp;

constexpr ULONGLONG kMiB = 1048576;

sim::SimDisk Disk(DWORD bus, DWORD media, DWORD bytesPerSector = 512)
{
    sim::SimDisk d;
    d.bus = bus;
    d.media = media;
    d.cylinders = 64;
    d.tracksPerCylinder = 255;
    d.sectorsPerTrack = 63;
    d.bytesPerSector = bytesPerSector;
    d.size = 64ull * 255 * 63 * 512;
    return d;
}

// Disk 0: SATA with C: (partition 1) and D: (partition 2); disk 1: a USB
// stick with E:; disk 2: SATA reporting 4096-byte sectors, 1000 bytes short
// of whole sectors at its end. S: spans disks 0 and 1; R: cannot be opened.
sim::MachineDescription Machine()
{
    sim::MachineDescription m;
    m.disks.push_back(Disk(BusTypeSata, FixedMedia));
    m.disks[0].partitions = {{1, kMiB, 100 * kMiB, L'C'}, {2, 101 * kMiB, 100 * kMiB, L'D'}};
    m.disks.push_back(Disk(BusTypeUsb, RemovableMedia));
    m.disks[1].partitions = {{1, kMiB, 10 * kMiB, L'E'}};
    m.disks.push_back(Disk(BusTypeSata, FixedMedia, 4096));
    m.disks[2].size = 10 * kMiB + 100;
    m.volumes.push_back(sim::SimVolume{L'S', 0, {{0, 300 * kMiB, kMiB}, {1, 20 * kMiB, kMiB}}});
    m.unopenableLetters = {L'R'};
    return m;
}

class DevicePrimitives : public ::testing::Test {
protected:
    DevicePrimitives() : m(Machine()), scope(m) {}
    ~DevicePrimitives() override { EXPECT_EQ(m.OpenHandleCount(), 0u); }

    size_t CountOf(CallKind kind) const
    {
        size_t n = 0;
        for (const sim::CallRecord& c : m.Calls()) {
            n += c.kind == kind ? 1 : 0;
        }
        return n;
    }

    sim::SimMachine m;
    ScopedOsApi scope;
};

// ---- opening -------------------------------------------------------------------------

TEST_F(DevicePrimitives, PhysicalDrivesOpenForSharedReading)
{
    DeviceHandle drive(OpenPhysicalDrive(2));
    ASSERT_TRUE(drive.IsOpen());
    EXPECT_FALSE(DeviceHandle(OpenPhysicalDrive(3)).IsOpen());
    EXPECT_FALSE(DeviceHandle(OpenPhysicalDrive(-1)).IsOpen());
    const sim::CallRecord& open = m.Calls().front();
    EXPECT_EQ(open.path, L"\\\\.\\PHYSICALDRIVE2");
    EXPECT_EQ(open.access, GENERIC_READ);
    EXPECT_EQ(open.share, static_cast<DWORD>(FILE_SHARE_READ | FILE_SHARE_WRITE));
    EXPECT_EQ(open.disposition, static_cast<DWORD>(OPEN_EXISTING));
    EXPECT_EQ(open.flags, static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(m.Calls()[2].path, L"\\\\.\\PHYSICALDRIVE-1");
}

// ---- the geometry record ------------------------------------------------------------------

TEST_F(DevicePrimitives, GeometryVerdictFollowsTheRecord)
{
    struct Row {
        const char* what;
        LONG disk;
        ULONGLONG failNth;  // geometry request that fails, 0 none
        int requests;       // sent on one record, zero-filled once
        bool testable;
        DWORD bytesPerSector;  // in the record afterwards
    };
    const Row rows[] = {
        {"fixed disk", 0, 0, 1, true, 512},
        {"fixed disk, 4096-byte sectors", 2, 0, 1, true, 4096},
        {"removable stick", 1, 0, 1, false, 512},
        {"first request fails on a zeroed record", 0, 1, 1, false, 0},
        {"a later failure keeps the earlier answer", 0, 2, 2, true, 512},
        {"a failure after a removable answer", 1, 2, 2, false, 512},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        m.ClearFaults();
        if (row.failNth != 0) {
            m.AddFault(Fault{FaultOp::Ioctl, L"", IOCTL_DISK_GET_DRIVE_GEOMETRY, -1, row.failNth, 0});
        }
        DeviceHandle drive(OpenPhysicalDrive(row.disk));
        DriveGeometry geometry;
        std::memset(&geometry, 0, sizeof geometry);
        bool testable = false;
        for (int i = 0; i < row.requests; ++i) {
            testable = QueryDriveGeometry(drive.Get(), geometry);
        }
        EXPECT_EQ(testable, row.testable);
        EXPECT_EQ(geometry.BytesPerSector, row.bytesPerSector);
    }
}

TEST_F(DevicePrimitives, GeometryOfANullHandleIsNotAsked)
{
    DriveGeometry geometry;
    std::memset(&geometry, 0, sizeof geometry);
    geometry.MediaType = FixedMedia;  // whatever the record says
    EXPECT_FALSE(QueryDriveGeometry(nullptr, geometry));
    EXPECT_EQ(geometry.MediaType, FixedMedia);
    EXPECT_TRUE(m.Calls().empty());
}

TEST_F(DevicePrimitives, FixedMediaAloneMakesADriveTestable)
{
    // A fixed disk with an odd geometry is still testable; the verdict
    // looks at the media type only.
    sim::MachineDescription d = Machine();
    d.disks[0].sectorsPerTrack = 1;
    d.disks[0].tracksPerCylinder = 1;
    d.disks[0].cylinders = 0;
    sim::SimMachine odd(d);
    ScopedOsApi inner(odd);
    DeviceHandle drive(OpenPhysicalDrive(0));
    DriveGeometry geometry{};
    EXPECT_TRUE(QueryDriveGeometry(drive.Get(), geometry));
    EXPECT_EQ(geometry.Cylinders.QuadPart, 0);
    drive.Close();
    EXPECT_EQ(odd.OpenHandleCount(), 0u);
}

// ---- reading one sector ---------------------------------------------------------------------

TEST_F(DevicePrimitives, ReadsTakeOneWholeSectorOfTheDrive)
{
    // Sector P lies at byte P x the drive's sector size and is read whole:
    // sector 3 of the 4096-byte disk 2 at byte 12,288.
    struct Row {
        LONG disk;
        ULONGLONG sector;
    };
    const Row rows[] = {{0, 0}, {0, 3}, {2, 3}, {2, 2559}, {2, 20479}, {0, 0x900000}};
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(row.disk) + "-" + std::to_string(row.sector));
        m.ClearCalls();
        const sim::SimDisk& disk = m.Description().disks[row.disk];
        DeviceHandle drive(OpenPhysicalDrive(row.disk));
        const bool inside = row.sector * disk.bytesPerSector < disk.size;
        EXPECT_EQ(ReadTestSector(drive.Get(), row.sector, disk.bytesPerSector), inside);
        const std::vector<sim::CallRecord>& calls = m.Calls();
        ASSERT_GE(calls.size(), 3u);
        EXPECT_EQ(calls[1].kind, CallKind::Seek);
        EXPECT_EQ(calls[1].offset, row.sector * disk.bytesPerSector);
        EXPECT_EQ(calls[2].kind, CallKind::Read);
        EXPECT_EQ(calls[2].bytes, disk.bytesPerSector);
        EXPECT_EQ(m.Reads().back(), (sim::SectorRead{row.disk, row.sector}));
    }
}

TEST_F(DevicePrimitives, SectorSizesOutsideTheSupportedOnesReadNothing)
{
    DeviceHandle drive(OpenPhysicalDrive(0));
    m.ClearCalls();
    // Failed even with last error 0: nothing was read.
    for (DWORD bytes : {0u, 256u, 520u, 1536u, 8192u, 65536u}) {
        SCOPED_TRACE(bytes);
        m.SetLastError(0);
        EXPECT_FALSE(ReadTestSector(drive.Get(), 3, bytes));
    }
    EXPECT_TRUE(m.Calls().empty());
}

TEST_F(DevicePrimitives, ReadVerdicts)
{
    struct Row {
        const char* what;
        LONG disk;
        ULONGLONG sector;
        Fault fault;
        bool useFault;
        bool done;
        size_t reads;  // ReadFile calls made
    };
    const ULONGLONG lastOfDisk2 = (10 * kMiB + 100) / 4096;  // 100 bytes left there
    const Row rows[] = {
        {"plain read", 0, 7, {}, false, true, 1},
        {"past the end", 0, 64ull * 255 * 63, {}, false, false, 1},
        {"a short read counts as done", 2, lastOfDisk2, {}, false, true, 1},
        {"read error", 0, 7, {FaultOp::Read, L"", 0, 0, 1, 0}, true, false, 1},
        {"seek error: no read follows", 0, 7, {FaultOp::Seek, L"", 0, 0, 1, 0}, true, false, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        m.ClearFaults();
        m.ClearCalls();
        if (row.useFault) {
            m.AddFault(row.fault);
        }
        DeviceHandle drive(OpenPhysicalDrive(row.disk));
        EXPECT_EQ(ReadTestSector(drive.Get(), row.sector, m.Description().disks[row.disk].bytesPerSector), row.done);
        EXPECT_EQ(CountOf(CallKind::Read), row.reads);
    }
}

TEST_F(DevicePrimitives, NoHandleMeansNoReadAndTheLastErrorDecides)
{
    for (HANDLE h : {static_cast<HANDLE>(nullptr), INVALID_HANDLE_VALUE}) {
        m.SetLastError(0);
        EXPECT_TRUE(ReadTestSector(h, 5, 512));  // nothing reported a failure
        m.SetLastError(ERROR_INVALID_HANDLE);
        EXPECT_FALSE(ReadTestSector(h, 5, 512));
    }
    EXPECT_TRUE(m.Calls().empty());
}

// A seam that reports every read as failed without a last-error code, as a
// driver may; everything else goes to the machine.
class SilentReadFailures final : public OsApi {
public:
    explicit SilentReadFailures(OsApi& inner) : m_inner(inner) {}
    HANDLE CreateFileW(LPCWSTR a, DWORD b, DWORD c, LPSECURITY_ATTRIBUTES d, DWORD e, DWORD f, HANDLE g) override
    {
        return m_inner.CreateFileW(a, b, c, d, e, f, g);
    }
    BOOL DeviceIoControl(HANDLE a, DWORD b, LPVOID c, DWORD d, LPVOID e, DWORD f, LPDWORD g, LPOVERLAPPED h) override
    {
        return m_inner.DeviceIoControl(a, b, c, d, e, f, g, h);
    }
    DWORD SetFilePointer(HANDLE a, LONG b, PLONG c, DWORD d) override { return m_inner.SetFilePointer(a, b, c, d); }
    BOOL ReadFile(HANDLE, LPVOID, DWORD, LPDWORD read, LPOVERLAPPED) override
    {
        *read = 0;
        m_inner.SetLastError(0);
        return FALSE;
    }
    BOOL CloseHandle(HANDLE a) override { return m_inner.CloseHandle(a); }
    DWORD GetLastError() override { return m_inner.GetLastError(); }
    void SetLastError(DWORD e) override { m_inner.SetLastError(e); }
    DWORD GetLogicalDrives() override { return m_inner.GetLogicalDrives(); }
    DWORD GetTickCount() override { return m_inner.GetTickCount(); }
    void Sleep(DWORD ms) override { m_inner.Sleep(ms); }
    errno_t rand_s(unsigned int* w) override { return m_inner.rand_s(w); }

private:
    OsApi& m_inner;
};

TEST_F(DevicePrimitives, AFailureWithoutErrorCodeCountsAsDone)
{
    SilentReadFailures silent(m);
    ScopedOsApi inner(silent);
    DeviceHandle drive(OpenPhysicalDrive(0));
    EXPECT_TRUE(ReadTestSector(drive.Get(), 9, 512));
}

// ---- the random draw ------------------------------------------------------------------------

// A word whose bits 7-14 hold `byte`, with noise around them.
unsigned int WordWithByte(unsigned int byte) { return 0xA5A50000u | (byte << 7) | 0x55u; }

TEST_F(DevicePrimitives, RandomValueIsBuiltFromBits7To14WordZeroFirst)
{
    std::vector<unsigned int> words;
    for (unsigned int b = 1; b <= 8; ++b) {
        words.push_back(WordWithByte(b));
    }
    m.QueueRandomWords(words);
    EXPECT_EQ(RandomInRange(0, 0xFFFFFFFFFFFFFFFFull), 0x0102030405060708ull);
    m.QueueRandomWords(words);
    EXPECT_EQ(RandomInRange(100, 100 + 0x1000), 100 + 0x708u);  // v mod 0x1000
    EXPECT_EQ(m.RandomCallCount(), 16u);
}

TEST_F(DevicePrimitives, RandomRangeEdges)
{
    // Equal bounds draw nothing.
    EXPECT_EQ(RandomInRange(5, 5), 5u);
    EXPECT_EQ(m.RandomCallCount(), 0u);

    // Swapped bounds behave like ordered ones, and the upper bound is never
    // reached.
    for (unsigned int b = 0; b < 256; b += 17) {
        SCOPED_TRACE(b);
        const std::vector<unsigned int> words(8, WordWithByte(b));
        m.QueueRandomWords(words);
        const ULONGLONG ordered = RandomInRange(3, 9);
        m.QueueRandomWords(words);
        EXPECT_EQ(RandomInRange(9, 3), ordered);
        EXPECT_GE(ordered, 3u);
        EXPECT_LE(ordered, 8u);
        m.QueueRandomWords(words);
        EXPECT_EQ(RandomInRange(0, 1), 0u);
    }
    // From the generator too.
    for (int i = 0; i < 200; ++i) {
        EXPECT_EQ(RandomInRange(0, 1), 0u);
        const ULONGLONG v = RandomInRange(9, 3);
        EXPECT_TRUE(v >= 3 && v <= 8) << v;
    }
}

TEST_F(DevicePrimitives, AFailedDrawGivesAllOnesAndStopsDrawing)
{
    for (ULONGLONG nth = 1; nth <= 8; ++nth) {
        SCOPED_TRACE(nth);
        sim::SimMachine fresh(Machine());
        ScopedOsApi inner(fresh);
        fresh.AddFault(Fault{FaultOp::Random, L"", 0, -1, nth, 0});
        EXPECT_EQ(RandomInRange(0, 1000), HDD_RANDOM_FAILED);
        EXPECT_EQ(fresh.RandomCallCount(), nth);
    }
}

// ---- bus and volume lookups ----------------------------------------------------------------

TEST_F(DevicePrimitives, OnlyAtaRaidAndSataBusesAreSupported)
{
    struct Row {
        DWORD bus;
        bool supported;
    };
    const Row rows[] = {{BusTypeAta, true},   {BusTypeRAID, true},  {BusTypeSata, true},
                        {BusTypeUsb, false},  {BusTypeScsi, false}, {BusTypeSas, false},
                        {BusTypeAtapi, false}, {BusType1394, false}, {BusTypeNvme, false},
                        {BusTypeUnknown, false}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.bus);
        sim::MachineDescription d;
        d.disks.push_back(Disk(row.bus, FixedMedia));
        sim::SimMachine machine(d);
        ScopedOsApi inner(machine);
        DeviceHandle drive(OpenPhysicalDrive(0));
        EXPECT_EQ(IsSupportedBus(drive.Get()), row.supported);
        drive.Close();
        EXPECT_EQ(machine.OpenHandleCount(), 0u);
    }
}

TEST_F(DevicePrimitives, BusCheckFailsClosedWithoutAnAnswer)
{
    EXPECT_FALSE(IsSupportedBus(nullptr));
    EXPECT_FALSE(IsSupportedBus(INVALID_HANDLE_VALUE));
    EXPECT_TRUE(m.Calls().empty());
    m.AddFault(Fault{FaultOp::Ioctl, L"", IOCTL_STORAGE_QUERY_PROPERTY, -1, 0, 0});
    DeviceHandle drive(OpenPhysicalDrive(0));
    EXPECT_FALSE(IsSupportedBus(drive.Get()));
    // The query went out as the standard query of the device property.
    const sim::CallRecord& request = m.Calls().back();
    EXPECT_EQ(request.code, IOCTL_STORAGE_QUERY_PROPERTY);
    EXPECT_EQ(request.inSize, 12u);
    EXPECT_EQ(request.outSize, 512u);
}

TEST_F(DevicePrimitives, VolumeLookups)
{
    struct Row {
        WCHAR letter;
        LONG disk;
        LONG partition;
    };
    const Row rows[] = {
        {L'C', 0, 1},
        {L'D', 0, 2},
        {L'E', 1, 1},
        {L'S', HDD_UNKNOWN_DISK, HDD_UNKNOWN_PARTITION},  // two disks; no partition number either
        {L'R', HDD_UNKNOWN_DISK, HDD_UNKNOWN_PARTITION},  // cannot be opened
        {L'Q', HDD_UNKNOWN_DISK, HDD_UNKNOWN_PARTITION},  // no such volume
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(static_cast<char>(row.letter));
        EXPECT_EQ(VolumeDiskNumber(row.letter), row.disk);
        EXPECT_EQ(VolumePartitionNumber(row.letter), row.partition);
        EXPECT_EQ(m.OpenHandleCount(), 0u);
    }
}

TEST_F(DevicePrimitives, VolumeLookupsFailWhenTheirRequestFails)
{
    m.AddFault(Fault{FaultOp::Ioctl, L"\\\\.\\D:", 0, -1, 0, 0});
    EXPECT_EQ(VolumeDiskNumber(L'D'), HDD_UNKNOWN_DISK);
    EXPECT_EQ(VolumePartitionNumber(L'D'), HDD_UNKNOWN_PARTITION);
    EXPECT_EQ(VolumeDiskNumber(L'C'), 0);
    // Each lookup opened the volume with normal attributes and closed it.
    EXPECT_EQ(CountOf(CallKind::Open), 3u);
    EXPECT_EQ(CountOf(CallKind::Close), 3u);
    EXPECT_EQ(m.Calls().front().flags, static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(m.Calls()[1].outSize, 32u);  // room for one extent
}

}  // namespace
}  // namespace hdd
