// The disk report and the volume table it leaves behind, on simulated machines.
#include <gtest/gtest.h>

#include <cstdint>
#include <new>
#include <string>
#include <vector>

#include "info/report_string.h"
#include "object/chdd_object.h"
#include "drive/hdd_constants.h"
#include "platform/os_api.h"
#include "platform/sim/sim_machine.h"
#include "support/object_state.h"

namespace hdd {

inline bool operator==(const VolumeEntry& a, const VolumeEntry& b)
{
    return a.nDisk == b.nDisk && a.nPartition == b.nPartition && a.chLetter == b.chLetter;
}

inline std::ostream& operator<<(std::ostream& os, const VolumeEntry& e)
{
    return os << "(" << e.nDisk << "," << e.nPartition << "," << static_cast<char>(e.chLetter) << ")";
}

namespace {

using Table = std::vector<VolumeEntry>;

constexpr ULONGLONG kMiB = 1048576;
const BSTR kJunkText = reinterpret_cast<BSTR>(static_cast<uintptr_t>(0x5A5A5A5A));

std::wstring Text(BSTR bstr) { return bstr == nullptr ? L"<null>" : std::wstring(bstr, SysStringLen(bstr)); }

sim::SimPartition Part(DWORD number, ULONGLONG length, WCHAR letter)
{
    sim::SimPartition p;
    p.number = number;
    p.length = length;
    p.letter = letter;
    return p;
}

// A fixed disk with the partitions laid out one after another from 1 MiB on.
sim::SimDisk Disk(DWORD bus, std::vector<sim::SimPartition> partitions)
{
    sim::SimDisk disk;
    disk.bus = bus;
    disk.media = FixedMedia;
    disk.tracksPerCylinder = 255;
    disk.sectorsPerTrack = 63;
    disk.bytesPerSector = 512;
    ULONGLONG offset = kMiB;
    for (sim::SimPartition& p : partitions) {
        p.offset = offset;
        offset += (p.length + kMiB - 1) / kMiB * kMiB;
    }
    disk.size = offset + kMiB;
    disk.cylinders = static_cast<LONGLONG>(disk.size / (255ull * 63 * 512) + 1);
    disk.partitions = std::move(partitions);
    return disk;
}

sim::SimVolume Spanned(WCHAR letter, DWORD partition, std::vector<sim::SimExtent> extents)
{
    sim::SimVolume volume;
    volume.letter = letter;
    volume.partition = partition;
    volume.extents = std::move(extents);
    return volume;
}

sim::Fault FailOpen(const std::wstring& path, ULONGLONG nth)
{
    sim::Fault f;
    f.op = sim::FaultOp::Open;
    f.path = path;
    f.nth = nth;
    return f;
}

sim::Fault FailIoctl(const std::wstring& path, DWORD code, ULONGLONG nth)
{
    sim::Fault f;
    f.op = sim::FaultOp::Ioctl;
    f.path = path;
    f.code = code;
    f.nth = nth;
    return f;
}

struct Report {
    HRESULT hr;
    std::wstring text;
    Table table;
};

Report RunReport(CCHDDObject& object)
{
    BSTR bstr = kJunkText;
    const HRESULT hr = object.GetHardDiskInfo(&bstr);
    Report report{hr, Text(bstr), ObjectState::Volumes(object)};
    SysFreeString(bstr);
    return report;
}

// ---- the built-in machine ----------------------------------------------------------

class HardDiskInfo : public ::testing::Test {
protected:
    sim::SimMachine machine{sim::BuiltinMachine()};
    ScopedOsApi scope{machine};
    CCHDDObject object;
    const Table builtinTable{{0, 1, L'C'}, {0, 2, L'D'}};
};

TEST_F(HardDiskInfo, BuiltinMachineListsItsSataPartitionsOnly)
{
    const Report report = RunReport(object);
    EXPECT_EQ(report.hr, HDD_STATUS_OK);
    EXPECT_EQ(report.text, L"0-1-100000,0-2-376938");
    EXPECT_EQ(report.table, builtinTable);
    EXPECT_EQ(machine.OpenHandleCount(), 0u);

    // Read-only opens of existing devices, no reads or seeks at all.
    for (const sim::CallRecord& call : machine.Calls()) {
        SCOPED_TRACE(std::string(call.path.begin(), call.path.end()));
        EXPECT_NE(call.kind, sim::CallKind::Read);
        EXPECT_NE(call.kind, sim::CallKind::Seek);
        if (call.kind == sim::CallKind::Open) {
            EXPECT_EQ(call.access, GENERIC_READ);
            EXPECT_EQ(call.share, static_cast<DWORD>(FILE_SHARE_READ | FILE_SHARE_WRITE));
            EXPECT_EQ(call.disposition, static_cast<DWORD>(OPEN_EXISTING));
            EXPECT_EQ(call.flags, static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL));
        }
    }
}

TEST_F(HardDiskInfo, OneItemAsksTheDevicesInOrder)
{
    RunReport(object);
    struct Step {
        sim::CallKind kind;
        std::wstring path;
        DWORD code;
        DWORD outSize;
    };
    using K = sim::CallKind;
    const std::wstring c = L"\\\\.\\C:";
    const std::wstring d0 = L"\\\\.\\PHYSICALDRIVE0";
    const std::vector<Step> expected = {
        {K::Open, c, 0, 0},
        {K::Ioctl, c, IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS, 512},
        {K::Close, c, 0, 0},
        {K::Open, d0, 0, 0},
        {K::Ioctl, d0, IOCTL_STORAGE_QUERY_PROPERTY, 512},
        {K::Open, c, 0, 0},  // disk number of the volume
        {K::Ioctl, c, IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS, 32},
        {K::Close, c, 0, 0},
        {K::Open, c, 0, 0},  // partition number of the volume
        {K::Ioctl, c, IOCTL_DISK_GET_PARTITION_INFO_EX, 144},
        {K::Close, c, 0, 0},
        {K::Close, d0, 0, 0},
    };
    const std::vector<sim::CallRecord>& calls = machine.Calls();
    ASSERT_GE(calls.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(calls[i].kind, expected[i].kind);
        EXPECT_EQ(calls[i].path, expected[i].path);
        if (expected[i].kind == K::Ioctl) {
            EXPECT_EQ(calls[i].code, expected[i].code);
            EXPECT_EQ(calls[i].outSize, expected[i].outSize);
        }
    }
    EXPECT_EQ(calls[4].inSize, 12u);
}

TEST_F(HardDiskInfo, RepeatedCallsRebuildTheSameTable)
{
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        const Report report = RunReport(object);
        EXPECT_EQ(report.text, L"0-1-100000,0-2-376938");
        EXPECT_EQ(report.table, builtinTable);
    }
    EXPECT_EQ(machine.OpenHandleCount(), 0u);
}

