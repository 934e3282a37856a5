// One disk's health as hddiag reports it: whether SMART could be read, and
// if so the verdict with its reasons.
#pragma once

#include <string>
#include <vector>

#include "tools/hddiag/health/smart_reading.h"

namespace hddiag {

enum class HealthState {
    Read,          // SMART was read; the verdict holds
    NotSupported,  // the disk answers no SMART (virtio, many USB bridges, image files)
    Asleep,        // in standby: not woken, not checked
    NotRead,       // smartctl missing, the device not opened, or output hddiag cannot use
};

enum class Verdict { Good, Warning, Failing };

struct DiskHealth {
    LONG disk = 0;
    HealthState state = HealthState::NotRead;
    std::string note;  // why it was not read, or what smartctl said beside the data
    SmartReading reading;
    Verdict verdict = Verdict::Good;  // when Read
    std::vector<std::string> reasons;
    double readTime = 0;  // seconds since 1970 (UTC) when read
    std::vector<std::string> noted;  // what the note rules found: said beside the verdict, never judged
};

// "good", "warning", "failing"
const char* VerdictName(Verdict verdict);
// The verdict's name when read, else "not supported", "asleep, not checked", "not read".
std::string HealthSummary(const DiskHealth& health);

// True when a disk read is failing (health's exit status).
bool AnyFailing(const std::vector<DiskHealth>& disks);

const DiskHealth* FindHealth(const std::vector<DiskHealth>& disks, LONG disk);

}  // namespace hddiag
