// The simulated machine: opening, seeking, reading, closing, the clock and
// the random words. The device-control answers live in sim_ioctl.cpp.
#include "platform/sim/sim_machine.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#include "platform/sim/device_path.h"
#include "platform/sim/latency.h"
#include "platform/sim/sim_machine_impl.h"

namespace hdd::sim {

namespace {

DWORD NaturalError(FaultOp op)
{
    switch (op) {
    case FaultOp::Open:
        return ERROR_FILE_NOT_FOUND;
    case FaultOp::Ioctl:
        return ERROR_INVALID_FUNCTION;
    case FaultOp::Seek:
        return ERROR_INVALID_PARAMETER;
    case FaultOp::Read:
        return ERROR_CRC;
    case FaultOp::Random:
        return static_cast<DWORD>(kRandomFailure);
    }
    return ERROR_INVALID_FUNCTION;
}

CallRecord NewRecord(CallKind kind)
{
    CallRecord record;
    record.kind = kind;
    return record;
}

int LetterIndex(WCHAR letter)
{
    return (letter >= L'A' && letter <= L'Z') ? static_cast<int>(letter - L'A') : -1;
}

}  // namespace

// ---- the machine's state -----------------------------------------------------------

SimMachine::Impl::Impl(MachineDescription d) : description(std::move(d)), generator(description.seed)
{
    faultMatches.assign(description.faults.size(), 0);
    head.assign(description.disks.size(), 0);
    unreadable.resize(description.disks.size());
    for (size_t i = 0; i < description.disks.size(); ++i) {
        std::vector<SectorRange> ranges = description.disks[i].unreadable;
        for (SectorRange& r : ranges) {
            if (r.first > r.last) {
                std::swap(r.first, r.last);
            }
        }
        std::sort(ranges.begin(), ranges.end(),
                  [](const SectorRange& a, const SectorRange& b) { return a.first < b.first; });
        std::vector<SectorRange>& merged = unreadable[i];
        for (const SectorRange& r : ranges) {
            if (!merged.empty() && (merged.back().last == ~0ull || r.first <= merged.back().last + 1)) {
                merged.back().last = std::max(merged.back().last, r.last);
            } else {
                merged.push_back(r);
            }
        }
    }
    RebuildVolumes();
}

void SimMachine::Impl::RebuildVolumes()
{
    volumes.clear();
    volumeOfLetter.fill(-1);
    unopenable.fill(false);
    auto add = [this](VolumeInfo v) {
        const int i = LetterIndex(v.letter);
        if (i < 0 || volumeOfLetter[i] >= 0) {
            return;  // not a letter, or taken by an earlier volume
        }
        for (const SimExtent& e : v.extents) {
            v.length += e.length;
        }
        v.onlyDisk = v.extents.empty() ? -1 : static_cast<LONG>(v.extents.front().disk);
        for (const SimExtent& e : v.extents) {
            if (static_cast<LONG>(e.disk) != v.onlyDisk) {
                v.onlyDisk = -1;
            }
        }
        volumeOfLetter[i] = static_cast<int>(volumes.size());
        volumes.push_back(std::move(v));
    };
    for (size_t d = 0; d < description.disks.size(); ++d) {
        for (const SimPartition& p : description.disks[d].partitions) {
            if (p.letter != 0) {
                add(VolumeInfo{p.letter, p.number, true, {SimExtent{static_cast<DWORD>(d), p.offset, p.length}}});
            }
        }
    }
    for (const SimVolume& v : description.volumes) {
        add(VolumeInfo{v.letter, v.partition, false, v.extents});
    }
    for (WCHAR letter : description.unopenableLetters) {
        const int i = LetterIndex(letter);
        if (i >= 0 && volumeOfLetter[i] < 0) {
            unopenable[i] = true;
        }
    }
}

OpenHandle* SimMachine::Impl::Find(HANDLE h)
{
    const auto it = handles.find(reinterpret_cast<ULONG_PTR>(h));
    return it == handles.end() ? nullptr : &it->second;
}

bool SimMachine::Impl::FaultFires(FaultOp op, const std::wstring* path, DWORD code, LONG disk, DWORD& error)
{
    bool fired = false;
    for (size_t i = 0; i < description.faults.size(); ++i) {
        const Fault& f = description.faults[i];
        if (f.op != op) {
            continue;
        }
        if ((op == FaultOp::Open || op == FaultOp::Ioctl) && !f.path.empty() &&
            (path == nullptr || !PathsEqualNoCase(f.path, *path))) {
            continue;
        }
        if (op == FaultOp::Ioctl && f.code != 0 && f.code != code) {
            continue;
        }
        if ((op == FaultOp::Seek || op == FaultOp::Read) && (disk < 0 || (f.disk >= 0 && f.disk != disk))) {
            continue;
        }
        const ULONGLONG n = ++faultMatches[i];
        if (!fired && (f.nth == 0 || f.nth == n)) {
            fired = true;
            error = f.error != 0 || f.zeroError ? f.error : NaturalError(op);
        }
    }
    return fired;
}

void SimMachine::Impl::Record(CallRecord&& record)
{
    if (recording) {
        calls.push_back(std::move(record));
    }
}

void SimMachine::Impl::Charge(ULONGLONG us)
{
    nowUs += us;
    if (pacing && us != 0) {
        std::this_thread::sleep_for(std::chrono::microseconds(us));
    }
}

DWORD SimMachine::Impl::SectorBytesOf(const OpenHandle& handle) const
{
    size_t disk = handle.index;
    if (!handle.isDisk) {
        const std::vector<SimExtent>& extents = volumes[handle.index].extents;
        disk = extents.empty() ? description.disks.size() : extents.front().disk;
    }
    const DWORD bytes = disk < description.disks.size() ? description.disks[disk].bytesPerSector : 0;
    return bytes != 0 ? bytes : 512;  // a disk that reports none is counted in 512-byte units
}

bool SimMachine::Impl::SectorsUnreadable(DWORD disk, ULONGLONG offset, ULONGLONG bytes) const
{
    if (bytes == 0 || disk >= unreadable.size() || unreadable[disk].empty()) {
        return false;
    }
    const ULONGLONG first = offset / 512;
    const ULONGLONG last = (offset + bytes - 1) / 512;
    const std::vector<SectorRange>& ranges = unreadable[disk];
    // The first range that ends at or after `first`.
    auto it = std::lower_bound(ranges.begin(), ranges.end(), first,
                               [](const SectorRange& r, ULONGLONG s) { return r.last < s; });
    return it != ranges.end() && it->first <= last;
}

DWORD SimMachine::Impl::Transfer(const OpenHandle& handle, ULONGLONG position, BYTE* buffer, DWORD bytes)
{
    auto fill = [this](size_t disk, ULONGLONG offset, BYTE* to, DWORD count) -> DWORD {
        DiskMedia* source = disk < media.size() ? media[disk] : nullptr;
        if (source == nullptr) {
            if (fillReads) {
                std::memset(to, 0, count);
            }
            return 0;
        }
        return source->Read(offset, to, count);
    };
    if (handle.isDisk) {
        return fill(handle.index, position, buffer, bytes);
    }
    ULONGLONG rel = position;
    DWORD done = 0;
    for (const SimExtent& e : volumes[handle.index].extents) {
        if (done == bytes) {
            break;
        }
        if (rel >= e.length) {
            rel -= e.length;
            continue;
        }
        const DWORD piece = static_cast<DWORD>(std::min<ULONGLONG>(bytes - done, e.length - rel));
        const DWORD error = fill(e.disk, e.offset + rel, buffer + done, piece);
        if (error != 0) {
            return error;
        }
        done += piece;
        rel = 0;
    }
    return 0;
}

ULONGLONG SimMachine::Impl::ReadableBytes(const OpenHandle& handle, ULONGLONG position, ULONGLONG wanted) const
{
    if (handle.isDisk) {
        return wanted;  // the drive's end is the device's end
    }
    // Piece by piece over the volume's extents, up to the first piece that
    // runs past the end of its disk (a partition table can say so).
    ULONGLONG rel = position;
    ULONGLONG readable = 0;
    for (const SimExtent& e : volumes[handle.index].extents) {
        if (readable == wanted) {
            break;
        }
        if (rel >= e.length) {
            rel -= e.length;
            continue;
        }
        const ULONGLONG diskSize = e.disk < description.disks.size() ? description.disks[e.disk].size : 0;
        const ULONGLONG at = e.offset + rel;
        const ULONGLONG piece = std::min(wanted - readable, e.length - rel);
        const ULONGLONG onDisk = at >= diskSize ? 0 : std::min(piece, diskSize - at);
        readable += onDisk;
        if (onDisk < piece) {
            break;
        }
        rel = 0;
    }
    return readable;
}

LONG SimMachine::Impl::DiskOf(const OpenHandle& handle) const
{
    const LONG disk = handle.isDisk ? static_cast<LONG>(handle.index) : volumes[handle.index].onlyDisk;
    return (disk >= 0 && static_cast<size_t>(disk) < description.disks.size()) ? disk : -1;
}

ULONGLONG SimMachine::Impl::EndOf(const OpenHandle& handle) const
{
    return handle.isDisk ? description.disks[handle.index].size : volumes[handle.index].length;
}

// ---- SimMachine ---------------------------------------------------------------------

SimMachine::SimMachine(MachineDescription description) : m_pImpl(new Impl(std::move(description))) {}

SimMachine::~SimMachine() { delete m_pImpl; }

HANDLE SimMachine::CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                               LPSECURITY_ATTRIBUTES /*lpSecurityAttributes*/, DWORD dwCreationDisposition,
                               DWORD dwFlagsAndAttributes, HANDLE /*hTemplateFile*/)
{
    Impl& m = *m_pImpl;
    CallRecord record = NewRecord(CallKind::Open);
    const std::wstring path = lpFileName != nullptr ? std::wstring(lpFileName) : std::wstring();
    if (m.recording) {
        record.path = path;
    }
    record.access = dwDesiredAccess;
    record.share = dwShareMode;
    record.disposition = dwCreationDisposition;
    record.flags = dwFlagsAndAttributes;

    DWORD error = 0;
    bool faulted = false;  // a fault may fail the call with any code, 0 too
    const DevicePathTarget target = ParseDevicePath(path);
    int volume = -1;
    if (lpFileName == nullptr) {
        error = ERROR_PATH_NOT_FOUND;
    } else if ((faulted = m.FaultFires(FaultOp::Open, &path, 0, -1, error))) {
        // the fault's error
    } else if (target.kind == DevicePathTarget::Kind::Disk) {
        if (target.disk >= m.description.disks.size()) {
            error = ERROR_FILE_NOT_FOUND;
        }
    } else if (target.kind == DevicePathTarget::Kind::Volume) {
        const int i = LetterIndex(target.letter);
        volume = m.volumeOfLetter[i];
        if (m.unopenable[i]) {
            error = kErrorNotReady;  // in the drive mask, but nothing to open (an empty card reader)
        } else if (volume < 0) {
            error = ERROR_FILE_NOT_FOUND;
        }
    } else {
        error = ERROR_FILE_NOT_FOUND;
    }
    // The machine never lets anything write: any access beyond reading is refused.
    if (!faulted && error == 0 && (dwDesiredAccess & ~GENERIC_READ) != 0) {
        error = ERROR_ACCESS_DENIED;
    }
    if (!faulted && error == 0 && dwCreationDisposition != OPEN_EXISTING) {
        error = ERROR_INVALID_PARAMETER;
    }
    // A mounted volume is held open for reading and writing by its file
    // system, so an open that will not share both is refused.
    const DWORD kShareBoth = FILE_SHARE_READ | FILE_SHARE_WRITE;
    if (!faulted && error == 0 && target.kind == DevicePathTarget::Kind::Volume &&
        (dwShareMode & kShareBoth) != kShareBoth) {
        error = kErrorSharingViolation;
    }
    if (faulted || error != 0) {
        m.lastError = error;
        record.ok = false;
        record.error = error;
        m.Record(std::move(record));
        return INVALID_HANDLE_VALUE;
    }

    OpenHandle handle;
    handle.isDisk = target.kind == DevicePathTarget::Kind::Disk;
    handle.index = handle.isDisk ? target.disk : static_cast<size_t>(volume);
    handle.access = dwDesiredAccess;
    handle.path = path;
    const ULONG_PTR value = m.nextHandle;
    m.nextHandle += 4;
    m.handles.emplace(value, std::move(handle));
    m.Record(std::move(record));
    return reinterpret_cast<HANDLE>(value);
}

