// The simulated machine as the component relies on it: the platform's
// answers and failures, recording, the clock, latency and random words.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "platform/sim/latency.h"
#include "platform/sim/sim_machine.h"

namespace hdd::sim {
namespace {

constexpr DWORD kShare = FILE_SHARE_READ | FILE_SHARE_WRITE;
constexpr ULONGLONG kMiB = 1048576;
constexpr DWORD kJunkError = 0xBADF00Du;

// Disk 0: SATA, C: and D:, unreadable sectors 100 and 200-203. Disk 1: a USB
// stick of 1,000,000 bytes (not a whole number of sectors) with E:.
// S: spans both disks; T: is one extent of disk 0 reported as partition 7;
// U: spans both disks and reports partition 5; R: cannot be opened.
MachineDescription TestMachine()
{
    MachineDescription m;
    SimDisk d0;
    d0.bus = BusTypeSata;
    d0.media = FixedMedia;
    d0.cylinders = 1024;
    d0.tracksPerCylinder = 255;
    d0.sectorsPerTrack = 63;
    d0.bytesPerSector = 512;
    d0.size = 1024ull * 255 * 63 * 512;
    d0.partitions = {{1, kMiB, 100 * kMiB, L'C'}, {2, 101 * kMiB, 200 * kMiB, L'D'}, {3, 301 * kMiB, kMiB, 0}};
    d0.unreadable = {{100, 100}, {200, 203}};
    m.disks.push_back(d0);

    SimDisk d1;
    d1.bus = BusTypeUsb;
    d1.media = RemovableMedia;
    d1.cylinders = 1;
    d1.tracksPerCylinder = 31;
    d1.sectorsPerTrack = 63;
    d1.bytesPerSector = 512;
    d1.size = 1000000;
    d1.partitions = {{1, 65536, 512000, L'E'}};
    m.disks.push_back(d1);

    m.volumes.push_back(SimVolume{L'S', 0, {{0, 400 * kMiB, kMiB}, {1, 600000, 100000}}});
    m.volumes.push_back(SimVolume{L'T', 7, {{0, 500 * kMiB, kMiB}}});
    m.volumes.push_back(SimVolume{L'U', 5, {{0, 600 * kMiB, kMiB}, {1, 700000, 100000}}});
    m.unopenableLetters = {L'R'};
    return m;
}

class SimMachineCalls : public ::testing::Test {
protected:
    SimMachineCalls() : m(TestMachine()) {}
    ~SimMachineCalls() override { EXPECT_EQ(m.OpenHandleCount(), 0u); }

    HANDLE Open(const wchar_t* path) { return m.CreateFileW(path, GENERIC_READ, kShare, nullptr, OPEN_EXISTING, 0, nullptr); }

    // Sends a request with no input; the answer lands in `out`.
    BOOL Ask(HANDLE h, DWORD code, void* out, DWORD outSize, DWORD& returned)
    {
        returned = kJunkError;
        return m.DeviceIoControl(h, code, nullptr, 0, out, outSize, &returned, nullptr);
    }

    BOOL SeekTo(HANDLE h, ULONGLONG offset)
    {
        LONG high = static_cast<LONG>(offset >> 32);
        const DWORD low = m.SetFilePointer(h, static_cast<LONG>(static_cast<DWORD>(offset)), &high, FILE_BEGIN);
        return low != INVALID_SET_FILE_POINTER;
    }

    BOOL ReadAt(HANDLE h, ULONGLONG offset, DWORD bytes, DWORD& done)
    {
        static BYTE buffer[4096];
        done = kJunkError;
        return SeekTo(h, offset) && m.ReadFile(h, buffer, bytes, &done, nullptr);
    }

