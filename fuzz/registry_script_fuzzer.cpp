// The registry-script interpreter over the in-memory registry, with one
// modifying registry call made to fail. Whatever the script and the failure:
// a script that does not read changes nothing; registering answers S_OK or
// the failure's code; registering again gives the same registry; and
// unregistering, even after a failed registration or a failed unregistration,
// leaves nothing behind but the script's NoRemove keys and the keys above
// them, and a second unregistration changes nothing more.
//
// Input: [flags] [failing call of registration] [failing call of
// unregistration] [failure code] then the script's bytes (0: no failure).
// Flags: 0x01 per user.
#include <cstddef>
#include <cstdint>
#include <cwctype>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "platform/memory_registry.h"
#include "server/registrar.h"
#include "server/registry_script.h"

using namespace hdd;
using namespace hdd::fuzz;

namespace {

constexpr LONG kFailureCodes[] = {ERROR_ACCESS_DENIED, ERROR_INVALID_PARAMETER, ERROR_FILE_NOT_FOUND,
                                  ERROR_NOT_ENOUGH_MEMORY};
constexpr RegistryRoot kRoots[] = {RegistryRoot::ClassesRoot, RegistryRoot::CurrentUser, RegistryRoot::LocalMachine};

std::wstring Folded(std::wstring s)
{
    for (wchar_t& c : s) {
        c = static_cast<wchar_t>(std::towlower(c));
    }
    return s;
}

bool SameName(const std::wstring& a, const wchar_t* b) { return Folded(a) == Folded(b); }

// Where the registrar puts a script root: its registry root and path prefix.
bool Locate(const std::wstring& name, bool perUser, RegistryRoot& root, std::wstring& prefix)
{
    prefix.clear();
    if (SameName(name, L"HKCR") || SameName(name, L"HKEY_CLASSES_ROOT")) {
        root = perUser ? RegistryRoot::CurrentUser : RegistryRoot::ClassesRoot;
        prefix = perUser ? L"Software\\Classes" : L"";
        return true;
    }
    if (SameName(name, L"HKCU") || SameName(name, L"HKEY_CURRENT_USER")) {
        root = RegistryRoot::CurrentUser;
        return true;
    }
    if (SameName(name, L"HKLM") || SameName(name, L"HKEY_LOCAL_MACHINE")) {
        root = RegistryRoot::LocalMachine;
        return true;
    }
    return false;
}

using KeySet = std::set<std::pair<int, std::wstring>>;  // (root, folded path)

std::wstring Join(const std::wstring& parent, const std::wstring& name)
{
    return parent.empty() ? name : parent + L"\\" + name;
}

// A path and every path above it.
void AddWithParents(KeySet& keys, RegistryRoot root, const std::wstring& path)
{
    for (size_t end = 0; end != std::wstring::npos;) {
        end = path.find(L'\\', end == 0 ? 0 : end + 1);
        keys.insert({static_cast<int>(root), Folded(path.substr(0, end))});
    }
}

// Notes the NoRemove keys (with the keys above them) and the keys listed
// both as NoRemove and otherwise.
struct ScriptShape {
    KeySet noRemove;
    KeySet removable;
    bool Mixed() const
    {
        for (const auto& key : noRemove) {
            if (removable.count(key) != 0) {
                return true;
            }
        }
        return false;
    }
};

void AddKeys(ScriptShape& shape, RegistryRoot root, const std::wstring& parent, const ScriptKey& key)
{
    const std::wstring path = Join(parent, key.name);
    if (key.removal == ScriptKey::Removal::NoRemove) {
        AddWithParents(shape.noRemove, root, path);
    } else {
        shape.removable.insert({static_cast<int>(root), Folded(path)});
    }
    for (const ScriptKey& sub : key.subKeys) {
        AddKeys(shape, root, path, sub);
    }
}

void Walk(MemoryRegistry& reg, RegistryRoot root, const std::wstring& path, KeySet& keys)
{
    std::vector<std::wstring> names;
    FUZZ_CHECK(reg.EnumSubKeys(root, path, names) == ERROR_SUCCESS);
    for (const std::wstring& name : names) {
        const std::wstring sub = Join(path, name);
        keys.insert({static_cast<int>(root), Folded(sub)});
        Walk(reg, root, sub, keys);
    }
}

KeySet AllKeys(MemoryRegistry& reg)
{
    KeySet keys;
    for (RegistryRoot root : kRoots) {
        Walk(reg, root, L"", keys);
    }
    return keys;
}

std::vector<std::wstring> Snapshot(const MemoryRegistry& reg)
{
    std::vector<std::wstring> all;
    for (RegistryRoot root : kRoots) {
        for (const std::wstring& line : reg.Dump(root)) {
            all.push_back(std::to_wstring(static_cast<int>(root)) + L":" + line);
        }
    }
    return all;
}

// Fails the n-th modifying call from now on (counted from 1) with `code`.
void FailNth(MemoryRegistry& reg, uint8_t n, LONG code)
{
    auto count = std::make_shared<unsigned>(0);
    reg.failHook = [count, n, code](const char*, const std::wstring&) {
        return ++*count == n ? code : static_cast<LONG>(ERROR_SUCCESS);
    };
}

bool IsOkOr(HRESULT hr, LONG code) { return hr == S_OK || hr == HRESULT_FROM_WIN32(static_cast<DWORD>(code)); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput in(data, size);
    const bool perUser = (in.Byte() & 0x01) != 0;
    const uint8_t failRegister = in.Byte();
    const uint8_t failUnregister = in.Byte();
    const LONG code = kFailureCodes[in.Pick(4)];
    std::wstring script;
    if (DecodeScriptBytes(in.RestAsBytes(), script) != S_OK) {
        return 0;
    }
    const ScriptVariables variables = {{L"MODULE", L"C:\\Program Files\\HDD\\HDD.dll"},
                                       {L"MODULE_RAW", L"C:\\Program Files\\HDD\\HDD.dll"},
                                       {L"APPID", L"{6B1C7F2D-0E4A-4C36-9A51-2D8F3E7B9C01}"}};

    MemoryRegistry reg;
    ScopedRegistryApi scope(reg);

    // A script that does not read, or names an unknown root, writes nothing.
    std::wstring expanded;
    std::vector<ScriptRoot> roots;
    HRESULT hr = ExpandScriptVariables(script, variables, expanded);
    if (SUCCEEDED(hr)) {
        hr = ParseRegistryScript(expanded, roots);
    }
    ScriptShape shape;
    for (const ScriptRoot& r : roots) {
        RegistryRoot root{};
        std::wstring prefix;
        if (!Locate(r.name, perUser, root, prefix)) {
            hr = HDD_E_REGISTRY_SCRIPT;
            break;
        }
        if (!prefix.empty()) {
            AddWithParents(shape.noRemove, root, prefix);
        }
        for (const ScriptKey& key : r.keys) {
            AddKeys(shape, root, prefix, key);
        }
    }
    if (FAILED(hr)) {
        FUZZ_CHECK(hr == HDD_E_REGISTRY_SCRIPT);
        FUZZ_CHECK(RegisterScript(script, variables, perUser) == hr);
        FUZZ_CHECK(UnregisterScript(script, variables, perUser) == hr);
        FUZZ_CHECK(Snapshot(reg).empty());
        return 0;
    }

    // Registration with one failing call, then whole.
    FailNth(reg, failRegister, code);
    FUZZ_CHECK(IsOkOr(RegisterScript(script, variables, perUser), code));
    reg.failHook = nullptr;
    FUZZ_CHECK(RegisterScript(script, variables, perUser) == S_OK);
    const std::vector<std::wstring> registered = Snapshot(reg);
    FUZZ_CHECK(RegisterScript(script, variables, perUser) == S_OK);
    FUZZ_CHECK(Snapshot(reg) == registered);

    // Unregistration with one failing call, then whole.
    FailNth(reg, failUnregister, code);
    FUZZ_CHECK(IsOkOr(UnregisterScript(script, variables, perUser), code));
    reg.failHook = nullptr;
    FUZZ_CHECK(UnregisterScript(script, variables, perUser) == S_OK);
    for (const auto& key : AllKeys(reg)) {
        FUZZ_CHECK(shape.noRemove.count(key) == 1);
    }
    // Once more finds nothing to remove; but a key listed both as NoRemove
    // and as removable can keep another listing's key for one more round,
    // as the listings are undone in their order.
    if (shape.Mixed()) {
        return 0;
    }
    const std::vector<std::wstring> unregistered = Snapshot(reg);
    FUZZ_CHECK(UnregisterScript(script, variables, perUser) == S_OK);
    FUZZ_CHECK(Snapshot(reg) == unregistered);
    return 0;
}
