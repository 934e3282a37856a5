// Inside the simulated machine: the state behind SimMachine, shared by the
// files that answer its calls. Not part of the machine's interface.
#pragma once

#include <array>
#include <deque>
#include <functional>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/sim/sim_machine.h"

namespace hdd::sim {

// Error codes the platform header of the native build does not declare.
constexpr DWORD kErrorNotReady = 21;
constexpr DWORD kErrorSharingViolation = 32;
constexpr DWORD kErrorNoAccess = 998;
constexpr errno_t kRandomFailure = 22;  // EINVAL, what rand_s reports

// A lettered volume as the machine serves it: a partition with a letter, or
// an entry of the description's volume list.
struct VolumeInfo {
    WCHAR letter = 0;
    DWORD partition = 0;
    bool fromPartition = false;
    std::vector<SimExtent> extents;
    ULONGLONG length = 0;  // all extents together
    LONG onlyDisk = -1;    // the one disk carrying every extent, or -1
};

struct OpenHandle {
    bool isDisk = false;
    size_t index = 0;  // disk number or index into volumes
    DWORD access = 0;
    ULONGLONG position = 0;
    std::wstring path;
};

struct SimMachine::Impl {
    explicit Impl(MachineDescription d);

    MachineDescription description;
    std::vector<VolumeInfo> volumes;
    std::array<int, 26> volumeOfLetter{};  // index into volumes, -1 none
    std::array<bool, 26> unopenable{};
    std::vector<std::vector<SectorRange>> unreadable;  // per disk, sorted and merged
    std::vector<ULONGLONG> head;                       // per disk: where the last read ended
    std::vector<ULONGLONG> faultMatches;               // per fault: matching calls so far
    std::vector<DiskMedia*> media;                     // per disk: where its bytes come from, or null

    std::unordered_map<ULONG_PTR, OpenHandle> handles;
    ULONG_PTR nextHandle = 0x1000;

    DWORD lastError = 0;
    ULONGLONG nowUs = 0;
    bool recording = true;
    bool pacing = false;
    bool fillReads = true;
    std::vector<CallRecord> calls;
    ULONGLONG readCount = 0;
    ULONGLONG sleepCount = 0;
    ULONGLONG randomCount = 0;
    std::function<void(LONG, ULONGLONG)> readObserver;

    std::mt19937 generator;
    std::deque<unsigned int> queuedWords;

    void RebuildVolumes();
    OpenHandle* Find(HANDLE h);
    // Counts the call against every matching fault; true (with the error to
    // set) when one of them fires on this call.
    bool FaultFires(FaultOp op, const std::wstring* path, DWORD code, LONG disk, DWORD& error);
    void Record(CallRecord&& record);
    void Charge(ULONGLONG us);
    // The sector size of the disk under a handle (a volume's: its first
    // extent's disk), by which reads are recorded; 512 when it reports none.
    DWORD SectorBytesOf(const OpenHandle& handle) const;
    // Unreadable ranges count 512-byte units from the start of the disk: a
    // read fails when any unit it touches is unreadable.
    bool SectorsUnreadable(DWORD disk, ULONGLONG offset, ULONGLONG bytes) const;
    // Fills the buffer from the disks' media (zeros where a disk has none);
    // 0 or the media's error.
    DWORD Transfer(const OpenHandle& handle, ULONGLONG position, BYTE* buffer, DWORD bytes);

    // Device-control answers; each returns 0 or the error to fail with, and
    // the bytes it wrote.
    DWORD Ioctl(const OpenHandle& handle, DWORD code, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize,
                DWORD& returned);
    DWORD GeometryAnswer(const OpenHandle& handle, LPVOID out, DWORD outSize, DWORD& returned);
    DWORD PartitionAnswer(const OpenHandle& handle, LPVOID out, DWORD outSize, DWORD& returned);
    DWORD LengthAnswer(const OpenHandle& handle, LPVOID out, DWORD outSize, DWORD& returned);
    DWORD ExtentsAnswer(const OpenHandle& handle, LPVOID out, DWORD outSize, DWORD& returned);
    DWORD PropertyAnswer(const OpenHandle& handle, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize,
                         DWORD& returned);
    // The disk a handle stands on: the drive itself, or the one disk carrying
    // the volume; -1 for a volume across several disks (or none).
    LONG DiskOf(const OpenHandle& handle) const;
    ULONGLONG EndOf(const OpenHandle& handle) const;
    // Bytes a read of up to `wanted` bytes at `position` (inside the
    // device) can transfer: on a volume, up to the end of the disk under it.
    ULONGLONG ReadableBytes(const OpenHandle& handle, ULONGLONG position, ULONGLONG wanted) const;
};

}  // namespace hdd::sim
