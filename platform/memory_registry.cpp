#include "platform/memory_registry.h"

#include <algorithm>
#include <cwctype>

namespace hdd {

namespace {

std::wstring Folded(const std::wstring& s)
{
    std::wstring out(s);
    std::transform(out.begin(), out.end(), out.begin(), [](wchar_t c) { return static_cast<wchar_t>(std::towlower(c)); });
    return out;
}

// Splits "a\b\c" into its parts; an empty path is the root. Empty parts are
// refused, as the Windows registry refuses them.
bool SplitPath(const std::wstring& path, std::vector<std::wstring>& parts)
{
    parts.clear();
    if (path.empty()) {
        return true;
    }
    size_t start = 0;
    for (;;) {
        const size_t end = path.find(L'\\', start);
        std::wstring part = path.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
        if (part.empty()) {
            return false;
        }
        parts.push_back(part);
        if (end == std::wstring::npos) {
            return true;
        }
        start = end + 1;
    }
}

constexpr LONG kOk = static_cast<LONG>(ERROR_SUCCESS);
constexpr LONG kNotFound = static_cast<LONG>(ERROR_FILE_NOT_FOUND);
constexpr LONG kBadPath = static_cast<LONG>(ERROR_INVALID_PARAMETER);

}  // namespace

struct MemoryRegistry::Node {
    std::wstring name;  // as first written
    std::optional<std::wstring> defaultValue;
    std::map<std::wstring, std::pair<std::wstring, std::wstring>> values;  // folded -> (name, value)
    std::map<std::wstring, std::unique_ptr<Node>> children;                // folded -> node
};

struct MemoryRegistry::Roots {
    std::unique_ptr<Node> root[3];
    Roots()
    {
        for (auto& node : root) {
            node = std::make_unique<Node>();
        }
    }
};

MemoryRegistry::MemoryRegistry() : MemoryRegistry(RegistryView::Only) {}

MemoryRegistry::MemoryRegistry(RegistryView view) : m_keys(std::make_shared<Roots>()), m_view(view) {}

MemoryRegistry::MemoryRegistry(const MemoryRegistry& system, RegistryView view) : m_keys(system.m_keys), m_view(view) {}

MemoryRegistry::~MemoryRegistry() = default;

namespace {

// The classes keys that a 64-bit system keeps apart per view.
bool IsRedirectedClassKey(const std::wstring& name)
{
    const std::wstring folded = Folded(name);
    return folded == L"clsid" || folded == L"interface";
}

// In the 32-bit view, "<classes>\CLSID\..." is stored as
// "<classes>\Wow6432Node\CLSID\...".
void RedirectFor32Bit(RegistryRoot root, std::wstring& path)
{
    const std::wstring classes = root == RegistryRoot::ClassesRoot ? L"" : L"Software\\Classes\\";
    if (Folded(path.substr(0, classes.size())) != Folded(classes)) {
        return;
    }
    const size_t nameEnd = path.find(L'\\', classes.size());
    const std::wstring name = path.substr(classes.size(), nameEnd == std::wstring::npos ? std::wstring::npos
                                                                                        : nameEnd - classes.size());
    if (IsRedirectedClassKey(name)) {
        path.insert(classes.size(), L"Wow6432Node\\");
    }
}

}  // namespace

RegistryRoot MemoryRegistry::Effective(RegistryView view, RegistryRoot root, std::wstring& path) const
{
    if (root == RegistryRoot::ClassesRoot && m_bOverride) {
        path = path.empty() ? std::wstring(L"Software\\Classes") : L"Software\\Classes\\" + path;
        root = RegistryRoot::CurrentUser;
    }
    if (view == RegistryView::Bits32) {
        RedirectFor32Bit(root, path);
    }
    return root;
}

LONG MemoryRegistry::Fail(const char* op, const std::wstring& path) const
{
    return failHook ? failHook(op, path) : kOk;
}

MemoryRegistry::Node* MemoryRegistry::Find(RegistryRoot root, const std::wstring& path, Node** parent,
                                           std::wstring* leaf)
{
    return FindIn(m_view, root, path, parent, leaf);
}

MemoryRegistry::Node* MemoryRegistry::FindIn(RegistryView view, RegistryRoot root, const std::wstring& path,
                                             Node** parent, std::wstring* leaf)
{
    std::wstring effective(path);
    root = Effective(view, root, effective);
    std::vector<std::wstring> parts;
    if (!SplitPath(effective, parts)) {
        return nullptr;
    }
    Node* node = m_keys->root[static_cast<int>(root)].get();
    Node* up = nullptr;
    for (const std::wstring& part : parts) {
        auto it = node->children.find(Folded(part));
        if (it == node->children.end()) {
            return nullptr;
        }
        up = node;
        node = it->second.get();
    }
    if (parent != nullptr) {
        *parent = up;
    }
    if (leaf != nullptr) {
        *leaf = parts.empty() ? std::wstring() : Folded(parts.back());
    }
    return node;
}

LONG MemoryRegistry::CreateKey(RegistryRoot root, const std::wstring& path)
{
    if (LONG rc = Fail("CreateKey", path); rc != kOk) {
        return rc;
    }
    std::wstring effective(path);
    root = Effective(m_view, root, effective);
    std::vector<std::wstring> parts;
    if (!SplitPath(effective, parts) || parts.empty()) {
        return kBadPath;
    }
    Node* node = m_keys->root[static_cast<int>(root)].get();
    for (const std::wstring& part : parts) {
        std::unique_ptr<Node>& child = node->children[Folded(part)];
        if (!child) {
            child = std::make_unique<Node>();
            child->name = part;
        }
        node = child.get();
    }
    return kOk;
}

LONG MemoryRegistry::OpenKey(RegistryRoot root, const std::wstring& path)
{
    return Find(root, path) != nullptr ? kOk : kNotFound;
}

LONG MemoryRegistry::SetStringValue(RegistryRoot root, const std::wstring& path, const WCHAR* name,
                                    const std::wstring& value)
{
    if (LONG rc = Fail("SetStringValue", path); rc != kOk) {
        return rc;
    }
    Node* node = Find(root, path);
    if (node == nullptr) {
        return kNotFound;
    }
    if (name == nullptr || *name == L'\0') {
        node->defaultValue = value;
    } else {
        node->values[Folded(name)] = {name, value};
    }
    return kOk;
}

LONG MemoryRegistry::QueryStringValue(RegistryRoot root, const std::wstring& path, const WCHAR* name,
                                      std::wstring& value)
{
    return QueryIn(m_view, root, path, name, value);
}

LONG MemoryRegistry::QueryStringValueInOtherView(RegistryRoot root, const std::wstring& path, const WCHAR* name,
                                                 std::wstring& value)
{
    if (m_view == RegistryView::Only) {
        return kNotFound;
    }
    return QueryIn(m_view == RegistryView::Bits32 ? RegistryView::Bits64 : RegistryView::Bits32, root, path, name, value);
}

LONG MemoryRegistry::QueryIn(RegistryView view, RegistryRoot root, const std::wstring& path, const WCHAR* name,
                             std::wstring& value)
{
    Node* node = FindIn(view, root, path, nullptr, nullptr);
    if (node == nullptr) {
        return kNotFound;
    }
    if (name == nullptr || *name == L'\0') {
        if (!node->defaultValue) {
            return kNotFound;
        }
        value = *node->defaultValue;
        return kOk;
    }
    auto it = node->values.find(Folded(name));
    if (it == node->values.end()) {
        return kNotFound;
    }
    value = it->second.second;
    return kOk;
}

LONG MemoryRegistry::DeleteValue(RegistryRoot root, const std::wstring& path, const WCHAR* name)
{
    if (LONG rc = Fail("DeleteValue", path); rc != kOk) {
        return rc;
    }
    Node* node = Find(root, path);
    if (node == nullptr) {
        return kNotFound;
    }
    if (name == nullptr || *name == L'\0') {
        if (!node->defaultValue) {
            return kNotFound;
        }
        node->defaultValue.reset();
        return kOk;
    }
    return node->values.erase(Folded(name)) != 0 ? kOk : kNotFound;
}

LONG MemoryRegistry::QueryKeyInfo(RegistryRoot root, const std::wstring& path, DWORD& subKeys, DWORD& namedValues)
{
    Node* node = Find(root, path);
    if (node == nullptr) {
        return kNotFound;
    }
    subKeys = static_cast<DWORD>(node->children.size());
    namedValues = static_cast<DWORD>(node->values.size());
    return kOk;
}

LONG MemoryRegistry::EnumSubKeys(RegistryRoot root, const std::wstring& path, std::vector<std::wstring>& names)
{
    Node* node = Find(root, path);
    if (node == nullptr) {
        return kNotFound;
    }
    names.clear();
    for (const auto& child : node->children) {
        names.push_back(child.second->name);
    }
    return kOk;
}

LONG MemoryRegistry::DeleteKey(RegistryRoot root, const std::wstring& path)
{
    return Delete("DeleteKey", root, path, false);
}

LONG MemoryRegistry::DeleteTree(RegistryRoot root, const std::wstring& path)
{
    return Delete("DeleteTree", root, path, true);
}

LONG MemoryRegistry::Delete(const char* operation, RegistryRoot root, const std::wstring& path, bool bTree)
{
    if (LONG rc = Fail(operation, path); rc != kOk) {
        return rc;
    }
    Node* parent = nullptr;
    std::wstring leaf;
    Node* node = Find(root, path, &parent, &leaf);
    if (node == nullptr) {
        return kNotFound;
    }
    if (parent == nullptr) {
        return static_cast<LONG>(ERROR_ACCESS_DENIED);  // a root is never deleted
    }
    if (!bTree && !node->children.empty()) {
        return static_cast<LONG>(ERROR_ACCESS_DENIED);  // as RegDeleteKey answers for a key with subkeys
    }
    parent->children.erase(leaf);
    return kOk;
}

LONG MemoryRegistry::OverrideClassesRoot(bool toUserClasses)
{
    if (toUserClasses && CreateKey(RegistryRoot::CurrentUser, L"Software\\Classes") != kOk) {
        return static_cast<LONG>(ERROR_ACCESS_DENIED);
    }
    m_bOverride = toUserClasses;
    return kOk;
}

std::vector<std::wstring> MemoryRegistry::Dump(RegistryRoot root) const
{
    std::vector<std::wstring> lines;
    std::function<void(const Node&, const std::wstring&)> walk = [&](const Node& node, const std::wstring& prefix) {
        if (!prefix.empty()) {
            lines.push_back(prefix);
            if (node.defaultValue) {
                lines.push_back(prefix + L"\\@=" + *node.defaultValue);
            }
        }
        for (const auto& value : node.values) {
            lines.push_back(prefix + L"\\@" + value.second.first + L"=" + value.second.second);
        }
        for (const auto& child : node.children) {
            walk(*child.second, prefix.empty() ? child.second->name : prefix + L"\\" + child.second->name);
        }
    };
    walk(*m_keys->root[static_cast<int>(root)], std::wstring());
    std::sort(lines.begin(), lines.end());
    return lines;
}

}  // namespace hdd
