#include "platform/linux/partition_table.h"

#include <blkid/blkid.h>
#include <fcntl.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "platform/linux/ebr_chain.h"
#include "platform/linux/unique_fd.h"

namespace hdd::blockdev {

namespace {

// libblkid counts in 512-byte units whatever the disk's sector size.
constexpr ULONGLONG kBlkidSectorBytes = 512;

struct ProbeDeleter {
    void operator()(blkid_probe probe) const { blkid_free_probe(probe); }
};
using Probe = std::unique_ptr<std::remove_pointer_t<blkid_probe>, ProbeDeleter>;

std::string TableType(blkid_probe probe)
{
    const char* value = nullptr;
    size_t length = 0;
    if (blkid_probe_lookup_value(probe, "PTTYPE", &value, &length) == 0 && value != nullptr) {
        return value;
    }
    return {};
}

// libblkid sums an EBR's sector and its entry's start in 32 bits: a logical
// partition past 2^32 sectors comes back at a wrapped start, over other data.
// Held against the chain read in 64 bits, such a partition is marked unusable.
void CheckLogicalStarts(int fd, DWORD sectorBytes, std::vector<TablePartition>& partitions)
{
    constexpr ULONGLONG kWrap = 1ull << 32;  // in libblkid's 512-byte units
    for (const ChainPartition& chain : ReadEbrChain(fd, sectorBytes)) {
        for (TablePartition& p : partitions) {
            if (p.number != chain.number || p.extended) {
                continue;
            }
            const ULONGLONG start = chain.start * sectorBytes;
            const ULONGLONG end = start + chain.sectors * sectorBytes;
            if (start != p.offset) {
                p.unusable = "unusable: its EBR puts it at sector " + std::to_string(chain.start) +
                             ", libblkid at " + std::to_string(p.offset / sectorBytes) + " (wrapped at 2^32)";
            } else if (end / kBlkidSectorBytes > kWrap) {
                p.unusable = "unusable: it ends past 2^32 sectors, where libblkid's 32-bit sums wrap";
            }
        }
    }
}

}  // namespace

bool ReadPartitionTable(const std::string& path, std::vector<TablePartition>& partitions, std::string& problem)
{
    partitions.clear();
    // Our own read-only descriptor, so libblkid cannot open the disk any other way.
    const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
    if (!fd.IsOpen()) {
        problem = std::string("cannot be opened to read its partition table: ") + std::strerror(errno);
        return false;
    }
    const Probe probe(blkid_new_probe());
    if (!probe || blkid_probe_set_device(probe.get(), fd.Get(), 0, 0) != 0) {
        problem = "cannot be probed for a partition table";
        return false;
    }
    blkid_probe_enable_superblocks(probe.get(), 0);
    blkid_probe_enable_partitions(probe.get(), 1);
    const int found = blkid_do_safeprobe(probe.get());
    if (found < 0) {
        problem = "has a partition table that cannot be read";
        return false;
    }
    if (found == 1) {
        return true;  // no partition table: a disk without partitions
    }
    if (TableType(probe.get()) == "PMBR") {
        problem = "has a protective MBR but no readable GPT (both copies are damaged)";
        return false;
    }
    blkid_partlist list = blkid_probe_get_partitions(probe.get());
    if (list == nullptr) {
        return true;
    }
    const int count = blkid_partlist_numof_partitions(list);
    for (int i = 0; i < count; ++i) {
        blkid_partition part = blkid_partlist_get_partition(list, i);
        if (part == nullptr) {
            continue;
        }
        const blkid_loff_t start = blkid_partition_get_start(part);
        const blkid_loff_t size = blkid_partition_get_size(part);
        const int number = blkid_partition_get_partno(part);
        if (start < 0 || size <= 0 || number <= 0) {
            continue;
        }
        TablePartition p;
        p.number = static_cast<DWORD>(number);
        p.offset = static_cast<ULONGLONG>(start) * kBlkidSectorBytes;
        p.length = static_cast<ULONGLONG>(size) * kBlkidSectorBytes;
        p.extended = blkid_partition_is_extended(part) != 0;
        partitions.push_back(std::move(p));
    }
    if (TableType(probe.get()) == "dos") {
        CheckLogicalStarts(fd.Get(), blkid_probe_get_sectorsize(probe.get()), partitions);
    }
    return true;
}

}  // namespace hdd::blockdev
