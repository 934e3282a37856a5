// The module-host seam: what the server asks of the system about its own
// module and the calling thread during registration (the module's file
// name, its registry-script resources, the thread locale). On Windows it is
// kernel32; the native build has no module file and no resources.
#pragma once

#include <string>

#include "platform/seam.h"
#include "platform/win32.h"

namespace hdd {

class ModuleHostApi {
public:
    virtual ~ModuleHostApi() = default;

    // As GetModuleFileNameW: the length copied, nSize when the path was cut
    // short, 0 on failure.
    virtual DWORD GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize) = 0;
    virtual DWORD GetLastError() = 0;
    virtual LCID GetThreadLocale() = 0;
    virtual BOOL SetThreadLocale(LCID lcid) = 0;
    // The bytes of the module's resource of type "REGISTRY" with number nId.
    virtual HRESULT LoadRegistryScript(HMODULE hModule, UINT nId, std::string& bytes) = 0;
};

ModuleHostApi& PlatformModuleHost();
inline ModuleHostApi& ModuleHost() { return Seam<ModuleHostApi, PlatformModuleHost>::Current(); }

using ScopedModuleHostApi = Seam<ModuleHostApi, PlatformModuleHost>::Scoped;

}  // namespace hdd
