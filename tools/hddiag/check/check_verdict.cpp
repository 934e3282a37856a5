#include "tools/hddiag/check/check_verdict.h"

#include <algorithm>

namespace hddiag {

namespace {

// The reading SMART is judged by: the last one that was read.
const DiskHealth* LastRead(const CheckFacts& f)
{
    if (f.after.state == HealthState::Read) {
        return &f.after;
    }
    return f.before.state == HealthState::Read ? &f.before : nullptr;
}

void SmartRule(const CheckFacts& f, Verdict verdict, std::vector<std::string>& reasons)
{
    const DiskHealth* h = LastRead(f);
    if (h != nullptr && h->verdict == verdict) {
        for (const std::string& r : h->reasons) {
            reasons.push_back("SMART: " + r);
        }
    }
}

std::string Plural(ULONGLONG n, const char* one, const char* many)
{
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

// Raw values of the attributes that count damage the drive has noticed.
constexpr ULONG kPredictors[] = {5, 187, 197, 198};

const std::vector<CheckRule> kRules = {
    {Verdict::Failing, "SMART says the disk is failing (the health rules)",
     [](const CheckFacts& f, std::vector<std::string>& r) { SmartRule(f, Verdict::Failing, r); }},
    {Verdict::Failing, "the self-test hddiag ran did not pass",
     [](const CheckFacts& f, std::vector<std::string>& r) {
         const SelfTestOutcome& t = f.selfTest;
         if (t.ran && !t.passed) {
             r.push_back("the " + t.kind + " self-test hddiag ran " + t.result);
         }
     }},
    {Verdict::Failing, "the scan found unreadable sectors",
     [](const CheckFacts& f, std::vector<std::string>& r) {
         const ScanFacts& s = f.scan;
         if (s.ran && s.unreadableSectors > 0) {
             std::string reason = Plural(s.unreadableSectors, "unreadable sector", "unreadable sectors");
             if (!s.unreadable.empty()) {
                 reason += " (from sector " + std::to_string(s.unreadable.front().first) + ")";
             }
             r.push_back(reason);
         }
     }},
    {Verdict::Failing, "the disk went away during the check",
     [](const CheckFacts& f, std::vector<std::string>& r) {
         if (f.scan.ran && f.scan.end == hdd::scan::ScanEnd::DiskGone) {
             r.push_back(f.scan.endText);
         }
     }},
    {Verdict::Warning, "SMART warns (the health rules)",
     [](const CheckFacts& f, std::vector<std::string>& r) { SmartRule(f, Verdict::Warning, r); }},
    {Verdict::Warning, "a failure predictor rose during the check (attributes 5, 187, 197, 198; NVMe media errors)",
     [](const CheckFacts& f, std::vector<std::string>& r) {
         if (f.before.state != HealthState::Read || f.after.state != HealthState::Read) {
             return;
         }
         const SmartReading& a = f.before.reading;
         const SmartReading& b = f.after.reading;
         for (const ULONG id : kPredictors) {
             const SmartAttribute* was = a.Attribute(id);
             const SmartAttribute* now = b.Attribute(id);
             if (was != nullptr && now != nullptr && was->raw && now->raw && *now->raw > *was->raw) {
                 r.push_back("attribute " + std::to_string(id) + " (" + now->name + ") rose from " +
                             std::to_string(*was->raw) + " to " + std::to_string(*now->raw) + " during the check");
             }
         }
         if (a.nvme && b.nvme && a.nvme->mediaErrors && b.nvme->mediaErrors &&
             *b.nvme->mediaErrors > *a.nvme->mediaErrors) {
             r.push_back("NVMe media errors rose from " + std::to_string(*a.nvme->mediaErrors) + " to " +
                         std::to_string(*b.nvme->mediaErrors) + " during the check");
         }
     }},
    {Verdict::Warning, "the scan met reads at or above --slow",
     [](const CheckFacts& f, std::vector<std::string>& r) {
         const ScanFacts& s = f.scan;
         if (!s.ran || s.slowAreas.empty()) {
             return;
         }
         ULONGLONG worst = 0;
         for (const hdd::scan::SlowArea& a : s.slowAreas) {
             worst = std::max(worst, a.worstNs);
         }
         r.push_back(Plural(s.slowAreas.size(), "slow area", "slow areas") + " (reads of " +
                     std::to_string(s.slowMs) + " ms or more; the worst " + std::to_string(worst / 1000000u) +
                     " ms, from sector " + std::to_string(s.slowAreas.front().firstSector) + ")");
     }},
};

// What could not be checked, and what the drive and the scan say side by side.
void AddNotes(const CheckFacts& f, std::vector<std::string>& notes)
{
    const DiskHealth& h = f.after.state == HealthState::Read ? f.after : f.before;
    switch (h.state) {
    case HealthState::Read:
        break;
    case HealthState::NotSupported:
        notes.push_back("SMART could not be read: the disk answers none" + (h.note.empty() ? "" : " (" + h.note + ")"));
        break;
    case HealthState::Asleep:
        notes.push_back("SMART could not be read: the disk was asleep");
        break;
    case HealthState::NotRead:
        notes.push_back("SMART could not be read" + (h.note.empty() ? std::string() : ": " + h.note));
        break;
    }
    if (f.selfTest.asked && !f.selfTest.ran) {
        notes.push_back("the self-test did not run: " + f.selfTest.note);
    }
    const ScanFacts& s = f.scan;
    if (!s.asked) {
        notes.push_back("the surface was not scanned (--no-scan)");
    } else if (!s.ran) {
        notes.push_back("the surface was not scanned: " + s.endText);
    } else if (s.end == hdd::scan::ScanEnd::Stopped) {
        notes.push_back("the scan was stopped: " + Plural(s.untriedSectors, "sector", "sectors") + " not read yet");
    } else if (s.untriedSectors > 0 && s.end == hdd::scan::ScanEnd::Finished) {
        notes.push_back(Plural(s.untriedSectors, "sector", "sectors") +
                        " inside damaged areas not read (--no-scrape)");
    }
    // Cross-checks: the drive's own count of sectors it could not read
    // against the scan's.
    if (s.ran && h.state == HealthState::Read) {
        const SmartAttribute* pending = h.reading.Attribute(197);
        if (pending != nullptr && pending->raw && (*pending->raw > 0 || s.unreadableSectors > 0)) {
            notes.push_back("the drive counts " + Plural(*pending->raw, "pending sector", "pending sectors") +
                            "; the scan found " + std::to_string(s.unreadableSectors) + " unreadable");
        }
    }
    if (s.ran && f.selfTest.ran && f.selfTest.lba) {
        // The drive's LBAs are its logical sectors, as the scan's are.
        notes.push_back("the self-test's failing LBA " + std::to_string(*f.selfTest.lba) +
                        (ScanListsSector(s, *f.selfTest.lba) ? " is in the scan's list"
                                                             : " is missing from the scan's list"));
    }
}

}  // namespace

const std::vector<CheckRule>& CheckRules() { return kRules; }

bool ScanListsSector(const ScanFacts& scan, ULONGLONG sector)
{
    for (const SectorSpan& s : scan.unreadable) {
        if (sector >= s.first && sector < s.end) {
            return true;
        }
    }
    return false;
}

CheckVerdict JudgeCheck(const CheckFacts& facts)
{
    CheckVerdict v;
    for (const CheckRule& rule : kRules) {
        const size_t before = v.reasons.size();
        rule.check(facts, v.reasons);
        if (v.reasons.size() > before && rule.verdict > v.verdict) {
            v.verdict = rule.verdict;
        }
    }
    AddNotes(facts, v.notes);
    return v;
}

}  // namespace hddiag
