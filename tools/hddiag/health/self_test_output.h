// The self-test log for people (one line per disk) and as JSON.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "tools/hddiag/health/smart_reading.h"

namespace hddiag {

// The newest test of each kind and any test running, as one line: "short, 4
// power-on hours ago: passed; extended, ...". Empty when the log holds none.
std::string SelfTestLine(const SmartReading& r);

// The whole log, newest first, each entry with its kind, result and age.
nlohmann::ordered_json SelfTestJson(const SmartReading& r);

}  // namespace hddiag
