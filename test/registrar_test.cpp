// The registry-script interpreter against the in-memory registry, and the
// registration entry points (register, unregister, install) over fake module
// and type-library services.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "object/hdd_guids.h"
#include "platform/memory_registry.h"
#include "server/exports.h"
#include "server/module.h"
#include "server/registrar.h"
#include "support/server_fakes.h"

namespace hdd {
namespace {

using testing::FakeModuleHost;
using testing::FakeTypeLibs;

const std::wstring kClsid = HDD_CLSID_CHDDOBJECT_TEXT;
const std::wstring kAppId = HDD_APPID_TEXT;
const std::wstring kLibId = HDD_LIBID_HDDLIB_TEXT;

std::vector<std::wstring> Sorted(std::vector<std::wstring> lines)
{
    std::sort(lines.begin(), lines.end());
    return lines;
}

// Everything the two scripts write, below `prefix` ("" for the classes root).
std::vector<std::wstring> ExpectedKeys(const std::wstring& prefix, const std::wstring& modulePath)
{
    const std::wstring c = prefix + L"CLSID\\" + kClsid;
    const std::wstring a = prefix + L"AppID";
    return Sorted({
        a,
        a + L"\\" + kAppId,
        a + L"\\" + kAppId + L"\\@=HDD",
        a + L"\\HDD.DLL",
        a + L"\\HDD.DLL\\@AppID=" + kAppId,
        prefix + L"CLSID",
        c,
        c + L"\\@=CHDDObject Class",
        c + L"\\InprocServer32",
        c + L"\\InprocServer32\\@=" + modulePath,
        c + L"\\InprocServer32\\@ThreadingModel=Apartment",
        c + L"\\ProgID",
        c + L"\\ProgID\\@=HDD.CHDDObject.1",
        c + L"\\Programmable",
        c + L"\\TypeLib",
        c + L"\\TypeLib\\@=" + kLibId,
        c + L"\\VersionIndependentProgID",
        c + L"\\VersionIndependentProgID\\@=HDD.CHDDObject",
        prefix + L"HDD.CHDDObject",
        prefix + L"HDD.CHDDObject\\@=CHDDObject Class",
        prefix + L"HDD.CHDDObject\\CLSID",
        prefix + L"HDD.CHDDObject\\CLSID\\@=" + kClsid,
        prefix + L"HDD.CHDDObject\\CurVer",
        prefix + L"HDD.CHDDObject\\CurVer\\@=HDD.CHDDObject.1",
        prefix + L"HDD.CHDDObject.1",
        prefix + L"HDD.CHDDObject.1\\@=CHDDObject Class",
        prefix + L"HDD.CHDDObject.1\\CLSID",
        prefix + L"HDD.CHDDObject.1\\CLSID\\@=" + kClsid,
    });
}

// ---- the interpreter on its own ------------------------------------------------

class RegistryScriptTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!host.HasScripts()) {
            GTEST_SKIP() << "the registry scripts are not readable from this build";
        }
        ASSERT_EQ(DecodeScriptBytes(host.scripts[101], appIdScript), S_OK);
        ASSERT_EQ(DecodeScriptBytes(host.scripts[102], classScript), S_OK);
        variables = {{L"MODULE", EscapeForScript(path)}, {L"MODULE_RAW", EscapeForScript(path)}, {L"APPID", kAppId}};
    }
    HRESULT RegisterBoth(bool perUser)
    {
        HRESULT hr = RegisterScript(appIdScript, variables, perUser);
        return FAILED(hr) ? hr : RegisterScript(classScript, variables, perUser);
    }
    HRESULT UnregisterBoth(bool perUser)
    {
        HRESULT hr = UnregisterScript(classScript, variables, perUser);
        return FAILED(hr) ? hr : UnregisterScript(appIdScript, variables, perUser);
    }

    MemoryRegistry registry;
    ScopedRegistryApi scope{registry};
    FakeModuleHost host;
    std::wstring path = L"C:\\Bob's Tools\\it''s\\HDD.dll";  // quotes survive the round trip
    std::wstring appIdScript;
    std::wstring classScript;
    ScriptVariables variables;
};

