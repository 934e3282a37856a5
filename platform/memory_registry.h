// An in-memory registry behind the registry seam: the platform registry of
// the native build and a fixture for tests in both builds. Key and value
// names compare without regard to letter case, as in the Windows registry.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/registry.h"

namespace hdd {

class MemoryRegistry final : public RegistryApi {
public:
    MemoryRegistry();
    ~MemoryRegistry() override;

    LONG CreateKey(RegistryRoot root, const std::wstring& path) override;
    LONG OpenKey(RegistryRoot root, const std::wstring& path) override;
    LONG SetStringValue(RegistryRoot root, const std::wstring& path, const WCHAR* name,
                        const std::wstring& value) override;
    LONG QueryStringValue(RegistryRoot root, const std::wstring& path, const WCHAR* name,
                          std::wstring& value) override;
    LONG DeleteValue(RegistryRoot root, const std::wstring& path, const WCHAR* name) override;
    LONG QueryKeyInfo(RegistryRoot root, const std::wstring& path, DWORD& subKeys, DWORD& namedValues) override;
    LONG EnumSubKeys(RegistryRoot root, const std::wstring& path, std::vector<std::wstring>& names) override;
    LONG DeleteKey(RegistryRoot root, const std::wstring& path) override;
    LONG DeleteTree(RegistryRoot root, const std::wstring& path) override;
    LONG OverrideClassesRoot(bool toUserClasses) override;

    // Every key below the root as "path" and every value as
    // "path\@" (default) or "path\@name", followed by "=value"; sorted.
    std::vector<std::wstring> Dump(RegistryRoot root) const;
    bool IsClassesRootOverridden() const { return m_bOverride; }

    // Consulted before each modifying operation ("CreateKey", "SetStringValue",
    // "DeleteValue", "DeleteKey", "DeleteTree"); a nonzero answer fails it.
    std::function<LONG(const char* op, const std::wstring& path)> failHook;

private:
    struct Node;
    Node* Find(RegistryRoot root, const std::wstring& path, Node** parent = nullptr,
               std::wstring* leaf = nullptr);
    RegistryRoot Effective(RegistryRoot root, std::wstring& path) const;
    LONG Fail(const char* op, const std::wstring& path) const;
    // DeleteKey (a key without subkeys) and DeleteTree (a key with its subtree).
    LONG Delete(const char* operation, RegistryRoot root, const std::wstring& path, bool bTree);

    std::unique_ptr<Node> m_roots[3];
    bool m_bOverride = false;
};

}  // namespace hdd
