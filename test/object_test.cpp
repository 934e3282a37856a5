// The automation object's identity, lifetime and small methods.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "object/chdd_object.h"
#include "drive/hdd_constants.h"
#include "object/hdd_guids.h"
#include "platform/os_api.h"
#include "platform/sim/sim_machine.h"
#include "server/module.h"
#include "support/recording_dispatch.h"
#include "support/object_state.h"

namespace hdd {
namespace {

using testing::RecordingDispatch;

void* const kJunk = reinterpret_cast<void*>(static_cast<uintptr_t>(0x5A5A5A5A));

// An outer object that aggregates the component and counts what reaches it.
class CountingOuter final : public IUnknown {
public:
    ULONG addRefs = 0;
    ULONG releases = 0;
    std::vector<IID> queried;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override
    {
        queried.push_back(riid);
        *ppv = static_cast<IUnknown*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++addRefs; }
    ULONG STDMETHODCALLTYPE Release() override { return ++releases; }
};

// ---- identity and lifetime ------------------------------------------------------

TEST(ObjectIdentity, AnswersExactlyItsFourInterfaces)
{
    auto* pObject = new CCHDDObject();
    ASSERT_EQ(pObject->AddRef(), 1u);

    struct Row {
        const char* name;
        const IID* iid;
        void* expected;
    };
    const Row found[] = {
        {"IUnknown", &IID_IUnknown, static_cast<IUnknown*>(static_cast<ICHDDObject*>(pObject))},
        {"IDispatch", &IID_IDispatch, static_cast<IDispatch*>(static_cast<ICHDDObject*>(pObject))},
        {"ICHDDObject", &IID_ICHDDObject, static_cast<ICHDDObject*>(pObject)},
        {"IConnectionPointContainer", &IID_IConnectionPointContainer,
         static_cast<IConnectionPointContainer*>(pObject)},
    };
    ULONG cRef = 1;
    for (const Row& row : found) {
        SCOPED_TRACE(row.name);
        void* pv = kJunk;
        EXPECT_EQ(pObject->QueryInterface(*row.iid, &pv), S_OK);
        EXPECT_EQ(pv, row.expected);
        ++cRef;
        // Asked through the container, the same interface comes back.
        void* pv2 = kJunk;
        EXPECT_EQ(static_cast<IConnectionPointContainer*>(pObject)->QueryInterface(*row.iid, &pv2), S_OK);
        EXPECT_EQ(pv2, row.expected);
        ++cRef;
    }
    // IDispatch and ICHDDObject are one pointer.
    EXPECT_EQ(found[1].expected, found[2].expected);

    const Row missing[] = {
        {"IClassFactory", &IID_IClassFactory, nullptr},
        {"IConnectionPoint", &IID_IConnectionPoint, nullptr},
        {"IProvideClassInfo", &IID_IProvideClassInfo, nullptr},
        {"IMarshal", &IID_IMarshal, nullptr},
        {"the events interface", &DIID__ICHDDObjectEvents, nullptr},
        {"IID_NULL", &IID_NULL, nullptr},
    };
    for (const Row& row : missing) {
        SCOPED_TRACE(row.name);
        void* pv = kJunk;
        EXPECT_EQ(pObject->QueryInterface(*row.iid, &pv), E_NOINTERFACE);
        EXPECT_EQ(pv, nullptr);
    }
    EXPECT_EQ(pObject->QueryInterface(IID_IDispatch, nullptr), E_POINTER);

    // Every successful query added exactly one reference.
    EXPECT_EQ(pObject->AddRef(), cRef + 1);
    for (ULONG i = cRef + 1; i > 1; --i) {
        EXPECT_EQ(pObject->Release(), i - 1);
    }
    EXPECT_EQ(pObject->Release(), 0u);
}

TEST(ObjectIdentity, EachLiveObjectHoldsOneModuleLock)
{
    const LONG nBefore = Module().GetLockCount();
    auto* pFirst = new CCHDDObject();
    pFirst->AddRef();
    auto* pSecond = new CCHDDObject();
    pSecond->AddRef();
    EXPECT_EQ(Module().GetLockCount(), nBefore + 2);
    EXPECT_GE(ObjectState::Volumes(*pSecond).capacity(), 416u);

    // References do not take locks of their own.
    IDispatch* pDispatch = nullptr;
    ASSERT_EQ(pFirst->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&pDispatch)), S_OK);
    EXPECT_EQ(Module().GetLockCount(), nBefore + 2);
    EXPECT_EQ(pFirst->Release(), 1u);
    EXPECT_EQ(Module().GetLockCount(), nBefore + 2);