TEST_F(HardDiskInfo, NullOutParameterTouchesNothing)
{
    RunReport(object);
    machine.ClearCalls();
    EXPECT_EQ(object.GetHardDiskInfo(nullptr), HDD_STATUS_FAILED);
    EXPECT_EQ(ObjectState::Volumes(object), builtinTable);
    EXPECT_TRUE(machine.Calls().empty());
}

TEST_F(HardDiskInfo, DescribeVolumeAppendsWhatItReports)
{
    EXPECT_EQ(object.DescribeVolume(L'D'), L"0-2");
    // A letter with no volume: both lookups fail.
    EXPECT_EQ(object.DescribeVolume(L'Q'), L"255-0");
    EXPECT_EQ(ObjectState::Volumes(object), (Table{{0, 2, L'D'}, {255, 0, L'Q'}}));
    EXPECT_EQ(machine.OpenHandleCount(), 0u);
}

// ---- machines with particular disks and faults -----------------------------------------

struct MachineRow {
    const char* name;
    sim::MachineDescription machine;
    std::wstring text;
    Table table;
};

sim::MachineDescription Machine(std::vector<sim::SimDisk> disks, std::vector<sim::SimVolume> volumes = {},
                                std::vector<sim::Fault> faults = {}, std::vector<WCHAR> unopenable = {})
{
    sim::MachineDescription m;
    m.disks = std::move(disks);
    m.volumes = std::move(volumes);
    m.faults = std::move(faults);
    m.unopenableLetters = std::move(unopenable);
    return m;
}

