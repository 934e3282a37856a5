// Shared helpers of the tests of the real DLL.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "platform/win32.h"

namespace hdd::wine {

// HDD.dll beside the test program.
std::wstring DllPath();

// Runs a command line (a program of the Wine prefix, or this test program)
// and answers its exit code, or -1 when it could not be started.
DWORD RunProcess(const std::wstring& commandLine);

// Runs DllInstall in a fresh process, so the per-user flag of an earlier
// call does not carry over. A null cmdLine passes a null pointer.
HRESULT InstallInChild(BOOL bInstall, const wchar_t* cmdLine);

// Registry reads: default value when name is null; false when absent.
bool ReadString(HKEY root, const std::wstring& path, const wchar_t* name, std::wstring& value);
bool KeyExists(HKEY root, const std::wstring& path);

// Registers the DLL machine-wide for the COM tests and removes it after.
class RegisteredServer : public ::testing::Test {
protected:
    static void SetUpTestSuite();
    static void TearDownTestSuite();
};

}  // namespace hdd::wine
