// Type libraries, module resources and the critical section where no
// Windows exists. No type library can be registered or loaded here, so the
// object's IDispatch answers TYPE_E_LIBNOTREGISTERED, as it does on Windows
// before DllRegisterServer; the module has no file name and no resources, so
// registration through the exports fails here unless a test installs its own
// seams.
#include <mutex>
#include <new>

#include "platform/critical_section.h"
#include "platform/module_host.h"
#include "platform/typelib.h"

namespace hdd {

namespace {

class PosixTypeLibs final : public TypeLibApi {
public:
    HRESULT LoadRegisteredTypeInfo(REFGUID, WORD, WORD, LCID, REFIID, ITypeInfo** ppTInfo) override
    {
        if (ppTInfo != nullptr) {
            *ppTInfo = nullptr;
        }
        return TYPE_E_LIBNOTREGISTERED;
    }
    void AddRefTypeInfo(ITypeInfo*) override {}
    void ReleaseTypeInfo(ITypeInfo*) override {}
    HRESULT DispGetIDsOfNames(ITypeInfo*, LPOLESTR*, UINT, DISPID*) override { return E_NOTIMPL; }
    HRESULT DispInvoke(void*, ITypeInfo*, DISPID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override
    {
        return E_NOTIMPL;
    }
    HRESULT LoadTypeLibFile(LPCWSTR, ITypeLib** ppTLib) override
    {
        if (ppTLib != nullptr) {
            *ppTLib = nullptr;
        }
        return TYPE_E_CANTLOADLIBRARY;
    }
    void ReleaseTypeLib(ITypeLib*) override {}
    HRESULT RegisterTypeLib(ITypeLib*, LPCWSTR, bool) override { return E_NOTIMPL; }
    HRESULT IsTypeLibRegistered(ITypeLib*) override { return S_FALSE; }
    HRESULT UnregisterTypeLib(ITypeLib*, bool) override { return E_NOTIMPL; }
};

class PosixModuleHost final : public ModuleHostApi {
public:
    DWORD GetModuleFileNameW(HMODULE, LPWSTR lpFilename, DWORD nSize) override
    {
        if (lpFilename != nullptr && nSize > 0) {
            lpFilename[0] = L'\0';
        }
        return 0;
    }
    DWORD GetLastError() override { return ERROR_NOT_SUPPORTED; }
    LCID GetThreadLocale() override { return t_lcid; }
    BOOL SetThreadLocale(LCID lcid) override
    {
        t_lcid = lcid;
        return TRUE;
    }
    HRESULT LoadRegistryScript(HMODULE, UINT, std::string& bytes) override
    {
        bytes.clear();
        return E_NOTIMPL;
    }

private:
    static thread_local LCID t_lcid;
};

thread_local LCID PosixModuleHost::t_lcid = LOCALE_USER_DEFAULT;

}  // namespace

TypeLibApi& PlatformTypeLibs()
{
    static PosixTypeLibs typeLibs;
    return typeLibs;
}

ModuleHostApi& PlatformModuleHost()
{
    static PosixModuleHost host;
    return host;
}

bool CriticalSection::Init()
{
    if (m_pImpl == nullptr) {
        m_pImpl = new (std::nothrow) std::mutex();
    }
    return m_pImpl != nullptr;
}

void CriticalSection::Term()
{
    delete static_cast<std::mutex*>(m_pImpl);
    m_pImpl = nullptr;
}

void CriticalSection::Enter() { static_cast<std::mutex*>(m_pImpl)->lock(); }

void CriticalSection::Leave() { static_cast<std::mutex*>(m_pImpl)->unlock(); }

}  // namespace hdd