sim::MachineDescription BuiltinWith(std::vector<sim::Fault> faults)
{
    sim::MachineDescription m = sim::BuiltinMachine();
    for (sim::Fault& f : faults) {
        m.faults.push_back(std::move(f));
    }
    return m;
}

std::wstring Repeat(const std::wstring& item, int n)
{
    std::wstring text;
    for (int i = 0; i < n; ++i) {
        text += (i == 0 ? L"" : L",") + item;
    }
    return text;
}

std::vector<sim::SimExtent> ExtentsOnDisk0(int n)
{
    std::vector<sim::SimExtent> extents;
    for (int i = 0; i < n; ++i) {
        extents.push_back({0, kMiB * static_cast<ULONGLONG>(1 + 2 * i), kMiB});
    }
    return extents;
}

std::vector<MachineRow> MachineRows()
{
    const std::wstring c = L"\\\\.\\C:";
    const std::wstring d = L"\\\\.\\D:";
    std::vector<MachineRow> rows;
    rows.push_back({"skipped letters leave no separator",
                    Machine({Disk(BusTypeUsb, {Part(1, 8 * kMiB, L'C')}),
                             Disk(BusTypeSata, {Part(1, 5 * kMiB, L'F'), Part(2, 6 * kMiB, L'G')})},
                            {}, {}, {L'A', L'B', L'E'}),
                    L"1-1-5,1-2-6",
                    {{1, 1, L'F'}, {1, 2, L'G'}}});
    rows.push_back({"sizes are whole mebibytes, truncated",
                    Machine({Disk(BusTypeSata, {Part(1, 1048575, L'C'), Part(2, 104857599, L'D'),
                                                Part(3, 1048576, L'E'), Part(4, 3 * kMiB - 1, L'F')})}),
                    L"0-1-0,0-2-99,0-3-1,0-4-2",
                    {{0, 1, L'C'}, {0, 2, L'D'}, {0, 3, L'E'}, {0, 4, L'F'}}});
    rows.push_back({"a partition without a letter is not listed",
                    Machine({Disk(BusTypeSata, {Part(1, 100 * kMiB, 0), Part(2, 7 * kMiB, L'C'),
                                                Part(3, 9 * kMiB, L'D')})}),
                    L"0-2-7,0-3-9",
                    {{0, 2, L'C'}, {0, 3, L'D'}}});
    rows.push_back({"only ATA, RAID and SATA disks are accepted",
                    Machine({Disk(BusTypeScsi, {Part(1, kMiB, L'C')}), Disk(BusTypeAtapi, {Part(1, kMiB, L'D')}),
                             Disk(BusTypeAta, {Part(1, kMiB, L'E')}), Disk(BusType1394, {Part(1, kMiB, L'F')}),
                             Disk(BusTypeUsb, {Part(1, kMiB, L'G')}), Disk(BusTypeRAID, {Part(1, kMiB, L'H')}),
                             Disk(BusTypeSas, {Part(1, kMiB, L'I')}), Disk(BusTypeSata, {Part(1, kMiB, L'J')}),
                             Disk(BusTypeNvme, {Part(1, kMiB, L'K')})}),
                    L"2-1-1,5-1-1,7-1-1",
                    {{2, 1, L'E'}, {5, 1, L'H'}, {7, 1, L'J'}}});
    rows.push_back({"no accepted disk gives the empty text",
                    Machine({Disk(BusTypeUsb, {Part(1, kMiB, L'C')})}), L"", {}});
    rows.push_back({"a volume on two accepted disks: one item per extent, disk unknown",
                    Machine({Disk(BusTypeSata, {}), Disk(BusTypeRAID, {})},
                            {Spanned(L'E', 3, {{0, kMiB, 10 * kMiB}, {1, kMiB, 20 * kMiB}})}),
                    L"255-3-10,255-3-20",
                    {{255, 3, L'E'}, {255, 3, L'E'}}});
    rows.push_back({"a volume on an accepted and a USB disk",
                    Machine({Disk(BusTypeUsb, {}), Disk(BusTypeSata, {})},
                            {Spanned(L'E', 3, {{0, kMiB, 10 * kMiB}, {1, kMiB, 20 * kMiB}})}),
                    L"255-3-20",
                    {{255, 3, L'E'}}});
    rows.push_back({"21 extents fit the answer, 22 do not",
                    Machine({Disk(BusTypeSata, {})},
                            {Spanned(L'J', 7, ExtentsOnDisk0(21)), Spanned(L'K', 8, ExtentsOnDisk0(22))}),
                    Repeat(L"255-7-1", 21),
                    Table(21, VolumeEntry{255, 7, L'J'})});
    rows.push_back({"partition number unreadable",
                    BuiltinWith({FailIoctl(c, IOCTL_DISK_GET_PARTITION_INFO_EX, 0)}),
                    L"0-0-100000,0-2-376938",
                    {{0, 0, L'C'}, {0, 2, L'D'}}});
    rows.push_back({"disk number request fails",
                    BuiltinWith({FailIoctl(c, IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS, 2)}),
                    L"255-1-100000,0-2-376938",
                    {{255, 1, L'C'}, {0, 2, L'D'}}});
    rows.push_back({"volume does not open a second time",
                    BuiltinWith({FailOpen(d, 2)}),
                    L"0-1-100000,255-2-376938",
                    {{0, 1, L'C'}, {255, 2, L'D'}}});
    rows.push_back({"volume does not open a third time",
                    BuiltinWith({FailOpen(d, 3)}),
                    L"0-1-100000,0-0-376938",
                    {{0, 1, L'C'}, {0, 0, L'D'}}});
    rows.push_back({"extent list request fails",
                    BuiltinWith({FailIoctl(c, IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS, 1)}),
                    L"0-2-376938",
                    {{0, 2, L'D'}}});
    rows.push_back({"volume does not open at all",
                    BuiltinWith({FailOpen(c, 0)}),
                    L"0-2-376938",
                    {{0, 2, L'D'}}});
    rows.push_back({"physical drive does not open",
                    BuiltinWith({FailOpen(L"\\\\.\\PHYSICALDRIVE0", 1)}),
                    L"0-2-376938",
                    {{0, 2, L'D'}}});
    rows.push_back({"bus query fails",
                    BuiltinWith({FailIoctl(L"", IOCTL_STORAGE_QUERY_PROPERTY, 2)}),
                    L"0-1-100000",
                    {{0, 1, L'C'}}});
    return rows;
}

