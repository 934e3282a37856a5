// What a simulated machine is made of, and its JSON form.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "platform/win32.h"

namespace hdd::sim {

enum class LatencyModel { Instant, Ssd, Hdd, FixedMs };

struct Latency {
    LatencyModel model = LatencyModel::Instant;
    double milliseconds = 0;  // FixedMs: per read
    bool operator==(const Latency&) const = default;
};

struct SimPartition {
    DWORD number = 0;
    ULONGLONG offset = 0;  // bytes from the start of the disk
    ULONGLONG length = 0;  // bytes
    WCHAR letter = 0;      // 0: no lettered volume
    bool operator==(const SimPartition&) const = default;
};

// Inclusive range of 512-byte sectors whose reads fail with ERROR_CRC.
struct SectorRange {
    ULONGLONG first = 0;
    ULONGLONG last = 0;
    bool operator==(const SectorRange&) const = default;
};

// Inclusive range of 512-byte sectors (from the start of the disk) whose
// reads take the given milliseconds on top of the disk's latency model.
struct SlowRange {
    ULONGLONG first = 0;
    ULONGLONG last = 0;
    double milliseconds = 0;
    bool operator==(const SlowRange&) const = default;
};

struct SimDisk {
    DWORD bus = BusTypeSata;
    DWORD media = FixedMedia;
    // The disk's identity for front ends (UTF-8; empty when unknown). The
    // machine itself answers none of it.
    std::string model;
    std::string serial;
    std::string wwn;
    LONGLONG cylinders = 0;
    DWORD tracksPerCylinder = 0;
    DWORD sectorsPerTrack = 0;
    DWORD bytesPerSector = 512;
    ULONGLONG size = 0;  // readable bytes
    std::vector<SimPartition> partitions;
    std::vector<SectorRange> unreadable;
    Latency latency;
    std::vector<SlowRange> slow;
    // What smartctl --json says about the disk, for front ends (the machine
    // answers none of it): the file a machine file names, relative to it,
    // and its text (empty: the disk answers no SMART).
    std::string smartctlFile;
    std::string smartctlJson;
    // What a short or an extended self-test leaves at the head of the disk's
    // self-test log when a front end runs one: one entry of that log in
    // smartctl's JSON form (ATA: type, status, lifetime_hours, lba; NVMe:
    // self_test_code, self_test_result, power_on_hours, lba); empty: the
    // machine gives no such test. The machine runs none of it.
    std::string shortSelfTestEntry;
    std::string extendedSelfTestEntry;
    bool operator==(const SimDisk&) const = default;
};

struct SimExtent {
    DWORD disk = 0;
    ULONGLONG offset = 0;
    ULONGLONG length = 0;
    bool operator==(const SimExtent&) const = default;
};

// A lettered volume that is not simply one partition (for example a volume
// spanning several disks).
struct SimVolume {
    WCHAR letter = 0;
    DWORD partition = 0;  // what the partition-information request reports
    std::vector<SimExtent> extents;
    bool operator==(const SimVolume&) const = default;
};

enum class FaultOp { Open, Ioctl, Seek, Read, Random };

// Makes matching calls fail. nth counts the matching calls from 1; 0 hits
// every matching call.
struct Fault {
    FaultOp op = FaultOp::Open;
    std::wstring path;  // Open/Ioctl: empty matches any path (compared without case)
    DWORD code = 0;     // Ioctl: 0 matches any request
    LONG disk = -1;     // Seek/Read: -1 matches any physical drive
    ULONGLONG nth = 0;
    DWORD error = 0;         // last-error code; 0 picks the natural one for the op,
    bool zeroError = false;  // unless this is set: then the call fails with last error 0
    bool operator==(const Fault&) const = default;
};

struct MachineDescription {
    std::vector<SimDisk> disks;
    std::vector<SimVolume> volumes;
    std::vector<Fault> faults;
    std::vector<WCHAR> unopenableLetters;  // in the drive mask, but every open fails
    unsigned int seed = 1;                 // of the random-word generator
    bool operator==(const MachineDescription&) const = default;
};

class MachineError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The built-in machine: one SATA disk 0 with C: (partition 1, 104,857,600,000
// bytes) and D: (partition 2, 395,249,106,944 bytes, with a slow area at
// sectors 600,000,000-600,099,999, and smartctl output with 8 pending
// sectors), and a USB memory stick as disk 1 with E: (no SMART).
MachineDescription BuiltinMachine();

// Parses the JSON form; throws MachineError naming the place and the problem.
// A disk's smartctl file is read only by LoadMachineFile, relative to the
// machine file; an inline smartctl object becomes smartctlJson here.
MachineDescription ParseMachine(const std::string& jsonText);
MachineDescription LoadMachineFile(const std::string& path);

// Checks that a description is consistent (letters A-Z and unique, partitions
// and extents inside their disks, known disks in faults, ...); throws
// MachineError naming the place as the JSON form spells it. The machine
// itself accepts any description and answers inconsistent parts with
// failures, so tests may build odd machines on purpose.
void ValidateMachine(const MachineDescription& description);

// Bytes of the geometry: cylinders * tracks * sectors * bytes per sector,
// or 0 when a factor is not positive or the product does not fit.
ULONGLONG GeometryBytes(const SimDisk& disk);

}  // namespace hdd::sim