BOOL SimMachine::DeviceIoControl(HANDLE hDevice, DWORD dwIoControlCode, LPVOID lpInBuffer, DWORD nInBufferSize,
                                 LPVOID lpOutBuffer, DWORD nOutBufferSize, LPDWORD lpBytesReturned,
                                 LPOVERLAPPED lpOverlapped)
{
    Impl& m = *m_pImpl;
    CallRecord record = NewRecord(CallKind::Ioctl);
    record.code = dwIoControlCode;
    record.inSize = nInBufferSize;
    record.outSize = nOutBufferSize;
    const OpenHandle* handle = m.Find(hDevice);
    if (handle != nullptr && m.recording) {
        record.path = handle->path;
    }

    DWORD error = 0;
    DWORD returned = 0;
    bool faulted = false;
    if (handle == nullptr) {
        error = ERROR_INVALID_HANDLE;
    } else if (lpOverlapped != nullptr || lpBytesReturned == nullptr) {
        // Handles here are synchronous: without an overlapped record the
        // byte count is required, and overlapped requests are not served.
        error = ERROR_INVALID_PARAMETER;
    } else if (!(faulted = m.FaultFires(FaultOp::Ioctl, &handle->path, dwIoControlCode, -1, error))) {
        error = m.Ioctl(*handle, dwIoControlCode, lpInBuffer, nInBufferSize, lpOutBuffer, nOutBufferSize, returned);
    }
    if (lpBytesReturned != nullptr && lpOverlapped == nullptr) {
        *lpBytesReturned = returned;
    }
    const bool failed = faulted || error != 0;
    record.ok = !failed;
    record.error = error;
    m.Record(std::move(record));
    if (failed) {
        m.lastError = error;
        return FALSE;
    }
    return TRUE;
}

