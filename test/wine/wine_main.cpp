// The test program of the real DLL. Started with HDD_CHILD_INSTALL set, it is
// instead the child process of InstallInChild: it loads the DLL, calls
// DllInstall once and exits with the result.
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "wine_support.h"

namespace hdd::wine {

std::wstring DllPath()
{
    WCHAR buffer[MAX_PATH];
    const DWORD length = ::GetModuleFileNameW(nullptr, buffer, MAX_PATH);
    std::wstring path(buffer, length);
    return path.substr(0, path.find_last_of(L"\\/") + 1) + L"HDD.dll";
}

DWORD RunProcess(const std::wstring& commandLine)
{
    std::vector<WCHAR> text(commandLine.begin(), commandLine.end());
    text.push_back(L'\0');
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!::CreateProcessW(nullptr, text.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        return static_cast<DWORD>(-1);
    }
    ::WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD code = static_cast<DWORD>(-1);
    ::GetExitCodeProcess(pi.hProcess, &code);
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
    return code;
}

HRESULT InstallInChild(BOOL bInstall, const wchar_t* cmdLine)
{
    WCHAR self[MAX_PATH];
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    ::SetEnvironmentVariableW(L"HDD_CHILD_INSTALL", bInstall ? L"1" : L"0");
    ::SetEnvironmentVariableW(L"HDD_CHILD_CMDLINE", cmdLine);  // null removes it
    const DWORD code = RunProcess(L"\"" + std::wstring(self) + L"\"");
    ::SetEnvironmentVariableW(L"HDD_CHILD_INSTALL", nullptr);
    ::SetEnvironmentVariableW(L"HDD_CHILD_CMDLINE", nullptr);
    return static_cast<HRESULT>(code);
}

bool ReadString(HKEY root, const std::wstring& path, const wchar_t* name, std::wstring& value)
{
    WCHAR buffer[1024];
    DWORD bytes = sizeof buffer;
    if (::RegGetValueW(root, path.c_str(), name, RRF_RT_REG_SZ, nullptr, buffer, &bytes) != ERROR_SUCCESS) {
        return false;
    }
    value.assign(buffer);
    return true;
}

bool KeyExists(HKEY root, const std::wstring& path)
{
    HKEY hKey = nullptr;
    if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &hKey) != ERROR_SUCCESS) {
        return false;
    }
    ::RegCloseKey(hKey);
    return true;
}

void RegisteredServer::SetUpTestSuite()
{
    ASSERT_EQ(RunProcess(L"regsvr32 /s \"" + DllPath() + L"\""), 0u);
}

void RegisteredServer::TearDownTestSuite() { RunProcess(L"regsvr32 /u /s \"" + DllPath() + L"\""); }

}  // namespace hdd::wine

namespace {

int RunChildInstall(const wchar_t* flag)
{
    WCHAR cmdLine[256];
    ::SetLastError(ERROR_SUCCESS);  // an empty value also answers 0
    const bool hasCmdLine = ::GetEnvironmentVariableW(L"HDD_CHILD_CMDLINE", cmdLine, 256) > 0 ||
                            ::GetLastError() != ERROR_ENVVAR_NOT_FOUND;
    if (!hasCmdLine) {
        cmdLine[0] = L'\0';
    }
    HMODULE hDll = ::LoadLibraryW(hdd::wine::DllPath().c_str());
    if (hDll == nullptr) {
        return -2;
    }
    using InstallFn = HRESULT(STDAPICALLTYPE*)(BOOL, LPCWSTR);
    auto pfn = reinterpret_cast<InstallFn>(reinterpret_cast<void (*)()>(::GetProcAddress(hDll, "DllInstall")));
    if (pfn == nullptr) {
        return -3;
    }
    return static_cast<int>(pfn(flag[0] == L'1', hasCmdLine ? cmdLine : nullptr));
}

}  // namespace

int main(int argc, char** argv)
{
    WCHAR flag[4];
    if (::GetEnvironmentVariableW(L"HDD_CHILD_INSTALL", flag, 4) > 0) {
        return RunChildInstall(flag);
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
