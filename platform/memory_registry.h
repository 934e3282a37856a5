// An in-memory registry behind the registry seam: the platform registry of
// the native build and a fixture for tests in both builds. Key and value
// names compare without regard to letter case, as in the Windows registry.
//
// One registry has one view, as on 32-bit Windows. A 64-bit system's two views
// are two objects over the same keys: the 32-bit one finds the classes' CLSID
// and Interface keys below Wow6432Node, as Windows redirects them; everything
// else (ProgIDs, AppID, TypeLib) is shared.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/registry.h"

namespace hdd {

enum class RegistryView {
    Only,    // the one view of a 32-bit system
    Bits64,  // a 64-bit system as its 64-bit programs see it
    Bits32,  // ... and as its 32-bit programs see it
};

class MemoryRegistry final : public RegistryApi {
public:
    MemoryRegistry();
    // A 64-bit system's registry in `view`.
    explicit MemoryRegistry(RegistryView view);
    // The same keys as `system`, seen in `view`.
    MemoryRegistry(const MemoryRegistry& system, RegistryView view);
    ~MemoryRegistry() override;
    MemoryRegistry& operator=(const MemoryRegistry&) = delete;

    LONG CreateKey(RegistryRoot root, const std::wstring& path) override;
    LONG OpenKey(RegistryRoot root, const std::wstring& path) override;
    LONG SetStringValue(RegistryRoot root, const std::wstring& path, const WCHAR* name,
                        const std::wstring& value) override;
    LONG QueryStringValue(RegistryRoot root, const std::wstring& path, const WCHAR* name,
                          std::wstring& value) override;
    LONG QueryStringValueInOtherView(RegistryRoot root, const std::wstring& path, const WCHAR* name,
                                     std::wstring& value) override;
    LONG DeleteValue(RegistryRoot root, const std::wstring& path, const WCHAR* name) override;
    LONG QueryKeyInfo(RegistryRoot root, const std::wstring& path, DWORD& subKeys, DWORD& namedValues) override;
    LONG EnumSubKeys(RegistryRoot root, const std::wstring& path, std::vector<std::wstring>& names) override;
    LONG DeleteKey(RegistryRoot root, const std::wstring& path) override;
    LONG DeleteTree(RegistryRoot root, const std::wstring& path) override;
    LONG OverrideClassesRoot(bool toUserClasses) override;

    // Every key below the root as "path" and every value as
    // "path\@" (default) or "path\@name", followed by "=value"; sorted. The
    // keys are listed as stored: the 32-bit view's below Wow6432Node.
    std::vector<std::wstring> Dump(RegistryRoot root) const;
    bool IsClassesRootOverridden() const { return m_bOverride; }

    // Consulted before each modifying operation ("CreateKey", "SetStringValue",
    // "DeleteValue", "DeleteKey", "DeleteTree"); a nonzero answer fails it.
    std::function<LONG(const char* op, const std::wstring& path)> failHook;

private:
    struct Node;
    struct Roots;
    Node* Find(RegistryRoot root, const std::wstring& path, Node** parent = nullptr,
               std::wstring* leaf = nullptr);
    Node* FindIn(RegistryView view, RegistryRoot root, const std::wstring& path, Node** parent, std::wstring* leaf);
    LONG QueryIn(RegistryView view, RegistryRoot root, const std::wstring& path, const WCHAR* name,
                 std::wstring& value);
    RegistryRoot Effective(RegistryView view, RegistryRoot root, std::wstring& path) const;
    LONG Fail(const char* op, const std::wstring& path) const;
    // DeleteKey (a key without subkeys) and DeleteTree (a key with its subtree).
    LONG Delete(const char* operation, RegistryRoot root, const std::wstring& path, bool bTree);

    std::shared_ptr<Roots> m_keys;
    RegistryView m_view = RegistryView::Only;
    bool m_bOverride = false;
};

}  // namespace hdd
