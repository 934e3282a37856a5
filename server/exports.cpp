#include "server/exports.h"

#include <cwctype>

#include "object/hdd_guids.h"
#include "platform/module_host.h"
#include "platform/registry.h"
#include "platform/typelib.h"
#include "server/registrar.h"
#include "server/module.h"
#include "server/text_compare.h"

namespace hdd {

namespace {

// Registration runs in the system default locale; the caller's is restored
// whatever the outcome.
class ScopedSystemLocale {
public:
    ScopedSystemLocale() : m_lcidSaved(ModuleHost().GetThreadLocale())
    {
        ModuleHost().SetThreadLocale(LOCALE_SYSTEM_DEFAULT);
    }
    ~ScopedSystemLocale() { ModuleHost().SetThreadLocale(m_lcidSaved); }
    ScopedSystemLocale(const ScopedSystemLocale&) = delete;
    ScopedSystemLocale& operator=(const ScopedSystemLocale&) = delete;

private:
    LCID m_lcidSaved;
};

HRESULT GetServerPath(std::wstring& path)
{
    WCHAR buffer[HDD_MAX_MODULE_PATH];
    const DWORD length = ModuleHost().GetModuleFileNameW(Module().GetModuleInstance(), buffer, HDD_MAX_MODULE_PATH);
    if (length == 0) {
        const DWORD error = ModuleHost().GetLastError();
        return error != ERROR_SUCCESS ? HRESULT_FROM_WIN32(error) : E_FAIL;
    }
    if (length >= HDD_MAX_MODULE_PATH) {
        return HDD_E_PATH_TOO_LONG;
    }
    path.assign(buffer, length);
    return S_OK;
}

// The path, the script variables and the scripts, gathered before any step.
struct Registration {
    std::wstring path;
    ScriptVariables variables;
};

HRESULT Prepare(Registration& reg)
{
    const HRESULT hr = GetServerPath(reg.path);
    if (FAILED(hr)) {
        return hr;
    }
    const std::wstring module = EscapeForScript(reg.path);
    reg.variables[L"MODULE"] = module;
    reg.variables[L"MODULE_RAW"] = module;
    reg.variables[L"APPID"] = HDD_APPID_TEXT;
    return S_OK;
}

HRESULT LoadScript(UINT nId, std::wstring& script)
{
    std::string bytes;
    const HRESULT hr = ModuleHost().LoadRegistryScript(Module().GetModuleInstance(), nId, bytes);
    return FAILED(hr) ? hr : DecodeScriptBytes(bytes, script);
}

// What unregistration removes: everything, or, while the server of the
// other bitness is still registered in the other registry view, only what
// that view keeps apart (the class key) and leaves the keys both share.
enum class Removal { All, OwnViewOnly };

HRESULT ApplyScript(const Registration& reg, UINT nId, bool bRegister, Removal removal = Removal::All)
{
    std::wstring script;
    const HRESULT hr = LoadScript(nId, script);
    if (FAILED(hr)) {
        return hr;
    }
    const bool bPerUser = Module().IsPerUser();
    if (bRegister) {
        return RegisterScript(script, reg.variables, bPerUser);
    }
    return removal == Removal::All ? UnregisterScript(script, reg.variables, bPerUser)
                                   : UnregisterScriptKey(script, reg.variables, bPerUser, L"CLSID");
}

// The server file that a registry view's class key names ("" when none).
std::wstring ClassServer(bool bOtherView)
{
    const bool bPerUser = Module().IsPerUser();
    const RegistryRoot root = bPerUser ? RegistryRoot::CurrentUser : RegistryRoot::ClassesRoot;
    const std::wstring key = std::wstring(bPerUser ? L"Software\\Classes\\" : L"") + L"CLSID\\" +
                             HDD_CLSID_CHDDOBJECT_TEXT + L"\\InprocServer32";
    std::wstring server;
    const LONG rc = bOtherView ? Registry().QueryStringValueInOtherView(root, key, nullptr, server)
                               : Registry().QueryStringValue(root, key, nullptr, server);
    return rc == static_cast<LONG>(ERROR_SUCCESS) ? server : std::wstring();
}

// True when the other registry view of a 64-bit system registers another
// server file for the class (the 32-bit server for the 64-bit one, and the
// other way round). A view that answers with this server's own file shares
// the class key with this one: there is no other registration then.
bool OtherViewRegistersClass(const Registration& reg)
{
    const std::wstring other = ClassServer(true);
    return !other.empty() && !SameText(other, reg.path.c_str());
}

// The type library of the server file itself, else the .tlb beside it;
// `loadedFrom` names the file it came from.
class LoadedTypeLib {
public:
    ~LoadedTypeLib()
    {
        if (m_pTLib != nullptr) {
            TypeLibs().ReleaseTypeLib(m_pTLib);
        }
    }
    HRESULT Load(const std::wstring& modulePath)
    {
        m_loadedFrom = modulePath;
        HRESULT hr = TypeLibs().LoadTypeLibFile(m_loadedFrom.c_str(), &m_pTLib);
        if (FAILED(hr)) {
            m_pTLib = nullptr;
            m_loadedFrom = TypeLibPathFor(modulePath);
            hr = TypeLibs().LoadTypeLibFile(m_loadedFrom.c_str(), &m_pTLib);
            if (FAILED(hr)) {
                m_pTLib = nullptr;
            }
        }
        return hr;
    }
    ITypeLib* Get() const { return m_pTLib; }
    const std::wstring& LoadedFrom() const { return m_loadedFrom; }

private:
    ITypeLib* m_pTLib = nullptr;
    std::wstring m_loadedFrom;
};

HRESULT RegisterTypeLibrary(const Registration& reg)
{
    LoadedTypeLib typeLib;
    const HRESULT hr = typeLib.Load(reg.path);
    if (FAILED(hr)) {
        return hr;
    }
    const bool bPerUser = Module().IsPerUser();
    // Per user, a registration that goes through the classes root (the
    // machine-wide fallback, or a system whose per-user call does so) lands
    // in the user's classes as well.
    ScopedClassesRootOverride userClasses(bPerUser);
    return TypeLibs().RegisterTypeLib(typeLib.Get(), typeLib.LoadedFrom().c_str(), bPerUser);
}

HRESULT UnregisterTypeLibrary(const Registration& reg)
{
    LoadedTypeLib typeLib;
    HRESULT hr = typeLib.Load(reg.path);
    if (FAILED(hr)) {
        return hr;
    }
    const bool bPerUser = Module().IsPerUser();
    ScopedClassesRootOverride userClasses(bPerUser);
    // A library that is not registered is nothing to remove; this keeps the
    // steps after it running when an install is undone after a failure.
    hr = TypeLibs().IsTypeLibRegistered(typeLib.Get());
    if (hr == S_FALSE) {
        return S_OK;
    }
    return TypeLibs().UnregisterTypeLib(typeLib.Get(), bPerUser);
}

HRESULT RegisterSteps()
{
    Registration reg;
    HRESULT hr = Prepare(reg);
    if (FAILED(hr)) {
        return hr;
    }
    hr = ApplyScript(reg, HDD_IDR_APPID_SCRIPT, true);
    if (FAILED(hr)) {
        return hr;
    }
    // The one class; it declares no component categories.
    hr = ApplyScript(reg, HDD_IDR_CLASS_SCRIPT, true);
    if (FAILED(hr)) {
        return hr;
    }
    return RegisterTypeLibrary(reg);
}

HRESULT UnregisterSteps()
{
    Registration reg;
    HRESULT hr = Prepare(reg);
    if (FAILED(hr)) {
        return hr;
    }
    const Removal removal = OtherViewRegistersClass(reg) ? Removal::OwnViewOnly : Removal::All;
    // Where the views share the class key after all (Wine's per-user
    // classes), it names the other server: that key is not this one's to remove.
    if (removal == Removal::All || SameText(ClassServer(false), reg.path.c_str())) {
        hr = ApplyScript(reg, HDD_IDR_CLASS_SCRIPT, false, removal);
        if (FAILED(hr)) {
            return hr;
        }
    }
    // The library's registration for this platform only (win32 or win64);
    // its shared key goes with the last one.
    hr = UnregisterTypeLibrary(reg);
    if (FAILED(hr) || removal == Removal::OwnViewOnly) {
        return hr;
    }
    hr = ApplyScript(reg, HDD_IDR_APPID_SCRIPT, false);
    return FAILED(hr) ? hr : S_OK;
}

}  // namespace

HRESULT ServerCanUnloadNow() { return Module().GetLockCount() == 0 ? S_OK : S_FALSE; }

HRESULT ServerGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv)
{
    if (ppv == nullptr) {
        return E_POINTER;
    }
    *ppv = nullptr;
    if (!IsEqualCLSID(rclsid, CLSID_CHDDObject)) {
        return CLASS_E_CLASSNOTAVAILABLE;
    }
    IClassFactory* pFactory = nullptr;
    HRESULT hr = Module().GetClassObject(&pFactory);
    if (FAILED(hr)) {
        return hr;
    }
    hr = pFactory->QueryInterface(riid, ppv);
    pFactory->Release();
    return hr;
}