    EXPECT_EQ(pDispatch->Release(), 0u);
    EXPECT_EQ(Module().GetLockCount(), nBefore + 1);
    EXPECT_EQ(pSecond->Release(), 0u);
    EXPECT_EQ(Module().GetLockCount(), nBefore);
}

TEST(ObjectIdentity, AggregatedItDelegatesToTheOuterObject)
{
    const LONG nBefore = Module().GetLockCount();
    CountingOuter outer;
    auto* pObject = new CCHDDObject();
    pObject->SetOuterUnknown(&outer);
    IUnknown* pInner = pObject->GetInnerUnknown();
    EXPECT_EQ(pInner->AddRef(), 1u);

    // The inner unknown hands out interfaces whose counting reaches the outer object.
    ICHDDObject* pItf = nullptr;
    ASSERT_EQ(pInner->QueryInterface(IID_ICHDDObject, reinterpret_cast<void**>(&pItf)), S_OK);
    EXPECT_EQ(pItf, static_cast<ICHDDObject*>(pObject));
    EXPECT_EQ(outer.addRefs, 1u);
    pItf->AddRef();
    EXPECT_EQ(outer.addRefs, 2u);

    // A query on an interface is the outer object's to answer.
    void* pv = nullptr;
    EXPECT_EQ(pItf->QueryInterface(IID_IUnknown, &pv), S_OK);
    EXPECT_EQ(pv, static_cast<IUnknown*>(&outer));
    ASSERT_EQ(outer.queried.size(), 1u);
    EXPECT_TRUE(IsEqualIID(outer.queried[0], IID_IUnknown));

    pItf->Release();
    pItf->Release();
    EXPECT_EQ(outer.releases, 2u);

    // The inner unknown's own IUnknown is itself, counted on the object.
    void* pSelf = nullptr;
    ASSERT_EQ(pInner->QueryInterface(IID_IUnknown, &pSelf), S_OK);
    EXPECT_EQ(pSelf, static_cast<void*>(pInner));
    EXPECT_EQ(pInner->Release(), 1u);
    void* pMissing = kJunk;
    EXPECT_EQ(pInner->QueryInterface(IID_IClassFactory, &pMissing), E_NOINTERFACE);
    EXPECT_EQ(pMissing, nullptr);

    EXPECT_EQ(Module().GetLockCount(), nBefore + 1);
    EXPECT_EQ(pInner->Release(), 0u);
    EXPECT_EQ(Module().GetLockCount(), nBefore);
    EXPECT_EQ(outer.addRefs, outer.releases + 1);  // pv still holds one
}

// ---- callback, abort, last error -----------------------------------------------------

class ObjectMethods : public ::testing::Test {
protected:
    sim::SimMachine machine{sim::BuiltinMachine()};
    ScopedOsApi scope{machine};
    RecordingDispatch first;
    RecordingDispatch second;
    CCHDDObject object;
};

TEST_F(ObjectMethods, SetCallbackStoresWithoutReferences)
{
    LONG lRet = 0x1234;
    EXPECT_EQ(object.SetCallback(&first, &lRet), HDD_STATUS_OK);
    EXPECT_EQ(lRet, 0);
    EXPECT_EQ(ObjectState::Callback(object), &first);

    lRet = 0x1234;
    EXPECT_EQ(object.SetCallback(&second, &lRet), HDD_STATUS_OK);
    EXPECT_EQ(lRet, 0);
    EXPECT_EQ(ObjectState::Callback(object), &second);
    for (const RecordingDispatch* p : {&first, &second}) {
        EXPECT_EQ(p->addRefs, 0u);
        EXPECT_EQ(p->releases, 0u);
    }
}