TEST_F(RegistryScriptTest, RegisterWritesEveryKeyAndUnregisterLeavesOnlyTheNoRemoveParents)
{
    ASSERT_EQ(RegisterBoth(false), S_OK);
    EXPECT_EQ(registry.Dump(RegistryRoot::ClassesRoot), ExpectedKeys(L"", path));
    EXPECT_TRUE(registry.Dump(RegistryRoot::CurrentUser).empty());

    // Registering again changes nothing.
    ASSERT_EQ(RegisterBoth(false), S_OK);
    EXPECT_EQ(registry.Dump(RegistryRoot::ClassesRoot), ExpectedKeys(L"", path));

    ASSERT_EQ(UnregisterBoth(false), S_OK);
    EXPECT_EQ(registry.Dump(RegistryRoot::ClassesRoot), (std::vector<std::wstring>{L"AppID", L"CLSID"}));
    // Unregistering what is not there is no error.
    EXPECT_EQ(UnregisterBoth(false), S_OK);
}

TEST_F(RegistryScriptTest, PerUserWritesBelowTheUsersClasses)
{
    ASSERT_EQ(RegisterBoth(true), S_OK);
    std::vector<std::wstring> expected = ExpectedKeys(L"Software\\Classes\\", path);
    expected.push_back(L"Software");
    expected.push_back(L"Software\\Classes");
    EXPECT_EQ(registry.Dump(RegistryRoot::CurrentUser), Sorted(expected));
    EXPECT_TRUE(registry.Dump(RegistryRoot::ClassesRoot).empty());

    ASSERT_EQ(UnregisterBoth(true), S_OK);
    EXPECT_EQ(registry.Dump(RegistryRoot::CurrentUser),
              (std::vector<std::wstring>{L"Software", L"Software\\Classes", L"Software\\Classes\\AppID",
                                         L"Software\\Classes\\CLSID"}));
}

TEST_F(RegistryScriptTest, ForceRemoveReplacesTheSubtreeAndOthersEntriesSurvive)
{
    const std::wstring classKey = L"CLSID\\" + kClsid;
    ASSERT_EQ(registry.CreateKey(RegistryRoot::ClassesRoot, classKey + L"\\Stale\\Deeper"), 0);
    ASSERT_EQ(registry.SetStringValue(RegistryRoot::ClassesRoot, classKey, L"Old", L"x"), 0);
    ASSERT_EQ(registry.CreateKey(RegistryRoot::ClassesRoot, L"CLSID\\{other}"), 0);
    ASSERT_EQ(registry.CreateKey(RegistryRoot::ClassesRoot, L"HDD.CHDDObject\\Foreign"), 0);
    ASSERT_EQ(registry.CreateKey(RegistryRoot::ClassesRoot, L"AppID\\HDD.DLL"), 0);
    ASSERT_EQ(registry.SetStringValue(RegistryRoot::ClassesRoot, L"AppID\\HDD.DLL", L"Other", L"y"), 0);

    ASSERT_EQ(RegisterBoth(false), S_OK);
    EXPECT_EQ(registry.OpenKey(RegistryRoot::ClassesRoot, classKey + L"\\Stale"), static_cast<LONG>(ERROR_FILE_NOT_FOUND));
    std::wstring value;
    EXPECT_EQ(registry.QueryStringValue(RegistryRoot::ClassesRoot, classKey, L"Old", value),
              static_cast<LONG>(ERROR_FILE_NOT_FOUND));

    ASSERT_EQ(UnregisterBoth(false), S_OK);
    EXPECT_EQ(registry.Dump(RegistryRoot::ClassesRoot),
              Sorted({L"AppID", L"AppID\\HDD.DLL", L"AppID\\HDD.DLL\\@Other=y", L"CLSID", L"CLSID\\{other}",
                      L"HDD.CHDDObject", L"HDD.CHDDObject\\@=CHDDObject Class", L"HDD.CHDDObject\\Foreign"}));
}

