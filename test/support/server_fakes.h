// Stand-ins for the server's platform seams: a module host that serves the
// real registry scripts from the source tree, and a type-library service that
// records what registration asks of it. Type libraries and type information
// are opaque tokens here: the server never looks inside them.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "object/hdd_guids.h"
#include "platform/memory_registry.h"
#include "platform/module_host.h"
#include "platform/typelib.h"

namespace hdd::testing {

// The text of a file of the source tree, or "" when this build cannot see it.
inline std::string ReadSourceFile(const std::string& relative)
{
    std::string root(__FILE__);
    root = root.substr(0, root.rfind("test"));
    std::ifstream in(root + relative, std::ios::binary);
    if (!in) {
        return std::string();
    }
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class FakeModuleHost final : public ModuleHostApi {
public:
    std::wstring path = L"C:\\Program Files\\HDD\\HDD.dll";
    DWORD lastError = ERROR_SUCCESS;
    std::map<UINT, std::string> scripts;
    std::vector<LCID> localeWhenScriptLoaded;
    LCID locale = 0x0409;

    FakeModuleHost()
    {
        scripts[101] = ReadSourceFile("server/dll/hdd_appid.rgs");
        scripts[102] = ReadSourceFile("server/dll/hdd_class.rgs");
    }
    bool HasScripts() const { return !scripts.at(101).empty() && !scripts.at(102).empty(); }

    DWORD GetModuleFileNameW(HMODULE, LPWSTR lpFilename, DWORD nSize) override
    {
        if (path.empty()) {
            return 0;
        }
        // As the system does: cut short to the buffer, answering its size.
        const size_t copied = path.size() < nSize ? path.size() : nSize - 1;
        path.copy(lpFilename, copied);
        lpFilename[copied] = L'\0';
        return path.size() < nSize ? static_cast<DWORD>(path.size()) : nSize;
    }
    DWORD GetLastError() override { return lastError; }
    LCID GetThreadLocale() override { return locale; }
    BOOL SetThreadLocale(LCID lcid) override
    {
        locale = lcid;
        return TRUE;
    }
    HRESULT LoadRegistryScript(HMODULE, UINT nId, std::string& bytes) override
    {
        localeWhenScriptLoaded.push_back(locale);
        auto it = scripts.find(nId);
        if (it == scripts.end()) {
            return static_cast<HRESULT>(0x80070716u);  // resource not found
        }
        bytes = it->second;
        return S_OK;
    }
};

class FakeTypeLibs final : public TypeLibApi {
public:
    struct Call {
        std::string what;
        std::wstring path;
        bool perUser = false;
        bool classesRootOverridden = false;
    };

    // Files that hold a loadable library.
    std::vector<std::wstring> loadable;
    HRESULT registerResult = S_OK;
    HRESULT unregisterResult = S_OK;
    bool registered = false;
    std::vector<Call> calls;
    int openLibraries = 0;
    MemoryRegistry* registry = nullptr;  // to see the classes-root override
    // When set ("win32", "win64"), registration writes the library's key for
    // that platform through the classes root in use, as the system does, and
    // unregistration removes it and then its parents that nothing else holds.
    std::wstring platform;

    // Type information for IDispatch.
    HRESULT typeInfoResult = S_OK;
    int typeInfoLoads = 0;
    int typeInfoRefs = 0;
    LCID lastTypeInfoLcid = 0;
    void* lastInvokeThis = nullptr;
    DISPID lastInvokeId = -1;

    static ITypeLib* Token() { return reinterpret_cast<ITypeLib*>(&s_token); }
    static ITypeInfo* InfoToken() { return reinterpret_cast<ITypeInfo*>(&s_token); }

    HRESULT LoadRegisteredTypeInfo(REFGUID, WORD wMajor, WORD wMinor, LCID lcid, REFIID, ITypeInfo** pp) override
    {
        EXPECT_EQ(wMajor, 1);
        EXPECT_EQ(wMinor, 0);
        ++typeInfoLoads;
        lastTypeInfoLcid = lcid;
        *pp = SUCCEEDED(typeInfoResult) ? InfoToken() : nullptr;
        if (*pp != nullptr) {
            ++typeInfoRefs;
        }
        return typeInfoResult;
    }
    void AddRefTypeInfo(ITypeInfo*) override { ++typeInfoRefs; }
    void ReleaseTypeInfo(ITypeInfo*) override { --typeInfoRefs; }
    HRESULT DispGetIDsOfNames(ITypeInfo*, LPOLESTR*, UINT cNames, DISPID* rgDispId) override
    {
        for (UINT i = 0; i < cNames; ++i) {
            rgDispId[i] = static_cast<DISPID>(100 + i);
        }
        return S_OK;
    }
    HRESULT DispInvoke(void* pThis, ITypeInfo*, DISPID id, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override
    {
        lastInvokeThis = pThis;
        lastInvokeId = id;
        return S_OK;
    }

    HRESULT LoadTypeLibFile(LPCWSTR szPath, ITypeLib** pp) override
    {
        calls.push_back({"load", szPath, false, Overridden()});
        for (const std::wstring& file : loadable) {
            if (file == szPath) {
                ++openLibraries;
                *pp = Token();
                return S_OK;
            }
        }
        *pp = nullptr;
        return TYPE_E_CANTLOADLIBRARY;
    }
    void ReleaseTypeLib(ITypeLib*) override { --openLibraries; }
    HRESULT RegisterTypeLib(ITypeLib*, LPCWSTR szPath, bool bPerUser) override
    {
        calls.push_back({"register", szPath, bPerUser, Overridden()});
        if (SUCCEEDED(registerResult)) {
            registered = true;
            if (!platform.empty()) {
                Registry().CreateKey(RegistryRoot::ClassesRoot, PlatformKey());
                Registry().SetStringValue(RegistryRoot::ClassesRoot, PlatformKey(), nullptr, szPath);
            }
        }
        return registerResult;
    }
    HRESULT IsTypeLibRegistered(ITypeLib*) override
    {
        if (!platform.empty()) {
            return Registry().OpenKey(RegistryRoot::ClassesRoot, PlatformKey()) == 0 ? S_OK : S_FALSE;
        }
        return registered ? S_OK : S_FALSE;
    }
    HRESULT UnregisterTypeLib(ITypeLib*, bool bPerUser) override
    {
        calls.push_back({"unregister", L"", bPerUser, Overridden()});
        if (SUCCEEDED(unregisterResult)) {
            registered = false;
            if (!platform.empty()) {
                std::wstring key = PlatformKey();
                Registry().DeleteKey(RegistryRoot::ClassesRoot, key);
                for (int up = 0; up < 3; ++up) {  // locale, version, library
                    key.erase(key.rfind(L'\\'));
                    DWORD subKeys = 0;
                    DWORD values = 0;
                    if (Registry().QueryKeyInfo(RegistryRoot::ClassesRoot, key, subKeys, values) != 0 || subKeys != 0) {
                        break;
                    }
                    Registry().DeleteKey(RegistryRoot::ClassesRoot, key);
                }
            }
        }
        return unregisterResult;
    }
    std::wstring PlatformKey() const { return L"TypeLib\\" HDD_LIBID_HDDLIB_TEXT L"\\1.0\\0\\" + platform; }

    std::vector<std::string> CallNames() const
    {
        std::vector<std::string> names;
        for (const Call& call : calls) {
            names.push_back(call.what);
        }
        return names;
    }

private:
    bool Overridden() const { return registry != nullptr && registry->IsClassesRootOverridden(); }
    static inline int s_token = 0;
};

}  // namespace hdd::testing
