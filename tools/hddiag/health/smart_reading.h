// What smartctl told about one disk, as far as hddiag judges or shows it.
// Everything is optional: the output comes from another program and from
// the drive's firmware, so any part may be missing.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/win32.h"

namespace hddiag {

// One row of an ATA disk's attribute table.
struct SmartAttribute {
    ULONG id = 0;
    std::string name;
    std::optional<ULONG> value;  // normalized
    std::optional<ULONG> worst;
    std::optional<ULONG> threshold;
    bool prefail = false;
    std::string whenFailed;  // "", "now" or "past" (smartctl's words; the text form's are accepted too)
    std::optional<ULONGLONG> raw;
    std::string rawText;  // as smartctl prints it ("28 (Min/Max 14/85)")
};

// The NVMe SMART / health information log.
struct NvmeHealthLog {
    std::optional<ULONG> criticalWarning;
    std::optional<ULONG> availableSpare;  // percent
    std::optional<ULONG> availableSpareThreshold;
    std::optional<ULONG> percentageUsed;
    std::optional<ULONGLONG> mediaErrors;
};

// What kind of self-test a log entry is of.
enum class SelfTestKind { Short, Extended, Conveyance, Selective, Other };

// How a self-test ended, as hddiag judges it.
enum class SelfTestResult {
    Passed,
    Failed,         // a failure, or a fault that stopped it
    StoppedByHost,  // aborted or interrupted by the host: not the disk's fault
    InProgress,
    Unknown,        // a status hddiag does not know, and smartctl does not call failed
};

// One entry of the drive's self-test log.
struct SelfTestEntry {
    SelfTestKind kind = SelfTestKind::Other;
    std::string type;             // smartctl's name for it ("Extended offline", "Short")
    std::optional<ULONG> status;  // ATA: status.value's high nibble; NVMe: self_test_result.value
    std::string statusText;       // smartctl's words for the status
    SelfTestResult result = SelfTestResult::Unknown;
    std::optional<ULONG> remainingPercent;  // ATA: what was left when it ended or stopped
    std::optional<ULONGLONG> hours;         // power-on hours when it ended (ATA: 16 bits, wraps)
    std::optional<ULONGLONG> lba;           // the first LBA that failed
    std::optional<ULONG> segment;           // NVMe: the segment that failed
};

// The ATA (standard or extended) or NVMe self-test log.
struct SelfTestLog {
    bool nvme = false;
    std::vector<SelfTestEntry> entries;       // newest first
    std::optional<ULONGLONG> errorCount;      // error_count_total
    std::optional<ULONGLONG> outdatedErrors;  // error_count_outdated: failures a later extended test passed over
    std::string running;                      // NVMe: the test in progress, in smartctl's words
    std::optional<ULONG> runningPercent;      // NVMe: how far it is
};

struct SmartReading {
    std::optional<ULONG> exitStatus;  // smartctl's, from its JSON or its process
    std::string protocol;             // "ATA", "NVMe", "SCSI"; empty when not told
    std::string deviceType;           // smartctl's device type ("sat", "nvme", "scsi", ...)
    std::string model;
    std::string serial;
    std::optional<bool> smartAvailable;
    std::optional<bool> passed;  // the overall assessment
    std::vector<SmartAttribute> attributes;  // in the drive's order
    std::optional<NvmeHealthLog> nvme;
    std::optional<ULONGLONG> scsiGrownDefects;
    std::optional<ULONGLONG> scsiUncorrectedReadErrors;
    std::optional<LONGLONG> temperature;  // Celsius
    std::optional<ULONGLONG> powerOnHours;
    std::optional<ULONGLONG> errorLogCount;  // ATA error log entries, shown only
    std::optional<SelfTestLog> selfTests;
    std::vector<std::string> messages;  // smartctl's own, severity "error" or "warning"
    std::vector<std::string> notes;     // parts of the output hddiag does not know the shape of

    const SmartAttribute* Attribute(ULONG id) const
    {
        for (const SmartAttribute& a : attributes) {
            if (a.id == id) {
                return &a;
            }
        }
        return nullptr;
    }
};

}  // namespace hddiag