    SimMachine m;
};

// ---- opening and closing --------------------------------------------------------

TEST_F(SimMachineCalls, OpensOnlyItsDevicesForReading)
{
    struct Row {
        const wchar_t* path;
        DWORD access;
        DWORD share;
        DWORD disposition;
        DWORD error;  // 0: opens
    };
    const Row rows[] = {
        {L"\\\\.\\PHYSICALDRIVE0", GENERIC_READ, kShare, OPEN_EXISTING, 0},
        {L"\\\\.\\PhysicalDrive1", GENERIC_READ, kShare, OPEN_EXISTING, 0},
        {L"\\\\.\\PHYSICALDRIVE2", GENERIC_READ, kShare, OPEN_EXISTING, ERROR_FILE_NOT_FOUND},
        {L"\\\\.\\PHYSICALDRIVE01", GENERIC_READ, kShare, OPEN_EXISTING, ERROR_FILE_NOT_FOUND},
        {L"\\\\.\\PHYSICALDRIVE", GENERIC_READ, kShare, OPEN_EXISTING, ERROR_FILE_NOT_FOUND},
        {L"\\\\.\\PHYSICALDRIVE-1", GENERIC_READ, kShare, OPEN_EXISTING, ERROR_FILE_NOT_FOUND},
        {L"\\\\.\\C:", GENERIC_READ, kShare, OPEN_EXISTING, 0},
        {L"\\\\.\\d:", GENERIC_READ, kShare, OPEN_EXISTING, 0},
        {L"\\\\.\\S:", GENERIC_READ, kShare, OPEN_EXISTING, 0},
        {L"\\\\.\\C:\\", GENERIC_READ, kShare, OPEN_EXISTING, ERROR_FILE_NOT_FOUND},
        {L"C:", GENERIC_READ, kShare, OPEN_EXISTING, ERROR_FILE_NOT_FOUND},
        {L"\\\\.\\Q:", GENERIC_READ, kShare, OPEN_EXISTING, ERROR_FILE_NOT_FOUND},
        {L"", GENERIC_READ, kShare, OPEN_EXISTING, ERROR_FILE_NOT_FOUND},
        {L"\\\\.\\R:", GENERIC_READ, kShare, OPEN_EXISTING, 21},  // in the mask, not ready
        // Nothing may write.
        {L"\\\\.\\PHYSICALDRIVE0", GENERIC_WRITE, kShare, OPEN_EXISTING, ERROR_ACCESS_DENIED},
        {L"\\\\.\\C:", GENERIC_READ | GENERIC_WRITE, kShare, OPEN_EXISTING, ERROR_ACCESS_DENIED},
        {L"\\\\.\\C:", 0x10000000u /* all access */, kShare, OPEN_EXISTING, ERROR_ACCESS_DENIED},
        {L"\\\\.\\PHYSICALDRIVE0", GENERIC_READ, kShare, 2 /* create always */, ERROR_INVALID_PARAMETER},
        // A mounted volume is shared for reading and writing or not at all.
        {L"\\\\.\\C:", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 32},
        {L"\\\\.\\PHYSICALDRIVE0", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::PrintToString(std::wstring(row.path)));
        m.SetLastError(kJunkError);
        const HANDLE h = m.CreateFileW(row.path, row.access, row.share, nullptr, row.disposition, 0, nullptr);
        if (row.error == 0) {
            EXPECT_NE(h, INVALID_HANDLE_VALUE);
            EXPECT_NE(h, nullptr);
            EXPECT_EQ(m.GetLastError(), kJunkError);  // success leaves the last error alone
            EXPECT_EQ(m.OpenHandleCount(), 1u);
            EXPECT_TRUE(m.CloseHandle(h));
        } else {
            EXPECT_EQ(h, INVALID_HANDLE_VALUE);
            EXPECT_EQ(m.GetLastError(), row.error);
        }
        EXPECT_EQ(m.OpenHandleCount(), 0u);
    }
}

TEST_F(SimMachineCalls, HandlesAreDistinctAndCloseOnce)
{
    const HANDLE a = Open(L"\\\\.\\PHYSICALDRIVE0");
    const HANDLE b = Open(L"\\\\.\\PHYSICALDRIVE0");
    const HANDLE c = Open(L"\\\\.\\C:");
    EXPECT_NE(a, b);
    EXPECT_NE(b, c);
    EXPECT_EQ(m.OpenHandleCount(), 3u);
    EXPECT_TRUE(m.CloseHandle(b));
    EXPECT_FALSE(m.CloseHandle(b));
    EXPECT_EQ(m.GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(m.CloseHandle(INVALID_HANDLE_VALUE));
    EXPECT_FALSE(m.CloseHandle(nullptr));
    EXPECT_EQ(m.OpenHandleCount(), 2u);
    // A closed handle's number is not handed out again.
    const HANDLE d = Open(L"\\\\.\\PHYSICALDRIVE1");
    EXPECT_NE(d, b);
    for (HANDLE h : {a, c, d}) {
        EXPECT_TRUE(m.CloseHandle(h));
    }
}

TEST_F(SimMachineCalls, DriveMaskHasEveryLetterIncludingUnopenableOnes)
{
    const DWORD expected = (1u << 2) | (1u << 3) | (1u << 4) | (1u << 17) | (1u << 18) | (1u << 19) | (1u << 20);
    EXPECT_EQ(m.GetLogicalDrives(), expected);  // C D E R S T U; partition 3 has no letter
}

// ---- device-control requests ------------------------------------------------------

TEST_F(SimMachineCalls, GeometryOfDrivesAndOfTheDiskUnderAVolume)
{
    struct Row {
        const wchar_t* path;
        DWORD error;
        LONGLONG cylinders;
        DWORD media;
    };
    const Row rows[] = {
        {L"\\\\.\\PHYSICALDRIVE0", 0, 1024, FixedMedia},
        {L"\\\\.\\PHYSICALDRIVE1", 0, 1, RemovableMedia},
        {L"\\\\.\\D:", 0, 1024, FixedMedia},
        {L"\\\\.\\T:", 0, 1024, FixedMedia},
        {L"\\\\.\\E:", 0, 1, RemovableMedia},
        {L"\\\\.\\S:", ERROR_INVALID_FUNCTION, 0, 0},  // across two disks
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::PrintToString(std::wstring(row.path)));
        const HANDLE h = Open(row.path);
        DISK_GEOMETRY g;
        std::memset(&g, 0x5A, sizeof g);
        DWORD returned = 0;
        const BOOL ok = Ask(h, IOCTL_DISK_GET_DRIVE_GEOMETRY, &g, sizeof g, returned);
        if (row.error == 0) {
            ASSERT_TRUE(ok);
            EXPECT_EQ(returned, 24u);
            EXPECT_EQ(g.Cylinders.QuadPart, row.cylinders);
            EXPECT_EQ(static_cast<DWORD>(g.MediaType), row.media);
            EXPECT_EQ(g.BytesPerSector, 512u);
            EXPECT_EQ(g.SectorsPerTrack, 63u);
        } else {
            EXPECT_FALSE(ok);
            EXPECT_EQ(m.GetLastError(), row.error);
            EXPECT_EQ(returned, 0u);
        }
        // A record one byte short is refused whatever the device.
        EXPECT_FALSE(Ask(h, IOCTL_DISK_GET_DRIVE_GEOMETRY, &g, sizeof g - 1, returned));
        EXPECT_EQ(m.GetLastError(), ERROR_INSUFFICIENT_BUFFER);
        m.CloseHandle(h);
    }
}

TEST_F(SimMachineCalls, PartitionInformationOfVolumesAndDrives)
{
    struct Row {
        const wchar_t* path;
        DWORD error;
        DWORD number;
        ULONGLONG offset;
        ULONGLONG length;
    };
    const Row rows[] = {
        {L"\\\\.\\C:", 0, 1, kMiB, 100 * kMiB},
        {L"\\\\.\\D:", 0, 2, 101 * kMiB, 200 * kMiB},
        {L"\\\\.\\E:", 0, 1, 65536, 512000},
        {L"\\\\.\\T:", 0, 7, 500 * kMiB, kMiB},                        // its one extent
        {L"\\\\.\\U:", 0, 5, 600 * kMiB, kMiB + 100000},                // the number it is given, all its bytes
        {L"\\\\.\\S:", ERROR_INVALID_FUNCTION, 0, 0, 0},                // several disks, no number
        {L"\\\\.\\PHYSICALDRIVE0", 0, 0, 0, 1024ull * 255 * 63 * 512},  // the whole disk
        {L"\\\\.\\PHYSICALDRIVE1", 0, 0, 0, 1000000},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::PrintToString(std::wstring(row.path)));
        const HANDLE h = Open(row.path);
        PARTITION_INFORMATION_EX p;
        std::memset(&p, 0x5A, sizeof p);
        DWORD returned = 0;
        const BOOL ok = Ask(h, IOCTL_DISK_GET_PARTITION_INFO_EX, &p, sizeof p, returned);
        if (row.error == 0) {
            ASSERT_TRUE(ok);
            EXPECT_EQ(returned, 144u);
            EXPECT_EQ(p.PartitionStyle, PARTITION_STYLE_MBR);
            EXPECT_EQ(p.PartitionNumber, row.number);
            EXPECT_EQ(static_cast<ULONGLONG>(p.StartingOffset.QuadPart), row.offset);
            EXPECT_EQ(static_cast<ULONGLONG>(p.PartitionLength.QuadPart), row.length);
        } else {
            EXPECT_FALSE(ok);
            EXPECT_EQ(m.GetLastError(), row.error);
        }
        EXPECT_FALSE(Ask(h, IOCTL_DISK_GET_PARTITION_INFO_EX, &p, 143, returned));
        EXPECT_EQ(m.GetLastError(), ERROR_INSUFFICIENT_BUFFER);
        m.CloseHandle(h);
    }
}

TEST_F(SimMachineCalls, DiskExtentsNeedRoomForEveryExtent)
{
    struct Row {
        const wchar_t* path;
        DWORD outSize;
        DWORD error;
        DWORD count;  // written also with ERROR_MORE_DATA
    };
    const Row rows[] = {
        {L"\\\\.\\C:", 32, 0, 1},
        {L"\\\\.\\C:", 512, 0, 1},
        {L"\\\\.\\C:", 31, ERROR_MORE_DATA, 1},
        {L"\\\\.\\S:", 32, ERROR_MORE_DATA, 2},  // the one-extent request on a two-disk volume
        {L"\\\\.\\S:", 55, ERROR_MORE_DATA, 2},
        {L"\\\\.\\S:", 56, 0, 2},
        {L"\\\\.\\S:", 512, 0, 2},
        {L"\\\\.\\S:", 7, ERROR_INSUFFICIENT_BUFFER, 0x5A5A5A5Au},
        {L"\\\\.\\PHYSICALDRIVE0", 512, ERROR_INVALID_FUNCTION, 0x5A5A5A5Au},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::PrintToString(std::wstring(row.path)) + " " + std::to_string(row.outSize));
        const HANDLE h = Open(row.path);
        alignas(8) BYTE answer[512];
        std::memset(answer, 0x5A, sizeof answer);
        DWORD returned = 0;
        const BOOL ok = Ask(h, IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS, answer, row.outSize, returned);
        EXPECT_EQ(ok != FALSE, row.error == 0);
        if (row.error != 0) {
            EXPECT_EQ(m.GetLastError(), row.error);
        }
        const auto* extents = reinterpret_cast<const VOLUME_DISK_EXTENTS*>(answer);
        EXPECT_EQ(extents->NumberOfDiskExtents, row.count);
        if (row.outSize < sizeof answer) {
            EXPECT_EQ(answer[row.outSize], 0x5A) << "wrote past the buffer";
        }
        if (ok && row.count == 2) {
            EXPECT_EQ(returned, 56u);
            EXPECT_EQ(extents->Extents[0].DiskNumber, 0u);
            EXPECT_EQ(extents->Extents[0].StartingOffset.QuadPart, static_cast<LONGLONG>(400 * kMiB));
            const auto* second = reinterpret_cast<const DISK_EXTENT*>(answer + 32);
            EXPECT_EQ(second->DiskNumber, 1u);
            EXPECT_EQ(second->StartingOffset.QuadPart, 600000);
            EXPECT_EQ(second->ExtentLength.QuadPart, 100000);
        }
        m.CloseHandle(h);
    }
}

