// The pieces of OpenMetrics text that every metrics file of hddiag writes
// the same way.
#pragma once

#include <string>

namespace hddiag {

// A sample's value: up to 15 significant digits, no trailing zeros.
std::string MetricNumber(double value);

// A label value: valid UTF-8 (other bytes become U+FFFD) with the format's
// three escapes.
std::string MetricLabelValue(const std::string& value);

}  // namespace hddiag
