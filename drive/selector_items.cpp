#include "drive/selector_items.h"

#include <cwctype>

namespace hdd {

namespace {

bool IsBlank(WCHAR ch) { return std::iswspace(static_cast<wint_t>(ch)) != 0; }

// Calls visit(begin, end) for every maximal run of non-comma characters.
template <typename Visit>
void ForEachRun(const WCHAR* pText, Visit visit)
{
    const WCHAR* p = pText;
    while (*p != L'\0') {
        if (*p == L',') {
            ++p;
            continue;
        }
        const WCHAR* pBegin = p;
        while (*p != L'\0' && *p != L',') {
            ++p;
        }
        visit(pBegin, p);
    }
}

// One signed decimal number as "%d" reads it: leading white space, an
// optional sign, at least one digit. False when there is none or when it
// does not fit in 32 signed bits.
bool ReadNumber(const WCHAR*& p, LONG& lValue)
{
    while (*p != L'\0' && IsBlank(*p)) {
        ++p;
    }
    bool bNegative = false;
    if (*p == L'+' || *p == L'-') {
        bNegative = *p == L'-';
        ++p;
    }
    if (*p < L'0' || *p > L'9') {
        return false;
    }
    // Magnitude limit: 2^31 for a negative number, 2^31 - 1 otherwise.
    const ULONGLONG ullLimit = bNegative ? 0x80000000ull : 0x7FFFFFFFull;
    ULONGLONG ullMagnitude = 0;
    bool bFits = true;
    while (*p >= L'0' && *p <= L'9') {
        if (bFits) {
            ullMagnitude = ullMagnitude * 10 + static_cast<ULONGLONG>(*p - L'0');
            bFits = ullMagnitude <= ullLimit;
        }
        ++p;
    }
    if (!bFits) {
        return false;
    }
    lValue = bNegative ? static_cast<LONG>(-static_cast<LONGLONG>(ullMagnitude)) : static_cast<LONG>(ullMagnitude);
    return true;
}

}  // namespace

SplitResult SplitSelectorItems(const WCHAR* pText, size_t maxItems, std::vector<std::wstring>& items)
{
    if (pText == nullptr) {
        pText = L"";
    }
    // Counted first, so that an overlong text is refused before anything is
    // stored.
    size_t nRuns = 0;
    ForEachRun(pText, [&](const WCHAR*, const WCHAR*) { ++nRuns; });
    if (nRuns > maxItems || items.size() > maxItems - nRuns) {
        return SplitResult::TooManyItems;
    }
    ForEachRun(pText, [&](const WCHAR* pBegin, const WCHAR* pEnd) {
        while (pBegin != pEnd && IsBlank(*pBegin)) {
            ++pBegin;
        }
        while (pEnd != pBegin && IsBlank(pEnd[-1])) {
            --pEnd;
        }
        items.emplace_back(pBegin, pEnd);
    });
    return SplitResult::Ok;
}

int ReadItemNumbers(const std::wstring& item, LONG& lDisk, LONG& lPartition)
{
    const WCHAR* p = item.c_str();
    LONG lValue = 0;
    if (!ReadNumber(p, lValue)) {
        return 0;
    }
    lDisk = lValue;
    if (*p != L'-') {
        return 1;
    }
    ++p;
    if (!ReadNumber(p, lValue)) {
        return 1;
    }
    lPartition = lValue;
    return 2;
}

}  // namespace hdd