TEST(HardDiskInfoMachines, ReportAndTableFollowTheDevices)
{
    for (const MachineRow& row : MachineRows()) {
        SCOPED_TRACE(row.name);
        sim::SimMachine machine(row.machine);
        ScopedOsApi scope(machine);
        CCHDDObject object;
        const Report report = RunReport(object);
        EXPECT_EQ(report.hr, HDD_STATUS_OK);
        EXPECT_EQ(report.text, row.text);
        EXPECT_EQ(report.table, row.table);
        EXPECT_EQ(machine.OpenHandleCount(), 0u);
    }
}

TEST(HardDiskInfoMachines, AnEmptyReportIsAnEmptyStringAndAnEmptyTable)
{
    CCHDDObject object;
    {
        sim::SimMachine builtin(sim::BuiltinMachine());
        ScopedOsApi scope(builtin);
        ASSERT_EQ(RunReport(object).table.size(), 2u);
    }
    sim::SimMachine usbOnly(Machine({Disk(BusTypeUsb, {Part(1, kMiB, L'C')})}));
    ScopedOsApi scope(usbOnly);
    BSTR bstr = kJunkText;
    EXPECT_EQ(object.GetHardDiskInfo(&bstr), HDD_STATUS_OK);
    ASSERT_NE(bstr, nullptr);
    EXPECT_EQ(SysStringLen(bstr), 0u);
    EXPECT_EQ(bstr[0], L'\0');
    SysFreeString(bstr);
    EXPECT_TRUE(ObjectState::Volumes(object).empty());
}

// ---- memory exhaustion -------------------------------------------------------------------

// Passes every call to the machine, but runs out of memory at the chosen
// open or device request (counted together from 1; 0 never).
class ExhaustingOs final : public OsApi {
public:
    explicit ExhaustingOs(sim::SimMachine& machine) : m_machine(machine) {}
    ULONGLONG failAt = 0;
    ULONGLONG counted = 0;