DWORD SimMachine::SetFilePointer(HANDLE hFile, LONG lDistanceToMove, PLONG lpDistanceToMoveHigh, DWORD dwMoveMethod)
{
    Impl& m = *m_pImpl;
    CallRecord record = NewRecord(CallKind::Seek);
    OpenHandle* handle = m.Find(hFile);
    DWORD error = 0;
    bool faulted = false;
    LONGLONG target = 0;
    if (handle == nullptr) {
        error = ERROR_INVALID_HANDLE;
    } else {
        if (m.recording) {
            record.path = handle->path;
        }
        record.disk = handle->isDisk ? static_cast<LONG>(handle->index) : -1;
        // With a high part the distance is the 64-bit value of both halves;
        // without one the low part alone is a signed distance.
        const LONGLONG distance =
            lpDistanceToMoveHigh != nullptr
                ? static_cast<LONGLONG>((static_cast<ULONGLONG>(static_cast<DWORD>(*lpDistanceToMoveHigh)) << 32) |
                                        static_cast<DWORD>(lDistanceToMove))
                : static_cast<LONGLONG>(lDistanceToMove);
        LONGLONG base = 0;
        const ULONGLONG end = m.EndOf(*handle);
        const ULONGLONG kMax = 0x7FFFFFFFFFFFFFFFull;
        if (dwMoveMethod == FILE_CURRENT) {
            base = static_cast<LONGLONG>(std::min(handle->position, kMax));
        } else if (dwMoveMethod == FILE_END) {
            base = static_cast<LONGLONG>(std::min(end, kMax));
        } else if (dwMoveMethod != FILE_BEGIN) {
            error = ERROR_INVALID_PARAMETER;
        }
        if (error == 0 && __builtin_add_overflow(base, distance, &target)) {
            error = ERROR_INVALID_PARAMETER;
        } else if (error == 0 && target < 0) {
            error = ERROR_NEGATIVE_SEEK;
        } else if (error == 0 && lpDistanceToMoveHigh == nullptr && target > 0xFFFFFFFFll) {
            error = ERROR_INVALID_PARAMETER;  // the new position does not fit the return value alone
        }
        // A fault's error; the position stays.
        faulted = error == 0 && m.FaultFires(FaultOp::Seek, nullptr, 0, record.disk, error);
    }
    record.ok = !faulted && error == 0;
    record.error = error;
    if (!record.ok) {
        m.Record(std::move(record));
        m.lastError = error;
        return INVALID_SET_FILE_POINTER;
    }
    handle->position = static_cast<ULONGLONG>(target);
    record.offset = handle->position;
    m.Record(std::move(record));
    if (lpDistanceToMoveHigh != nullptr) {
        *lpDistanceToMoveHigh = static_cast<LONG>(static_cast<DWORD>(handle->position >> 32));
    }
    const DWORD low = static_cast<DWORD>(handle->position);
    if (low == INVALID_SET_FILE_POINTER) {
        // As on Windows: a valid position whose low part looks like the
        // failure value clears the last error, so the caller can tell.
        m.lastError = 0;
    }
    return low;
}