TEST_F(SimMachineCalls, DevicePropertyGivesBusAndRemovability)
{
    struct Row {
        const wchar_t* path;
        DWORD error;
        DWORD bus;
        BOOLEAN removable;
    };
    const Row rows[] = {
        {L"\\\\.\\PHYSICALDRIVE0", 0, BusTypeSata, FALSE},
        {L"\\\\.\\PHYSICALDRIVE1", 0, BusTypeUsb, TRUE},
        {L"\\\\.\\C:", 0, BusTypeSata, FALSE},
        {L"\\\\.\\E:", 0, BusTypeUsb, TRUE},
        {L"\\\\.\\S:", ERROR_INVALID_FUNCTION, 0, FALSE},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::PrintToString(std::wstring(row.path)));
        const HANDLE h = Open(row.path);
        STORAGE_PROPERTY_QUERY query;
        std::memset(&query, 0, sizeof query);
        alignas(8) BYTE answer[512] = {};
        DWORD returned = 0;
        const BOOL ok = m.DeviceIoControl(h, IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof query, answer,
                                          sizeof answer, &returned, nullptr);
        if (row.error == 0) {
            ASSERT_TRUE(ok);
            const auto* d = reinterpret_cast<const STORAGE_DEVICE_DESCRIPTOR*>(answer);
            EXPECT_EQ(static_cast<DWORD>(d->BusType), row.bus);
            EXPECT_EQ(d->RemovableMedia, row.removable);
            EXPECT_EQ(d->Size, returned);
            EXPECT_GE(d->Size, 36u);
        } else {
            EXPECT_FALSE(ok);
            EXPECT_EQ(m.GetLastError(), row.error);
        }
        m.CloseHandle(h);
    }
}