    HANDLE CreateFileW(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES sa, DWORD disposition,
                       DWORD flags, HANDLE tmpl) override
    {
        Count();
        return m_machine.CreateFileW(name, access, share, sa, disposition, flags, tmpl);
    }
    BOOL DeviceIoControl(HANDLE h, DWORD code, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize,
                         LPDWORD returned, LPOVERLAPPED ov) override
    {
        Count();
        return m_machine.DeviceIoControl(h, code, in, inSize, out, outSize, returned, ov);
    }
    DWORD SetFilePointer(HANDLE h, LONG low, PLONG high, DWORD method) override
    {
        return m_machine.SetFilePointer(h, low, high, method);
    }
    BOOL ReadFile(HANDLE h, LPVOID buf, DWORD n, LPDWORD read, LPOVERLAPPED ov) override
    {
        return m_machine.ReadFile(h, buf, n, read, ov);
    }
    BOOL CloseHandle(HANDLE h) override { return m_machine.CloseHandle(h); }
    DWORD GetLastError() override { return m_machine.GetLastError(); }
    void SetLastError(DWORD e) override { m_machine.SetLastError(e); }
    DWORD GetLogicalDrives() override { return m_machine.GetLogicalDrives(); }
    DWORD GetTickCount() override { return m_machine.GetTickCount(); }
    void Sleep(DWORD ms) override { m_machine.Sleep(ms); }
    errno_t rand_s(unsigned int* value) override { return m_machine.rand_s(value); }

private:
    void Count()
    {
        if (++counted == failAt) {
            throw std::bad_alloc();
        }
    }
    sim::SimMachine& m_machine;
};

TEST(HardDiskInfoMemory, ExhaustionAnywhereEmptiesTheTableAndReturnsOutOfMemory)
{
    sim::SimMachine machine(sim::BuiltinMachine());
    ExhaustingOs os(machine);
    ScopedOsApi scope(os);
    CCHDDObject object;
    ASSERT_EQ(RunReport(object).hr, HDD_STATUS_OK);
    const ULONGLONG callsPerReport = os.counted;
    ASSERT_GT(callsPerReport, 10u);

    for (ULONGLONG n = 1; n <= callsPerReport; ++n) {
        SCOPED_TRACE(n);
        ASSERT_EQ(RunReport(object).table.size(), 2u) << "refill before the next exhaustion";
        os.counted = 0;
        os.failAt = n;
        BSTR bstr = kJunkText;
        EXPECT_EQ(object.GetHardDiskInfo(&bstr), E_OUTOFMEMORY);
        EXPECT_EQ(bstr, nullptr);
        EXPECT_TRUE(ObjectState::Volumes(object).empty());
        EXPECT_EQ(machine.OpenHandleCount(), 0u);
        os.failAt = 0;
        os.counted = 0;
    }
}

class ReportAllocatorScope {
public:
    explicit ReportAllocatorScope(ReportStringAllocator pfn) : m_previous(SetReportStringAllocator(pfn)) {}
    ~ReportAllocatorScope() { SetReportStringAllocator(m_previous); }

private:
    ReportStringAllocator m_previous;
};

TEST(HardDiskInfoMemory, AFailedStringAllocationIsAFailureNotAnEmptyReport)
{
    sim::SimMachine machine(sim::BuiltinMachine());
    ScopedOsApi scope(machine);
    CCHDDObject object;
    ASSERT_EQ(RunReport(object).table.size(), 2u);
    {
        ReportAllocatorScope failing([](const OLECHAR*) -> BSTR { return nullptr; });
        BSTR bstr = kJunkText;
        EXPECT_EQ(object.GetHardDiskInfo(&bstr), E_OUTOFMEMORY);
        EXPECT_EQ(bstr, nullptr);
        EXPECT_TRUE(ObjectState::Volumes(object).empty());
        EXPECT_EQ(machine.OpenHandleCount(), 0u);
    }
    // The usual allocator is back.
    EXPECT_EQ(RunReport(object).text, L"0-1-100000,0-2-376938");
}

}  // namespace
}  // namespace hdd
