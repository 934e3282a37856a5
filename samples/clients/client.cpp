// A small C++ front end of HDD.dll, built against the SDK's HDD.h:
//
//   client.exe [SELECTOR]
//
// It creates the object by its ProgID, asks for the disk report, plans a
// batch of one surface scan and runs it on SELECTOR (default: the report's
// first partition), printing every progress event and the result code. Exit
// status: 0 when the test passed, 1 when it failed or was refused, 2 when
// the component could not be used.
#include <cstdio>
#include <cwchar>
#include <string>

#include "HDD.h"

namespace {

// The progress receiver: the component calls its DISPID 0 with three
// integers (event kind, value, 2). It holds no reference on this object, so
// it lives on Run's stack for as long as it is set.
class Progress final : public IDispatch {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override
    {
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch)) {
            *ppv = static_cast<IDispatch*>(this);
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* pctinfo) override
    {
        *pctinfo = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID dispid, REFIID, LCID, WORD, DISPPARAMS* pParams, VARIANT*, EXCEPINFO*,
                                     UINT*) override
    {
        if (dispid != DISPID_VALUE || pParams == nullptr || pParams->cArgs != 3) {
            return DISP_E_MEMBERNOTFOUND;
        }
        // The arguments stand last-first: [2] kind, [1] value, [0] the tag 2.
        const int kind = pParams->rgvarg[2].intVal;
        const int value = pParams->rgvarg[1].intVal;
        std::printf("%s %d\n", kind == 0 ? "percent" : "minutes", value);
        return S_OK;
    }
};

// Frees an automation string when it goes out of scope.
struct Bstr {
    BSTR value = nullptr;
    explicit Bstr(const wchar_t* text = nullptr) : value(text != nullptr ? SysAllocString(text) : nullptr) {}
    ~Bstr() { SysFreeString(value); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
};

// The report's first item "disk-partition-MiB" as a selector "disk-partition".
std::wstring FirstPartition(const wchar_t* report)
{
    const std::wstring text = report != nullptr ? report : L"";
    const std::wstring item = text.substr(0, text.find(L','));
    const size_t second = item.find(L'-', item.find(L'-') + 1);
    return item.substr(0, second);
}

int Run(ICHDDObject* hdd, const wchar_t* argument)
{
    Progress progress;
    LONG code = 0;
    hdd->SetCallback(&progress, &code);

    Bstr report;
    if (FAILED(hdd->GetHardDiskInfo(&report.value))) {
        std::printf("error: no disk report\n");
        return 2;
    }
    std::printf("report: %ls\n", report.value);

    const std::wstring selector = argument != nullptr ? argument : FirstPartition(report.value);
    Bstr items(selector.c_str());
    // 0: planned; 1: an item could not be measured (no time estimates then).
    const HRESULT planned = hdd->StartHDDTest(items.value, 0x8 /* surface scan */);
    std::printf("plan: %ls mask 0x00000008 status %ld\n", items.value, planned);

    code = 0;
    hdd->HDDSurfaceScanTest(items.value, &code);
    std::printf("HDDSurfaceScanTest %ls: 0x%08lX\n", items.value, static_cast<ULONG>(code));
    hdd->ReleaseCallback();
    return code == 0 ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (FAILED(CoInitialize(nullptr))) {
        return 2;
    }
    int status = 2;
    CLSID clsid{};
    ICHDDObject* hdd = nullptr;
    HRESULT hr = CLSIDFromProgID(L"HDD.CHDDObject", &clsid);
    if (SUCCEEDED(hr)) {
        hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, __uuidof(ICHDDObject),
                              reinterpret_cast<void**>(&hdd));
    }
    if (SUCCEEDED(hr)) {
        status = Run(hdd, argc > 1 ? argv[1] : nullptr);
        hdd->Release();
    } else {
        std::printf("error: HDD.CHDDObject cannot be created (0x%08lX)\n", static_cast<ULONG>(hr));
    }
    std::printf("done\n");
    CoUninitialize();
    return status;
}