BOOL SimMachine::ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead, LPDWORD lpNumberOfBytesRead,
                          LPOVERLAPPED lpOverlapped)
{
    Impl& m = *m_pImpl;
    ++m.readCount;
    CallRecord record = NewRecord(CallKind::Read);
    record.bytes = nNumberOfBytesToRead;
    OpenHandle* handle = m.Find(hFile);
    DWORD error = 0;
    bool faulted = false;
    if (lpNumberOfBytesRead != nullptr) {
        *lpNumberOfBytesRead = 0;
    }
    if (handle == nullptr) {
        error = ERROR_INVALID_HANDLE;
    } else {
        const ULONGLONG position = handle->position;
        const LONG disk = handle->isDisk ? static_cast<LONG>(handle->index) : -1;
        if (m.recording) {
            record.path = handle->path;
        }
        record.disk = disk;
        record.sector = position / m.SectorBytesOf(*handle);
        if (disk >= 0 && m.readObserver) {
            m.readObserver(disk, record.sector);
        }
        const ULONGLONG end = m.EndOf(*handle);
        // Where the read lands on a disk: the drive itself, or the volume's
        // extent that holds the position.
        LONG onDisk = disk;
        ULONGLONG diskOffset = position;
        if (!handle->isDisk) {
            onDisk = -1;
            ULONGLONG rel = position;
            for (const SimExtent& e : m.volumes[handle->index].extents) {
                if (rel < e.length) {
                    onDisk = static_cast<LONG>(e.disk);
                    diskOffset = e.offset + rel;
                    break;
                }
                rel -= e.length;
            }
            if (onDisk >= 0 && static_cast<size_t>(onDisk) >= m.description.disks.size()) {
                onDisk = -1;
            }
        }
        // What a read here can transfer: up to the end of the device, and
        // on a volume, up to the end of the disk under each piece.
        const ULONGLONG readable =
            position < end && onDisk >= 0
                ? m.ReadableBytes(*handle, position, std::min<ULONGLONG>(end - position, nNumberOfBytesToRead))
                : 0;
        if (lpOverlapped != nullptr || lpNumberOfBytesRead == nullptr) {
            error = ERROR_INVALID_PARAMETER;
        } else if ((handle->access & GENERIC_READ) == 0) {
            error = ERROR_ACCESS_DENIED;
        } else if (disk >= 0 && (faulted = m.FaultFires(FaultOp::Read, nullptr, 0, disk, error))) {
            m.Charge(ReadLatencyMicroseconds(m.description.disks[disk].latency, end, m.head[disk], position,
                                             nNumberOfBytesToRead) +
                     SlowSectorMicroseconds(m.description.disks[disk].slow, position, nNumberOfBytesToRead));
        } else if (nNumberOfBytesToRead == 0) {
            // nothing to transfer
        } else if (lpBuffer == nullptr) {
            error = kErrorNoAccess;
        } else if (readable == 0) {
            // At or past the end of the device, or of the disk under a
            // volume whose partition runs past it (a damaged table).
            error = ERROR_SECTOR_NOT_FOUND;
        } else {
            const DWORD bytes = static_cast<DWORD>(readable);
            bool bad = false;
            if (handle->isDisk) {
                bad = m.SectorsUnreadable(static_cast<DWORD>(disk), position, bytes);
            } else {
                ULONGLONG rel = position;
                ULONGLONG left = bytes;
                for (const SimExtent& e : m.volumes[handle->index].extents) {
                    if (left == 0) {
                        break;
                    }
                    if (rel >= e.length) {
                        rel -= e.length;
                        continue;
                    }
                    const ULONGLONG piece = std::min(left, e.length - rel);
                    bad = bad || m.SectorsUnreadable(e.disk, e.offset + rel, piece);
                    left -= piece;
                    rel = 0;
                }
            }
            const SimDisk& media = m.description.disks[onDisk];
            m.Charge(ReadLatencyMicroseconds(media.latency, media.size, m.head[onDisk], diskOffset, bytes) +
                     SlowSectorMicroseconds(media.slow, diskOffset, bytes));
            m.head[onDisk] = diskOffset + bytes;
            if (bad) {
                error = ERROR_CRC;
            } else {
                error = m.Transfer(*handle, position, static_cast<BYTE*>(lpBuffer), bytes);
            }
            if (error == 0) {
                handle->position = position + bytes;
                *lpNumberOfBytesRead = bytes;
            }
        }
    }
    const bool failed = faulted || error != 0;
    record.ok = !failed;
    record.error = error;
    m.Record(std::move(record));
    if (failed) {
        m.lastError = error;
        return FALSE;
    }
    return TRUE;
}

