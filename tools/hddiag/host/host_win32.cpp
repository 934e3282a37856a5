// Windows: the real machine by default, through the installed component:
// by its ProgID when it is registered, else through HDD.dll's class object.
#include <io.h>
#include <stdio.h>

#include "object/hdd_guids.h"
#include "platform/win32.h"
#include "tools/hddiag/host/host.h"
#include "tools/hddiag/session/result_codes.h"

namespace hddiag::host {

namespace {

class InstalledComponent final : public Component {
public:
    InstalledComponent(bool comInitialized, HMODULE hModule, ICHDDObject* pObject)
        : m_comInitialized(comInitialized), m_hModule(hModule), m_pObject(pObject)
    {
    }
    ~InstalledComponent() override
    {
        m_pObject->Release();
        if (m_hModule != nullptr) {
            FreeLibrary(m_hModule);
        }
        if (m_comInitialized) {
            CoUninitialize();
        }
    }
    ICHDDObject& Object() override { return *m_pObject; }

private:
    bool m_comInitialized;
    HMODULE m_hModule;
    ICHDDObject* m_pObject;
};

typedef HRESULT(STDAPICALLTYPE* DllGetClassObjectFn)(REFCLSID, REFIID, LPVOID*);

// HDD.dll beside hddiag.exe or on the DLL search path, without registration.
ICHDDObject* CreateThroughDll(HMODULE& hModule, std::string& error)
{
    hModule = LoadLibraryW(L"HDD.dll");
    if (hModule == nullptr) {
        error += "; HDD.dll could not be loaded (error " + std::to_string(GetLastError()) + ")";
        return nullptr;
    }
    auto pfnGetClassObject =
        reinterpret_cast<DllGetClassObjectFn>(reinterpret_cast<void*>(GetProcAddress(hModule, "DllGetClassObject")));
    IClassFactory* pFactory = nullptr;
    HRESULT hr = pfnGetClassObject == nullptr
                     ? E_NOINTERFACE
                     : pfnGetClassObject(CLSID_CHDDObject, IID_IClassFactory, reinterpret_cast<void**>(&pFactory));
    ICHDDObject* pObject = nullptr;
    if (SUCCEEDED(hr)) {
        hr = pFactory->CreateInstance(nullptr, IID_ICHDDObject, reinterpret_cast<void**>(&pObject));
        pFactory->Release();
    }
    if (FAILED(hr) || pObject == nullptr) {
        error += "; HDD.dll's class object failed with " + Hex32(static_cast<ULONG>(hr));
        FreeLibrary(hModule);
        hModule = nullptr;
        return nullptr;
    }
    return pObject;
}

}  // namespace

std::string DefaultMachine() { return std::string(); }

bool UsesInstalledComponent() { return true; }

std::unique_ptr<RealMachine> OpenRealMachine(const std::vector<DiskOption>&, std::optional<unsigned int>,
                                             std::string& error)
{
    error = "--disk needs Linux; on Windows hddiag works on this computer's disks through the installed component";
    return nullptr;
}

bool StderrIsTerminal() { return _isatty(_fileno(stderr)) != 0; }

std::unique_ptr<Component> OpenInstalledComponent(std::string& error)
{
    const HRESULT hrInit = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const bool comInitialized = SUCCEEDED(hrInit);
    ICHDDObject* pObject = nullptr;
    CLSID clsid;
    HRESULT hr = CLSIDFromProgID(L"HDD.CHDDObject", &clsid);
    if (SUCCEEDED(hr)) {
        hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_ICHDDObject,
                              reinterpret_cast<void**>(&pObject));
    }
    HMODULE hModule = nullptr;
    if (FAILED(hr) || pObject == nullptr) {
        error = "HDD.CHDDObject is not registered or cannot be created (" + Hex32(static_cast<ULONG>(hr)) + ")";
        pObject = CreateThroughDll(hModule, error);
    }
    if (pObject == nullptr) {
        if (comInitialized) {
            CoUninitialize();
        }
        return nullptr;
    }
    return std::make_unique<InstalledComponent>(comInitialized, hModule, pObject);
}

}  // namespace hddiag::host