HRESULT ServerRegister()
{
    ScopedSystemLocale locale;
    return RegisterSteps();
}

HRESULT ServerUnregister()
{
    ScopedSystemLocale locale;
    return UnregisterSteps();
}

HRESULT ServerInstall(BOOL bInstall, LPCWSTR pszCmdLine)
{
    if (IsPerUserCommandLine(pszCmdLine)) {
        Module().SetPerUser();
    }
    if (!bInstall) {
        return ServerUnregister();
    }
    const HRESULT hr = ServerRegister();
    if (FAILED(hr)) {
        ServerUnregister();  // remove what the failed registration wrote
    }
    return hr;
}

bool IsPerUserCommandLine(LPCWSTR pszCmdLine)
{
    if (pszCmdLine == nullptr) {
        return false;
    }
    // Five characters: "user" and its terminating NUL, so "users" fails; the
    // comparison stops at the first difference and never reads past a NUL.
    static const WCHAR kUser[] = L"user";
    for (size_t i = 0; i < 5; ++i) {
        if (static_cast<WCHAR>(std::towlower(pszCmdLine[i])) != kUser[i]) {
            return false;
        }
        if (pszCmdLine[i] == L'\0') {
            break;
        }
    }
    return true;
}

std::wstring TypeLibPathFor(const std::wstring& modulePath)
{
    const size_t nameStart = modulePath.find_last_of(L"\\/");
    const size_t dot = modulePath.rfind(L'.');
    if (dot != std::wstring::npos && (nameStart == std::wstring::npos || dot > nameStart)) {
        return modulePath.substr(0, dot) + L".tlb";
    }
    return modulePath + L".tlb";
}

std::wstring EscapeForScript(const std::wstring& text)
{
    std::wstring out;
    out.reserve(text.size() + 8);
    for (wchar_t c : text) {
        out += c;
        if (c == L'\'') {
            out += L'\'';
        }
    }
    return out;
}

}  // namespace hdd
