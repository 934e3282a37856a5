// The DLL's export table and resources.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "wine_support.h"

namespace hdd::wine {
namespace {

class LoadedDll : public ::testing::Test {
protected:
    void SetUp() override
    {
        hDll = ::LoadLibraryW(DllPath().c_str());
        ASSERT_NE(hDll, nullptr) << "cannot load HDD.dll";
    }
    void TearDown() override { ::FreeLibrary(hDll); }
    HMODULE hDll = nullptr;
};

TEST_F(LoadedDll, FiveUndecoratedExportsAtOrdinalsOneToFive)
{
    const char* names[] = {"DllCanUnloadNow", "DllGetClassObject", "DllInstall", "DllRegisterServer",
                           "DllUnregisterServer"};
    for (WORD ordinal = 1; ordinal <= 5; ++ordinal) {
        SCOPED_TRACE(names[ordinal - 1]);
        FARPROC byName = ::GetProcAddress(hDll, names[ordinal - 1]);
        ASSERT_NE(byName, nullptr);
        EXPECT_EQ(byName, ::GetProcAddress(hDll, MAKEINTRESOURCEA(ordinal)));
    }
    EXPECT_EQ(::GetProcAddress(hDll, MAKEINTRESOURCEA(6)), nullptr);

    // The export directory holds exactly these names, nothing decorated.
    auto* base = reinterpret_cast<const BYTE*>(hDll);
    auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    auto* exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + dir.VirtualAddress);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(base + exports->Name)), "HDD.dll");
    EXPECT_EQ(exports->Base, 1u);
    EXPECT_EQ(exports->NumberOfFunctions, 5u);
    ASSERT_EQ(exports->NumberOfNames, 5u);
    auto* nameRvas = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
    auto* ordinals = reinterpret_cast<const WORD*>(base + exports->AddressOfNameOrdinals);
    for (DWORD i = 0; i < exports->NumberOfNames; ++i) {
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(base + nameRvas[i])), names[i]);
        EXPECT_EQ(ordinals[i], i);  // biased by Base: ordinal i + 1
    }
}

TEST_F(LoadedDll, ResourcesHoldTheLibraryScriptsNameAndVersion)
{
    EXPECT_NE(::FindResourceW(hDll, MAKEINTRESOURCEW(1), L"TYPELIB"), nullptr);
    for (WORD id : {WORD{101}, WORD{102}}) {
        HRSRC hRes = ::FindResourceW(hDll, MAKEINTRESOURCEW(id), L"REGISTRY");
        ASSERT_NE(hRes, nullptr) << id;
        const char* text = static_cast<const char*>(::LockResource(::LoadResource(hDll, hRes)));
        const std::string script(text, ::SizeofResource(hDll, hRes));
        EXPECT_EQ(script.rfind("HKCR", 0), 0u) << id;
    }
    WCHAR name[16] = {};
    EXPECT_EQ(::LoadStringW(hDll, 100, name, 16), 3);
    EXPECT_STREQ(name, L"HDD");

    const std::wstring path = DllPath();
    DWORD handle = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(path.c_str(), &handle);
    ASSERT_GT(size, 0u);
    std::vector<BYTE> info(size);
    ASSERT_TRUE(::GetFileVersionInfoW(path.c_str(), 0, size, info.data()));
    for (const wchar_t* field : {L"InternalName", L"OriginalFilename"}) {
        const std::wstring query = std::wstring(L"\\StringFileInfo\\040904b0\\") + field;
        void* value = nullptr;
        UINT length = 0;
        ASSERT_TRUE(::VerQueryValueW(info.data(), query.c_str(), &value, &length)) << field;
        EXPECT_STREQ(static_cast<const wchar_t*>(value), L"HDD.dll");
    }
}

TEST_F(LoadedDll, CanUnloadNowWhenNothingIsHeld)
{
    using Fn = HRESULT(STDAPICALLTYPE*)();
    auto pfn = reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(::GetProcAddress(hDll, "DllCanUnloadNow")));
    ASSERT_NE(pfn, nullptr);
    EXPECT_EQ(pfn(), S_OK);

    using GetFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    auto pfnGet =
        reinterpret_cast<GetFn>(reinterpret_cast<void (*)()>(::GetProcAddress(hDll, "DllGetClassObject")));
    void* pv = reinterpret_cast<void*>(0x1234);
    EXPECT_EQ(pfnGet(IID_IDispatch, IID_IClassFactory, &pv), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(pv, nullptr);
    EXPECT_EQ(pfnGet(IID_IDispatch, IID_IClassFactory, nullptr), E_POINTER);
}

}  // namespace
}  // namespace hdd::wine
