// The drive's self-test log as hddiag judges and shows it: what smartctl's
// status codes mean, which entries count, and how an entry reads.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "tools/hddiag/health/smart_reading.h"

namespace hddiag {

// From smartctl's type.value: ATA's log holds the subcommand that started
// the test (0x81 is a short test in captive mode).
SelfTestKind AtaSelfTestKind(ULONG type);
// From self_test_code.value.
SelfTestKind NvmeSelfTestKind(ULONG code);
// From smartctl's name for the test, when its number is missing.
SelfTestKind SelfTestKindFromName(const std::string& type);

// ATA status codes: 0 completed, 1 aborted by the host, 2 interrupted by a
// host reset, 3 fatal or unknown error, 4-8 failures, 15 in progress. For a
// code hddiag does not know, smartctl's own status.passed decides.
SelfTestResult AtaSelfTestResult(std::optional<ULONG> code, std::optional<bool> passed);
// NVMe self_test_result values: 0 completed, 1-4 and 9 stopped by a host
// command or reset, 5 fatal error, 6-7 failed segments.
SelfTestResult NvmeSelfTestResult(ULONG code);

// "short", "extended", "conveyance", "selective", "other"
const char* SelfTestKindName(SelfTestKind kind);
// "passed", "failed", "stopped" (by the host), "running", "unknown"
const char* SelfTestResultName(SelfTestResult result);

// The newest entry of each kind, newest first; with finishedOnly, the
// newest that is not still running.
std::vector<const SelfTestEntry*> LatestOfEachKind(const SelfTestLog& log, bool finishedOnly);

// The newest entry that is not still running; null when there is none.
const SelfTestEntry* LastFinished(const SelfTestLog& log);

// The failures that stand: the newest finished test of its kind failed, and
// no extended test passed after it (an extended test reads the whole disk,
// as smartctl's exit status bit 7 also reckons).
std::vector<const SelfTestEntry*> StandingFailures(const SelfTestLog& log);

// "the last extended self-test"
std::string LastSelfTestName(const SelfTestEntry& entry);

// How a failed test ended: "ended in a read failure at LBA 123456".
std::string FailureText(const SelfTestEntry& entry, bool nvme);

// Power-on hours since the test ended, when both hours are known. ATA logs
// keep 16 bits of them, so an older disk's count is taken modulo 65536.
std::optional<ULONGLONG> SelfTestAgeHours(const SelfTestEntry& entry, bool nvme, std::optional<ULONGLONG> powerOnHours);

}  // namespace hddiag
