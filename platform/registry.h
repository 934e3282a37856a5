// The registry seam: the handful of registry operations that registration
// needs, addressed by a root and a backslash-separated key path. On Windows it
// is advapi32; elsewhere an in-memory registry, so the script interpreter is
// exercised without a Windows registry.
#pragma once

#include <string>
#include <vector>

#include "platform/seam.h"
#include "platform/win32.h"

namespace hdd {

enum class RegistryRoot {
    ClassesRoot,   // HKEY_CLASSES_ROOT
    CurrentUser,   // HKEY_CURRENT_USER
    LocalMachine,  // HKEY_LOCAL_MACHINE
};

// Every operation answers a Win32 error code (ERROR_SUCCESS, ERROR_FILE_NOT_FOUND ...).
class RegistryApi {
public:
    virtual ~RegistryApi() = default;

    // Creates the key and any missing parent; an existing key is kept as it is.
    virtual LONG CreateKey(RegistryRoot root, const std::wstring& path) = 0;
    // ERROR_SUCCESS when the key exists.
    virtual LONG OpenKey(RegistryRoot root, const std::wstring& path) = 0;
    // Sets a string value of an existing key; a null name is the default value.
    virtual LONG SetStringValue(RegistryRoot root, const std::wstring& path, const WCHAR* name,
                                const std::wstring& value) = 0;
    virtual LONG QueryStringValue(RegistryRoot root, const std::wstring& path, const WCHAR* name,
                                  std::wstring& value) = 0;
    // QueryStringValue in the other registry view of a 64-bit system (the
    // 64-bit view for a 32-bit process, the 32-bit one for a 64-bit process),
    // where the class keys are kept apart; ERROR_FILE_NOT_FOUND when the
    // system has no other view.
    virtual LONG QueryStringValueInOtherView(RegistryRoot root, const std::wstring& path, const WCHAR* name,
                                             std::wstring& value) = 0;
    virtual LONG DeleteValue(RegistryRoot root, const std::wstring& path, const WCHAR* name) = 0;
    // Number of subkeys and of named values (the default value not counted).
    virtual LONG QueryKeyInfo(RegistryRoot root, const std::wstring& path, DWORD& subKeys, DWORD& namedValues) = 0;
    virtual LONG EnumSubKeys(RegistryRoot root, const std::wstring& path, std::vector<std::wstring>& names) = 0;
    // Deletes a key that has no subkeys.
    virtual LONG DeleteKey(RegistryRoot root, const std::wstring& path) = 0;
    // Deletes a key with its whole subtree.
    virtual LONG DeleteTree(RegistryRoot root, const std::wstring& path) = 0;
    // While set, whatever is written through the classes root by anyone in
    // this process (the type-library registration too) lands in the current
    // user's Software\Classes instead.
    virtual LONG OverrideClassesRoot(bool toUserClasses) = 0;
};

// The implementation in use: the platform's unless a ScopedRegistryApi is active.
RegistryApi& PlatformRegistry();
inline RegistryApi& Registry() { return Seam<RegistryApi, PlatformRegistry>::Current(); }

using ScopedRegistryApi = Seam<RegistryApi, PlatformRegistry>::Scoped;

// Keeps the classes root redirected to the user's classes for a scope.
class ScopedClassesRootOverride {
public:
    explicit ScopedClassesRootOverride(bool active)
        : m_active(active && Registry().OverrideClassesRoot(true) == static_cast<LONG>(ERROR_SUCCESS))
    {
    }
    ~ScopedClassesRootOverride()
    {
        if (m_active) {
            Registry().OverrideClassesRoot(false);
        }
    }
    ScopedClassesRootOverride(const ScopedClassesRootOverride&) = delete;
    ScopedClassesRootOverride& operator=(const ScopedClassesRootOverride&) = delete;

private:
    bool m_active;
};

}  // namespace hdd
