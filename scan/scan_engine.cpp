#include "scan/scan_engine.h"

#include <algorithm>
#include <cstring>

#include "drive/device.h"
#include "scan/aligned_buffer.h"
#include "scan/scan_handle.h"

namespace hdd::scan {

namespace {

// Codes that say the device is gone, whatever sector was asked for. The
// platform header of the native build does not name them all.
constexpr DWORD kErrorNotReady = 21;
constexpr DWORD kErrorDevNotExist = 55;
constexpr DWORD kErrorNoSuchDevice = 433;
constexpr DWORD kErrorMediaChanged = 1110;
constexpr DWORD kErrorDeviceNotConnected = 1167;

// Failed reads in a row after which the scan checks that the disk is still
// there; the marks they made are undone if it is not.
constexpr size_t kFailuresBeforeCheck = 8;

// Good blocks of the fast pass kept as a source of the check's reads: each
// of their sectors was read once, and serves one check.
constexpr size_t kCanaryBlocks = 64;

enum class Step { Go, Stop, Gone };

struct FailureMark {
    ULONGLONG pos;
    ULONGLONG bytes;
    SectorState was;
    SectorState now;
};

class NullObserver final : public ScanObserver {};

class Scanner {
public:
    Scanner(OsApi& os, const ScanTarget& target, const ScanOptions& options, RangeMap& map, ScanClock& clock,
            ScanObserver& observer)
        : m_os(os),
          m_target(target),
          m_options(options),
          m_map(map),
          m_clock(clock),
          m_observer(observer),
          m_sector(target.sectorBytes)
    {
    }

    ScanResult Run();

private:
    bool Validate(std::string& why) const;
    bool StopRequested() const
    {
        return m_options.stop != nullptr && m_options.stop->load(std::memory_order_relaxed);
    }
    void EnterPhase(ScanPhase phase);
    DWORD ReadAt(HANDLE h, ULONGLONG pos, ULONGLONG bytes);
    DWORD TimedRead(ULONGLONG pos, ULONGLONG bytes);
    ULONGLONG& CounterOf(SectorState state);
    void Mark(ULONGLONG pos, ULONGLONG bytes, SectorState was, SectorState now);
    void Succeeded() { m_pendingCount = 0; }
    Step Failed(ULONGLONG pos, ULONGLONG bytes, SectorState was, SectorState now);
    void AfterRead();
    bool DiskStillThere(DWORD& error);
    Step Gone(DWORD error);
    Step CheckBeforePhase(SectorState work);
    bool TakeCanary(ULONGLONG& pos);

    Step FastPass();
    Step Trim();
    Step Scrape();

    OsApi& m_os;
    const ScanTarget& m_target;
    const ScanOptions& m_options;
    RangeMap& m_map;
    ScanClock& m_clock;
    ScanObserver& m_observer;
    const ULONGLONG m_sector;
    ULONGLONG m_rangePos = 0;
    ULONGLONG m_rangeEnd = 0;
    HANDLE m_handle = INVALID_HANDLE_VALUE;
    BYTE* m_buffer = nullptr;

    ScanResult m_result;
    ScanProgress& m_progress = m_result.progress;
    ULONGLONG m_startNs = 0;
    ULONGLONG m_lastSaveNs = 0;

    // The failures since the last good read, to undo when the disk is gone.
    FailureMark m_pending[kFailuresBeforeCheck] = {};
    size_t m_pendingCount = 0;

