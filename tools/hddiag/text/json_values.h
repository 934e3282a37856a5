// How every JSON output writes a value that may be missing: null, never an
// empty string or a made-up zero.
#pragma once

#include <optional>
#include <string>

#include <nlohmann/json.hpp>

namespace hddiag {

template <typename T>
nlohmann::ordered_json OrNull(const std::optional<T>& value)
{
    return value ? nlohmann::ordered_json(*value) : nlohmann::ordered_json();
}

inline nlohmann::ordered_json TextOrNull(const std::string& text)
{
    return text.empty() ? nlohmann::ordered_json() : nlohmann::ordered_json(text);
}

}  // namespace hddiag
