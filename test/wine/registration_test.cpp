// Registration of the real DLL: regsvr32 machine-wide, DllInstall per user
// and its near misses, and unregistration.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "object/hdd_guids.h"
#include "wine_support.h"

namespace hdd::wine {
namespace {

const std::wstring kClsid = HDD_CLSID_CHDDOBJECT_TEXT;
const std::wstring kAppId = HDD_APPID_TEXT;
const std::wstring kLibId = HDD_LIBID_HDDLIB_TEXT;

struct Entry {
    std::wstring key;
    const wchar_t* name;  // null: the default value; "" for a key that only has to exist
    std::wstring value;
};

std::vector<Entry> ExpectedEntries()
{
    const std::wstring c = L"CLSID\\" + kClsid;
    return {
        {L"AppID\\" + kAppId, nullptr, L"HDD"},
        {L"AppID\\HDD.DLL", L"AppID", kAppId},
        {L"HDD.CHDDObject.1", nullptr, L"CHDDObject Class"},
        {L"HDD.CHDDObject.1\\CLSID", nullptr, kClsid},
        {L"HDD.CHDDObject", nullptr, L"CHDDObject Class"},
        {L"HDD.CHDDObject\\CLSID", nullptr, kClsid},
        {L"HDD.CHDDObject\\CurVer", nullptr, L"HDD.CHDDObject.1"},
        {c, nullptr, L"CHDDObject Class"},
        {c + L"\\ProgID", nullptr, L"HDD.CHDDObject.1"},
        {c + L"\\VersionIndependentProgID", nullptr, L"HDD.CHDDObject"},
        {c + L"\\Programmable", L"", L""},
        {c + L"\\InprocServer32", nullptr, DllPath()},
        {c + L"\\InprocServer32", L"ThreadingModel", L"Apartment"},
        {c + L"\\TypeLib", nullptr, kLibId},
        {L"TypeLib\\" + kLibId + L"\\1.0\\0\\" + (sizeof(void*) == 8 ? L"win64" : L"win32"), nullptr, DllPath()},
    };
}

void ExpectRegistered(HKEY root, const std::wstring& prefix)
{
    for (const Entry& e : ExpectedEntries()) {
        SCOPED_TRACE(std::string(e.key.begin(), e.key.end()));
        if (e.name != nullptr && *e.name == L'\0') {
            EXPECT_TRUE(KeyExists(root, prefix + e.key));
            continue;
        }
        std::wstring value;
        ASSERT_TRUE(ReadString(root, prefix + e.key, e.name, value));
        EXPECT_EQ(value, e.value);
    }
}

// Every key the server writes is gone; the shared parents stay.
void ExpectUnregistered(HKEY root, const std::wstring& prefix)
{
    for (const std::wstring& key : {L"AppID\\" + kAppId, std::wstring(L"AppID\\HDD.DLL"),
                                    std::wstring(L"HDD.CHDDObject.1"), std::wstring(L"HDD.CHDDObject"),
                                    L"CLSID\\" + kClsid, L"TypeLib\\" + kLibId}) {
        EXPECT_FALSE(KeyExists(root, prefix + key)) << std::string(key.begin(), key.end());
    }
}

const std::wstring kUserClasses = L"Software\\Classes\\";

class Registration : public ::testing::Test {
protected:
    void SetUp() override { Clean(); }
    void TearDown() override { Clean(); }
    static void Clean()
    {
        RunProcess(L"regsvr32 /u /s \"" + DllPath() + L"\"");
        InstallInChild(FALSE, L"user");
    }
};

TEST_F(Registration, Regsvr32WritesEveryEntryAndRemovesThemAgain)
{
    ASSERT_EQ(RunProcess(L"regsvr32 /s \"" + DllPath() + L"\""), 0u);
    ExpectRegistered(HKEY_CLASSES_ROOT, L"");
    BSTR path = nullptr;
    ASSERT_EQ(::QueryPathOfRegTypeLib(LIBID_HDDLib, 1, 0, 0, &path), S_OK);
    EXPECT_EQ(std::wstring(path), DllPath());
    ::SysFreeString(path);

    ASSERT_EQ(RunProcess(L"regsvr32 /u /s \"" + DllPath() + L"\""), 0u);
    ExpectUnregistered(HKEY_CLASSES_ROOT, L"");
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, L"CLSID"));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, L"AppID"));
    // Unregistering again finds nothing to remove and still succeeds.
    EXPECT_EQ(RunProcess(L"regsvr32 /u /s \"" + DllPath() + L"\""), 0u);
}

TEST_F(Registration, Regsvr32PerUserInstallWritesBelowTheUsersClasses)
{
    ASSERT_EQ(RunProcess(L"regsvr32 /s /n /i:user \"" + DllPath() + L"\""), 0u);
    ExpectRegistered(HKEY_CURRENT_USER, kUserClasses);
    ExpectUnregistered(HKEY_CLASSES_ROOT, L"");
    ASSERT_EQ(RunProcess(L"regsvr32 /s /u /n /i:user \"" + DllPath() + L"\""), 0u);
    ExpectUnregistered(HKEY_CURRENT_USER, kUserClasses);
}

TEST_F(Registration, DllInstallIsPerUserOnlyForTheWordUserInAnyCase)
{
    const struct {
        const wchar_t* cmdLine;
        bool perUser;
    } cases[] = {
        {L"user", true}, {L"USER", true},   {L"User", true},  {L"users", false},
        {L"use", false}, {L"user ", false}, {L"", false},     {nullptr, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.cmdLine == nullptr ? "(none)" : std::string(c.cmdLine, c.cmdLine + wcslen(c.cmdLine)) + "|");
        ASSERT_EQ(InstallInChild(TRUE, c.cmdLine), S_OK);
        if (c.perUser) {
            ExpectRegistered(HKEY_CURRENT_USER, kUserClasses);
            ExpectUnregistered(HKEY_CLASSES_ROOT, L"");
        } else {
            ExpectRegistered(HKEY_CLASSES_ROOT, L"");
            ExpectUnregistered(HKEY_CURRENT_USER, kUserClasses);
        }
        // Uninstall with the same text removes it from the same place.
        ASSERT_EQ(InstallInChild(FALSE, c.cmdLine), S_OK);
        ExpectUnregistered(HKEY_CLASSES_ROOT, L"");
        ExpectUnregistered(HKEY_CURRENT_USER, kUserClasses);
    }
}

}  // namespace
}  // namespace hdd::wine
