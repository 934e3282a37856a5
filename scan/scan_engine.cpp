#include "scan/scan_engine.h"

#include <algorithm>
#include <cstring>

#include "drive/device.h"
#include "scan/aligned_buffer.h"
#include "scan/scan_handle.h"
#include "scan/scanner.h"
#include "scan/slow_area_lines.h"

namespace hdd::scan {

namespace {

// Codes that say the device is gone, whatever sector was asked for. The
// platform header of the native build does not name them all.
constexpr DWORD kErrorNotReady = 21;
constexpr DWORD kErrorDevNotExist = 55;
constexpr DWORD kErrorNoSuchDevice = 433;
constexpr DWORD kErrorMediaChanged = 1110;
constexpr DWORD kErrorDeviceNotConnected = 1167;

class NullObserver final : public ScanObserver {};

}  // namespace

ScanResult Scanner::Run()
{
    if (!Validate(m_result.why)) {
        m_result.end = ScanEnd::InvalidArgs;
        return m_result;
    }
    m_rangePos = m_target.firstSector * m_sector;
    m_rangeEnd = m_rangePos + m_target.sectorCount * m_sector;
    m_mapCanaryFrom = m_rangePos;
    m_resumePhase = m_map.Phase();
    m_resumePass = m_map.Pass();
    m_resumeAt = m_map.Position();
    // A map's status line may be past what its ranges say is left (another
    // tool's map, or one finished on another range of the disk): later
    // phases never read untried or untrimmed sectors, so the work left
    // decides where to begin.
    if (m_resumePhase != ScanPhase::FastPass && m_map.BytesIn(SectorState::Untried, m_rangePos, m_rangeEnd) != 0) {
        m_resumePhase = ScanPhase::FastPass;
        m_resumePass = 1;
        m_resumeAt = m_rangePos;
    } else if ((m_resumePhase == ScanPhase::Scrape || m_resumePhase == ScanPhase::Finished) &&
               m_map.BytesIn(SectorState::NotTrimmed, m_rangePos, m_rangeEnd) != 0) {
        m_resumePhase = ScanPhase::Trim;
        m_resumeAt = m_rangePos;
    }

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
        step = ReversePass();
    }
    if (step == Step::Go) {
        step = SweepPass();
    }
    if (step == Step::Go) {
        step = Trim();
    }
    if (step == Step::Go && m_options.scrape) {
        step = Scrape();
    }
    if (step == Step::Go) {
        // Failures not yet followed by a good read may be the disk going.
        step = CheckIfFailing();
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

void Scanner::EnterPhase(ScanPhase phase, DWORD pass, ULONGLONG areas)
{
    m_progress.phase = phase;
    m_progress.pass = pass;
    m_progress.areas = areas;
    m_progress.area = 0;
    m_progress.phaseStartNs = m_clock.NowNanoseconds() - m_startNs;
    m_progress.areaStartNs = m_progress.phaseStartNs;
    m_map.SetProgress(phase, m_progress.position, pass);
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
    const ULONGLONG start = m_clock.NowNanoseconds();
    const DWORD error = ReadAt(m_handle, pos, bytes);
    const ULONGLONG end = m_clock.NowNanoseconds();
    const ULONGLONG ns = end > start ? end - start : 0;
    ++m_progress.readsThisRun;
    if (error == 0) {
        m_progress.bytesThisRun += bytes;
        if (bytes > m_sector) {
            m_progress.blockBytes += bytes;
            m_progress.blockNs += ns;
        } else {
            ++m_progress.sectorReads;
            m_progress.sectorNs += ns;
        }
    } else {
        ++m_progress.failedReads;
        m_progress.failedNs += ns;
        m_progress.failedSectorReads += bytes > m_sector ? 0 : 1;
    }
    m_progress.elapsedNs = end > m_startNs ? end - m_startNs : 0;
    const ULONGLONG first = pos / m_sector;
    const ULONGLONG sectors = bytes / m_sector;
    if (ns >= m_options.slowNs) {
        AddSlowRead(m_result.slowAreas, first, sectors, ns);
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

void Scanner::MarkAll(ULONGLONG from, ULONGLONG to, SectorState was, SectorState now)
{
    MapRange r;
    while (m_map.FindFirst(was, from, to, r)) {
        Mark(r.pos, r.size, was, now);
        from = r.End();
    }
}

void Scanner::GoodBlock(ULONGLONG pos, ULONGLONG bytes)
{
    Mark(pos, bytes, SectorState::Untried, SectorState::Read);
    Succeeded();
    m_canaries[m_canaryNext] = Span{pos, pos + bytes};
    m_canaryNext = (m_canaryNext + 1) % kCanaryBlocks;
    m_blocksRead = true;
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

// One sector on its own, settled as read or unreadable whatever it was.
Step Scanner::SectorRead(ULONGLONG pos, bool& unreadable, bool inside)
{
    const SectorState was = m_map.StateAt(pos);
    const DWORD error = TimedRead(pos, m_sector);
    unreadable = error != 0;
    if (inside) {
        ++m_progress.insideReads;
        m_progress.insideFailures += unreadable ? 1 : 0;
    }
    if (error == 0) {
        Mark(pos, m_sector, was, SectorState::Read);
        Succeeded();
        return Step::Go;
    }
    if (IsDeviceGoneError(error)) {
        return Gone(error);
    }
    return Failed(pos, m_sector, was, SectorState::Unreadable);
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
    if (!m_blocksRead && m_map.FindFirst(SectorState::Read, m_mapCanaryFrom, m_rangeEnd, found)) {
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

Step Scanner::CheckIfFailing()
{
    if (m_pendingCount == 0) {
        return Step::Go;
    }
    DWORD error = 0;
    if (!DiskStillThere(error)) {
        return Gone(error);
    }
    m_pendingCount = 0;
    return Step::Go;
}

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