BOOL SimMachine::CloseHandle(HANDLE hObject)
{
    Impl& m = *m_pImpl;
    CallRecord record = NewRecord(CallKind::Close);
    const auto it = m.handles.find(reinterpret_cast<ULONG_PTR>(hObject));
    if (it == m.handles.end()) {
        record.ok = false;
        record.error = ERROR_INVALID_HANDLE;
        m.Record(std::move(record));
        m.lastError = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    if (m.recording) {
        record.path = it->second.path;
    }
    record.disk = it->second.isDisk ? static_cast<LONG>(it->second.index) : -1;
    m.handles.erase(it);
    m.Record(std::move(record));
    return TRUE;
}

DWORD SimMachine::GetLastError() { return m_pImpl->lastError; }

void SimMachine::SetLastError(DWORD dwErrCode) { m_pImpl->lastError = dwErrCode; }

DWORD SimMachine::GetLogicalDrives()
{
    DWORD mask = 0;
    for (int i = 0; i < 26; ++i) {
        if (m_pImpl->volumeOfLetter[i] >= 0 || m_pImpl->unopenable[i]) {
            mask |= 1u << i;
        }
    }
    return mask;
}

DWORD SimMachine::GetTickCount() { return static_cast<DWORD>(m_pImpl->nowUs / 1000u); }

void SimMachine::Sleep(DWORD dwMilliseconds)
{
    ++m_pImpl->sleepCount;
    m_pImpl->Charge(static_cast<ULONGLONG>(dwMilliseconds) * 1000u);
}

errno_t SimMachine::rand_s(unsigned int* randomValue)
{
    Impl& m = *m_pImpl;
    ++m.randomCount;
    CallRecord record = NewRecord(CallKind::Random);
    DWORD error = 0;
    if (randomValue == nullptr) {
        error = static_cast<DWORD>(kRandomFailure);
    } else if (m.FaultFires(FaultOp::Random, nullptr, 0, -1, error)) {
        *randomValue = 0;  // rand_s clears the word when it fails
    } else if (!m.queuedWords.empty()) {
        *randomValue = m.queuedWords.front();
        m.queuedWords.pop_front();
    } else {
        *randomValue = static_cast<unsigned int>(m.generator());
    }
    record.ok = error == 0;
    record.error = error;
    m.Record(std::move(record));
    return static_cast<errno_t>(error);
}

// ---- what the machine is --------------------------------------------------------------

const MachineDescription& SimMachine::Description() const { return m_pImpl->description; }

void SimMachine::AddFault(const Fault& fault)
{
    m_pImpl->description.faults.push_back(fault);
    m_pImpl->faultMatches.push_back(0);
}

void SimMachine::SetMedia(DWORD disk, DiskMedia* media)
{
    if (disk >= m_pImpl->media.size()) {
        m_pImpl->media.resize(static_cast<size_t>(disk) + 1, nullptr);
    }
    m_pImpl->media[disk] = media;
}

void SimMachine::ClearFaults()
{
    m_pImpl->description.faults.clear();
    m_pImpl->faultMatches.clear();
}

// ---- what happened --------------------------------------------------------------------

void SimMachine::SetRecording(bool on) { m_pImpl->recording = on; }

const std::vector<CallRecord>& SimMachine::Calls() const { return m_pImpl->calls; }

std::vector<SectorRead> SimMachine::Reads() const
{
    std::vector<SectorRead> reads;
    for (const CallRecord& c : m_pImpl->calls) {
        if (c.kind == CallKind::Read && c.disk >= 0) {
            reads.push_back(SectorRead{c.disk, c.sector});
        }
    }
    return reads;
}

void SimMachine::ClearCalls() { m_pImpl->calls.clear(); }

size_t SimMachine::OpenHandleCount() const { return m_pImpl->handles.size(); }

ULONGLONG SimMachine::ReadCount() const { return m_pImpl->readCount; }

ULONGLONG SimMachine::SleepCount() const { return m_pImpl->sleepCount; }

void SimMachine::SetReadObserver(std::function<void(LONG disk, ULONGLONG sector)> observer)
{
    m_pImpl->readObserver = std::move(observer);
}

// ---- the clock ----------------------------------------------------------------------------

void SimMachine::SetTickCount(DWORD dwTick) { m_pImpl->nowUs = static_cast<ULONGLONG>(dwTick) * 1000u; }

void SimMachine::AdvanceMicroseconds(ULONGLONG us) { m_pImpl->nowUs += us; }

ULONGLONG SimMachine::NowMicroseconds() const { return m_pImpl->nowUs; }

const ULONGLONG* SimMachine::MicrosecondCounter() const { return &m_pImpl->nowUs; }

void SimMachine::SetPacing(bool on) { m_pImpl->pacing = on; }

void SimMachine::SetFillReads(bool on) { m_pImpl->fillReads = on; }

// ---- random words ----------------------------------------------------------------------------

void SimMachine::QueueRandomWords(const std::vector<unsigned int>& words)
{
    m_pImpl->queuedWords.insert(m_pImpl->queuedWords.end(), words.begin(), words.end());
}

ULONGLONG SimMachine::RandomCallCount() const { return m_pImpl->randomCount; }

}  // namespace hdd::sim
