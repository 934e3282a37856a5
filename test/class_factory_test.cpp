// The class object and the module: DllGetClassObject and DllCanUnloadNow,
// creation with and without an outer object, the server lock count, and the
// object's IDispatch over the (here faked) type information.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "object/chdd_object.h"
#include "object/hdd_guids.h"
#include "server/exports.h"
#include "server/module.h"
#include "support/server_fakes.h"

namespace hdd {
namespace {

// A controlling unknown that counts what the inner object forwards to it.
class OuterUnknown final : public IUnknown {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override
    {
        ++queries;
        if (IsEqualIID(riid, IID_IUnknown)) {
            *ppv = this;
            AddRef();
            return S_OK;
        }
        return inner != nullptr ? inner->QueryInterface(riid, ppv) : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
    IUnknown* inner = nullptr;
    ULONG refs = 1;
    int queries = 0;
};

class ServerFrameTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(ServerCanUnloadNow(), S_OK) << "an earlier test left the server locked"; }
    void TearDown() override
    {
        EXPECT_EQ(ServerCanUnloadNow(), S_OK);
        Module().Term();
    }
    IClassFactory* Factory()
    {
        IClassFactory* pFactory = nullptr;
        EXPECT_EQ(ServerGetClassObject(CLSID_CHDDObject, IID_IClassFactory, reinterpret_cast<void**>(&pFactory)), S_OK);
        return pFactory;
    }
};

TEST_F(ServerFrameTest, GetClassObjectAnswersEveryCaseOfItsTable)
{
    void* const junk = reinterpret_cast<void*>(0x1234);
    const struct {
        const char* name;
        const CLSID* clsid;
        const IID* iid;
        HRESULT expected;
    } cases[] = {
        {"class factory", &CLSID_CHDDObject, &IID_IClassFactory, S_OK},
        {"IUnknown", &CLSID_CHDDObject, &IID_IUnknown, S_OK},
        {"unknown class", &IID_ICHDDObject, &IID_IClassFactory, CLASS_E_CLASSNOTAVAILABLE},
        {"unknown class and interface", &LIBID_HDDLib, &IID_IDispatch, CLASS_E_CLASSNOTAVAILABLE},
        {"interface the class object lacks", &CLSID_CHDDObject, &IID_IDispatch, E_NOINTERFACE},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        void* pv = junk;
        EXPECT_EQ(ServerGetClassObject(*c.clsid, *c.iid, &pv), c.expected);
        if (SUCCEEDED(c.expected)) {
            ASSERT_NE(pv, nullptr);
            EXPECT_EQ(ServerCanUnloadNow(), S_FALSE);
            static_cast<IUnknown*>(pv)->Release();
        } else {
            EXPECT_EQ(pv, nullptr);
        }
        EXPECT_EQ(ServerCanUnloadNow(), S_OK);
    }
    EXPECT_EQ(ServerGetClassObject(CLSID_CHDDObject, IID_IClassFactory, nullptr), E_POINTER);
}

TEST_F(ServerFrameTest, ClassObjectIsCachedAndLocksTheServerOnceWhileClientsHoldIt)
{
    IClassFactory* first = Factory();
    IClassFactory* second = Factory();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first, second);
    // Any number of client references count as one lock.
    EXPECT_EQ(Module().GetLockCount(), 1);
    first->AddRef();
    EXPECT_EQ(Module().GetLockCount(), 1);
    first->Release();
    second->Release();
    EXPECT_EQ(Module().GetLockCount(), 1);
    first->Release();
    EXPECT_EQ(Module().GetLockCount(), 0);
    EXPECT_EQ(ServerCanUnloadNow(), S_OK);
}

TEST_F(ServerFrameTest, CanUnloadNowCountsObjectsClassObjectAndLockServer)
{
    IClassFactory* pFactory = Factory();
    ICHDDObject* pObject = nullptr;
    ASSERT_EQ(pFactory->CreateInstance(nullptr, IID_ICHDDObject, reinterpret_cast<void**>(&pObject)), S_OK);
    EXPECT_EQ(Module().GetLockCount(), 2);  // the object and the held class object
    ASSERT_EQ(pFactory->LockServer(TRUE), S_OK);
    ASSERT_EQ(pFactory->LockServer(TRUE), S_OK);
    pFactory->Release();
    EXPECT_EQ(Module().GetLockCount(), 3);
    pObject->Release();
    EXPECT_EQ(ServerCanUnloadNow(), S_FALSE);  // LockServer locks remain

    pFactory = Factory();
    ASSERT_EQ(pFactory->LockServer(FALSE), S_OK);
    ASSERT_EQ(pFactory->LockServer(FALSE), S_OK);
    EXPECT_EQ(ServerCanUnloadNow(), S_FALSE);  // the class object is still held
    pFactory->Release();
    EXPECT_EQ(ServerCanUnloadNow(), S_OK);
}