TEST(RegistryScript, ValuesDefaultsQuotesAndVariables)
{
    MemoryRegistry registry;
    ScopedRegistryApi scope(registry);
    const std::wstring script =
        L"HKCU\n{\n  'Key With Blanks' = s 'it''s 100%% %NAME%'\n  {\n    val 'Named Value' = s bare\n"
        L"    val Second = s ''\n    sub = s '{braces}'\n  }\n  NoRemove Kept { val V = s 'v' }\n}\n"
        L"HKEY_LOCAL_MACHINE { Machine }";
    ASSERT_EQ(RegisterScript(script, {{L"NAME", L"x''y"}}, false), S_OK);
    EXPECT_EQ(registry.Dump(RegistryRoot::CurrentUser),
              Sorted({L"Key With Blanks", L"Key With Blanks\\@=it's 100% x'y", L"Key With Blanks\\@Named Value=bare",
                      L"Key With Blanks\\@Second=", L"Key With Blanks\\sub", L"Key With Blanks\\sub\\@={braces}",
                      L"Kept", L"Kept\\@V=v"}));
    EXPECT_EQ(registry.Dump(RegistryRoot::LocalMachine), std::vector<std::wstring>{L"Machine"});

    // The kept key loses only the script's named value.
    ASSERT_EQ(UnregisterScript(script, {{L"NAME", L"x''y"}}, false), S_OK);
    EXPECT_EQ(registry.Dump(RegistryRoot::CurrentUser), std::vector<std::wstring>{L"Kept"});
    EXPECT_TRUE(registry.Dump(RegistryRoot::LocalMachine).empty());
}

TEST(RegistryScript, MalformedScriptsFailAndWriteNothing)
{
    const std::wstring deep = std::wstring(200, L'{');
    std::wstring nested = L"HKCR {";
    for (int i = 0; i < 100; ++i) {
        nested += L" k {";
    }
    const struct {
        const wchar_t* name;
        std::wstring text;
    } cases[] = {
        {L"root without block", L"HKCR"},
        {L"unclosed root", L"HKCR {"},
        {L"unclosed key block", L"HKCR { key {"},
        {L"missing type", L"HKCR { key = 'v' }"},
        {L"type other than s", L"HKCR { key = d '1' }"},
        {L"missing value", L"HKCR { key = s }"},
        {L"unterminated quote", L"HKCR { 'key }"},
        {L"unknown root", L"HKXX { key }"},
        {L"value at root level", L"HKCR { val x = s 'y' }"},
        {L"value without name", L"HKCR { key { val = s 'y' } }"},
        {L"value without =", L"HKCR { key { val x s 'y' } }"},
        {L"name with a path separator", L"HKCR { a\\b }"},
        {L"NoRemove without name", L"HKCR { NoRemove }"},
        {L"stray close", L"HKCR { } }"},
        {L"only a close", L"}"},
        {L"root modifier", L"NoRemove HKCR { }"},
        {L"empty quoted name", L"HKCR { '' }"},
        {L"unknown variable", L"HKCR { '%NOPE%' }"},
        {L"unterminated variable", L"HKCR { '%MODULE' }"},
        {L"braces only", deep},
        {L"nesting beyond reason", nested},
        {L"good key then garbage", L"HKCR { good } {"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        MemoryRegistry registry;
        ScopedRegistryApi scope(registry);
        EXPECT_EQ(RegisterScript(c.text, {{L"MODULE", L"m"}}, false), HDD_E_REGISTRY_SCRIPT);
        EXPECT_EQ(UnregisterScript(c.text, {{L"MODULE", L"m"}}, false), HDD_E_REGISTRY_SCRIPT);
        EXPECT_TRUE(registry.Dump(RegistryRoot::ClassesRoot).empty());
    }
}

TEST(RegistryScript, ScriptBytesMustBeAscii)
{
    std::wstring text;
    EXPECT_EQ(DecodeScriptBytes(std::string("HKCR { k }\0\0", 12), text), S_OK);  // resource padding
    EXPECT_EQ(text, L"HKCR { k }");
    EXPECT_EQ(DecodeScriptBytes("\xEF\xBB\xBFHKCR { k }", text), S_OK);
    EXPECT_EQ(text, L"HKCR { k }");
    EXPECT_EQ(DecodeScriptBytes("HKCR { \xC3\xA9 }", text), HDD_E_REGISTRY_SCRIPT);
    EXPECT_EQ(DecodeScriptBytes(std::string("HKCR {\0 k }", 11), text), HDD_E_REGISTRY_SCRIPT);
}

TEST(RegistryScript, RegistryFailuresArePassedOn)
{
    MemoryRegistry registry;
    ScopedRegistryApi scope(registry);
    registry.failHook = [](const char* op, const std::wstring& path) {
        return std::string(op) == "SetStringValue" && path == L"A\\B" ? static_cast<LONG>(ERROR_ACCESS_DENIED) : 0;
    };
    EXPECT_EQ(RegisterScript(L"HKCR { A { B = s 'x' C } }", {}, false), HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED));
    // The first failure stops the script: C was never written.
    EXPECT_EQ(registry.Dump(RegistryRoot::ClassesRoot), (std::vector<std::wstring>{L"A", L"A\\B"}));
}

