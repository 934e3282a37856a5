// Automation strings, variants and the standard interface identifiers, for
// builds where oleaut32 and uuid.lib do not exist.
#include <cstdlib>
#include <cwchar>
#include <new>

#include "platform/win32.h"

extern "C" {
const IID IID_NULL = {0x00000000, 0x0000, 0x0000, {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}};
const IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID IID_IDispatch = {0x00020400, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID IID_IClassFactory = {0x00000001, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID IID_IConnectionPointContainer = {0xB196B284, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
const IID IID_IConnectionPoint = {0xB196B286, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
const IID IID_IEnumConnectionPoints = {0xB196B285, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
const IID IID_IEnumConnections = {0xB196B287, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
const IID IID_IProvideClassInfo = {0xB196B283, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
const IID IID_ISupportErrorInfo = {0xDF0B3D60, 0x548F, 0x101B, {0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19}};
const IID IID_IMarshal = {0x00000003, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
}

namespace {

// Layout: [DWORD byte count][characters][NUL]; the BSTR points at the characters.
constexpr size_t kPrefix = sizeof(DWORD) > alignof(OLECHAR) ? sizeof(DWORD) : alignof(OLECHAR);

}  // namespace

BSTR SysAllocStringLen(const OLECHAR* pch, UINT cch)
{
    const size_t bytes = static_cast<size_t>(cch) * sizeof(OLECHAR);
    if (bytes / sizeof(OLECHAR) != cch || bytes > 0xFFFFFFF0u) {
        return nullptr;
    }
    auto* block = static_cast<unsigned char*>(std::malloc(kPrefix + bytes + sizeof(OLECHAR)));
    if (block == nullptr) {
        return nullptr;
    }
    const DWORD byteCount = static_cast<DWORD>(bytes);
    std::memcpy(block + kPrefix - sizeof(DWORD), &byteCount, sizeof byteCount);
    BSTR bstr = reinterpret_cast<BSTR>(block + kPrefix);
    if (pch != nullptr) {
        std::memcpy(bstr, pch, bytes);
    } else {
        std::memset(bstr, 0, bytes);
    }
    bstr[cch] = L'\0';
    return bstr;
}

BSTR SysAllocString(const OLECHAR* psz)
{
    if (psz == nullptr) {
        return nullptr;
    }
    return SysAllocStringLen(psz, static_cast<UINT>(std::wcslen(psz)));
}

void SysFreeString(BSTR bstr)
{
    if (bstr != nullptr) {
        std::free(reinterpret_cast<unsigned char*>(bstr) - kPrefix);
    }
}

UINT SysStringLen(BSTR bstr)
{
    if (bstr == nullptr) {
        return 0;
    }
    DWORD byteCount = 0;
    std::memcpy(&byteCount, reinterpret_cast<unsigned char*>(bstr) - sizeof(DWORD), sizeof byteCount);
    return byteCount / sizeof(OLECHAR);
}

void VariantInit(VARIANTARG* pvarg)
{
    pvarg->vt = VT_EMPTY;
    pvarg->wReserved1 = pvarg->wReserved2 = pvarg->wReserved3 = 0;
}

HRESULT VariantClear(VARIANTARG* pvarg)
{
    if (pvarg == nullptr) {
        return E_INVALIDARG;
    }
    switch (pvarg->vt) {
    case VT_BSTR:
        SysFreeString(pvarg->bstrVal);
        break;
    case VT_DISPATCH:
        if (pvarg->pdispVal != nullptr) {
            pvarg->pdispVal->Release();
        }
        break;
    case VT_UNKNOWN:
        if (pvarg->punkVal != nullptr) {
            pvarg->punkVal->Release();
        }
        break;
    default:
        break;
    }
    pvarg->vt = VT_EMPTY;
    return S_OK;
}