    // Sectors that read well once in this scan's fast pass, for the check's
    // read (the unused part of each block); the map's read areas when this
    // run's fast pass read nothing (a resumed scan).
    struct Span {
        ULONGLONG pos;
        ULONGLONG end;
    };
    Span m_canaries[kCanaryBlocks] = {};
    size_t m_canaryNext = 0;  // the slot the next good block takes
    bool m_fastPassRead = false;
    ULONGLONG m_mapCanaryFrom = 0;
};

ScanResult Scanner::Run()
{
    if (!Validate(m_result.why)) {
        m_result.end = ScanEnd::InvalidArgs;
        return m_result;
    }
    m_rangePos = m_target.firstSector * m_sector;
    m_rangeEnd = m_rangePos + m_target.sectorCount * m_sector;
    m_mapCanaryFrom = m_rangePos;

    const AlignedBuffer buffer(std::max<size_t>(m_options.blockBytes, kBufferAlignment));
    if (buffer.Data() == nullptr) {
        m_result.end = ScanEnd::InvalidArgs;
        m_result.error = ERROR_NOT_ENOUGH_MEMORY;
        m_result.why = "no memory for a read buffer of " + std::to_string(m_options.blockBytes) + " bytes";
        return m_result;
    }
    m_buffer = buffer.Data();
    const ScanHandle handle(m_os, OpenForScan(m_os, m_target.devicePath));
    if (!handle.IsOpen()) {
        const DWORD error = m_os.GetLastError();
        m_result.end = ScanEnd::CannotOpen;
        m_result.error = error != 0 ? error : ERROR_FILE_NOT_FOUND;
        return m_result;
    }
    m_handle = handle.Get();

    m_progress.rangeBytes = m_rangeEnd - m_rangePos;
    m_progress.untriedBytes = m_map.BytesIn(SectorState::Untried, m_rangePos, m_rangeEnd);
    m_progress.notTrimmedBytes = m_map.BytesIn(SectorState::NotTrimmed, m_rangePos, m_rangeEnd);
    m_progress.notScrapedBytes = m_map.BytesIn(SectorState::NotScraped, m_rangePos, m_rangeEnd);
    m_progress.unreadableBytes = m_map.BytesIn(SectorState::Unreadable, m_rangePos, m_rangeEnd);
    m_progress.readBytes = m_map.BytesIn(SectorState::Read, m_rangePos, m_rangeEnd);
    m_progress.position = m_rangePos;
    m_startNs = m_clock.NowNanoseconds();
    m_lastSaveNs = m_startNs;

    Step step = FastPass();
    if (step == Step::Go) {
        step = Trim();
    }
    if (step == Step::Go && m_options.scrape) {
        step = Scrape();
    }
    if (step == Step::Go) {
        EnterPhase(ScanPhase::Finished);
        m_result.end = ScanEnd::Finished;
    } else if (step == Step::Stop) {
        m_result.end = ScanEnd::Stopped;
    }
    m_progress.elapsedNs = m_clock.NowNanoseconds() - m_startNs;
    m_result.unreadableSectors = m_progress.unreadableBytes / m_sector;
    m_result.unreadableAreas = m_map.AreasIn(SectorState::Unreadable, m_rangePos, m_rangeEnd);
    return m_result;
}

bool Scanner::Validate(std::string& why) const
{
    const ScanTarget& t = m_target;
    const DWORD block = m_options.blockBytes;
    if (t.devicePath.empty()) {
        why = "no device to scan";
    } else if (!IsSupportedSectorSize(t.sectorBytes)) {
        why = "a sector size of " + std::to_string(t.sectorBytes) + " bytes cannot be read";
    } else if (t.diskBytes < t.sectorBytes) {
        why = "the disk is smaller than one sector";
    } else if (block < t.sectorBytes || block % t.sectorBytes != 0 || block > kMaxBlockBytes) {
        why = "the block size (" + std::to_string(block) + " bytes) must be a multiple of the sector size (" +
              std::to_string(t.sectorBytes) + " bytes) up to " + std::to_string(kMaxBlockBytes) + " bytes";
    } else if (t.sectorCount == 0 || t.firstSector > t.diskBytes / t.sectorBytes ||
               t.sectorCount > t.diskBytes / t.sectorBytes - t.firstSector) {
        why = "the range (sectors " + std::to_string(t.firstSector) + " + " + std::to_string(t.sectorCount) +
              ") is empty or runs past the disk's " + std::to_string(t.diskBytes / t.sectorBytes) + " sectors";
    } else if (m_map.DiskBytes() != t.diskBytes) {
        why = "the map covers " + std::to_string(m_map.DiskBytes()) + " bytes, the disk has " +
              std::to_string(t.diskBytes);
    } else {
        return true;
    }
    return false;
}

void Scanner::EnterPhase(ScanPhase phase)
{
    m_progress.phase = phase;
    m_map.SetProgress(phase, m_progress.position);
    m_observer.OnPhase(phase, m_progress);
}

DWORD Scanner::ReadAt(HANDLE h, ULONGLONG pos, ULONGLONG bytes)
{
    // A seek whose low part is the failure value succeeds with last error 0.
    m_os.SetLastError(0);
    LONG high = static_cast<LONG>(static_cast<DWORD>(pos >> 32));
    if (m_os.SetFilePointer(h, static_cast<LONG>(static_cast<DWORD>(pos)), &high, FILE_BEGIN) ==
        INVALID_SET_FILE_POINTER) {
        const DWORD error = m_os.GetLastError();
        if (error != 0) {
            return error;
        }
    }
    DWORD got = 0;
    if (!m_os.ReadFile(h, m_buffer, static_cast<DWORD>(bytes), &got, nullptr)) {
        // A failure is one, with or without an error code.
        const DWORD error = m_os.GetLastError();
        return error != 0 ? error : ERROR_READ_FAULT;
    }
    return got == bytes ? 0 : ERROR_HANDLE_EOF;
}

DWORD Scanner::TimedRead(ULONGLONG pos, ULONGLONG bytes)
{
    m_progress.position = pos;
    m_map.SetProgress(m_progress.phase, pos);
    const ULONGLONG start = m_clock.NowNanoseconds();
    const DWORD error = ReadAt(m_handle, pos, bytes);
    const ULONGLONG end = m_clock.NowNanoseconds();
    const ULONGLONG ns = end > start ? end - start : 0;
    ++m_progress.readsThisRun;
    if (error == 0) {
        m_progress.bytesThisRun += bytes;
    } else {
        ++m_progress.failedReads;
    }
    m_progress.elapsedNs = end > m_startNs ? end - m_startNs : 0;
    const ULONGLONG first = pos / m_sector;
    const ULONGLONG sectors = bytes / m_sector;
    if (ns >= m_options.slowNs) {
        std::vector<SlowArea>& slow = m_result.slowAreas;
        if (!slow.empty() && slow.back().firstSector + slow.back().sectors == first) {
            slow.back().sectors += sectors;
            slow.back().worstNs = std::max(slow.back().worstNs, ns);
        } else {
            slow.push_back(SlowArea{first, sectors, ns});
        }
    }
    m_observer.OnRead(first, sectors, ns, error, m_progress);
    return error;
}

ULONGLONG& Scanner::CounterOf(SectorState state)
{
    switch (state) {
    case SectorState::Untried:
        return m_progress.untriedBytes;
    case SectorState::NotTrimmed:
        return m_progress.notTrimmedBytes;
    case SectorState::NotScraped:
        return m_progress.notScrapedBytes;
    case SectorState::Unreadable:
        return m_progress.unreadableBytes;
    case SectorState::Read:
        break;
    }
    return m_progress.readBytes;
}

// The engine only ever marks bytes it found in one state, inside the range,
// so the counters follow without looking at the map.
void Scanner::Mark(ULONGLONG pos, ULONGLONG bytes, SectorState was, SectorState now)
{
    if (bytes == 0) {
        return;
    }
    m_map.Set(pos, bytes, now);
    CounterOf(was) -= bytes;
    CounterOf(now) += bytes;
}

Step Scanner::Failed(ULONGLONG pos, ULONGLONG bytes, SectorState was, SectorState now)
{
    Mark(pos, bytes, was, now);
    m_pending[m_pendingCount++] = FailureMark{pos, bytes, was, now};
    if (m_pendingCount < kFailuresBeforeCheck) {
        return Step::Go;
    }
    DWORD error = 0;
    if (!DiskStillThere(error)) {
        return Gone(error);
    }
    m_pendingCount = 0;  // the disk is there: these failures are the disk's
    return Step::Go;
}

void Scanner::AfterRead()
{
    if (m_options.saveIntervalNs == 0) {
        return;
    }
    const ULONGLONG now = m_startNs + m_progress.elapsedNs;
    if (now - m_lastSaveNs >= m_options.saveIntervalNs) {
        m_lastSaveNs = now;
        m_observer.OnSave(m_map, m_progress);
    }
}

bool Scanner::TakeCanary(ULONGLONG& pos)
{
    // The most recent good block with a sector left.
    for (size_t i = 0; i < kCanaryBlocks; ++i) {
        Span& span = m_canaries[(m_canaryNext + kCanaryBlocks - 1 - i) % kCanaryBlocks];
        if (span.pos < span.end) {
            pos = span.pos;
            span.pos += m_sector;
            return true;
        }
    }
    MapRange found;
    if (!m_fastPassRead && m_map.FindFirst(SectorState::Read, m_mapCanaryFrom, m_rangeEnd, found)) {
        pos = found.pos;
        m_mapCanaryFrom = found.pos + m_sector;
        return true;
    }
    return false;
}

bool Scanner::DiskStillThere(DWORD& error)
{
    const ScanHandle probe(m_os, OpenForScan(m_os, m_target.devicePath));
    if (!probe.IsOpen()) {
        error = m_os.GetLastError();
        error = error != 0 ? error : ERROR_FILE_NOT_FOUND;
        return false;
    }
    // Another length is another disk (or none). A device that does not
    // answer the request (an image file on Windows) is judged by its read.
    GET_LENGTH_INFORMATION length;
    std::memset(&length, 0, sizeof length);
    DWORD returned = 0;
    if (m_os.DeviceIoControl(probe.Get(), IOCTL_DISK_GET_LENGTH_INFO, nullptr, 0, &length, sizeof length, &returned,
                             nullptr) &&
        returned >= sizeof length && static_cast<ULONGLONG>(length.Length.QuadPart) != m_target.diskBytes) {
        error = length.Length.QuadPart == 0 ? kErrorNotReady : kErrorMediaChanged;
        return false;
    }
    ULONGLONG canary = 0;
    if (TakeCanary(canary)) {
        error = ReadAt(probe.Get(), canary, m_sector);
        if (error != 0) {
            return false;
        }
    }
    error = 0;
    return true;
}

Step Scanner::Gone(DWORD error)
{
    // The failures since the last good read showed the disk going, not bad
    // sectors: they go back to what they were.
    while (m_pendingCount != 0) {
        const FailureMark& f = m_pending[--m_pendingCount];
        Mark(f.pos, f.bytes, f.now, f.was);
    }
    m_result.end = ScanEnd::DiskGone;
    m_result.error = error;
    return Step::Gone;
}

Step Scanner::CheckBeforePhase(SectorState work)
{
    MapRange found;
    if (!m_map.FindFirst(work, m_rangePos, m_rangeEnd, found)) {
        return Step::Go;
    }
    DWORD error = 0;
    if (!DiskStillThere(error)) {
        return Gone(error);
    }
    m_pendingCount = 0;
    return Step::Go;
}

Step Scanner::FastPass()
{
    EnterPhase(ScanPhase::FastPass);
    const ULONGLONG block = m_options.blockBytes;
    const ULONGLONG firstSkip = block * kFirstSkipBlocks;
    const ULONGLONG cap = std::max(firstSkip, (m_rangeEnd - m_rangePos) / 100 / m_sector * m_sector);
    ULONGLONG skip = firstSkip;
    MapRange area;
    ULONGLONG from = m_rangePos;
    while (m_map.FindFirst(SectorState::Untried, from, m_rangeEnd, area)) {
        ULONGLONG at = area.pos;
        const ULONGLONG end = area.End();
        while (at < end) {
            if (StopRequested()) {
                return Step::Stop;
            }
            const ULONGLONG n = std::min(block, end - at);
            const DWORD error = TimedRead(at, n);
            if (error == 0) {
                Mark(at, n, SectorState::Untried, SectorState::Read);
                Succeeded();
                m_canaries[m_canaryNext] = Span{at, at + n};
                m_canaryNext = (m_canaryNext + 1) % kCanaryBlocks;
                m_fastPassRead = true;
                skip = firstSkip;
                at += n;
            } else if (IsDeviceGoneError(error)) {
                return Gone(error);
            } else {
                // The failed block and the skip after it wait for the trim.
                const ULONGLONG s = std::min(skip, end - at - n);
                skip = std::min(skip * 2, cap);
                const ULONGLONG failedAt = at;
                at += n + s;
                if (Failed(failedAt, n + s, SectorState::Untried, SectorState::NotTrimmed) == Step::Gone) {
                    return Step::Gone;
                }
            }
            AfterRead();
        }
        from = end;
    }
    return Step::Go;
}

Step Scanner::Trim()
{
    MapRange area;
    if (!m_map.FindFirst(SectorState::NotTrimmed, m_rangePos, m_rangeEnd, area)) {
        return Step::Go;
    }
    EnterPhase(ScanPhase::Trim);
    if (CheckBeforePhase(SectorState::NotTrimmed) == Step::Gone) {
        return Step::Gone;
    }
    ULONGLONG from = m_rangePos;
    while (m_map.FindFirst(SectorState::NotTrimmed, from, m_rangeEnd, area)) {
        ULONGLONG at = area.pos;
        ULONGLONG back = area.End();
        bool hit = false;
        // From the left edge inward, up to the first unreadable sector.
        while (at < back && !hit) {
            if (StopRequested()) {
                return Step::Stop;
            }
            const DWORD error = TimedRead(at, m_sector);
            if (error == 0) {
                Mark(at, m_sector, SectorState::NotTrimmed, SectorState::Read);
                Succeeded();
            } else if (IsDeviceGoneError(error)) {
                return Gone(error);
            } else {
                hit = true;
                if (Failed(at, m_sector, SectorState::NotTrimmed, SectorState::Unreadable) == Step::Gone) {
                    return Step::Gone;
                }
            }
            at += m_sector;
            AfterRead();
        }
        // From the right edge inward, likewise.
        hit = false;
        while (at < back && !hit) {
            if (StopRequested()) {
                return Step::Stop;
            }
            back -= m_sector;
            const DWORD error = TimedRead(back, m_sector);
            if (error == 0) {
                Mark(back, m_sector, SectorState::NotTrimmed, SectorState::Read);
                Succeeded();
            } else if (IsDeviceGoneError(error)) {
                return Gone(error);
            } else {
                hit = true;
                if (Failed(back, m_sector, SectorState::NotTrimmed, SectorState::Unreadable) == Step::Gone) {
                    return Step::Gone;
                }
            }
            AfterRead();
        }
        Mark(at, back - at, SectorState::NotTrimmed, SectorState::NotScraped);
        from = area.End();
    }
    return Step::Go;
}

Step Scanner::Scrape()
{
    MapRange area;
    if (!m_map.FindFirst(SectorState::NotScraped, m_rangePos, m_rangeEnd, area)) {
        return Step::Go;
    }
    EnterPhase(ScanPhase::Scrape);
    if (CheckBeforePhase(SectorState::NotScraped) == Step::Gone) {
        return Step::Gone;
    }
    ULONGLONG from = m_rangePos;
    while (m_map.FindFirst(SectorState::NotScraped, from, m_rangeEnd, area)) {
        for (ULONGLONG at = area.pos; at < area.End(); at += m_sector) {
            if (StopRequested()) {
                return Step::Stop;
            }
            const DWORD error = TimedRead(at, m_sector);
            if (error == 0) {
                Mark(at, m_sector, SectorState::NotScraped, SectorState::Read);
                Succeeded();
            } else if (IsDeviceGoneError(error)) {
                return Gone(error);
            } else if (Failed(at, m_sector, SectorState::NotScraped, SectorState::Unreadable) == Step::Gone) {
                return Step::Gone;
            }
            AfterRead();
        }
        from = area.End();
    }
    return Step::Go;
}

}  // namespace

bool IsDeviceGoneError(DWORD error)
{
    return error == kErrorNotReady || error == kErrorDevNotExist || error == kErrorNoSuchDevice ||
           error == kErrorDeviceNotConnected;
}

ScanResult RunScan(OsApi& os, const ScanTarget& target, const ScanOptions& options, RangeMap& map, ScanClock& clock,
                   ScanObserver* observer)
{
    NullObserver none;
    Scanner scanner(os, target, options, map, clock, observer != nullptr ? *observer : none);
    return scanner.Run();
}

}  // namespace hdd::scan
