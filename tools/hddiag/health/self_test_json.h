// The self-test log in smartctl's JSON (--log=selftest): ATA's standard or
// extended log, or NVMe's.
#pragma once

#include <nlohmann/json.hpp>

#include "tools/hddiag/health/json_reader.h"
#include "tools/hddiag/health/smart_reading.h"

namespace hddiag {

// Sets r.selfTests when the document holds a self-test log (also an empty
// one: no test has run).
void ReadSelfTestLog(JsonReader& in, const nlohmann::json& doc, SmartReading& r);

}  // namespace hddiag
