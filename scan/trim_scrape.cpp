// The phases that read one sector at a time: the trim of each damaged region
// and the scrape of what it leaves.
#include "scan/scanner.h"

namespace hdd::scan {

namespace {

bool InDamage(SectorState s) { return s == SectorState::NotTrimmed || s == SectorState::Untried; }

}  // namespace

// A damaged region runs over failed blocks and the untried gaps beside them.
ULONGLONG Scanner::DamagedRegionEnd(ULONGLONG start) const
{
    ULONGLONG at = start;
    MapRange r;
    while (at < m_rangeEnd && InDamage(m_map.StateAt(at)) && m_map.FindFirst(m_map.StateAt(at), at, m_rangeEnd, r)) {
        at = r.End();
    }
    return at;
}

ULONGLONG Scanner::CountDamagedRegions() const
{
    ULONGLONG regions = 0;
    MapRange failed;
    for (ULONGLONG from = m_rangePos; m_map.FindFirst(SectorState::NotTrimmed, from, m_rangeEnd, failed);
         from = DamagedRegionEnd(failed.pos)) {
        ++regions;
    }
    return regions;
}

// Forward from the left edge, through the first damaged run and on: a lone
// bad sector or a short run costs its block's sectors in line and no seek.
// With the scrape, the trim stops at the next damaged run, whose sectors
// the scrape reads in line anyway; without it, at the second unreadable
// sector, and the region's right edge is found from the other side. A
// region that starts right after an unreadable sector (a trim that was
// stopped) is already in its first run.
Step Scanner::TrimRegion(ULONGLONG start, ULONGLONG end)
{
    const bool continuing = start >= m_rangePos + m_sector && m_map.StateAt(start - m_sector) == SectorState::Unreadable;
    int hits = continuing ? 1 : 0;
    bool afterRun = false;
    ULONGLONG at = start;
    bool done = false;
    while (at < end && !done) {
        if (StopRequested()) {
            return Step::Stop;
        }
        bool unreadable = false;
        const Step step = SectorRead(at, unreadable, hits > 0);
        if (step != Step::Go) {
            return step;
        }
        if (unreadable) {
            ++hits;
            done = m_options.scrape ? afterRun : hits == 2;
        } else {
            afterRun = hits > 0;
        }
        at += m_sector;
        GoOnAt(at);
        AfterRead();
    }
    if (at >= end) {
        return Step::Go;
    }
    MarkAll(at, end, SectorState::NotTrimmed, SectorState::NotScraped);
    if (m_options.scrape) {
        MarkAll(at, end, SectorState::Untried, SectorState::NotScraped);
        return Step::Go;
    }
    // Nothing will read the inside: find where the damage ends from the
    // right; gaps stay untried.
    const Step step = TrimBackward(at, end);
    if (step == Step::Go) {
        GoOnAt(end);
    }
    return step;
}

// From `end` backward, up to the first unreadable sector; the map's position
// is where it goes on, so a stopped trim resumes here.
Step Scanner::TrimBackward(ULONGLONG from, ULONGLONG end)
{
    for (ULONGLONG back = end; back > from;) {
        if (StopRequested()) {
            return Step::Stop;
        }
        back -= m_sector;
        bool unreadable = false;
        const Step step = SectorRead(back, unreadable, false);
        if (step != Step::Go) {
            return step;
        }
        GoOnAt(back);
        AfterRead();
        if (unreadable) {
            break;
        }
    }
    return Step::Go;
}

Step Scanner::Trim()
{
    if (m_resumePhase != ScanPhase::FastPass && m_resumePhase != ScanPhase::Trim) {
        return Step::Go;
    }
    // A backward trim that was stopped: the not-scraped area it was reading
    // ends where the map says it stood.
    MapRange inside;
    const bool backward = Resuming(ScanPhase::Trim) && !m_options.scrape && m_resumeAt > m_rangePos &&
                          m_resumeAt <= m_rangeEnd &&
                          m_map.FindLast(SectorState::NotScraped, m_rangePos, m_resumeAt, inside) &&
                          inside.End() == m_resumeAt;
    MapRange failed;
    if (!backward && !m_map.FindFirst(SectorState::NotTrimmed, m_rangePos, m_rangeEnd, failed)) {
        return Step::Go;
    }
    EnterPhase(ScanPhase::Trim, 1, CountDamagedRegions());
    if (CheckIfFailing() == Step::Gone) {
        return Step::Gone;
    }
    if (backward) {
        const Step step = TrimBackward(inside.pos, m_resumeAt);
        if (step != Step::Go) {
            return step;
        }
    }
    ULONGLONG from = m_rangePos;
    while (m_map.FindFirst(SectorState::NotTrimmed, from, m_rangeEnd, failed)) {
        ULONGLONG start = failed.pos;
        MapRange gap;
        if (start >= m_rangePos + m_sector && m_map.StateAt(start - m_sector) == SectorState::Untried &&
            m_map.FindLast(SectorState::Untried, m_rangePos, start, gap)) {
            start = gap.pos;  // the rest of a gap a stopped trim was reading
        }
        const ULONGLONG end = DamagedRegionEnd(failed.pos);
        NextArea();
        const Step step = TrimRegion(start, end);
        if (step != Step::Go) {
            return step;
        }
        from = end;
    }
    return Step::Go;
}

Step Scanner::Scrape()
{
    MapRange area;
    if (!m_map.FindFirst(SectorState::NotScraped, m_rangePos, m_rangeEnd, area)) {
        return Step::Go;
    }
    EnterPhase(ScanPhase::Scrape, 1, m_map.AreasIn(SectorState::NotScraped, m_rangePos, m_rangeEnd));
    if (CheckIfFailing() == Step::Gone) {
        return Step::Gone;
    }
    ULONGLONG from = m_rangePos;
    while (m_map.FindFirst(SectorState::NotScraped, from, m_rangeEnd, area)) {
        NextArea();
        for (ULONGLONG at = area.pos; at < area.End(); at += m_sector) {
            if (StopRequested()) {
                return Step::Stop;
            }
            bool unreadable = false;
            const Step step = SectorRead(at, unreadable, true);
            if (step != Step::Go) {
                return step;
            }
            GoOnAt(at + m_sector);
            AfterRead();
        }
        from = area.End();
    }
    return Step::Go;
}

}  // namespace hdd::scan