TEST_F(ServerFrameTest, CreateInstanceRefusesWhatItCannotServe)
{
    IClassFactory* pFactory = Factory();
    OuterUnknown outer;
    const struct {
        const char* name;
        IUnknown* outer;
        const IID* iid;
        HRESULT expected;
    } cases[] = {
        {"aggregated, asking for ICHDDObject", &outer, &IID_ICHDDObject, CLASS_E_NOAGGREGATION},
        {"aggregated, asking for IDispatch", &outer, &IID_IDispatch, CLASS_E_NOAGGREGATION},
        {"interface the object lacks", nullptr, &IID_IClassFactory, E_NOINTERFACE},
        {"marshalling", nullptr, &IID_IMarshal, E_NOINTERFACE},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        void* pv = reinterpret_cast<void*>(0x1234);
        EXPECT_EQ(pFactory->CreateInstance(c.outer, *c.iid, &pv), c.expected);
        EXPECT_EQ(pv, nullptr);
        EXPECT_EQ(Module().GetLockCount(), 1) << "an object was left behind";
    }
    EXPECT_EQ(pFactory->CreateInstance(nullptr, IID_IUnknown, nullptr), E_POINTER);
    EXPECT_EQ(outer.refs, 1u);
    pFactory->Release();
}

TEST_F(ServerFrameTest, ObjectAnswersExactlyItsFourInterfaces)
{
    IClassFactory* pFactory = Factory();
    IUnknown* pUnk = nullptr;
    ASSERT_EQ(pFactory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&pUnk)), S_OK);
    pFactory->Release();

    const struct {
        const char* name;
        const IID* iid;
        HRESULT expected;
    } cases[] = {
        {"IUnknown", &IID_IUnknown, S_OK},
        {"IDispatch", &IID_IDispatch, S_OK},
        {"ICHDDObject", &IID_ICHDDObject, S_OK},
        {"IConnectionPointContainer", &IID_IConnectionPointContainer, S_OK},
        {"IProvideClassInfo", &IID_IProvideClassInfo, E_NOINTERFACE},
        {"ISupportErrorInfo", &IID_ISupportErrorInfo, E_NOINTERFACE},
        {"IMarshal", &IID_IMarshal, E_NOINTERFACE},
        {"IConnectionPoint", &IID_IConnectionPoint, E_NOINTERFACE},
        {"IClassFactory", &IID_IClassFactory, E_NOINTERFACE},
        {"the events interface", &DIID__ICHDDObjectEvents, E_NOINTERFACE},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        void* pv = reinterpret_cast<void*>(0x1234);
        EXPECT_EQ(pUnk->QueryInterface(*c.iid, &pv), c.expected);
        if (c.expected == S_OK) {
            ASSERT_NE(pv, nullptr);
            static_cast<IUnknown*>(pv)->Release();
        } else {
            EXPECT_EQ(pv, nullptr);
        }
    }
    void* pDispatch = nullptr;
    void* pDual = nullptr;
    ASSERT_EQ(pUnk->QueryInterface(IID_IDispatch, &pDispatch), S_OK);
    ASSERT_EQ(pUnk->QueryInterface(IID_ICHDDObject, &pDual), S_OK);
    EXPECT_EQ(pDispatch, pDual);
    static_cast<IUnknown*>(pDispatch)->Release();
    static_cast<IUnknown*>(pDual)->Release();
    EXPECT_EQ(pUnk->Release(), 0u);
}

TEST_F(ServerFrameTest, AggregatedObjectDelegatesToItsOuterObject)
{
    IClassFactory* pFactory = Factory();
    OuterUnknown outer;
    ASSERT_EQ(pFactory->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&outer.inner)), S_OK);
    pFactory->Release();
    ASSERT_NE(outer.inner, nullptr);
    EXPECT_EQ(outer.refs, 1u) << "creation must not leave references on the outer object";

    ICHDDObject* pObject = nullptr;
    ASSERT_EQ(outer.inner->QueryInterface(IID_ICHDDObject, reinterpret_cast<void**>(&pObject)), S_OK);
    EXPECT_EQ(outer.refs, 2u);  // the interface counts on the outer object
    IUnknown* pIdentity = nullptr;
    ASSERT_EQ(pObject->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&pIdentity)), S_OK);
    EXPECT_EQ(pIdentity, &outer);  // the aggregate's identity is the outer object
    EXPECT_GE(outer.queries, 1);
    pIdentity->Release();
    pObject->Release();
    EXPECT_EQ(outer.refs, 1u);
    EXPECT_EQ(Module().GetLockCount(), 1);
    EXPECT_EQ(outer.inner->Release(), 0u);
    EXPECT_EQ(Module().GetLockCount(), 0);
}

