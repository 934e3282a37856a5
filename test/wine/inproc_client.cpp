// A compiled automation client of the registered component, built for both
// platforms: in a single-threaded apartment it creates HDD.CHDDObject by its
// ProgID as an in-process server, calls GetHardDiskInfo and a test with a
// callback through IDispatch (so through the registered type library), and
// shows that the server ran in this process and called back on this thread.
//
//   hdd_inproc_client        prints "module <path of the loaded HDD.dll>",
//                            the report's length, the callbacks, the test's
//                            result and "done"; exit status 0 when all held
#include <cstdio>
#include <string>

#include "platform/win32.h"

namespace {

// Counts the progress calls (DISPID 0) and whether each came on `thread`.
class Callback final : public IDispatch {
public:
    explicit Callback(DWORD thread) : m_thread(thread) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override
    {
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch)) {
            *ppv = static_cast<IDispatch*>(this);
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }  // lives on the stack
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* p) override
    {
        *p = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* pParams, VARIANT*, EXCEPINFO*,
                                     UINT*) override
    {
        ++calls;
        if (id != 0 || pParams == nullptr || pParams->cArgs != 3 || ::GetCurrentThreadId() != m_thread) {
            ++wrong;
        }
        return S_OK;
    }
    int calls = 0;
    int wrong = 0;

private:
    DWORD m_thread;
};

// Calls a method by name with the arguments in call order; the result
// variant is the method's retval.
HRESULT Call(IDispatch* pObject, const wchar_t* name, VARIANT* args, UINT count, VARIANT& result)
{
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    DISPID id = 0;
    HRESULT hr = pObject->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr)) {
        return hr;
    }
    VARIANT reversed[2];
    for (UINT i = 0; i < count; ++i) {
        reversed[i] = args[count - 1 - i];  // DISPPARAMS holds them last first
    }
    DISPPARAMS params{count > 0 ? reversed : nullptr, nullptr, count, 0};
    ::VariantInit(&result);
    return pObject->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &result, nullptr, nullptr);
}

int Run()
{
    CLSID clsid{};
    HRESULT hr = ::CLSIDFromProgID(L"HDD.CHDDObject", &clsid);
    if (FAILED(hr)) {
        std::printf("error: HDD.CHDDObject is not registered (0x%08lX)\n", static_cast<ULONG>(hr));
        return 1;
    }
    IDispatch* pObject = nullptr;
    hr = ::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, reinterpret_cast<void**>(&pObject));
    if (FAILED(hr)) {
        std::printf("error: CoCreateInstance 0x%08lX\n", static_cast<ULONG>(hr));
        return 1;
    }
    int failures = 0;

    // In process: the server's file is a module of this process.
    HMODULE hDll = ::GetModuleHandleW(L"HDD.dll");
    WCHAR path[MAX_PATH] = {};
    if (hDll == nullptr || ::GetModuleFileNameW(hDll, path, MAX_PATH) == 0) {
        std::printf("error: HDD.dll is not loaded in this process\n");
        ++failures;
    } else {
        std::printf("module %ls\n", path);
    }

    VARIANT result;
    hr = Call(pObject, L"GetHardDiskInfo", nullptr, 0, result);
    if (FAILED(hr) || result.vt != VT_BSTR) {
        std::printf("error: GetHardDiskInfo 0x%08lX\n", static_cast<ULONG>(hr));
        ++failures;
    } else {
        std::printf("report %u characters\n", ::SysStringLen(result.bstrVal));
    }
    ::VariantClear(&result);

    Callback callback(::GetCurrentThreadId());
    VARIANT arg;
    arg.vt = VT_DISPATCH;
    arg.pdispVal = &callback;
    hr = Call(pObject, L"SetCallback", &arg, 1, result);
    if (FAILED(hr) || result.vt != VT_I4 || result.lVal != 0) {
        std::printf("error: SetCallback 0x%08lX\n", static_cast<ULONG>(hr));
        ++failures;
    }
    ::VariantClear(&result);

    arg.vt = VT_BSTR;
    arg.bstrVal = ::SysAllocString(L"0-1");
    hr = Call(pObject, L"HDDLinearSeekTest", &arg, 1, result);
    ::SysFreeString(arg.bstrVal);
    if (FAILED(hr) || result.vt != VT_I4) {
        std::printf("error: HDDLinearSeekTest 0x%08lX\n", static_cast<ULONG>(hr));
        ++failures;
    } else {
        std::printf("result 0x%08lX\n", static_cast<ULONG>(result.lVal));
    }
    ::VariantClear(&result);
    std::printf("callbacks %d, on another thread %d\n", callback.calls, callback.wrong);
    if (callback.calls == 0 || callback.wrong != 0) {
        ++failures;
    }
    Call(pObject, L"ReleaseCallback", nullptr, 0, result);
    ::VariantClear(&result);
    pObject->Release();
    return failures == 0 ? 0 : 1;
}

}  // namespace

int main()
{
    // The class's threading model is Apartment.
    if (FAILED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        std::printf("error: CoInitializeEx\n");
        return 1;
    }
    const int status = Run();
    ::CoUninitialize();
    std::printf("done\n");
    std::fflush(stdout);
    return status;
}
