// The three passes that read in blocks: forward with skips, backward over
// what was skipped, forward over what is left.
#include "scan/scanner.h"

namespace hdd::scan {

// An untried area between two failed blocks lies inside a damaged area:
// reading it in blocks would cost a failed read per block.
bool Scanner::IsGap(const MapRange& untried) const
{
    return untried.pos >= m_rangePos + m_sector && untried.End() < m_rangeEnd &&
           m_map.StateAt(untried.pos - m_sector) == SectorState::NotTrimmed &&
           m_map.StateAt(untried.End()) == SectorState::NotTrimmed;
}

// The skip after a failed block ending at `failedEnd`: as long as the run of
// unread bytes it ends (the damage met so far in a row, skips included), so
// it about doubles with each failure in a row; worked out from the map, so a
// resumed scan skips as an uninterrupted one would.
ULONGLONG Scanner::SkipAfter(ULONGLONG failedEnd) const
{
    const ULONGLONG block = m_options.blockBytes;
    const ULONGLONG first = block * kFirstSkipBlocks;
    const ULONGLONG cap = std::max(first, (m_rangeEnd - m_rangePos) / 100 / m_sector * m_sector);
    MapRange read;
    const ULONGLONG runStart = m_map.FindLast(SectorState::Read, m_rangePos, failedEnd, read) ? read.End() : m_rangePos;
    return std::min(cap, std::max(first, failedEnd - runStart));
}

bool Scanner::HasBlockWork() const
{
    MapRange area;
    for (ULONGLONG from = m_rangePos; m_map.FindFirst(SectorState::Untried, from, m_rangeEnd, area);
         from = area.End()) {
        if (!IsGap(area)) {
            return true;
        }
    }
    return false;
}

Step Scanner::FastPass()
{
    if (!Resuming(ScanPhase::FastPass, 1)) {
        return Step::Go;
    }
    EnterPhase(ScanPhase::FastPass, 1);
    const ULONGLONG block = m_options.blockBytes;
    MapRange area;
    ULONGLONG from = std::clamp(m_resumeAt, m_rangePos, m_rangeEnd);
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
                GoodBlock(at, n);
                at += n;
            } else if (IsDeviceGoneError(error)) {
                return Gone(error);
            } else {
                const ULONGLONG failedAt = at;
                at += n;
                // The skipped bytes stay untried, for the backward pass.
                const ULONGLONG skip = std::min(SkipAfter(at), end - at);
                at += skip;
                if (Failed(failedAt, n, SectorState::Untried, SectorState::NotTrimmed) == Step::Gone) {
                    return Step::Gone;
                }
            }
            GoOnAt(at);
            AfterRead();
        }
        from = end;
    }
    return Step::Go;
}

Step Scanner::ReversePass()
{
    if (!Resuming(ScanPhase::FastPass, 1) && !Resuming(ScanPhase::FastPass, 2)) {
        return Step::Go;
    }
    ULONGLONG upto = Resuming(ScanPhase::FastPass, 2) ? std::clamp(m_resumeAt, m_rangePos, m_rangeEnd) : m_rangeEnd;
    MapRange area;
    if (!m_map.FindLast(SectorState::Untried, m_rangePos, upto, area)) {
        return Step::Go;
    }
    EnterPhase(ScanPhase::FastPass, 2);
    GoOnAt(upto);
    const ULONGLONG block = m_options.blockBytes;
    while (m_map.FindLast(SectorState::Untried, m_rangePos, upto, area)) {
        upto = area.pos;
        if (IsGap(area)) {
            continue;
        }
        // From the far side of what the fast pass skipped, up to the first
        // failure: the rest lies between two failed blocks, or is the sweep's.
        ULONGLONG end = area.End();
        while (end > area.pos) {
            if (StopRequested()) {
                return Step::Stop;
            }
            const ULONGLONG n = std::min(block, end - area.pos);
            const DWORD error = TimedRead(end - n, n);
            end -= n;
            if (error == 0) {
                GoodBlock(end, n);
            } else if (IsDeviceGoneError(error)) {
                return Gone(error);
            } else {
                if (Failed(end, n, SectorState::Untried, SectorState::NotTrimmed) == Step::Gone) {
                    return Step::Gone;
                }
                GoOnAt(area.pos);
                AfterRead();
                break;
            }
            GoOnAt(end);
            AfterRead();
        }
    }
    return Step::Go;
}

Step Scanner::SweepPass()
{
    if (m_resumePhase != ScanPhase::FastPass || !HasBlockWork()) {
        return Step::Go;
    }
    EnterPhase(ScanPhase::FastPass, 3);
    const ULONGLONG block = m_options.blockBytes;
    MapRange area;
    ULONGLONG from = Resuming(ScanPhase::FastPass, 3) ? std::clamp(m_resumeAt, m_rangePos, m_rangeEnd) : m_rangePos;
    while (m_map.FindFirst(SectorState::Untried, from, m_rangeEnd, area)) {
        from = area.End();
        if (IsGap(area)) {
            continue;
        }
        ULONGLONG at = area.pos;
        while (at < area.End()) {
            if (StopRequested()) {
                return Step::Stop;
            }
            const ULONGLONG n = std::min(block, area.End() - at);
            const DWORD error = TimedRead(at, n);
            if (error == 0) {
                GoodBlock(at, n);
            } else if (IsDeviceGoneError(error)) {
                return Gone(error);
            } else if (Failed(at, n, SectorState::Untried, SectorState::NotTrimmed) == Step::Gone) {
                return Step::Gone;
            }
            at += n;
            GoOnAt(at);
            AfterRead();
            if (error != 0 && at < area.End() && IsGap(MapRange{at, area.End() - at, SectorState::Untried})) {
                break;  // what is left lies between two failed blocks
            }
        }
    }
    return Step::Go;
}

}  // namespace hdd::scan
