#include "server/registrar.h"

#include "platform/registry.h"
#include "server/text_compare.h"

namespace hdd {

namespace {

constexpr LONG kOk = static_cast<LONG>(ERROR_SUCCESS);
constexpr LONG kNotFound = static_cast<LONG>(ERROR_FILE_NOT_FOUND);

struct RootLocation {
    RegistryRoot root;
    std::wstring prefix;  // path below the root that stands for the script's root
};

bool LocateRoot(const std::wstring& name, bool bPerUser, RootLocation& location)
{
    if (SameText(name, L"HKCR") || SameText(name, L"HKEY_CLASSES_ROOT")) {
        location = bPerUser ? RootLocation{RegistryRoot::CurrentUser, L"Software\\Classes"}
                            : RootLocation{RegistryRoot::ClassesRoot, L""};
        return true;
    }
    if (SameText(name, L"HKCU") || SameText(name, L"HKEY_CURRENT_USER")) {
        location = RootLocation{RegistryRoot::CurrentUser, L""};
        return true;
    }
    if (SameText(name, L"HKLM") || SameText(name, L"HKEY_LOCAL_MACHINE")) {
        location = RootLocation{RegistryRoot::LocalMachine, L""};
        return true;
    }
    return false;
}

std::wstring Join(const std::wstring& parent, const std::wstring& name)
{
    return parent.empty() ? name : parent + L"\\" + name;
}

HRESULT FromRegistry(LONG rc) { return HRESULT_FROM_WIN32(static_cast<DWORD>(rc)); }

HRESULT WriteKey(RegistryApi& reg, RegistryRoot root, const std::wstring& parent, const ScriptKey& key)
{
    const std::wstring path = Join(parent, key.name);
    if (key.removal == ScriptKey::Removal::ForceRemove) {
        const LONG rc = reg.DeleteTree(root, path);
        if (rc != kOk && rc != kNotFound) {
            return FromRegistry(rc);
        }
    }
    LONG rc = reg.CreateKey(root, path);
    if (rc != kOk) {
        return FromRegistry(rc);
    }
    if (key.hasDefault) {
        rc = reg.SetStringValue(root, path, nullptr, key.defaultValue);
        if (rc != kOk) {
            return FromRegistry(rc);
        }
    }
    for (const ScriptValue& value : key.values) {
        rc = reg.SetStringValue(root, path, value.name.c_str(), value.value);
        if (rc != kOk) {
            return FromRegistry(rc);
        }
    }
    for (const ScriptKey& subKey : key.subKeys) {
        const HRESULT hr = WriteKey(reg, root, path, subKey);
        if (FAILED(hr)) {
            return hr;
        }
    }
    return S_OK;
}

HRESULT RemoveKey(RegistryApi& reg, RegistryRoot root, const std::wstring& parent, const ScriptKey& key)
{
    const std::wstring path = Join(parent, key.name);
    LONG rc = reg.OpenKey(root, path);
    if (rc == kNotFound) {
        return S_OK;
    }
    if (rc != kOk) {
        return FromRegistry(rc);
    }
    if (key.removal == ScriptKey::Removal::ForceRemove) {
        rc = reg.DeleteTree(root, path);
        return rc == kOk || rc == kNotFound ? S_OK : FromRegistry(rc);
    }
    for (const ScriptKey& subKey : key.subKeys) {
        const HRESULT hr = RemoveKey(reg, root, path, subKey);
        if (FAILED(hr)) {
            return hr;
        }
    }
    for (const ScriptValue& value : key.values) {
        rc = reg.DeleteValue(root, path, value.name.c_str());
        if (rc != kOk && rc != kNotFound) {
            return FromRegistry(rc);
        }
    }
    if (key.removal == ScriptKey::Removal::NoRemove) {
        return S_OK;
    }
    DWORD subKeys = 0;
    DWORD namedValues = 0;
    rc = reg.QueryKeyInfo(root, path, subKeys, namedValues);
    if (rc != kOk) {
        return FromRegistry(rc);
    }
    if (subKeys != 0 || namedValues != 0) {
        return S_OK;  // someone else's entries remain beneath it
    }
    rc = reg.DeleteKey(root, path);
    return rc == kOk || rc == kNotFound ? S_OK : FromRegistry(rc);
}

// Reads the whole script and checks its roots before anything is written.
HRESULT Prepare(const std::wstring& script, const ScriptVariables& variables, bool bPerUser,
                std::vector<ScriptRoot>& roots, std::vector<RootLocation>& locations)
{
    std::wstring expanded;
    HRESULT hr = ExpandScriptVariables(script, variables, expanded);
    if (FAILED(hr)) {
        return hr;
    }
    hr = ParseRegistryScript(expanded, roots);
    if (FAILED(hr)) {
        return hr;
    }
    locations.clear();
    for (const ScriptRoot& root : roots) {
        RootLocation location{};
        if (!LocateRoot(root.name, bPerUser, location)) {
            return HDD_E_REGISTRY_SCRIPT;
        }
        locations.push_back(location);
    }
    return S_OK;
}

// Prepares the whole script first, so a malformed one changes nothing, then
// applies one operation to every key of every root, stopping at the first failure.
template <typename KeyOperation>
HRESULT ApplyScript(const std::wstring& script, const ScriptVariables& variables, bool bPerUser,
                    KeyOperation operation)
{
    std::vector<ScriptRoot> roots;
    std::vector<RootLocation> locations;
    HRESULT hr = Prepare(script, variables, bPerUser, roots, locations);
    RegistryApi& reg = Registry();
    for (size_t i = 0; SUCCEEDED(hr) && i < roots.size(); ++i) {
        for (const ScriptKey& key : roots[i].keys) {
            hr = operation(reg, locations[i].root, locations[i].prefix, key);
            if (FAILED(hr)) {
                break;
            }
        }
    }
    return hr;
}

}  // namespace

HRESULT RegisterScript(const std::wstring& script, const ScriptVariables& variables, bool bPerUser)
{
    return ApplyScript(script, variables, bPerUser, WriteKey);
}

HRESULT UnregisterScript(const std::wstring& script, const ScriptVariables& variables, bool bPerUser)
{
    return ApplyScript(script, variables, bPerUser, RemoveKey);
}

HRESULT UnregisterScriptKey(const std::wstring& script, const ScriptVariables& variables, bool bPerUser,
                            const std::wstring& topKey)
{
    return ApplyScript(script, variables, bPerUser,
                       [&topKey](RegistryApi& reg, RegistryRoot root, const std::wstring& prefix, const ScriptKey& key) {
                           return SameText(key.name, topKey.c_str()) ? RemoveKey(reg, root, prefix, key) : S_OK;
                       });
}

}  // namespace hdd
