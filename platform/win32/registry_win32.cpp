// The registry seam over advapi32.
#include "platform/registry.h"

namespace hdd {

namespace {

HKEY RootKey(RegistryRoot root)
{
    switch (root) {
    case RegistryRoot::CurrentUser:
        return HKEY_CURRENT_USER;
    case RegistryRoot::LocalMachine:
        return HKEY_LOCAL_MACHINE;
    case RegistryRoot::ClassesRoot:
    default:
        return HKEY_CLASSES_ROOT;
    }
}

// The access flag that reaches the other registry view, or 0 when the system
// has only one (32-bit Windows).
REGSAM OtherViewFlag()
{
    if constexpr (sizeof(void*) == 8) {
        return KEY_WOW64_32KEY;
    } else {
        BOOL bWow64 = FALSE;
        return ::IsWow64Process(::GetCurrentProcess(), &bWow64) && bWow64 ? KEY_WOW64_64KEY : 0;
    }
}

// An open key, closed on every path.
class Key {
public:
    ~Key()
    {
        if (m_hKey != nullptr) {
            ::RegCloseKey(m_hKey);
        }
    }
    LONG Open(RegistryRoot root, const std::wstring& path, REGSAM access)
    {
        return ::RegOpenKeyExW(RootKey(root), path.c_str(), 0, access, &m_hKey);
    }
    LONG Create(RegistryRoot root, const std::wstring& path)
    {
        return ::RegCreateKeyExW(RootKey(root), path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE,
                                 nullptr, &m_hKey, nullptr);
    }
    HKEY Get() const { return m_hKey; }

private:
    HKEY m_hKey = nullptr;
};

class Win32Registry final : public RegistryApi {
public:
    LONG CreateKey(RegistryRoot root, const std::wstring& path) override
    {
        Key key;
        return key.Create(root, path);
    }
    LONG OpenKey(RegistryRoot root, const std::wstring& path) override
    {
        Key key;
        return key.Open(root, path, KEY_READ);
    }
    LONG SetStringValue(RegistryRoot root, const std::wstring& path, const WCHAR* name,
                        const std::wstring& value) override
    {
        Key key;
        LONG rc = key.Open(root, path, KEY_SET_VALUE);
        if (rc != ERROR_SUCCESS) {
            return rc;
        }
        const DWORD bytes = static_cast<DWORD>((value.size() + 1) * sizeof(WCHAR));
        return ::RegSetValueExW(key.Get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()), bytes);
    }
    LONG QueryStringValue(RegistryRoot root, const std::wstring& path, const WCHAR* name,
                          std::wstring& value) override
    {
        return Query(root, path, name, value, 0);
    }
    LONG QueryStringValueInOtherView(RegistryRoot root, const std::wstring& path, const WCHAR* name,
                                     std::wstring& value) override
    {
        const REGSAM view = OtherViewFlag();
        return view != 0 ? Query(root, path, name, value, view) : ERROR_FILE_NOT_FOUND;
    }
    LONG Query(RegistryRoot root, const std::wstring& path, const WCHAR* name, std::wstring& value, REGSAM view)
    {
        Key key;
        LONG rc = key.Open(root, path, KEY_QUERY_VALUE | view);
        if (rc != ERROR_SUCCESS) {
            return rc;
        }
        DWORD type = 0;
        DWORD bytes = 0;
        rc = ::RegQueryValueExW(key.Get(), name, nullptr, &type, nullptr, &bytes);
        if (rc != ERROR_SUCCESS) {
            return rc;
        }
        if (type != REG_SZ && type != REG_EXPAND_SZ) {
            return ERROR_INVALID_DATA;
        }
        std::wstring buffer(bytes / sizeof(WCHAR) + 1, L'\0');
        bytes = static_cast<DWORD>(buffer.size() * sizeof(WCHAR));
        rc = ::RegQueryValueExW(key.Get(), name, nullptr, &type, reinterpret_cast<BYTE*>(&buffer[0]), &bytes);
        if (rc != ERROR_SUCCESS) {
            return rc;
        }
        buffer.resize(bytes / sizeof(WCHAR));
        while (!buffer.empty() && buffer.back() == L'\0') {
            buffer.pop_back();
        }
        value = buffer;
        return ERROR_SUCCESS;
    }
    LONG DeleteValue(RegistryRoot root, const std::wstring& path, const WCHAR* name) override
    {
        Key key;
        LONG rc = key.Open(root, path, KEY_SET_VALUE);
        return rc != ERROR_SUCCESS ? rc : ::RegDeleteValueW(key.Get(), name);
    }
    LONG QueryKeyInfo(RegistryRoot root, const std::wstring& path, DWORD& subKeys, DWORD& namedValues) override
    {
        Key key;
        LONG rc = key.Open(root, path, KEY_READ);
        if (rc != ERROR_SUCCESS) {
            return rc;
        }
        DWORD values = 0;
        rc = ::RegQueryInfoKeyW(key.Get(), nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, &values, nullptr,
                                nullptr, nullptr, nullptr);
        if (rc != ERROR_SUCCESS) {
            return rc;
        }
        // The count includes the default value when it is set.
        DWORD bytes = 0;
        if (values > 0 && ::RegQueryValueExW(key.Get(), nullptr, nullptr, nullptr, nullptr, &bytes) == ERROR_SUCCESS) {
            --values;
        }
        namedValues = values;
        return ERROR_SUCCESS;
    }
    LONG EnumSubKeys(RegistryRoot root, const std::wstring& path, std::vector<std::wstring>& names) override
    {
        Key key;
        LONG rc = key.Open(root, path, KEY_READ);
        if (rc != ERROR_SUCCESS) {
            return rc;
        }
        names.clear();
        for (DWORD index = 0;; ++index) {
            WCHAR name[256];
            DWORD length = 256;
            rc = ::RegEnumKeyExW(key.Get(), index, name, &length, nullptr, nullptr, nullptr, nullptr);
            if (rc == ERROR_NO_MORE_ITEMS) {
                return ERROR_SUCCESS;
            }
            if (rc != ERROR_SUCCESS) {
                return rc;
            }
            names.emplace_back(name, length);
        }
    }
    LONG DeleteKey(RegistryRoot root, const std::wstring& path) override
    {
        return ::RegDeleteKeyW(RootKey(root), path.c_str());
    }
    LONG DeleteTree(RegistryRoot root, const std::wstring& path) override
    {
        return ::RegDeleteTreeW(RootKey(root), path.c_str());
    }
    LONG OverrideClassesRoot(bool toUserClasses) override
    {
        if (!toUserClasses) {
            return ::RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
        }
        Key userClasses;
        LONG rc = userClasses.Create(RegistryRoot::CurrentUser, L"Software\\Classes");
        return rc != ERROR_SUCCESS ? rc : ::RegOverridePredefKey(HKEY_CLASSES_ROOT, userClasses.Get());
    }
};

}  // namespace

RegistryApi& PlatformRegistry()
{
    static Win32Registry registry;
    return registry;
}

}  // namespace hdd