// ---- IDispatch ---------------------------------------------------------------------

class ObjectDispatchTest : public ServerFrameTest {
protected:
    void SetUp() override
    {
        ServerFrameTest::SetUp();
        IClassFactory* pFactory = Factory();
        ASSERT_EQ(pFactory->CreateInstance(nullptr, IID_ICHDDObject, reinterpret_cast<void**>(&object)), S_OK);
        pFactory->Release();
    }
    void TearDown() override
    {
        object->Release();
        ServerFrameTest::TearDown();
    }
    ICHDDObject* object = nullptr;
};

TEST_F(ObjectDispatchTest, WithoutARegisteredLibraryEveryCallAnswersTheLoadersError)
{
    UINT count = 0;
    EXPECT_EQ(object->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(object->GetTypeInfoCount(nullptr), E_POINTER);

    testing::FakeTypeLibs typeLibs;
    typeLibs.typeInfoResult = TYPE_E_LIBNOTREGISTERED;
    ScopedTypeLibApi scope(typeLibs);
    ITypeInfo* pTInfo = reinterpret_cast<ITypeInfo*>(0x1234);
    EXPECT_EQ(object->GetTypeInfo(0, 0x0409, &pTInfo), TYPE_E_LIBNOTREGISTERED);
    EXPECT_EQ(pTInfo, nullptr);
    WCHAR name[] = L"Abort";
    LPOLESTR names[] = {name};
    DISPID id = 0;
    EXPECT_EQ(object->GetIDsOfNames(IID_NULL, names, 1, 0x0409, &id), TYPE_E_LIBNOTREGISTERED);
    DISPPARAMS params{nullptr, nullptr, 0, 0};
    EXPECT_EQ(object->Invoke(HDD_DISPID_Abort, IID_NULL, 0x0409, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr),
              TYPE_E_LIBNOTREGISTERED);
    // A failed load is not remembered: registering later makes it work.
    EXPECT_EQ(typeLibs.typeInfoLoads, 3);
    typeLibs.typeInfoResult = S_OK;
    EXPECT_EQ(object->GetIDsOfNames(IID_NULL, names, 1, 0x0409, &id), S_OK);
    Module().Term();
    EXPECT_EQ(typeLibs.typeInfoRefs, 0);
}

TEST_F(ObjectDispatchTest, TypeInformationIsLoadedOnceAndServesEveryCall)
{
    testing::FakeTypeLibs typeLibs;
    ScopedTypeLibApi scope(typeLibs);

    ITypeInfo* pTInfo = nullptr;
    EXPECT_EQ(object->GetTypeInfo(1, 0x0409, &pTInfo), DISP_E_BADINDEX);
    EXPECT_EQ(object->GetTypeInfo(0, 0x0407, nullptr), E_POINTER);
    ASSERT_EQ(object->GetTypeInfo(0, 0x0407, &pTInfo), S_OK);
    EXPECT_EQ(pTInfo, testing::FakeTypeLibs::InfoToken());
    EXPECT_EQ(typeLibs.lastTypeInfoLcid, 0x0407u);  // the caller's locale
    EXPECT_EQ(typeLibs.typeInfoRefs, 2);            // the module's and the caller's
    typeLibs.ReleaseTypeInfo(pTInfo);

    WCHAR name[] = L"Abort";
    LPOLESTR names[] = {name};
    DISPID id = 0;
    EXPECT_EQ(object->GetIDsOfNames(IID_NULL, names, 1, 0x0409, &id), S_OK);
    EXPECT_EQ(id, 100);
    EXPECT_EQ(object->GetIDsOfNames(IID_IDispatch, names, 1, 0x0409, &id), DISP_E_UNKNOWNINTERFACE);
    DISPPARAMS params{nullptr, nullptr, 0, 0};
    EXPECT_EQ(object->Invoke(HDD_DISPID_Abort, IID_NULL, 0x0409, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr),
              S_OK);
    EXPECT_EQ(typeLibs.lastInvokeThis, static_cast<void*>(object));  // the dual interface's own vtable
    EXPECT_EQ(typeLibs.lastInvokeId, HDD_DISPID_Abort);
    EXPECT_EQ(object->Invoke(HDD_DISPID_Abort, IID_ICHDDObject, 0x0409, DISPATCH_METHOD, &params, nullptr, nullptr,
                             nullptr),
              DISP_E_UNKNOWNINTERFACE);
    EXPECT_EQ(typeLibs.typeInfoLoads, 1);

    Module().Term();  // unload releases the cached type information
    EXPECT_EQ(typeLibs.typeInfoRefs, 0);
}

}  // namespace
}  // namespace hdd
