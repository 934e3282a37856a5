// Case-insensitive comparison of registry names and script keywords.
#pragma once

#include <cwctype>
#include <string>

namespace hdd {

// Whether a equals the NUL-terminated b, ignoring case (towlower).
inline bool SameText(const std::wstring& a, const wchar_t* b)
{
    size_t i = 0;
    for (; i < a.size() && b[i] != L'\0'; ++i) {
        if (std::towlower(a[i]) != std::towlower(b[i])) {
            return false;
        }
    }
    return i == a.size() && b[i] == L'\0';
}

}  // namespace hdd
