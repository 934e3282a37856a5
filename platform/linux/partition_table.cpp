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
// partition past 2^32 sectors comes back at a wrapped start, over other data,
// or is dropped and the next one takes its number. The logical partitions are
// therefore taken from the chain read in 64 bits; one that libblkid does not
// show at the same place, or that ends past 2^32 of its 512-byte units, is
// kept in the list as unusable.
void CheckLogicalPartitions(int fd, DWORD sectorBytes, std::vector<TablePartition>& partitions)
{
    constexpr ULONGLONG kWrap = 1ull << 32;  // in libblkid's 512-byte units
    constexpr DWORD kFirstLogical = 5;
    const std::vector<ChainPartition> chain = ReadEbrChain(fd, sectorBytes);
    if (chain.empty()) {
        return;
    }
    std::vector<TablePartition> checked;
    for (const TablePartition& p : partitions) {
        if (p.number < kFirstLogical) {
            checked.push_back(p);
        }
    }
    for (const ChainPartition& c : chain) {
        TablePartition p;
        p.number = c.number;
        p.offset = c.start * sectorBytes;
        p.length = c.sectors * sectorBytes;
        bool seen = false;
        for (const TablePartition& b : partitions) {
            seen = seen || (b.number >= kFirstLogical && b.offset == p.offset && b.length == p.length);
        }
        const std::string where = "its EBR puts it at sector " + std::to_string(c.start);
        if (p.offset / kBlkidSectorBytes >= kWrap) {
            p.unusable = "unusable: " + where + ", past 2^32, where libblkid's 32-bit sum wraps";
        } else if (!seen) {
            p.unusable = "unusable: " + where + ", which libblkid does not confirm";
        } else if ((p.offset + p.length) / kBlkidSectorBytes > kWrap) {
            p.unusable = "unusable: it ends past 2^32 sectors, where libblkid's 32-bit sums wrap";
        }
        checked.push_back(std::move(p));
    }
    partitions = std::move(checked);
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
    // (PTTYPE is no longer among the probe's values once the list is read.)
    const blkid_parttable table = blkid_partlist_get_table(list);
    const char* type = table != nullptr ? blkid_parttable_get_type(table) : nullptr;
    if (type != nullptr && std::strcmp(type, "dos") == 0) {
        CheckLogicalPartitions(fd.Get(), blkid_probe_get_sectorsize(probe.get()), partitions);
    }
    return true;
}

}  // namespace hdd::blockdev
