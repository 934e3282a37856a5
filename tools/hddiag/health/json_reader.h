// Typed reads of smartctl's JSON, whose every part may be missing or of
// another shape: a value of the wrong type is left out and named in the notes.
#pragma once

#include <limits>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "platform/win32.h"

namespace hddiag {

class JsonReader {
public:
    explicit JsonReader(std::vector<std::string>& notes) : m_notes(notes) {}

    const nlohmann::json* Object(const nlohmann::json& parent, const char* key, const std::string& path)
    {
        const nlohmann::json* j = Find(parent, key);
        if (j != nullptr && !j->is_object()) {
            Note(path, "is not an object");
            return nullptr;
        }
        return j;
    }

    const nlohmann::json* Array(const nlohmann::json& parent, const char* key, const std::string& path)
    {
        const nlohmann::json* j = Find(parent, key);
        if (j != nullptr && !j->is_array()) {
            Note(path, "is not a list");
            return nullptr;
        }
        return j;
    }

    std::optional<ULONGLONG> Unsigned(const nlohmann::json& parent, const char* key, const std::string& path,
                                      ULONGLONG max = std::numeric_limits<ULONGLONG>::max())
    {
        const nlohmann::json* j = Find(parent, key);
        if (j == nullptr) {
            return std::nullopt;
        }
        if (j->is_number_unsigned() || (j->is_number_integer() && j->get<LONGLONG>() >= 0)) {
            const ULONGLONG v = j->is_number_unsigned() ? j->get<ULONGLONG>() : static_cast<ULONGLONG>(j->get<LONGLONG>());
            if (v <= max) {
                return v;
            }
            Note(path, "is out of range (" + std::to_string(v) + ")");
            return std::nullopt;
        }
        Note(path, j->is_number() ? "is not a whole number of 0 or more" : "is not a number");
        return std::nullopt;
    }

    std::optional<ULONG> Small(const nlohmann::json& parent, const char* key, const std::string& path)
    {
        const std::optional<ULONGLONG> v = Unsigned(parent, key, path, 0xFFFFFFFFull);
        return v ? std::optional<ULONG>(static_cast<ULONG>(*v)) : std::nullopt;
    }

    std::optional<LONGLONG> Signed(const nlohmann::json& parent, const char* key, const std::string& path)
    {
        const nlohmann::json* j = Find(parent, key);
        if (j == nullptr) {
            return std::nullopt;
        }
        if (j->is_number_integer() && !j->is_number_unsigned()) {
            return j->get<LONGLONG>();
        }
        if (j->is_number_unsigned() && j->get<ULONGLONG>() <= static_cast<ULONGLONG>(std::numeric_limits<LONGLONG>::max())) {
            return static_cast<LONGLONG>(j->get<ULONGLONG>());
        }
        Note(path, j->is_number() ? "is not a whole number" : "is not a number");
        return std::nullopt;
    }

    std::optional<bool> Bool(const nlohmann::json& parent, const char* key, const std::string& path)
    {
        const nlohmann::json* j = Find(parent, key);
        if (j == nullptr) {
            return std::nullopt;
        }
        if (j->is_boolean()) {
            return j->get<bool>();
        }
        Note(path, "is not true or false");
        return std::nullopt;
    }

    std::string Text(const nlohmann::json& parent, const char* key, const std::string& path)
    {
        const nlohmann::json* j = Find(parent, key);
        if (j == nullptr) {
            return {};
        }
        if (j->is_string()) {
            return j->get<std::string>();
        }
        Note(path, "is not a text");
        return {};
    }

    void Note(const std::string& path, const std::string& problem) { m_notes.push_back(path + " " + problem + "; left out"); }

private:
    static const nlohmann::json* Find(const nlohmann::json& parent, const char* key)
    {
        if (!parent.is_object()) {
            return nullptr;
        }
        const auto it = parent.find(key);
        return it == parent.end() || it->is_null() ? nullptr : &*it;
    }

    std::vector<std::string>& m_notes;
};

}  // namespace hddiag
