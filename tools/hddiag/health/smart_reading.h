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