// ---- the entry points ------------------------------------------------------------

class ServerRegistrationTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!host.HasScripts()) {
            GTEST_SKIP() << "the registry scripts are not readable from this build";
        }
        Module().SetPerUser(false);
        typeLibs.loadable = {host.path};
        typeLibs.registry = &registry;
    }
    void TearDown() override { Module().SetPerUser(false); }

    MemoryRegistry registry;
    FakeModuleHost host;
    FakeTypeLibs typeLibs;
    ScopedRegistryApi registryScope{registry};
    ScopedModuleHostApi hostScope{host};
    ScopedTypeLibApi typeLibScope{typeLibs};
};

TEST_F(ServerRegistrationTest, RegisterRunsTheStepsInTheSystemLocaleAndRestoresIt)
{
    ASSERT_EQ(ServerRegister(), S_OK);
    EXPECT_EQ(registry.Dump(RegistryRoot::ClassesRoot), ExpectedKeys(L"", host.path));
    EXPECT_EQ(host.localeWhenScriptLoaded, (std::vector<LCID>{0x0800, 0x0800}));
    EXPECT_EQ(host.locale, 0x0409u);
    EXPECT_EQ(typeLibs.CallNames(), (std::vector<std::string>{"load", "register"}));
    EXPECT_EQ(typeLibs.calls[1].path, host.path);
    EXPECT_FALSE(typeLibs.calls[1].perUser);
    EXPECT_EQ(typeLibs.openLibraries, 0);

    typeLibs.calls.clear();
    ASSERT_EQ(ServerUnregister(), S_OK);
    EXPECT_EQ(registry.Dump(RegistryRoot::ClassesRoot), (std::vector<std::wstring>{L"AppID", L"CLSID"}));
    EXPECT_EQ(typeLibs.CallNames(), (std::vector<std::string>{"load", "unregister"}));
    EXPECT_FALSE(typeLibs.registered);
    EXPECT_EQ(host.locale, 0x0409u);
    EXPECT_EQ(typeLibs.openLibraries, 0);
}

TEST_F(ServerRegistrationTest, TypeLibraryComesFromTheTlbBesideTheServerWhenTheServerHasNone)
{
    const struct {
        std::wstring module;
        std::wstring tlb;
    } cases[] = {
        {L"C:\\x\\HDD.dll", L"C:\\x\\HDD.tlb"},
        {L"C:\\x.y\\HDD", L"C:\\x.y\\HDD.tlb"},
        {L"C:\\x\\HDD.old.dll", L"C:\\x\\HDD.old.tlb"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.module.begin(), c.module.end()));
        EXPECT_EQ(TypeLibPathFor(c.module), c.tlb);
        host.path = c.module;
        typeLibs.loadable = {c.tlb};
        typeLibs.calls.clear();
        ASSERT_EQ(ServerRegister(), S_OK);
        ASSERT_EQ(typeLibs.CallNames(), (std::vector<std::string>{"load", "load", "register"}));
        EXPECT_EQ(typeLibs.calls[0].path, c.module);
        EXPECT_EQ(typeLibs.calls[2].path, c.tlb);
    }
    typeLibs.loadable.clear();
    EXPECT_EQ(ServerRegister(), TYPE_E_CANTLOADLIBRARY);
}

TEST_F(ServerRegistrationTest, PathThatFillsTheBufferIsRefused)
{
    for (size_t length : {size_t{260}, size_t{261}, size_t{400}}) {
        SCOPED_TRACE(length);
        host.path = L"C:\\" + std::wstring(length - 7, L'a') + L".dll";
        ASSERT_EQ(host.path.size(), length);
        EXPECT_EQ(ServerRegister(), HDD_E_PATH_TOO_LONG);
        EXPECT_EQ(ServerUnregister(), HDD_E_PATH_TOO_LONG);
        EXPECT_EQ(ServerInstall(TRUE, nullptr), HDD_E_PATH_TOO_LONG);
        EXPECT_TRUE(registry.Dump(RegistryRoot::ClassesRoot).empty());
    }
    host.path = L"C:\\" + std::wstring(252, L'a') + L".dll";  // 259: fits
    typeLibs.loadable = {host.path};
    EXPECT_EQ(ServerRegister(), S_OK);

    host.path.clear();
    host.lastError = ERROR_ACCESS_DENIED;
    EXPECT_EQ(ServerRegister(), HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED));
}

