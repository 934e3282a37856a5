// COM clients of the registered DLL: creation by ProgID, the interface set,
// aggregation, unloading, the connection point and calls through IDispatch.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "drive/hdd_constants.h"
#include "object/hdd_guids.h"
#include "object/ichddobject.h"
#include "wine_support.h"

namespace hdd::wine {
namespace {

class ComClient : public RegisteredServer {
protected:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(::CoInitialize(nullptr))); }
    void TearDown() override { ::CoUninitialize(); }

    static HRESULT CanUnloadNow()
    {
        HMODULE hDll = ::GetModuleHandleW(L"HDD.dll");
        if (hDll == nullptr) {
            return E_UNEXPECTED;
        }
        using Fn = HRESULT(STDAPICALLTYPE*)();
        return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(::GetProcAddress(hDll, "DllCanUnloadNow")))();
    }
    ICHDDObject* Create()
    {
        ICHDDObject* pObject = nullptr;
        EXPECT_EQ(::CoCreateInstance(CLSID_CHDDObject, nullptr, CLSCTX_INPROC_SERVER, IID_ICHDDObject,
                                     reinterpret_cast<void**>(&pObject)),
                  S_OK);
        return pObject;
    }
};

// A callback object in the manner of a script client: DISPID 0, three integers.
class Callback final : public IDispatch {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override
    {
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch)) {
            *ppv = this;
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* p) override
    {
        *p = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS* pParams, VARIANT*, EXCEPINFO*,
                                     UINT*) override
    {
        ++calls;
        EXPECT_EQ(pParams->cArgs, 3u);
        return S_OK;
    }
    int calls = 0;
};

TEST_F(ComClient, CreatedByBothProgIdsWithExactlyItsInterfaces)
{
    for (const wchar_t* progId : {L"HDD.CHDDObject", L"HDD.CHDDObject.1"}) {
        SCOPED_TRACE(std::string(progId, progId + wcslen(progId)));
        CLSID clsid{};
        ASSERT_EQ(::CLSIDFromProgID(progId, &clsid), S_OK);
        EXPECT_TRUE(IsEqualCLSID(clsid, CLSID_CHDDObject));
        IUnknown* pUnk = nullptr;
        ASSERT_EQ(::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                     reinterpret_cast<void**>(&pUnk)),
                  S_OK);
        const struct {
            const IID* iid;
            HRESULT expected;
        } cases[] = {
            {&IID_IDispatch, S_OK},
            {&IID_ICHDDObject, S_OK},
            {&IID_IConnectionPointContainer, S_OK},
            {&IID_IProvideClassInfo, E_NOINTERFACE},
            {&IID_ISupportErrorInfo, E_NOINTERFACE},
            {&IID_IMarshal, E_NOINTERFACE},
            {&IID_IPersist, E_NOINTERFACE},
        };
        for (const auto& c : cases) {
            void* pv = nullptr;
            EXPECT_EQ(pUnk->QueryInterface(*c.iid, &pv), c.expected);
            if (pv != nullptr) {
                static_cast<IUnknown*>(pv)->Release();
            }
        }
        void* pDispatch = nullptr;
        void* pDual = nullptr;
        ASSERT_EQ(pUnk->QueryInterface(IID_IDispatch, &pDispatch), S_OK);
        ASSERT_EQ(pUnk->QueryInterface(IID_ICHDDObject, &pDual), S_OK);
        EXPECT_EQ(pDispatch, pDual);
        static_cast<IUnknown*>(pDispatch)->Release();
        static_cast<IUnknown*>(pDual)->Release();
        pUnk->Release();
    }
}

TEST_F(ComClient, AggregationAndCanUnloadNow)
{
    struct Outer final : IUnknown {
        HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
        ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
        ULONG STDMETHODCALLTYPE Release() override { return --refs; }
        ULONG refs = 1;
    } outer;
    void* pv = reinterpret_cast<void*>(0x1234);
    EXPECT_EQ(::CoCreateInstance(CLSID_CHDDObject, &outer, CLSCTX_INPROC_SERVER, IID_ICHDDObject, &pv),
              CLASS_E_NOAGGREGATION);
    EXPECT_EQ(pv, nullptr);
    IUnknown* pInner = nullptr;
    ASSERT_EQ(::CoCreateInstance(CLSID_CHDDObject, &outer, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                 reinterpret_cast<void**>(&pInner)),
              S_OK);
    ICHDDObject* pObject = nullptr;
    ASSERT_EQ(pInner->QueryInterface(IID_ICHDDObject, reinterpret_cast<void**>(&pObject)), S_OK);
    EXPECT_EQ(outer.refs, 2u);  // counted on the outer object
    pObject->Release();
    EXPECT_EQ(CanUnloadNow(), S_FALSE);  // the aggregated object lives
    EXPECT_EQ(pInner->Release(), 0u);
    EXPECT_EQ(CanUnloadNow(), S_OK);

    IClassFactory* pFactory = nullptr;
    ASSERT_EQ(::CoGetClassObject(CLSID_CHDDObject, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                                 reinterpret_cast<void**>(&pFactory)),
              S_OK);
    EXPECT_EQ(CanUnloadNow(), S_FALSE);  // a client holds the class object
    ASSERT_EQ(pFactory->LockServer(TRUE), S_OK);
    pFactory->Release();
    EXPECT_EQ(CanUnloadNow(), S_FALSE);
    ASSERT_EQ(::CoGetClassObject(CLSID_CHDDObject, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                                 reinterpret_cast<void**>(&pFactory)),
              S_OK);
    ASSERT_EQ(pFactory->LockServer(FALSE), S_OK);
    pFactory->Release();
    EXPECT_EQ(CanUnloadNow(), S_OK);
}

