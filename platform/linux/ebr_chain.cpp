#include "platform/linux/ebr_chain.h"

#include <unistd.h>

#include <cerrno>
#include <set>

namespace hdd::blockdev {

namespace {

constexpr size_t kTableOffset = 446;
constexpr size_t kEntryBytes = 16;

struct Entry {
    BYTE type = 0;
    ULONGLONG start = 0;  // relative, as written
    ULONGLONG sectors = 0;
};

bool IsExtended(BYTE type) { return type == 0x05 || type == 0x0F || type == 0x85; }

DWORD Le32(const BYTE* p)
{
    return static_cast<DWORD>(p[0]) | static_cast<DWORD>(p[1]) << 8 | static_cast<DWORD>(p[2]) << 16 |
           static_cast<DWORD>(p[3]) << 24;
}

// The four entries of the boot record at sector; false when it cannot be read
// or lacks the 55 AA signature.
bool ReadRecord(int fd, DWORD sectorBytes, ULONGLONG sector, Entry (&entries)[4])
{
    std::vector<BYTE> buffer(sectorBytes);
    ssize_t n = 0;
    do {
        n = ::pread(fd, buffer.data(), buffer.size(), static_cast<off_t>(sector * sectorBytes));
    } while (n < 0 && errno == EINTR);
    if (n != static_cast<ssize_t>(buffer.size()) || buffer[510] != 0x55 || buffer[511] != 0xAA) {
        return false;
    }
    for (size_t i = 0; i < 4; ++i) {
        const BYTE* e = buffer.data() + kTableOffset + i * kEntryBytes;
        entries[i] = Entry{e[4], Le32(e + 8), Le32(e + 12)};
    }
    return true;
}

}  // namespace

std::vector<ChainPartition> ReadEbrChain(int fd, DWORD sectorBytes)
{
    std::vector<ChainPartition> logical;
    if (sectorBytes < 512) {
        return logical;
    }
    Entry mbr[4];
    if (!ReadRecord(fd, sectorBytes, 0, mbr)) {
        return logical;
    }
    const Entry* extended = nullptr;
    for (const Entry& e : mbr) {
        if (IsExtended(e.type) && e.start != 0 && e.sectors != 0) {
            extended = &e;
            break;
        }
    }
    if (extended == nullptr) {
        return logical;
    }
    const ULONGLONG first = extended->start;
    const ULONGLONG end = first + extended->sectors;
    std::set<ULONGLONG> seen;
    ULONGLONG ebr = first;
    DWORD number = 5;
    while (logical.size() < kMaxLogicalPartitions && seen.insert(ebr).second) {
        Entry entries[4];
        if (!ReadRecord(fd, sectorBytes, ebr, entries)) {
            break;
        }
        // The data partition counts from its own EBR, the link from the
        // start of the extended partition: both in 64 bits.
        const Entry* next = nullptr;
        for (const Entry& e : entries) {
            if (e.sectors == 0 || e.type == 0) {
                continue;
            }
            if (IsExtended(e.type)) {
                next = next == nullptr ? &e : next;
            } else {
                logical.push_back({number++, ebr + e.start, e.sectors});
            }
        }
        if (next == nullptr || next->start == 0 || first + next->start >= end) {
            break;
        }
        ebr = first + next->start;
    }
    return logical;
}

}  // namespace hdd::blockdev