TEST_F(ObjectMethods, SetCallbackRejectsNullPointers)
{
    LONG lRet = 0;
    ASSERT_EQ(object.SetCallback(&first, &lRet), HDD_STATUS_OK);

    // Without a place for the result nothing changes.
    EXPECT_EQ(object.SetCallback(&second, nullptr), HDD_STATUS_FAILED);
    EXPECT_EQ(ObjectState::Callback(object), &first);

    lRet = 0x1234;
    EXPECT_EQ(object.SetCallback(nullptr, &lRet), HDD_STATUS_FAILED);
    EXPECT_EQ(lRet, static_cast<LONG>(0x80070057u));
    EXPECT_EQ(ObjectState::Callback(object), &first);

    // A fresh object given no usable pointer stays without a callback.
    CCHDDObject fresh;
    EXPECT_EQ(fresh.SetCallback(&second, nullptr), HDD_STATUS_FAILED);
    EXPECT_EQ(ObjectState::Callback(fresh), nullptr);
    fresh.FireProgress(0);
    EXPECT_TRUE(second.events.empty());
}

TEST_F(ObjectMethods, ReleaseCallbackAndAbortForgetTheCallback)
{
    EXPECT_EQ(object.ReleaseCallback(), HDD_STATUS_OK);  // none set
    EXPECT_EQ(ObjectState::Callback(object), nullptr);

    LONG lRet = 0;
    object.SetCallback(&first, &lRet);
    ObjectState::AbortFlag(object) = true;
    EXPECT_EQ(object.ReleaseCallback(), HDD_STATUS_OK);
    EXPECT_EQ(ObjectState::Callback(object), nullptr);
    EXPECT_TRUE(ObjectState::AbortFlag(object));  // not its business
    ObjectState::AbortFlag(object) = false;

    object.SetCallback(&first, &lRet);
    EXPECT_EQ(object.Abort(), HDD_STATUS_OK);
    EXPECT_EQ(ObjectState::Callback(object), nullptr);
    EXPECT_TRUE(ObjectState::AbortFlag(object));
    EXPECT_EQ(object.Abort(), HDD_STATUS_OK);  // again: still fine
    EXPECT_EQ(first.releases, 0u);

    // After an abort the client must set the callback again to hear progress.
    ObjectState::AbortFlag(object) = false;
    object.FireProgress(0);
    EXPECT_TRUE(first.events.empty());
    object.SetCallback(&first, &lRet);
    object.FireProgress(1);
    EXPECT_EQ(first.Values(HDD_EVENT_PERCENT), std::vector<INT>{1});
}

TEST_F(ObjectMethods, DestructionLeavesTheCallbackAlone)
{
    {
        auto* pObject = new CCHDDObject();
        pObject->AddRef();
        LONG lRet = 0;
        pObject->SetCallback(&first, &lRet);
        pObject->Release();
    }
    EXPECT_EQ(first.addRefs, 0u);
    EXPECT_EQ(first.releases, 0u);
    EXPECT_TRUE(first.events.empty());
}

TEST_F(ObjectMethods, ZornGetLastErrorReportsTheCurrentValue)
{
    const DWORD values[] = {0, 5, 1117, 0x80000000u, 0xFFFFFFFFu};
    for (DWORD dwValue : values) {
        SCOPED_TRACE(dwValue);
        machine.SetLastError(dwValue);
        LONG lRet = 0x1234;
        EXPECT_EQ(object.ZornGetLastError(&lRet), HDD_STATUS_OK);
        EXPECT_EQ(lRet, static_cast<LONG>(dwValue));
    }
    // No copy is kept: a value set in between is what it reports.
    machine.SetLastError(21);
    LONG lRet = 0;
    object.ZornGetLastError(&lRet);
    machine.SetLastError(0);
    object.ZornGetLastError(&lRet);
    EXPECT_EQ(lRet, 0);

    machine.SetLastError(87);
    EXPECT_EQ(object.ZornGetLastError(nullptr), HDD_STATUS_FAILED);
    EXPECT_EQ(machine.GetLastError(), 87u);
}

}  // namespace
}  // namespace hdd
