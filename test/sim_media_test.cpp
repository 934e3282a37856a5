// A disk's media behind the simulated machine: reads that pass the machine's
// checks take their bytes (or their failure) from it, also through a volume
// whose extents lie on two disks; reads the machine refuses never reach it.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/sim/sim_machine.h"

namespace hdd::sim {
namespace {

constexpr DWORD kShare = FILE_SHARE_READ | FILE_SHARE_WRITE;

// Each byte is the disk's tag plus its offset; a read of `failAt` fails.
class TaggedMedia final : public DiskMedia {
public:
    TaggedMedia(BYTE tag, ULONGLONG failAt, DWORD error) : m_tag(tag), m_failAt(failAt), m_error(error) {}
    DWORD Read(ULONGLONG offset, void* buffer, DWORD bytes) override
    {
        calls.push_back(offset);
        if (offset <= m_failAt && m_failAt < offset + bytes) {
            return m_error;
        }
        BYTE* to = static_cast<BYTE*>(buffer);
        for (DWORD i = 0; i < bytes; ++i) {
            to[i] = static_cast<BYTE>(m_tag + offset + i);
        }
        return 0;
    }
    std::vector<ULONGLONG> calls;

private:
    BYTE m_tag;
    ULONGLONG m_failAt;
    DWORD m_error;
};

MachineDescription TwoDisks()
{
    MachineDescription m;
    for (int i = 0; i < 2; ++i) {
        SimDisk d;
        d.cylinders = 1;
        d.tracksPerCylinder = 1;
        d.sectorsPerTrack = 64;
        d.size = 64 * 512;
        d.unreadable = {{10, 10}};
        m.disks.push_back(d);
    }
    // V: the last sector of disk 0, then the first two of disk 1.
    m.volumes.push_back(SimVolume{L'V', 0, {{0, 63 * 512, 512}, {1, 0, 1024}}});
    return m;
}

TEST(SimMedia, ReadsTakeTheirBytesOrFailureFromTheMedia)
{
    SimMachine machine(TwoDisks());
    TaggedMedia disk0(0x10, 20 * 512 + 7, ERROR_CRC);
    TaggedMedia disk1(0x80, ~0ull, 0);
    machine.SetMedia(0, &disk0);
    machine.SetMedia(1, &disk1);

    struct Case {
        const wchar_t* path;
        ULONGLONG position;
        DWORD bytes;
        DWORD error;                       // 0: succeeds
        std::vector<ULONGLONG> media0;     // offsets disk 0's media is asked for
        std::vector<ULONGLONG> media1;
        BYTE first;                        // first byte read
    };
    const Case cases[] = {
        {L"\\\\.\\PHYSICALDRIVE0", 512, 512, 0, {512}, {}, static_cast<BYTE>(0x10 + 512)},
        {L"\\\\.\\PHYSICALDRIVE1", 5 * 512, 512, 0, {}, {5 * 512}, static_cast<BYTE>(0x80 + 5 * 512)},
        // The media's own failure, with its code.
        {L"\\\\.\\PHYSICALDRIVE0", 20 * 512, 512, ERROR_CRC, {20 * 512}, {}, 0},
        // Failures the machine decides never reach the media.
        {L"\\\\.\\PHYSICALDRIVE0", 10 * 512, 512, ERROR_CRC, {}, {}, 0},
        {L"\\\\.\\PHYSICALDRIVE0", 64 * 512, 512, ERROR_SECTOR_NOT_FOUND, {}, {}, 0},
        // Across the end: only what is left.
        {L"\\\\.\\PHYSICALDRIVE1", 63 * 512, 1024, 0, {}, {63 * 512}, static_cast<BYTE>(0x80 + 63 * 512)},
        // A volume read across its two extents, one piece per disk.
        {L"\\\\.\\V:", 0, 1024, 0, {63 * 512}, {0}, static_cast<BYTE>(0x10 + 63 * 512)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.position << " of " << static_cast<const void*>(c.path));
        disk0.calls.clear();
        disk1.calls.clear();
        const HANDLE h = machine.CreateFileW(c.path, GENERIC_READ, kShare, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        LONG high = 0;
        machine.SetFilePointer(h, static_cast<LONG>(c.position), &high, FILE_BEGIN);
        std::vector<BYTE> buffer(c.bytes, 0xEE);
        DWORD got = 0;
        const BOOL ok = machine.ReadFile(h, buffer.data(), c.bytes, &got, nullptr);
        EXPECT_EQ(ok, c.error == 0 ? TRUE : FALSE);
        if (c.error == 0) {
            EXPECT_EQ(buffer[0], c.first);
        } else {
            EXPECT_EQ(machine.GetLastError(), c.error);
            EXPECT_EQ(got, 0u);
            // The position stays where the failed read began.
            LONG hi = 0;
            EXPECT_EQ(machine.SetFilePointer(h, 0, &hi, FILE_CURRENT), static_cast<DWORD>(c.position));
        }
        EXPECT_EQ(disk0.calls, c.media0);
        EXPECT_EQ(disk1.calls, c.media1);
        machine.CloseHandle(h);
    }
    // The volume's second piece continues the first in the buffer.
    const HANDLE v = machine.CreateFileW(L"\\\\.\\V:", GENERIC_READ, kShare, nullptr, OPEN_EXISTING, 0, nullptr);
    BYTE both[1024];
    DWORD got = 0;
    ASSERT_TRUE(machine.ReadFile(v, both, sizeof both, &got, nullptr));
    EXPECT_EQ(got, 1024u);
    EXPECT_EQ(both[511], static_cast<BYTE>(0x10 + 64 * 512 - 1));
    EXPECT_EQ(both[512], static_cast<BYTE>(0x80));
    machine.CloseHandle(v);
    EXPECT_EQ(machine.OpenHandleCount(), 0u);
}

}  // namespace
}  // namespace hdd::sim
