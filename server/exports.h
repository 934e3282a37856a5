// What the five exported entry points do. The DLL's exports (server/dll)
// forward here, so everything but the export table itself is tested in both
// builds.
#pragma once

#include <string>

#include "platform/win32.h"

namespace hdd {

// Resource numbers of the two registry scripts.
inline constexpr UINT HDD_IDR_APPID_SCRIPT = 101;
inline constexpr UINT HDD_IDR_CLASS_SCRIPT = 102;

// The path of the server file is read into a buffer of this many characters;
// a path that fills it is refused rather than used cut short.
inline constexpr DWORD HDD_MAX_MODULE_PATH = 260;
inline constexpr HRESULT HDD_E_PATH_TOO_LONG = static_cast<HRESULT>(0x8007007Au);  // insufficient buffer

HRESULT ServerCanUnloadNow();
HRESULT ServerGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv);
HRESULT ServerRegister();
HRESULT ServerUnregister();
HRESULT ServerInstall(BOOL bInstall, LPCWSTR pszCmdLine);

// True when the whole command line is "user" in any mix of letter cases.
bool IsPerUserCommandLine(LPCWSTR pszCmdLine);

// The server's path with its extension replaced by ".tlb", or extended by
// it when the file name has no extension.
std::wstring TypeLibPathFor(const std::wstring& modulePath);

// The server's path as a registry script uses it: every single quote doubled.
std::wstring EscapeForScript(const std::wstring& text);

}  // namespace hdd
