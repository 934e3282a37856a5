#include "tools/hddiag/health/verdict.h"

#include <algorithm>

#include "tools/hddiag/health/self_test.h"

namespace hddiag {

namespace {

// smartctl's exit status bits.
constexpr ULONG kExitDiskFailing = 1u << 3;
constexpr ULONG kExitPrefailNow = 1u << 4;
constexpr ULONG kExitThresholdPast = 1u << 5;
constexpr ULONG kExitSelfTestErrors = 1u << 7;

bool ExitBit(const SmartReading& r, ULONG bit) { return r.exitStatus && (*r.exitStatus & bit) != 0; }

bool IsNvme(const SmartReading& r) { return r.nvme.has_value(); }

// A threshold of 0 means the attribute never fails, whatever when_failed says.
bool HasThreshold(const SmartAttribute& a) { return a.threshold && *a.threshold > 0; }
bool FailingNow(const SmartAttribute& a) { return HasThreshold(a) && (a.whenFailed == "now" || a.whenFailed == "FAILING_NOW"); }
bool FailedInPast(const SmartAttribute& a) { return HasThreshold(a) && (a.whenFailed == "past" || a.whenFailed == "In_the_past"); }

std::string Named(const SmartAttribute& a) { return "attribute " + std::to_string(a.id) + (a.name.empty() ? "" : " " + a.name); }

std::string Against(const SmartAttribute& a)
{
    return " (value " + (a.value ? std::to_string(*a.value) : std::string("?")) + ", threshold " +
           std::to_string(a.threshold.value_or(0)) + ")";
}

void Assessment(const SmartReading& r, std::vector<std::string>& reasons)
{
    // For NVMe, smartctl derives the assessment from the critical warning,
    // whose bits are judged one by one below.
    if (IsNvme(r) && r.nvme->criticalWarning) {
        return;
    }
    if (r.passed == false) {
        reasons.push_back("the drive's own assessment failed");
    } else if (ExitBit(r, kExitDiskFailing)) {
        reasons.push_back("smartctl says the disk is failing (exit status bit 3)");
    }
}

void PrefailNow(const SmartReading& r, std::vector<std::string>& reasons)
{
    const size_t before = reasons.size();
    for (const SmartAttribute& a : r.attributes) {
        if (a.prefail && FailingNow(a)) {
            reasons.push_back("prefail " + Named(a) + " is at or below its threshold now" + Against(a));
        }
    }
    if (reasons.size() == before && ExitBit(r, kExitPrefailNow)) {
        reasons.push_back("smartctl found a prefail attribute at or below its threshold (exit status bit 4)");
    }
}

void NvmeCritical(const SmartReading& r, std::vector<std::string>& reasons)
{
    if (!IsNvme(r)) {
        return;
    }
    const ULONG warning = r.nvme->criticalWarning.value_or(0);
    const bool spareLow = r.nvme->availableSpare && r.nvme->availableSpareThreshold &&
                          *r.nvme->availableSpare < *r.nvme->availableSpareThreshold;
    if ((warning & 0x01) != 0 || spareLow) {
        reasons.push_back("NVMe available spare is below its threshold" +
                          (r.nvme->availableSpare && r.nvme->availableSpareThreshold
                               ? " (" + std::to_string(*r.nvme->availableSpare) + "% < " +
                                     std::to_string(*r.nvme->availableSpareThreshold) + "%)"
                               : std::string()));
    }
    if ((warning & 0x04) != 0) {
        reasons.push_back("NVMe critical warning: reliability degraded");
    }
    if ((warning & 0x08) != 0) {
        reasons.push_back("NVMe critical warning: media in read-only mode");
    }
}

void PredictorRaw(const SmartReading& r, std::vector<std::string>& reasons)
{
    for (const SmartAttribute& a : r.attributes) {
        if (IsPredictor(a.id) && a.raw.value_or(0) > 0) {
            reasons.push_back(Named(a) + ": raw value " + std::to_string(*a.raw));
        }
    }
}

void CommandTimeout(const SmartReading& r, std::vector<std::string>& reasons)
{
    // Some makers pack several counters into 188's raw value: only its
    // threshold is judged.
    for (const SmartAttribute& a : r.attributes) {
        if (a.id == 188 && (FailingNow(a) || FailedInPast(a))) {
            reasons.push_back(Named(a) + (FailingNow(a) ? " is at or below its threshold now" : " crossed its threshold in the past") + Against(a));
        }
    }
}

void UsageNow(const SmartReading& r, std::vector<std::string>& reasons)
{
    for (const SmartAttribute& a : r.attributes) {
        if (!a.prefail && a.id != 188 && FailingNow(a)) {
            reasons.push_back("usage " + Named(a) + " is at or below its threshold now" + Against(a));
        }
    }
}

void NvmeMediaErrors(const SmartReading& r, std::vector<std::string>& reasons)
{
    if (IsNvme(r) && r.nvme->mediaErrors.value_or(0) > 0) {
        reasons.push_back("NVMe media errors: " + std::to_string(*r.nvme->mediaErrors));
    }
}

void NvmeWornOut(const SmartReading& r, std::vector<std::string>& reasons)
{
    if (IsNvme(r) && r.nvme->percentageUsed.value_or(0) >= 100) {
        reasons.push_back("NVMe percentage used: " + std::to_string(*r.nvme->percentageUsed) + "%");
    }
}

void NvmeWarningBits(const SmartReading& r, std::vector<std::string>& reasons)
{
    if (!IsNvme(r)) {
        return;
    }
    const ULONG warning = r.nvme->criticalWarning.value_or(0);
    if ((warning & 0x02) != 0) {
        reasons.push_back("NVMe critical warning: temperature outside its thresholds");
    }
    if ((warning & 0x10) != 0) {
        reasons.push_back("NVMe critical warning: volatile memory backup failed");
    }
}

void ScsiDefects(const SmartReading& r, std::vector<std::string>& reasons)
{
    if (r.scsiGrownDefects.value_or(0) > 0) {
        reasons.push_back("SCSI grown defect list: " + std::to_string(*r.scsiGrownDefects));
    }
}

void ScsiReadErrors(const SmartReading& r, std::vector<std::string>& reasons)
{
    if (r.scsiUncorrectedReadErrors.value_or(0) > 0) {
        reasons.push_back("SCSI uncorrected read errors: " + std::to_string(*r.scsiUncorrectedReadErrors));
    }
}

void ThresholdPast(const SmartReading& r, std::vector<std::string>& reasons)
{
    const size_t before = reasons.size();
    for (const SmartAttribute& a : r.attributes) {
        if (a.id != 188 && FailedInPast(a)) {
            reasons.push_back(Named(a) + " crossed its threshold in the past" + Against(a));
        }
    }
    if (reasons.size() == before && ExitBit(r, kExitThresholdPast)) {
        reasons.push_back("smartctl found an attribute that crossed its threshold in the past (exit status bit 5)");
    }
}

void SelfTestFailed(const SmartReading& r, std::vector<std::string>& reasons)
{
    if (!r.selfTests) {
        return;
    }
    for (const SelfTestEntry* e : StandingFailures(*r.selfTests)) {
        reasons.push_back(LastSelfTestName(*e) + " " + FailureText(*e, r.selfTests->nvme));
    }
}

void SelfTestLogErrors(const SmartReading& r, std::vector<std::string>& reasons)
{
    // A failure already named says more than the bit.
    if (r.selfTests && !StandingFailures(*r.selfTests).empty()) {
        return;
    }
    if (ExitBit(r, kExitSelfTestErrors)) {
        reasons.push_back("smartctl found errors in the self-test log (exit status bit 7)");
        return;
    }
    if (r.selfTests && r.selfTests->errorCount.value_or(0) > r.selfTests->outdatedErrors.value_or(0)) {
        reasons.push_back("the self-test log holds " +
                          std::to_string(*r.selfTests->errorCount - r.selfTests->outdatedErrors.value_or(0)) +
                          " failed self-test(s) no later extended self-test passed over");
    }
}

void SelfTestStoppedByHost(const SmartReading& r, std::vector<std::string>& notes)
{
    const SelfTestEntry* last = r.selfTests ? LastFinished(*r.selfTests) : nullptr;
    if (last != nullptr && last->result == SelfTestResult::StoppedByHost) {
        notes.push_back(LastSelfTestName(*last) + " was stopped by the host" +
                        (last->statusText.empty() ? std::string() : ": " + last->statusText));
    }
}

}  // namespace

const std::vector<VerdictRule>& VerdictRules()
{
    static const std::vector<VerdictRule> rules = {
        {Verdict::Failing,
         "the drive's own assessment failed (`smart_status.passed` false, or smartctl's exit status bit 3); for NVMe "
         "smartctl derives it from the critical warning, whose bits are judged below",
         Assessment},
        {Verdict::Failing,
         "a prefail attribute is at or below its threshold now (`when_failed` \"now\"; a threshold of 0 never fails), "
         "or smartctl's exit status bit 4",
         PrefailNow},
        {Verdict::Failing,
         "NVMe critical warning bit 0 (available spare below its threshold, also when `available_spare` is below "
         "`available_spare_threshold`), bit 2 (reliability degraded) or bit 3 (media read-only)",
         NvmeCritical},
        {Verdict::Failing,
         "the newest self-test of a kind (short, extended, ...) failed and no extended self-test passed since: ATA "
         "status 3 (a fatal or unknown error stopped it), 4 (unknown), 5 (electrical), 6 (servo/seek), 7 (read "
         "failure) or 8 (handling damage), NVMe result 5 (fatal error), 6 or 7 (failed segments); the LBA that "
         "failed is named",
         SelfTestFailed},
        {Verdict::Warning, "raw value above 0 in attribute 5, 187, 197 or 198", PredictorRaw},
        {Verdict::Warning, "attribute 188 at or below its threshold now or in the past (its raw value is never judged)",
         CommandTimeout},
        {Verdict::Warning, "a usage (not prefail) attribute at or below its threshold now", UsageNow},
        {Verdict::Warning, "NVMe `media_errors` above 0", NvmeMediaErrors},
        {Verdict::Warning, "NVMe `percentage_used` 100 or more", NvmeWornOut},
        {Verdict::Warning, "NVMe critical warning bit 1 (temperature) or bit 4 (volatile memory backup failed)",
         NvmeWarningBits},
        {Verdict::Warning, "SCSI grown defect list above 0", ScsiDefects},
        {Verdict::Warning, "SCSI uncorrected read errors above 0", ScsiReadErrors},
        {Verdict::Warning,
         "an attribute crossed its threshold in the past (`when_failed` \"past\"), or smartctl's exit status bit 5",
         ThresholdPast},
        {Verdict::Warning,
         "smartctl's exit status bit 7 (errors in the self-test log), or the log's `error_count_total` above its "
         "`error_count_outdated`, when no failed self-test is named",
         SelfTestLogErrors},
    };
    return rules;
}

const std::vector<NoteRule>& NoteRules()
{
    static const std::vector<NoteRule> rules = {
        {"the last self-test was stopped by the host (ATA status 1 aborted, 2 interrupted by a reset; NVMe result "
         "1-4 or 9): said in Why, never judged",
         SelfTestStoppedByHost},
    };
    return rules;
}

bool IsPredictor(ULONG id) { return id == 5 || id == 187 || id == 197 || id == 198; }
bool IsMetricAttribute(ULONG id) { return IsPredictor(id) || id == 188; }

void Judge(DiskHealth& health)
{
    health.verdict = Verdict::Good;
    health.reasons.clear();
    for (const VerdictRule& rule : VerdictRules()) {
        const size_t before = health.reasons.size();
        rule.check(health.reading, health.reasons);
        if (health.reasons.size() > before) {
            health.verdict = std::max(health.verdict, rule.verdict);
        }
    }
    health.noted.clear();
    for (const NoteRule& rule : NoteRules()) {
        rule.check(health.reading, health.noted);
    }
}

const char* VerdictName(Verdict verdict)
{
    switch (verdict) {
    case Verdict::Good:
        return "good";
    case Verdict::Warning:
        return "warning";
    case Verdict::Failing:
        return "failing";
    }
    return "?";
}

std::string HealthSummary(const DiskHealth& health)
{
    switch (health.state) {
    case HealthState::Read:
        return VerdictName(health.verdict);
    case HealthState::NotSupported:
        return "not supported";
    case HealthState::Asleep:
        return "asleep, not checked";
    case HealthState::NotRead:
        return "not read";
    }
    return "?";
}

bool AnyFailing(const std::vector<DiskHealth>& disks)
{
    return std::any_of(disks.begin(), disks.end(), [](const DiskHealth& h) {
        return h.state == HealthState::Read && h.verdict == Verdict::Failing;
    });
}

const DiskHealth* FindHealth(const std::vector<DiskHealth>& disks, LONG disk)
{
    for (const DiskHealth& h : disks) {
        if (h.disk == disk) {
            return &h;
        }
    }
    return nullptr;
}

}  // namespace hddiag