TEST_F(ComClient, OneConnectionPointForTheEventsInterface)
{
    ICHDDObject* pObject = Create();
    ASSERT_NE(pObject, nullptr);
    IConnectionPointContainer* pContainer = nullptr;
    ASSERT_EQ(pObject->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&pContainer)), S_OK);
    IConnectionPoint* pPoint = nullptr;
    EXPECT_EQ(pContainer->FindConnectionPoint(IID_ICHDDObject, &pPoint), CONNECT_E_NOCONNECTION);
    EXPECT_EQ(pPoint, nullptr);
    ASSERT_EQ(pContainer->FindConnectionPoint(DIID__ICHDDObjectEvents, &pPoint), S_OK);
    Callback notASink;  // answers IDispatch, not the events interface
    DWORD cookie = 5;
    EXPECT_EQ(pPoint->Advise(&notASink, &cookie), CONNECT_E_CANNOTCONNECT);
    EXPECT_EQ(pPoint->Unadvise(42), CONNECT_E_NOCONNECTION);
    pPoint->Release();
    pContainer->Release();
    pObject->Release();
}

// Invokes a method by name through IDispatch.
HRESULT Call(IDispatch* pDisp, const wchar_t* name, std::vector<VARIANT> args, VARIANT* pResult)
{
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    DISPID id = 0;
    HRESULT hr = pDisp->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr)) {
        return hr;
    }
    std::vector<VARIANT> reversed(args.rbegin(), args.rend());  // arguments go last to first
    DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    EXCEPINFO excep{};
    UINT argErr = 0;
    return pDisp->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, pResult, &excep, &argErr);
}

VARIANT Bstr(BSTR text)
{
    VARIANT v;
    ::VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = text;
    return v;
}

TEST_F(ComClient, CppClientThroughIDispatch)
{
    ICHDDObject* pObject = Create();
    ASSERT_NE(pObject, nullptr);
    IDispatch* pDisp = pObject;

    UINT count = 0;
    EXPECT_EQ(pDisp->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 1u);
    const wchar_t* methods[] = {L"HDDLinearSeekTest", L"HDDFunnelSeekTest", L"HDDRandomSeekTest",
                                L"HDDSurfaceScanTest", L"SetCallback", L"ReleaseCallback", L"GetHardDiskInfo",
                                L"Abort", L"ZornGetLastError", L"StartHDDTest"};
    for (DISPID i = 0; i < 10; ++i) {
        LPOLESTR names[] = {const_cast<LPOLESTR>(methods[i])};
        DISPID id = -1;
        EXPECT_EQ(pDisp->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id), S_OK);
        EXPECT_EQ(id, i + 1);
    }
    LPOLESTR unknown[] = {const_cast<LPOLESTR>(L"NoSuchMethod")};
    DISPID id = 0;
    EXPECT_EQ(pDisp->GetIDsOfNames(IID_NULL, unknown, 1, LOCALE_USER_DEFAULT, &id), DISP_E_UNKNOWNNAME);

    Callback callback;
    VARIANT result;
    ::VariantInit(&result);
    VARIANT cb;
    ::VariantInit(&cb);
    cb.vt = VT_DISPATCH;
    cb.pdispVal = &callback;
    ASSERT_EQ(Call(pDisp, L"SetCallback", {cb}, &result), S_OK);
    EXPECT_EQ(result.vt, VT_I4);
    EXPECT_EQ(result.lVal, 0);

    // A null callback is refused through plRetVal; status 1 reaches an
    // automation client as success.
    cb.pdispVal = nullptr;
    ::VariantInit(&result);
    EXPECT_TRUE(SUCCEEDED(Call(pDisp, L"SetCallback", {cb}, &result)));
    EXPECT_EQ(result.lVal, static_cast<LONG>(E_INVALIDARG));

    ::VariantInit(&result);
    ASSERT_EQ(Call(pDisp, L"GetHardDiskInfo", {}, &result), S_OK);
    EXPECT_EQ(result.vt, VT_BSTR);  // under Wine no volume lies on an accepted disk
    ::VariantClear(&result);

    BSTR items = ::SysAllocString(L"0-1");
    VARIANT mask;
    ::VariantInit(&mask);
    mask.vt = VT_I4;
    mask.lVal = 1;
    EXPECT_TRUE(SUCCEEDED(Call(pDisp, L"StartHDDTest", {Bstr(items), mask}, nullptr)));

    for (const wchar_t* test : {L"HDDLinearSeekTest", L"HDDFunnelSeekTest", L"HDDRandomSeekTest",
                                L"HDDSurfaceScanTest"}) {
        SCOPED_TRACE(std::string(test, test + wcslen(test)));
        ::VariantInit(&result);
        const HRESULT hr = Call(pDisp, test, {Bstr(items)}, &result);
        EXPECT_TRUE(hr == S_OK || hr == S_FALSE) << std::hex << hr;
        EXPECT_EQ(result.vt, VT_I4);
        EXPECT_EQ(result.lVal, static_cast<LONG>(HDD_PARTITION_NOT_TESTABLE));  // no volume table under Wine
    }
    ::SysFreeString(items);

    ::VariantInit(&result);
    EXPECT_EQ(Call(pDisp, L"ZornGetLastError", {}, &result), S_OK);
    EXPECT_EQ(result.vt, VT_I4);
    EXPECT_EQ(Call(pDisp, L"ReleaseCallback", {}, nullptr), S_OK);
    EXPECT_EQ(Call(pDisp, L"Abort", {}, nullptr), S_OK);

    DISPPARAMS none{nullptr, nullptr, 0, 0};
    EXPECT_EQ(pDisp->Invoke(11, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr),
              DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(pObject->Release(), 0u);
}

}  // namespace
}  // namespace hdd::wine
