// HDD.dll's entry point and its five exports (numbered in HDD.def); each
// export forwards to the server frame.
#include "platform/win32.h"
#include "server/exports.h"
#include "server/module.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD dwReason, LPVOID lpReserved)
{
    if (dwReason == DLL_PROCESS_ATTACH) {
        // The module object is built here; without its critical section the
        // server refuses to load.
        if (!hdd::Module().IsInitialized()) {
            return FALSE;
        }
        hdd::Module().SetModuleInstance(hInstance);
        ::DisableThreadLibraryCalls(hInstance);
    } else if (dwReason == DLL_PROCESS_DETACH && lpReserved == nullptr) {
        // Unloaded by FreeLibrary: release the cached class object and type
        // information. At process exit (lpReserved set) the libraries that own
        // them may be gone, so nothing is released then.
        hdd::Module().Term();
    }
    return TRUE;
}

STDAPI DllCanUnloadNow() { return hdd::ServerCanUnloadNow(); }

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) { return hdd::ServerGetClassObject(rclsid, riid, ppv); }

STDAPI DllInstall(BOOL bInstall, LPCWSTR pszCmdLine) { return hdd::ServerInstall(bInstall, pszCmdLine); }

STDAPI DllRegisterServer() { return hdd::ServerRegister(); }

STDAPI DllUnregisterServer() { return hdd::ServerUnregister(); }
