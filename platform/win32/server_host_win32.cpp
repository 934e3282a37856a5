// Type libraries (oleaut32), module resources, thread locale and the critical
// section (kernel32) for the server frame.
#include <new>
#include <sstream>
#include <string>

#include "platform/critical_section.h"
#include "platform/module_host.h"
#include "platform/typelib.h"

namespace hdd {

namespace {

typedef HRESULT(WINAPI* RegisterForUserFn)(ITypeLib*, OLECHAR*, OLECHAR*);
typedef HRESULT(WINAPI* UnregisterForUserFn)(REFGUID, WORD, WORD, LCID, SYSKIND);

// "TypeLib\{libid}\1.0\0\win64": the key that registers the library for
// one platform (hexadecimal version and locale, as the registration writes them).
std::wstring PlatformKeyOf(const TLIBATTR& attr)
{
    WCHAR guid[40] = {};
    ::StringFromGUID2(attr.guid, guid, 40);
    std::wostringstream key;
    key << L"TypeLib\\" << guid << L"\\" << std::hex << attr.wMajorVerNum << L"." << attr.wMinorVerNum << L"\\"
        << attr.lcid << L"\\" << (attr.syskind == SYS_WIN64 ? L"win64" : L"win32");
    return key.str();
}

// Looked up at the time of the call: older systems lack the per-user pair.
FARPROC OleAutFunction(const char* name)
{
    HMODULE hOleAut = ::GetModuleHandleW(L"OLEAUT32.DLL");
    return hOleAut != nullptr ? ::GetProcAddress(hOleAut, name) : nullptr;
}

class Win32TypeLibs final : public TypeLibApi {
public:
    HRESULT LoadRegisteredTypeInfo(REFGUID libid, WORD wMajor, WORD wMinor, LCID lcid, REFIID iid,
                                   ITypeInfo** ppTInfo) override
    {
        *ppTInfo = nullptr;
        ITypeLib* pTLib = nullptr;
        HRESULT hr = ::LoadRegTypeLib(libid, wMajor, wMinor, lcid, &pTLib);
        if (FAILED(hr)) {
            return hr;
        }
        hr = pTLib->GetTypeInfoOfGuid(iid, ppTInfo);
        pTLib->Release();
        return hr;
    }
    void AddRefTypeInfo(ITypeInfo* pTInfo) override { pTInfo->AddRef(); }
    void ReleaseTypeInfo(ITypeInfo* pTInfo) override { pTInfo->Release(); }
    HRESULT DispGetIDsOfNames(ITypeInfo* pTInfo, LPOLESTR* rgszNames, UINT cNames, DISPID* rgDispId) override
    {
        return ::DispGetIDsOfNames(pTInfo, rgszNames, cNames, rgDispId);
    }
    HRESULT DispInvoke(void* pThis, ITypeInfo* pTInfo, DISPID dispIdMember, WORD wFlags, DISPPARAMS* pDispParams,
                       VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) override
    {
        return ::DispInvoke(pThis, pTInfo, dispIdMember, wFlags, pDispParams, pVarResult, pExcepInfo, puArgErr);
    }
    HRESULT LoadTypeLibFile(LPCWSTR szPath, ITypeLib** ppTLib) override
    {
        return ::LoadTypeLibEx(szPath, REGKIND_NONE, ppTLib);
    }
    void ReleaseTypeLib(ITypeLib* pTLib) override { pTLib->Release(); }
    HRESULT RegisterTypeLib(ITypeLib* pTLib, LPCWSTR szPath, bool bPerUser) override
    {
        OLECHAR* path = const_cast<OLECHAR*>(szPath);
        if (bPerUser) {
            auto pfn = reinterpret_cast<RegisterForUserFn>(
                reinterpret_cast<void (*)()>(OleAutFunction("RegisterTypeLibForUser")));
            if (pfn != nullptr) {
                return pfn(pTLib, path, nullptr);
            }
        }
        return ::RegisterTypeLib(pTLib, path, nullptr);
    }
    HRESULT IsTypeLibRegistered(ITypeLib* pTLib) override
    {
        TLIBATTR* pAttr = nullptr;
        HRESULT hr = pTLib->GetLibAttr(&pAttr);
        if (FAILED(hr)) {
            return hr;
        }
        // The key of this library's own platform: a query by path would also
        // find the other platform's registration of a shared library key.
        const std::wstring key = PlatformKeyOf(*pAttr);
        pTLib->ReleaseTLibAttr(pAttr);
        HKEY hKey = nullptr;
        if (::RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &hKey) != ERROR_SUCCESS) {
            return S_FALSE;
        }
        ::RegCloseKey(hKey);
        return S_OK;
    }
    HRESULT UnregisterTypeLib(ITypeLib* pTLib, bool bPerUser) override
    {
        TLIBATTR* pAttr = nullptr;
        HRESULT hr = pTLib->GetLibAttr(&pAttr);
        if (FAILED(hr)) {
            return hr;
        }
        const TLIBATTR attr = *pAttr;
        pTLib->ReleaseTLibAttr(pAttr);
        if (bPerUser) {
            auto pfn = reinterpret_cast<UnregisterForUserFn>(
                reinterpret_cast<void (*)()>(OleAutFunction("UnRegisterTypeLibForUser")));
            if (pfn != nullptr) {
                return pfn(attr.guid, attr.wMajorVerNum, attr.wMinorVerNum, attr.lcid, attr.syskind);
            }
        }
        return ::UnRegisterTypeLib(attr.guid, attr.wMajorVerNum, attr.wMinorVerNum, attr.lcid, attr.syskind);
    }
};

class Win32ModuleHost final : public ModuleHostApi {
public:
    DWORD GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize) override
    {
        return ::GetModuleFileNameW(hModule, lpFilename, nSize);
    }
    DWORD GetLastError() override { return ::GetLastError(); }
    LCID GetThreadLocale() override { return ::GetThreadLocale(); }
    BOOL SetThreadLocale(LCID lcid) override { return ::SetThreadLocale(lcid); }
    HRESULT LoadRegistryScript(HMODULE hModule, UINT nId, std::string& bytes) override
    {
        bytes.clear();
        HRSRC hRes = ::FindResourceW(hModule, MAKEINTRESOURCEW(nId), L"REGISTRY");
        if (hRes == nullptr) {
            return HRESULT_FROM_WIN32(::GetLastError());
        }
        HGLOBAL hData = ::LoadResource(hModule, hRes);
        const void* pData = hData != nullptr ? ::LockResource(hData) : nullptr;
        if (pData == nullptr) {
            return HRESULT_FROM_WIN32(::GetLastError());
        }
        bytes.assign(static_cast<const char*>(pData), ::SizeofResource(hModule, hRes));
        return S_OK;
    }
};

}  // namespace

TypeLibApi& PlatformTypeLibs()
{
    static Win32TypeLibs typeLibs;
    return typeLibs;
}

ModuleHostApi& PlatformModuleHost()
{
    static Win32ModuleHost host;
    return host;
}

bool CriticalSection::Init()
{
    if (m_pImpl != nullptr) {
        return true;
    }
    auto* pcs = new (std::nothrow) CRITICAL_SECTION;
    if (pcs == nullptr) {
        return false;
    }
    if (!::InitializeCriticalSectionAndSpinCount(pcs, 0)) {
        delete pcs;
        return false;
    }
    m_pImpl = pcs;
    return true;
}

void CriticalSection::Term()
{
    if (m_pImpl != nullptr) {
        auto* pcs = static_cast<CRITICAL_SECTION*>(m_pImpl);
        ::DeleteCriticalSection(pcs);
        delete pcs;
        m_pImpl = nullptr;
    }
}

void CriticalSection::Enter() { ::EnterCriticalSection(static_cast<CRITICAL_SECTION*>(m_pImpl)); }

void CriticalSection::Leave() { ::LeaveCriticalSection(static_cast<CRITICAL_SECTION*>(m_pImpl)); }

}  // namespace hdd