TEST_F(ServerRegistrationTest, AFailedStepStopsRegistrationAndInstallUndoesIt)
{
    const auto denyBelow = [](const std::wstring& prefix) {
        return [prefix](const char* op, const std::wstring& path) {
            return std::string(op) == "CreateKey" && path.rfind(prefix, 0) == 0 ? static_cast<LONG>(ERROR_ACCESS_DENIED)
                                                                               : 0;
        };
    };
    const HRESULT denied = HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED);

    // Script 101 fails: nothing of script 102 is written.
    registry.failHook = denyBelow(L"AppID\\HDD.DLL");
    EXPECT_EQ(ServerRegister(), denied);
    EXPECT_EQ(registry.Dump(RegistryRoot::ClassesRoot),
              Sorted({L"AppID", L"AppID\\" + kAppId, L"AppID\\" + kAppId + L"\\@=HDD"}));
    EXPECT_TRUE(typeLibs.calls.empty());

    // The same failure inside DllInstall is followed by an unregistration.
    EXPECT_EQ(ServerInstall(TRUE, nullptr), denied);
    EXPECT_EQ(registry.Dump(RegistryRoot::ClassesRoot), std::vector<std::wstring>{L"AppID"});

    // The type library fails last: install removes both scripts' keys.
    registry.failHook = nullptr;
    typeLibs.registerResult = static_cast<HRESULT>(0x8002801Cu);  // TYPE_E_REGISTRYACCESS
    EXPECT_EQ(ServerInstall(TRUE, L"users"), typeLibs.registerResult);
    EXPECT_EQ(registry.Dump(RegistryRoot::ClassesRoot), (std::vector<std::wstring>{L"AppID", L"CLSID"}));
    EXPECT_FALSE(Module().IsPerUser());
}

