#include "tools/hddiag/health/self_test.h"

#include <algorithm>

namespace hddiag {

namespace {

constexpr ULONG kAtaInProgress = 15;

bool StartsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

}  // namespace

SelfTestKind AtaSelfTestKind(ULONG type)
{
    switch (type & 0x7Fu) {
    case 1:
        return SelfTestKind::Short;
    case 2:
        return SelfTestKind::Extended;
    case 3:
        return SelfTestKind::Conveyance;
    case 4:
        return SelfTestKind::Selective;
    default:
        return SelfTestKind::Other;
    }
}

SelfTestKind NvmeSelfTestKind(ULONG code)
{
    return code == 1 ? SelfTestKind::Short : code == 2 ? SelfTestKind::Extended : SelfTestKind::Other;
}

SelfTestKind SelfTestKindFromName(const std::string& type)
{
    if (StartsWith(type, "Short")) {
        return SelfTestKind::Short;
    }
    if (StartsWith(type, "Extended")) {
        return SelfTestKind::Extended;
    }
    if (StartsWith(type, "Conveyance")) {
        return SelfTestKind::Conveyance;
    }
    if (StartsWith(type, "Selective")) {
        return SelfTestKind::Selective;
    }
    return SelfTestKind::Other;
}

SelfTestResult AtaSelfTestResult(std::optional<ULONG> code, std::optional<bool> passed)
{
    if (code) {
        switch (*code) {
        case 0:
            return SelfTestResult::Passed;
        case 1:
        case 2:
            return SelfTestResult::StoppedByHost;
        case 3:
        case 4:
        case 5:
        case 6:
        case 7:
        case 8:
            return SelfTestResult::Failed;
        case kAtaInProgress:
            return SelfTestResult::InProgress;
        default:
            break;
        }
    }
    if (passed) {
        return *passed ? SelfTestResult::Passed : SelfTestResult::Failed;
    }
    return SelfTestResult::Unknown;
}

SelfTestResult NvmeSelfTestResult(ULONG code)
{
    switch (code) {
    case 0:
        return SelfTestResult::Passed;
    case 1:
    case 2:
    case 3:
    case 4:
    case 9:
        return SelfTestResult::StoppedByHost;
    case 5:
    case 6:
    case 7:
        return SelfTestResult::Failed;
    default:
        // 8 is "aborted for an unknown reason": neither the host's doing nor a failure.
        return SelfTestResult::Unknown;
    }
}

const char* SelfTestKindName(SelfTestKind kind)
{
    switch (kind) {
    case SelfTestKind::Short:
        return "short";
    case SelfTestKind::Extended:
        return "extended";
    case SelfTestKind::Conveyance:
        return "conveyance";
    case SelfTestKind::Selective:
        return "selective";
    case SelfTestKind::Other:
        return "other";
    }
    return "?";
}

const char* SelfTestResultName(SelfTestResult result)
{
    switch (result) {
    case SelfTestResult::Passed:
        return "passed";
    case SelfTestResult::Failed:
        return "failed";
    case SelfTestResult::StoppedByHost:
        return "stopped";
    case SelfTestResult::InProgress:
        return "running";
    case SelfTestResult::Unknown:
        return "unknown";
    }
    return "?";
}

std::vector<const SelfTestEntry*> LatestOfEachKind(const SelfTestLog& log, bool finishedOnly)
{
    std::vector<const SelfTestEntry*> latest;
    for (const SelfTestEntry& e : log.entries) {
        if (finishedOnly && e.result == SelfTestResult::InProgress) {
            continue;
        }
        const auto sameKind = [&e](const SelfTestEntry* l) { return l->kind == e.kind; };
        const bool seen = std::any_of(latest.begin(), latest.end(), sameKind);
        if (!seen) {
            latest.push_back(&e);
        }
    }
    return latest;
}

const SelfTestEntry* LastFinished(const SelfTestLog& log)
{
    for (const SelfTestEntry& e : log.entries) {
        if (e.result != SelfTestResult::InProgress) {
            return &e;
        }
    }
    return nullptr;
}

std::vector<const SelfTestEntry*> StandingFailures(const SelfTestLog& log)
{
    std::vector<const SelfTestEntry*> failures;
    std::vector<SelfTestKind> seen;
    for (const SelfTestEntry& e : log.entries) {
        if (e.result == SelfTestResult::InProgress || std::find(seen.begin(), seen.end(), e.kind) != seen.end()) {
            continue;
        }
        seen.push_back(e.kind);
        if (e.result == SelfTestResult::Failed) {
            failures.push_back(&e);
        }
        if (e.kind == SelfTestKind::Extended && e.result == SelfTestResult::Passed) {
            break;
        }
    }
    return failures;
}

std::string LastSelfTestName(const SelfTestEntry& entry)
{
    if (entry.kind != SelfTestKind::Other) {
        return std::string("the last ") + SelfTestKindName(entry.kind) + " self-test";
    }
    return entry.type.empty() ? "the last self-test" : "the last self-test of type '" + entry.type + "'";
}

std::string FailureText(const SelfTestEntry& entry, bool nvme)
{
    std::string text;
    const ULONG code = entry.status.value_or(0xFFu);
    if (!nvme) {
        switch (code) {
        case 3:
            text = "was stopped by a fatal or unknown error";
            break;
        case 4:
            text = "ended in an unknown failure";
            break;
        case 5:
            text = "ended in an electrical failure";
            break;
        case 6:
            text = "ended in a servo/seek failure";
            break;
        case 7:
            text = "ended in a read failure";
            break;
        case 8:
            text = "found handling damage";
            break;
        default:
            break;
        }
    } else if (code == 5) {
        text = "was stopped by a fatal or unknown error";
    } else if (code == 6) {
        text = "failed in an unknown segment";
    } else if (code == 7) {
        text = entry.segment ? "failed in segment " + std::to_string(*entry.segment) : "failed in a segment";
    }
    if (text.empty()) {
        text = entry.statusText.empty() ? "failed" : "failed (" + entry.statusText + ")";
    }
    if (entry.lba) {
        text += " at LBA " + std::to_string(*entry.lba);
    }
    return text;
}

std::optional<ULONGLONG> SelfTestAgeHours(const SelfTestEntry& entry, bool nvme, std::optional<ULONGLONG> powerOnHours)
{
    if (!entry.hours || !powerOnHours) {
        return std::nullopt;
    }
    if (!nvme && *powerOnHours > 0xFFFFu && *entry.hours <= 0xFFFFu) {
        return (*powerOnHours - *entry.hours) & 0xFFFFu;
    }
    if (*powerOnHours < *entry.hours) {
        return std::nullopt;  // the counters disagree (attribute 9 packed otherwise)
    }
    return *powerOnHours - *entry.hours;
}

}  // namespace hddiag