TEST_F(SimMachineCalls, DevicePropertyChecksItsQuery)
{
    const HANDLE h = Open(L"\\\\.\\PHYSICALDRIVE0");
    struct Row {
        const char* what;
        DWORD propertyId;
        DWORD queryType;
        DWORD inSize;
        DWORD outSize;
        DWORD error;
    };
    const Row rows[] = {
        {"short query", 0, 0, 11, 512, ERROR_INVALID_PARAMETER},
        {"another property", 1, 0, 12, 512, ERROR_NOT_SUPPORTED},
        {"a mask query", 0, 2, 12, 512, ERROR_NOT_SUPPORTED},
        {"no room for the header", 0, 0, 12, 7, ERROR_INSUFFICIENT_BUFFER},
        {"header only", 0, 0, 12, 8, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        DWORD query[3] = {row.propertyId, row.queryType, 0};
        alignas(8) BYTE answer[512];
        std::memset(answer, 0x5A, sizeof answer);
        DWORD returned = 0;
        const BOOL ok =
            m.DeviceIoControl(h, IOCTL_STORAGE_QUERY_PROPERTY, query, row.inSize, answer, row.outSize, &returned, nullptr);
        EXPECT_EQ(ok != FALSE, row.error == 0);
        if (row.error != 0) {
            EXPECT_EQ(m.GetLastError(), row.error);
        } else {
            // The start of the descriptor, saying how large all of it is.
            EXPECT_EQ(returned, 8u);
            const auto* d = reinterpret_cast<const STORAGE_DEVICE_DESCRIPTOR*>(answer);
            EXPECT_GT(d->Size, 8u);
            EXPECT_EQ(answer[8], 0x5A);
        }
    }
    DWORD returned = 0;
    EXPECT_FALSE(m.DeviceIoControl(h, 0x00074080u, nullptr, 0, nullptr, 0, &returned, nullptr));
    EXPECT_EQ(m.GetLastError(), ERROR_INVALID_FUNCTION);
    EXPECT_FALSE(m.DeviceIoControl(INVALID_HANDLE_VALUE, IOCTL_DISK_GET_DRIVE_GEOMETRY, nullptr, 0, nullptr, 0,
                                   &returned, nullptr));
    EXPECT_EQ(m.GetLastError(), ERROR_INVALID_HANDLE);
    m.CloseHandle(h);
}

// ---- faults ------------------------------------------------------------------------------

TEST_F(SimMachineCalls, FaultsHitTheNthMatchingCall)
{
    struct Row {
        const char* what;
        Fault fault;
        std::vector<bool> failures;  // of six geometry requests: C:, PHYSICALDRIVE0, C:, D:, C:, C:
    };
    const Row rows[] = {
        {"second request on C:", {FaultOp::Ioctl, L"\\\\.\\c:", IOCTL_DISK_GET_DRIVE_GEOMETRY, -1, 2, 0},
         {false, false, true, false, false, false}},
        {"every request on C:", {FaultOp::Ioctl, L"\\\\.\\C:", 0, -1, 0, 0}, {true, false, true, false, true, true}},
        {"third request anywhere", {FaultOp::Ioctl, L"", 0, -1, 3, 0}, {false, false, true, false, false, false}},
        {"another request code", {FaultOp::Ioctl, L"", IOCTL_DISK_GET_PARTITION_INFO_EX, -1, 0, 0},
         {false, false, false, false, false, false}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        SimMachine sim(TestMachine());
        sim.AddFault(row.fault);
        const wchar_t* paths[] = {L"\\\\.\\C:", L"\\\\.\\PHYSICALDRIVE0", L"\\\\.\\C:",
                                  L"\\\\.\\D:", L"\\\\.\\C:",             L"\\\\.\\C:"};
        for (size_t i = 0; i < 6; ++i) {
            const HANDLE h = sim.CreateFileW(paths[i], GENERIC_READ, kShare, nullptr, OPEN_EXISTING, 0, nullptr);
            DISK_GEOMETRY g{};
            DWORD returned = 0;
            sim.SetLastError(0);
            const BOOL ok = sim.DeviceIoControl(h, IOCTL_DISK_GET_DRIVE_GEOMETRY, nullptr, 0, &g, sizeof g,
                                                &returned, nullptr);
            EXPECT_EQ(ok == FALSE, row.failures[i]) << "request " << i;
            EXPECT_EQ(sim.GetLastError(), row.failures[i] ? ERROR_INVALID_FUNCTION : 0u);
            sim.CloseHandle(h);
        }
    }
}

TEST_F(SimMachineCalls, OpenFaultsUseTheirErrorOrFileNotFound)
{
    m.AddFault(Fault{FaultOp::Open, L"\\\\.\\PHYSICALDRIVE0", 0, -1, 2, 0});
    m.AddFault(Fault{FaultOp::Open, L"\\\\.\\C:", 0, -1, 1, ERROR_ACCESS_DENIED});
    HANDLE first = Open(L"\\\\.\\PHYSICALDRIVE0");
    EXPECT_NE(first, INVALID_HANDLE_VALUE);
    EXPECT_EQ(Open(L"\\\\.\\PHYSICALDRIVE0"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(m.GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(Open(L"\\\\.\\C:"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(m.GetLastError(), ERROR_ACCESS_DENIED);
    HANDLE third = Open(L"\\\\.\\PHYSICALDRIVE0");
    EXPECT_NE(third, INVALID_HANDLE_VALUE);
    m.ClearFaults();
    HANDLE c = Open(L"\\\\.\\C:");
    EXPECT_NE(c, INVALID_HANDLE_VALUE);
    for (HANDLE h : {first, third, c}) {
        m.CloseHandle(h);
    }
}

TEST_F(SimMachineCalls, SeekAndReadFaultsByDiskAndCount)
{
    m.AddFault(Fault{FaultOp::Read, L"", 0, 1, 2, 0});                         // second read of disk 1
    m.AddFault(Fault{FaultOp::Seek, L"", 0, -1, 3, ERROR_INVALID_FUNCTION});  // third seek on any drive
    const HANDLE d0 = Open(L"\\\\.\\PHYSICALDRIVE0");
    const HANDLE d1 = Open(L"\\\\.\\PHYSICALDRIVE1");
    DWORD done = 0;
    EXPECT_TRUE(ReadAt(d1, 0, 512, done));    // seek 1, read 1 of disk 1
    EXPECT_TRUE(ReadAt(d0, 0, 512, done));    // seek 2
    EXPECT_FALSE(SeekTo(d1, 512));            // seek 3 fails
    EXPECT_EQ(m.GetLastError(), ERROR_INVALID_FUNCTION);
    BYTE buffer[512];
    EXPECT_FALSE(m.ReadFile(d1, buffer, 512, &done, nullptr));  // read 2 of disk 1, at 512 (the seek did land)
    EXPECT_EQ(m.GetLastError(), ERROR_CRC);
    EXPECT_EQ(done, 0u);
    EXPECT_TRUE(m.ReadFile(d1, buffer, 512, &done, nullptr));  // the position did not move
    EXPECT_EQ(m.Reads(), (std::vector<SectorRead>{{1, 0}, {0, 0}, {1, 1}, {1, 1}}));
    m.CloseHandle(d0);
    m.CloseHandle(d1);
}

// ---- seeking and reading -----------------------------------------------------------------

TEST_F(SimMachineCalls, SeeksFollowTheWin32Rules)
{
    const HANDLE h = Open(L"\\\\.\\PHYSICALDRIVE0");
    const ULONGLONG size = 1024ull * 255 * 63 * 512;  // 0x1F6000000 bytes
    struct Row {
        const char* what;
        LONG low;
        bool withHigh;
        LONG high;
        DWORD method;
        DWORD error;
        ULONGLONG position;  // after the call
    };
    const Row rows[] = {
        {"begin, low part only", 1536, true, 0, FILE_BEGIN, 0, 1536},
        {"begin, past 4 GiB", 512, true, 1, FILE_BEGIN, 0, 0x100000200ull},
        {"current, back 512 as 64-bit", -512, true, -1, FILE_CURRENT, 0, 0x100000000ull},
        {"current, on 512 without a high part", 512, false, 0, FILE_CURRENT, ERROR_INVALID_PARAMETER,
         0x100000000ull},  // the new position does not fit 32 bits
        {"begin, low part 0x80000000 with high 0", static_cast<LONG>(0x80000000u), true, 0, FILE_BEGIN, 0,
         0x80000000ull},
        {"current, signed low part alone", -1024, false, 0, FILE_CURRENT, 0, 0x80000000ull - 1024},
        {"end", 0, true, 0, FILE_END, 0, size},
        {"end, back one sector", -512, true, -1, FILE_END, 0, size - 512},
        {"before the start", -1, true, -1, FILE_BEGIN, ERROR_NEGATIVE_SEEK, size - 512},
        {"unknown method", 0, true, 0, 3, ERROR_INVALID_PARAMETER, size - 512},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        LONG high = row.high;
        m.SetLastError(kJunkError);
        const DWORD low = m.SetFilePointer(h, row.low, row.withHigh ? &high : nullptr, row.method);
        if (row.error == 0) {
            EXPECT_EQ(low, static_cast<DWORD>(row.position));
            if (row.withHigh) {
                EXPECT_EQ(high, static_cast<LONG>(row.position >> 32));
            }
            EXPECT_EQ(m.GetLastError(), kJunkError);
        } else {
            EXPECT_EQ(low, INVALID_SET_FILE_POINTER);
            EXPECT_EQ(m.GetLastError(), row.error);
        }
        LONG probeHigh = 0;
        const DWORD probe = m.SetFilePointer(h, 0, &probeHigh, FILE_CURRENT);
        EXPECT_EQ((static_cast<ULONGLONG>(static_cast<DWORD>(probeHigh)) << 32) | probe, row.position);
    }
    // A position whose low part looks like the failure value is a success
    // that clears the last error.
    LONG high = 0;
    m.SetLastError(kJunkError);
    EXPECT_EQ(m.SetFilePointer(h, -1, &high, FILE_BEGIN), INVALID_SET_FILE_POINTER);
    EXPECT_EQ(m.GetLastError(), 0u);
    EXPECT_EQ(m.SetFilePointer(INVALID_HANDLE_VALUE, 0, nullptr, FILE_BEGIN), INVALID_SET_FILE_POINTER);
    EXPECT_EQ(m.GetLastError(), ERROR_INVALID_HANDLE);
    m.CloseHandle(h);
}

TEST_F(SimMachineCalls, ReadsFailAtTheEndAndOnUnreadableSectors)
{
    const HANDLE d0 = Open(L"\\\\.\\PHYSICALDRIVE0");
    const HANDLE d1 = Open(L"\\\\.\\PHYSICALDRIVE1");
    const ULONGLONG size0 = 1024ull * 255 * 63 * 512;
    struct Row {
        const char* what;
        HANDLE h;
        ULONGLONG offset;
        DWORD bytes;
        DWORD error;
        DWORD done;
    };
    const Row rows[] = {
        {"first sector", d0, 0, 512, 0, 512},
        {"before a bad sector", d0, 99 * 512, 512, 0, 512},
        {"the bad sector", d0, 100 * 512, 512, ERROR_CRC, 0},
        {"a run touching the bad sector", d0, 98 * 512, 1536, ERROR_CRC, 0},
        {"after it", d0, 101 * 512, 512, 0, 512},
        {"last of a bad range", d0, 203 * 512, 512, ERROR_CRC, 0},
        {"behind the range", d0, 204 * 512, 512, 0, 512},
        {"last sector", d0, size0 - 512, 512, 0, 512},
        {"at the end", d0, size0, 512, ERROR_SECTOR_NOT_FOUND, 0},
        {"far past the end", d0, size0 * 4, 512, ERROR_SECTOR_NOT_FOUND, 0},
        {"straddling the end: short", d1, 1953 * 512, 512, 0, 1000000 - 1953 * 512},
        {"nothing asked", d1, 0, 0, 0, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        m.SetLastError(kJunkError);
        DWORD done = 0;
        const BOOL ok = ReadAt(row.h, row.offset, row.bytes, done);
        EXPECT_EQ(ok != FALSE, row.error == 0);
        EXPECT_EQ(m.GetLastError(), row.error == 0 ? kJunkError : row.error);
        EXPECT_EQ(done, row.done);
        // The position moves by what was read.
        LONG high = 0;
        const DWORD low = m.SetFilePointer(row.h, 0, &high, FILE_CURRENT);
        EXPECT_EQ((static_cast<ULONGLONG>(static_cast<DWORD>(high)) << 32) | low, row.offset + row.done);
    }
    m.CloseHandle(d0);
    m.CloseHandle(d1);
}

TEST_F(SimMachineCalls, EveryDriveReadIsRecordedAndObserved)
{
    std::vector<SectorRead> observed;
    m.SetReadObserver([&observed](LONG disk, ULONGLONG sector) { observed.push_back({disk, sector}); });
    const HANDLE d0 = Open(L"\\\\.\\PHYSICALDRIVE0");
    const HANDLE c = Open(L"\\\\.\\C:");
    DWORD done = 0;
    ReadAt(d0, 1536, 512, done);
    ReadAt(d0, 100 * 512, 512, done);              // fails, still a read of sector 100
    ReadAt(d0, 0x200000000ull + 700, 512, done);  // past the end, sector by the position
    ReadAt(c, 0, 512, done);                       // a volume: not a drive read
    const std::vector<SectorRead> expected = {{0, 3}, {0, 100}, {0, (0x200000000ull + 700) / 512}};
    EXPECT_EQ(m.Reads(), expected);
    EXPECT_EQ(observed, expected);
    EXPECT_EQ(m.ReadCount(), 4u);
    m.CloseHandle(d0);
    m.CloseHandle(c);
}

TEST_F(SimMachineCalls, VolumeReadsAreRelativeToTheVolume)
{
    MachineDescription d = TestMachine();
    d.disks[0].unreadable.push_back({kMiB / 512 + 1, kMiB / 512 + 1});  // C:'s second sector
    d.disks[1].unreadable.push_back({600000 / 512 + 2, 600000 / 512 + 2});
    SimMachine sim(d);
    const HANDLE c = sim.CreateFileW(L"\\\\.\\C:", GENERIC_READ, kShare, nullptr, OPEN_EXISTING, 0, nullptr);
    const HANDLE s = sim.CreateFileW(L"\\\\.\\S:", GENERIC_READ, kShare, nullptr, OPEN_EXISTING, 0, nullptr);
    BYTE buffer[1024];
    DWORD done = 0;
    struct Row {
        const char* what;
        HANDLE h;
        ULONGLONG offset;
        DWORD bytes;
        DWORD error;
    };
    const Row rows[] = {
        {"C: sector 0", c, 0, 512, 0},
        {"C: sector 1", c, 512, 512, ERROR_CRC},
        {"C: last sector", c, 100 * kMiB - 512, 512, 0},
        {"C: its end", c, 100 * kMiB, 512, ERROR_SECTOR_NOT_FOUND},
        {"S: on disk 0", s, 0, 512, 0},
        {"S: across the seam", s, kMiB - 512, 1024, 0},
        {"S: on disk 1, bad", s, kMiB + (600000 / 512 + 2) * 512 - 600000, 512, ERROR_CRC},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        LONG high = static_cast<LONG>(row.offset >> 32);
        ASSERT_NE(sim.SetFilePointer(row.h, static_cast<LONG>(static_cast<DWORD>(row.offset)), &high, FILE_BEGIN),
                  INVALID_SET_FILE_POINTER);
        const BOOL ok = sim.ReadFile(row.h, buffer, row.bytes, &done, nullptr);
        EXPECT_EQ(ok != FALSE, row.error == 0);
        if (row.error != 0) {
            EXPECT_EQ(sim.GetLastError(), row.error);
        }
    }
    EXPECT_TRUE(sim.Reads().empty());
    sim.CloseHandle(c);
    sim.CloseHandle(s);
}

TEST_F(SimMachineCalls, CallsAreRecordedUntilRecordingStops)
{
    const HANDLE h = m.CreateFileW(L"\\\\.\\PHYSICALDRIVE0", GENERIC_READ, kShare, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
    DISK_GEOMETRY g{};
    DWORD returned = 0;
    Ask(h, IOCTL_DISK_GET_DRIVE_GEOMETRY, &g, sizeof g, returned);
    DWORD done = 0;
    ReadAt(h, 1024, 512, done);
    unsigned int word = 0;
    m.rand_s(&word);
    m.CloseHandle(h);
    const std::vector<CallRecord>& calls = m.Calls();
    ASSERT_EQ(calls.size(), 6u);
    EXPECT_EQ(calls[0].kind, CallKind::Open);
    EXPECT_EQ(calls[0].path, L"\\\\.\\PHYSICALDRIVE0");
    EXPECT_EQ(calls[0].access, GENERIC_READ);
    EXPECT_EQ(calls[0].share, kShare);
    EXPECT_EQ(calls[0].disposition, static_cast<DWORD>(OPEN_EXISTING));
    EXPECT_EQ(calls[0].flags, static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(calls[1].kind, CallKind::Ioctl);
    EXPECT_EQ(calls[1].code, IOCTL_DISK_GET_DRIVE_GEOMETRY);
    EXPECT_EQ(calls[1].outSize, 24u);
    EXPECT_EQ(calls[2].kind, CallKind::Seek);
    EXPECT_EQ(calls[2].offset, 1024u);
    EXPECT_EQ(calls[3].kind, CallKind::Read);
    EXPECT_EQ(calls[3].sector, 2u);
    EXPECT_EQ(calls[3].bytes, 512u);
    EXPECT_EQ(calls[4].kind, CallKind::Random);
    EXPECT_EQ(calls[5].kind, CallKind::Close);
    EXPECT_EQ(calls[5].path, L"\\\\.\\PHYSICALDRIVE0");

    m.ClearCalls();
    m.SetRecording(false);
    ULONGLONG observed = 0;
    m.SetReadObserver([&observed](LONG, ULONGLONG) { ++observed; });
    const HANDLE h2 = Open(L"\\\\.\\PHYSICALDRIVE0");
    for (int i = 0; i < 1000; ++i) {
        ReadAt(h2, static_cast<ULONGLONG>(i) * 512, 512, done);
    }
    m.CloseHandle(h2);
    EXPECT_TRUE(m.Calls().empty());
    EXPECT_EQ(m.ReadCount(), 1001u);
    EXPECT_EQ(observed, 1000u);
}

// ---- clock and latency --------------------------------------------------------------------

TEST_F(SimMachineCalls, TickCountWrapsAndSleepMovesIt)
{
    m.SetTickCount(0xFFFFFFF0u);
    EXPECT_EQ(m.GetTickCount(), 0xFFFFFFF0u);
    m.Sleep(0);
    EXPECT_EQ(m.GetTickCount(), 0xFFFFFFF0u);
    m.Sleep(0x20);
    EXPECT_EQ(m.GetTickCount(), 0x10u);
    m.AdvanceMicroseconds(999);
    EXPECT_EQ(m.GetTickCount(), 0x10u);
    m.AdvanceMicroseconds(1);
    EXPECT_EQ(m.GetTickCount(), 0x11u);
    EXPECT_EQ(m.SleepCount(), 2u);
}

TEST_F(SimMachineCalls, LatencyModelsChargeEachRead)
{
    struct Row {
        const char* what;
        Latency latency;
        ULONGLONG firstOffset;
        ULONGLONG expectedUs;  // of two reads: at firstOffset, then the next sector
    };
    const ULONGLONG size = 1024ull * 255 * 63 * 512;
    const ULONGLONG fullStroke = ReadLatencyMicroseconds({LatencyModel::Hdd, 0}, size, 0, size - 512, 512);
    const Row rows[] = {
        {"instant", {LatencyModel::Instant, 0}, 1024, 0},
        {"ssd", {LatencyModel::Ssd, 0}, 1024, 200},
        {"fixed", {LatencyModel::FixedMs, 2.5}, 1024, 5000},
        // The head starts at 0: a seek across the disk, then a read that follows on.
        {"hdd", {LatencyModel::Hdd, 0}, size - 1024, fullStroke + 5},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        MachineDescription d = TestMachine();
        d.disks[0].latency = row.latency;
        SimMachine sim(d);
        const HANDLE h = sim.CreateFileW(L"\\\\.\\PHYSICALDRIVE0", GENERIC_READ, kShare, nullptr, OPEN_EXISTING, 0,
                                         nullptr);
        BYTE buffer[512];
        DWORD done = 0;
        LONG high = static_cast<LONG>(row.firstOffset >> 32);
        sim.SetFilePointer(h, static_cast<LONG>(static_cast<DWORD>(row.firstOffset)), &high, FILE_BEGIN);
        sim.ReadFile(h, buffer, 512, &done, nullptr);
        sim.ReadFile(h, buffer, 512, &done, nullptr);
        EXPECT_EQ(sim.NowMicroseconds(), row.expectedUs);
        sim.CloseHandle(h);
    }
    // A seek across the whole disk costs about 0.5 + 8 + 4.17 ms; a short one less.
    EXPECT_NEAR(static_cast<double>(fullStroke), 12672.0, 10.0);
    const ULONGLONG shortSeek = ReadLatencyMicroseconds({LatencyModel::Hdd, 0}, size, 0, size / 100, 512);
    EXPECT_LT(shortSeek, fullStroke);
    EXPECT_GT(shortSeek, 4667u);
}

TEST_F(SimMachineCalls, SlowSectorsAddTheirMillisecondsToReadsThatTouchThem)
{
    struct Row {
        const char* what;
        const wchar_t* path;
        ULONGLONG offset;  // byte position on the handle
        DWORD bytes;
        ULONGLONG expectedUs;
    };
    // Disk 0 (ssd: 100 us a read): sectors 5000-5100 slow by 300 ms, 5050-5060
    // by 40 ms, sector 9000 by 2.5 ms, sector 1000 by 50 ms. C: starts at
    // sector 2048. Disk 1 is instant.
    const Row rows[] = {
        {"before the area", L"\\\\.\\PHYSICALDRIVE0", 4999 * 512, 512, 100},
        {"its first sector", L"\\\\.\\PHYSICALDRIVE0", 5000 * 512, 512, 300100},
        {"its last sector", L"\\\\.\\PHYSICALDRIVE0", 5100 * 512, 512, 300100},
        {"after it", L"\\\\.\\PHYSICALDRIVE0", 5101 * 512, 512, 100},
        {"ending in it", L"\\\\.\\PHYSICALDRIVE0", 4999 * 512, 1024, 300100},
        {"overlapping areas pay the larger", L"\\\\.\\PHYSICALDRIVE0", 5055 * 512, 512, 300100},
        {"a fraction of a millisecond", L"\\\\.\\PHYSICALDRIVE0", 9000 * 512, 512, 2600},
        {"through a volume, at the disk's sector", L"\\\\.\\C:", (5000 - 2048) * 512, 512, 300100},
        {"the same sector of another disk", L"\\\\.\\PHYSICALDRIVE1", 1000 * 512, 512, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        MachineDescription d = TestMachine();
        d.disks[0].latency = {LatencyModel::Ssd, 0};
        d.disks[0].slow = {{5000, 5100, 300}, {5050, 5060, 40}, {9000, 9000, 2.5}, {1000, 1000, 50}};
        SimMachine sim(d);
        const HANDLE h = sim.CreateFileW(row.path, GENERIC_READ, kShare, nullptr, OPEN_EXISTING, 0, nullptr);
        BYTE buffer[1024];
        DWORD done = 0;
        LONG high = static_cast<LONG>(row.offset >> 32);
        ASSERT_NE(sim.SetFilePointer(h, static_cast<LONG>(static_cast<DWORD>(row.offset)), &high, FILE_BEGIN),
                  INVALID_SET_FILE_POINTER);
        EXPECT_TRUE(sim.ReadFile(h, buffer, row.bytes, &done, nullptr));
        EXPECT_EQ(sim.NowMicroseconds(), row.expectedUs);
        sim.CloseHandle(h);
    }
}

TEST_F(SimMachineCalls, PacingWaitsInRealTime)
{
    MachineDescription d = TestMachine();
    d.disks[0].latency = {LatencyModel::FixedMs, 15};
    SimMachine sim(d);
    sim.SetPacing(true);
    const HANDLE h = sim.CreateFileW(L"\\\\.\\PHYSICALDRIVE0", GENERIC_READ, kShare, nullptr, OPEN_EXISTING, 0, nullptr);
    BYTE buffer[512];
    DWORD done = 0;
    const auto start = std::chrono::steady_clock::now();
    sim.ReadFile(h, buffer, 512, &done, nullptr);
    sim.Sleep(10);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_GE(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count(), 25);
    EXPECT_EQ(sim.NowMicroseconds(), 25000u);
    sim.CloseHandle(h);
}

// ---- random words --------------------------------------------------------------------------

TEST_F(SimMachineCalls, RandomWordsComeFromTheQueueThenTheSeededGenerator)
{
    MachineDescription d = TestMachine();
    d.seed = 42;
    SimMachine a(d);
    SimMachine b(d);
    d.seed = 43;
    SimMachine c(d);
    a.QueueRandomWords({7, 8});
    unsigned int w = 0;
    EXPECT_EQ(a.rand_s(&w), 0);
    EXPECT_EQ(w, 7u);
    EXPECT_EQ(a.rand_s(&w), 0);
    EXPECT_EQ(w, 8u);
    std::vector<unsigned int> wa, wb, wc;
    for (int i = 0; i < 4; ++i) {
        a.rand_s(&w);
        wa.push_back(w);
        b.rand_s(&w);
        wb.push_back(w);
        c.rand_s(&w);
        wc.push_back(w);
    }
    EXPECT_EQ(wa, wb);
    EXPECT_NE(wa, wc);
    EXPECT_EQ(a.RandomCallCount(), 6u);
}

TEST_F(SimMachineCalls, RandomFaultsFailTheNthDraw)
{
    struct Row {
        const char* what;
        Fault fault;
        std::vector<int> results;  // of five draws
    };
    const Row rows[] = {
        {"third draw", {FaultOp::Random, L"", 0, -1, 3, 0}, {0, 0, 22, 0, 0}},
        {"every draw", {FaultOp::Random, L"", 0, -1, 0, 0}, {22, 22, 22, 22, 22}},
        {"own error", {FaultOp::Random, L"", 0, -1, 1, 34}, {34, 0, 0, 0, 0}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        SimMachine sim(TestMachine());
        sim.AddFault(row.fault);
        sim.QueueRandomWords({1, 2, 3, 4, 5});
        std::vector<int> results;
        std::vector<unsigned int> words;
        for (int i = 0; i < 5; ++i) {
            unsigned int w = 0xFFFFu;
            results.push_back(sim.rand_s(&w));
            words.push_back(w);
            if (results.back() != 0) {
                EXPECT_EQ(w, 0u);
            }
        }
        EXPECT_EQ(results, row.results);
        // A failed draw takes no queued word.
        if (row.results[2] == 22 && row.results[0] == 0) {
            EXPECT_EQ(words[3], 3u);
        }
    }
}

// ---- the built-in machine -----------------------------------------------------------------

TEST(BuiltinMachine, HasTheSystemDiskAndTheStick)
{
    SimMachine m(BuiltinMachine());
    ValidateMachine(m.Description());
    EXPECT_EQ(m.GetLogicalDrives(), (1u << 2) | (1u << 3) | (1u << 4));
    struct Row {
        const wchar_t* path;
        DWORD disk;
        DWORD partition;
        ULONGLONG length;
        DWORD bus;
    };
    const Row rows[] = {
        {L"\\\\.\\C:", 0, 1, 104857600000ull, BusTypeSata},
        {L"\\\\.\\D:", 0, 2, 395249106944ull, BusTypeSata},
        {L"\\\\.\\E:", 1, 1, 8052015104ull, BusTypeUsb},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::PrintToString(std::wstring(row.path)));
        const HANDLE h = m.CreateFileW(row.path, GENERIC_READ, kShare, nullptr, OPEN_EXISTING, 0, nullptr);
        VOLUME_DISK_EXTENTS e{};
        PARTITION_INFORMATION_EX p{};
        alignas(8) BYTE descriptor[512] = {};
        STORAGE_PROPERTY_QUERY q{};
        DWORD returned = 0;
        ASSERT_TRUE(m.DeviceIoControl(h, IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS, nullptr, 0, &e, sizeof e, &returned,
                                      nullptr));
        ASSERT_TRUE(m.DeviceIoControl(h, IOCTL_DISK_GET_PARTITION_INFO_EX, nullptr, 0, &p, sizeof p, &returned,
                                      nullptr));
        ASSERT_TRUE(m.DeviceIoControl(h, IOCTL_STORAGE_QUERY_PROPERTY, &q, sizeof q, descriptor, sizeof descriptor,
                                      &returned, nullptr));
        EXPECT_EQ(e.Extents[0].DiskNumber, row.disk);
        EXPECT_EQ(static_cast<ULONGLONG>(e.Extents[0].ExtentLength.QuadPart), row.length);
        EXPECT_EQ(p.PartitionNumber, row.partition);
        EXPECT_EQ(static_cast<DWORD>(reinterpret_cast<STORAGE_DEVICE_DESCRIPTOR*>(descriptor)->BusType), row.bus);
        m.CloseHandle(h);
    }
    // The stick's geometry fits inside it, and it is removable.
    const SimDisk& stick = m.Description().disks[1];
    EXPECT_LE(GeometryBytes(stick), stick.size);
    EXPECT_EQ(stick.media, static_cast<DWORD>(RemovableMedia));
    EXPECT_EQ(m.OpenHandleCount(), 0u);
}

}  // namespace
}  // namespace hdd::sim