TEST_F(ServerRegistrationTest, UnregistrationStopsAtTheFirstFailure)
{
    ASSERT_EQ(ServerRegister(), S_OK);
    const HRESULT failure = static_cast<HRESULT>(0x8002801Cu);  // TYPE_E_REGISTRYACCESS
    typeLibs.unregisterResult = failure;
    EXPECT_EQ(ServerUnregister(), failure);
    // The class is gone, the AppID (the step after the type library) stays.
    EXPECT_EQ(registry.OpenKey(RegistryRoot::ClassesRoot, L"CLSID\\" + kClsid), static_cast<LONG>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(registry.OpenKey(RegistryRoot::ClassesRoot, L"AppID\\HDD.DLL"), 0);

    // A library that is not registered is nothing to remove.
    typeLibs.unregisterResult = S_OK;
    typeLibs.registered = false;
    typeLibs.calls.clear();
    EXPECT_EQ(ServerUnregister(), S_OK);
    EXPECT_EQ(typeLibs.CallNames(), std::vector<std::string>{"load"});
    EXPECT_EQ(registry.Dump(RegistryRoot::ClassesRoot), (std::vector<std::wstring>{L"AppID", L"CLSID"}));
}

TEST_F(ServerRegistrationTest, InstallRegistersPerUserOnlyForTheWordUser)
{
    const struct {
        const wchar_t* cmdLine;
        bool perUser;
    } cases[] = {
        {L"user", true},  {L"USER", true},   {L"User", true},   {L"uSeR", true},
        {L"users", false}, {L"use", false},   {L"user ", false}, {L"", false},
        {nullptr, false},  {L" user", false}, {L"usEr\0x", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.cmdLine == nullptr ? std::string("(null)") : std::string(c.cmdLine, c.cmdLine + wcslen(c.cmdLine)));
        EXPECT_EQ(IsPerUserCommandLine(c.cmdLine), c.perUser);

        MemoryRegistry fresh;
        ScopedRegistryApi scope(fresh);
        typeLibs.registry = &fresh;
        typeLibs.calls.clear();
        typeLibs.registered = false;
        Module().SetPerUser(false);
        ASSERT_EQ(ServerInstall(TRUE, c.cmdLine), S_OK);
        EXPECT_EQ(Module().IsPerUser(), c.perUser);
        const RegistryRoot written = c.perUser ? RegistryRoot::CurrentUser : RegistryRoot::ClassesRoot;
        const RegistryRoot untouched = c.perUser ? RegistryRoot::ClassesRoot : RegistryRoot::CurrentUser;
        EXPECT_EQ(fresh.OpenKey(written, (c.perUser ? L"Software\\Classes\\" : L"") + std::wstring(L"HDD.CHDDObject")), 0);
        EXPECT_TRUE(fresh.Dump(untouched).empty());
        ASSERT_EQ(typeLibs.CallNames(), (std::vector<std::string>{"load", "register"}));
        EXPECT_EQ(typeLibs.calls[1].perUser, c.perUser);
        // Per user, the library is registered with the classes root pointing
        // at the user's classes, and the redirection ends with the call.
        EXPECT_EQ(typeLibs.calls[1].classesRootOverridden, c.perUser);
        EXPECT_FALSE(fresh.IsClassesRootOverridden());

        // Uninstall with the same command line removes it again.
        typeLibs.calls.clear();
        ASSERT_EQ(ServerInstall(FALSE, c.cmdLine), S_OK);
        EXPECT_EQ(typeLibs.CallNames(), (std::vector<std::string>{"load", "unregister"}));
        EXPECT_EQ(typeLibs.calls[1].perUser, c.perUser);
        EXPECT_EQ(fresh.OpenKey(written, (c.perUser ? L"Software\\Classes\\" : L"") + std::wstring(L"HDD.CHDDObject")),
                  static_cast<LONG>(ERROR_FILE_NOT_FOUND));
    }
    typeLibs.registry = &registry;
}

TEST_F(ServerRegistrationTest, PerUserFlagStaysForLaterCalls)
{
    ASSERT_EQ(ServerInstall(TRUE, L"user"), S_OK);
    ASSERT_EQ(ServerInstall(TRUE, L"other"), S_OK);  // does not clear it
    EXPECT_TRUE(Module().IsPerUser());
    ASSERT_EQ(ServerUnregister(), S_OK);
    EXPECT_EQ(registry.Dump(RegistryRoot::CurrentUser),
              (std::vector<std::wstring>{L"Software", L"Software\\Classes", L"Software\\Classes\\AppID",
                                         L"Software\\Classes\\CLSID"}));
    EXPECT_TRUE(registry.Dump(RegistryRoot::ClassesRoot).empty());
}

// ---- a 64-bit system: the 32-bit and the 64-bit server side by side ------------

// Each server registers its class in its own registry view; the ProgIDs, the
// AppID and the type library's key are shared. Whichever goes first must
// leave the other creatable, and the last one leaves the system as it was.
TEST_F(ServerRegistrationTest, BothViewsRegisterSideBySideAndEachUnregistersOnlyItsOwn)
{
    const std::wstring dll32 = L"C:\\Program Files (x86)\\HDD\\HDD.dll";
    const std::wstring dll64 = L"C:\\Program Files (x86)\\HDD\\x64\\HDD.dll";
    const struct {
        const char* name;
        bool firstOut32;  // which server is unregistered first
        bool perUser;
    } cases[] = {
        {"32-bit first, machine-wide", true, false},
        {"64-bit first, machine-wide", false, false},
        {"32-bit first, per user", true, true},
        {"64-bit first, per user", false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        MemoryRegistry view64(RegistryView::Bits64);
        MemoryRegistry view32(view64, RegistryView::Bits32);
        const RegistryRoot root = c.perUser ? RegistryRoot::CurrentUser : RegistryRoot::ClassesRoot;
        const std::wstring classes = c.perUser ? L"Software\\Classes\\" : L"";
        // What a fresh system has already.
        for (const wchar_t* key : {L"AppID", L"CLSID", L"Interface", L"TypeLib", L"Wow6432Node\\CLSID",
                                   L"Wow6432Node\\Interface"}) {
            ASSERT_EQ(view64.CreateKey(root, classes + key), 0);
        }
        const std::vector<std::wstring> fresh = view64.Dump(root);

        // server(true) is the 32-bit one: its file, view and library platform.
        const auto server = [&](bool b32, auto&& step) {
            MemoryRegistry& view = b32 ? view32 : view64;
            ScopedRegistryApi scope(view);
            host.path = b32 ? dll32 : dll64;
            typeLibs.loadable = {host.path};
            typeLibs.registry = &view;
            typeLibs.platform = b32 ? L"win32" : L"win64";
            Module().SetPerUser(c.perUser);
            return step();
        };
        const auto classIn = [&](bool b32, std::wstring& path) {
            return (b32 ? view32 : view64)
                .QueryStringValue(root, classes + L"CLSID\\" + kClsid + L"\\InprocServer32", nullptr, path);
        };
        const auto expectCreatable = [&](bool b32) {
            SCOPED_TRACE(b32 ? "32-bit view" : "64-bit view");
            std::wstring path;
            EXPECT_EQ(classIn(b32, path), 0);
            EXPECT_EQ(path, b32 ? dll32 : dll64);
            for (const std::wstring& key : {std::wstring(L"HDD.CHDDObject\\CLSID"), std::wstring(L"HDD.CHDDObject.1\\CLSID"),
                                            std::wstring(L"AppID\\HDD.DLL"), L"AppID\\" + kAppId}) {
                EXPECT_EQ(view64.OpenKey(root, classes + key), 0) << std::string(key.begin(), key.end());
            }
            EXPECT_EQ(view64.OpenKey(root, classes + L"TypeLib\\" + kLibId + L"\\1.0\\0\\" +
                                               (b32 ? L"win32" : L"win64")),
                      0);
        };

        ASSERT_EQ(server(true, [] { return ServerInstall(TRUE, nullptr); }), S_OK);
        ASSERT_EQ(server(false, [] { return ServerInstall(TRUE, nullptr); }), S_OK);
        expectCreatable(true);
        expectCreatable(false);

        const bool first = c.firstOut32;
        ASSERT_EQ(server(first, [] { return ServerUnregister(); }), S_OK);
        std::wstring gone;
        EXPECT_EQ(classIn(first, gone), static_cast<LONG>(ERROR_FILE_NOT_FOUND));
        EXPECT_EQ(view64.OpenKey(root, classes + L"TypeLib\\" + kLibId + L"\\1.0\\0\\" +
                                           (first ? L"win32" : L"win64")),
                  static_cast<LONG>(ERROR_FILE_NOT_FOUND));
        expectCreatable(!first);

        ASSERT_EQ(server(!first, [] { return ServerUnregister(); }), S_OK);
        EXPECT_EQ(view64.Dump(root), fresh);
        EXPECT_TRUE(view64.Dump(c.perUser ? RegistryRoot::ClassesRoot : RegistryRoot::CurrentUser).empty());
    }
    typeLibs.registry = &registry;
    typeLibs.platform.clear();
}

// One server alone on a 64-bit system removes everything, as on a 32-bit one.
TEST_F(ServerRegistrationTest, OneServerAloneOnA64BitSystemRemovesEverything)
{
    for (RegistryView view : {RegistryView::Bits32, RegistryView::Bits64}) {
        SCOPED_TRACE(view == RegistryView::Bits32 ? "32-bit" : "64-bit");
        MemoryRegistry system(view);
        ScopedRegistryApi scope(system);
        typeLibs.registry = &system;
        ASSERT_EQ(ServerRegister(), S_OK);
        const std::wstring classKey = (view == RegistryView::Bits32 ? L"Wow6432Node\\CLSID\\" : L"CLSID\\") + kClsid;
        EXPECT_EQ(system.OpenKey(RegistryRoot::ClassesRoot, L"CLSID\\" + kClsid), 0);
        EXPECT_EQ(MemoryRegistry(system, RegistryView::Only).OpenKey(RegistryRoot::ClassesRoot, classKey), 0);
        ASSERT_EQ(ServerUnregister(), S_OK);
        std::vector<std::wstring> parents = {L"AppID", L"CLSID"};
        if (view == RegistryView::Bits32) {
            parents = {L"AppID", L"Wow6432Node", L"Wow6432Node\\CLSID"};
        }
        EXPECT_EQ(system.Dump(RegistryRoot::ClassesRoot), parents);
    }
    typeLibs.registry = &registry;
}

}  // namespace
}  // namespace hdd
