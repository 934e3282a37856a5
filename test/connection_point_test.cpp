// The object's connection-point container and its one connection point.
#include <gtest/gtest.h>

#include <vector>

#include "object/chdd_object.h"
#include "object/hdd_guids.h"
#include "server/exports.h"
#include "server/module.h"

namespace hdd {
namespace {

// A sink that answers for the events interface only when told to, and
// counts the references it is given.
class Sink final : public IUnknown {
public:
    explicit Sink(bool answersEvents) : m_answersEvents(answersEvents) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override
    {
        if (IsEqualIID(riid, IID_IUnknown) || (m_answersEvents && IsEqualIID(riid, DIID__ICHDDObjectEvents))) {
            *ppv = this;
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
    ULONG refs = 1;

private:
    bool m_answersEvents;
};

class ConnectionPointTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(ServerCanUnloadNow(), S_OK);
        object = new CCHDDObject();
        object->AddRef();
        ASSERT_EQ(object->FindConnectionPoint(DIID__ICHDDObjectEvents, &point), S_OK);
    }
    void TearDown() override
    {
        if (point != nullptr) {
            point->Release();
        }
        if (object != nullptr) {
            EXPECT_EQ(object->Release(), 0u);
        }
        EXPECT_EQ(ServerCanUnloadNow(), S_OK);
    }
    std::vector<DWORD> Cookies()
    {
        IEnumConnections* pEnum = nullptr;
        EXPECT_EQ(point->EnumConnections(&pEnum), S_OK);
        std::vector<DWORD> cookies;
        CONNECTDATA data{};
        while (pEnum->Next(1, &data, nullptr) == S_OK) {
            cookies.push_back(data.dwCookie);
            data.pUnk->Release();
        }
        pEnum->Release();
        return cookies;
    }
    CCHDDObject* object = nullptr;
    IConnectionPoint* point = nullptr;
};

TEST_F(ConnectionPointTest, FindConnectionPointKnowsOnlyTheEventsInterface)
{
    const IID* others[] = {&IID_ICHDDObject, &IID_IDispatch, &IID_IUnknown, &CLSID_CHDDObject};
    for (const IID* iid : others) {
        IConnectionPoint* pOther = reinterpret_cast<IConnectionPoint*>(0x1234);
        EXPECT_EQ(object->FindConnectionPoint(*iid, &pOther), CONNECT_E_NOCONNECTION);
        EXPECT_EQ(pOther, nullptr);
    }
    EXPECT_EQ(object->FindConnectionPoint(DIID__ICHDDObjectEvents, nullptr), E_POINTER);

    IID iid{};
    EXPECT_EQ(point->GetConnectionInterface(&iid), S_OK);
    EXPECT_TRUE(IsEqualIID(iid, DIID__ICHDDObjectEvents));
    IConnectionPointContainer* pContainer = nullptr;
    ASSERT_EQ(point->GetConnectionPointContainer(&pContainer), S_OK);
    EXPECT_EQ(pContainer, static_cast<IConnectionPointContainer*>(object));
    pContainer->Release();

    void* pv = nullptr;
    EXPECT_EQ(point->QueryInterface(IID_IConnectionPoint, &pv), S_OK);
    EXPECT_EQ(pv, static_cast<void*>(point));
    static_cast<IUnknown*>(pv)->Release();
    EXPECT_EQ(point->QueryInterface(IID_IDispatch, &pv), E_NOINTERFACE);
}

TEST_F(ConnectionPointTest, AdviseNeedsTheEventsInterfaceAndUnadviseKnownCookies)
{
    Sink refuses(false);
    DWORD cookie = 77;
    EXPECT_EQ(point->Advise(&refuses, &cookie), CONNECT_E_CANNOTCONNECT);
    EXPECT_EQ(cookie, 0u);
    EXPECT_EQ(refuses.refs, 1u);
    EXPECT_EQ(point->Advise(nullptr, &cookie), E_POINTER);

    Sink a(true);
    Sink b(true);
    DWORD cookieA = 0;
    DWORD cookieB = 0;
    ASSERT_EQ(point->Advise(&a, &cookieA), S_OK);
    ASSERT_EQ(point->Advise(&b, &cookieB), S_OK);
    EXPECT_NE(cookieA, 0u);
    EXPECT_NE(cookieA, cookieB);
    EXPECT_EQ(a.refs, 2u);
    EXPECT_EQ(Cookies(), (std::vector<DWORD>{cookieA, cookieB}));

    for (DWORD bad : {DWORD{0}, cookieB + 1, DWORD{0xFFFFFFFF}}) {
        EXPECT_EQ(point->Unadvise(bad), CONNECT_E_NOCONNECTION) << bad;
    }
    ASSERT_EQ(point->Unadvise(cookieA), S_OK);
    EXPECT_EQ(a.refs, 1u);
    EXPECT_EQ(point->Unadvise(cookieA), CONNECT_E_NOCONNECTION);  // not twice
    EXPECT_EQ(Cookies(), std::vector<DWORD>{cookieB});

    // Destroying the object releases the sinks still advised.
    point->Release();
    point = nullptr;
    EXPECT_EQ(object->Release(), 0u);
    object = nullptr;
    EXPECT_EQ(b.refs, 1u);
}

TEST_F(ConnectionPointTest, EnumeratorsAreSnapshotsThatKeepTheServerLoaded)
{
    Sink sink(true);
    DWORD cookie = 0;
    ASSERT_EQ(point->Advise(&sink, &cookie), S_OK);
    IEnumConnections* pEnum = nullptr;
    ASSERT_EQ(point->EnumConnections(&pEnum), S_OK);
    ASSERT_EQ(point->Unadvise(cookie), S_OK);  // the snapshot still lists it

    CONNECTDATA data[2]{};
    ULONG fetched = 9;
    EXPECT_EQ(pEnum->Next(2, data, nullptr), E_POINTER);
    EXPECT_EQ(pEnum->Next(2, data, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 1u);
    EXPECT_EQ(data[0].dwCookie, cookie);
    EXPECT_EQ(data[0].pUnk, &sink);
    data[0].pUnk->Release();
    EXPECT_EQ(pEnum->Next(1, data, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 0u);
    EXPECT_EQ(pEnum->Reset(), S_OK);
    EXPECT_EQ(pEnum->Skip(2), S_FALSE);
    EXPECT_EQ(pEnum->Reset(), S_OK);
    IEnumConnections* pClone = nullptr;
    ASSERT_EQ(pEnum->Clone(&pClone), S_OK);
    EXPECT_EQ(pClone->Next(1, data, nullptr), S_OK);
    data[0].pUnk->Release();
    pClone->Release();

    // Held past the object's life, it keeps the server from unloading.
    point->Release();
    point = nullptr;
    EXPECT_EQ(object->Release(), 0u);
    object = nullptr;
    EXPECT_EQ(ServerCanUnloadNow(), S_FALSE);
    EXPECT_EQ(sink.refs, 2u);
    pEnum->Release();
    EXPECT_EQ(sink.refs, 1u);
}

TEST_F(ConnectionPointTest, EnumConnectionPointsListsTheOnePoint)
{
    EXPECT_EQ(object->EnumConnectionPoints(nullptr), E_POINTER);
    IEnumConnectionPoints* pEnum = nullptr;
    ASSERT_EQ(object->EnumConnectionPoints(&pEnum), S_OK);
    IConnectionPoint* points[2] = {};
    ULONG fetched = 0;
    EXPECT_EQ(pEnum->Next(2, points, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 1u);
    EXPECT_EQ(points[0], point);
    points[0]->Release();
    void* pv = nullptr;
    EXPECT_EQ(pEnum->QueryInterface(IID_IEnumConnectionPoints, &pv), S_OK);
    static_cast<IUnknown*>(pv)->Release();
    EXPECT_EQ(pEnum->QueryInterface(IID_IEnumConnections, &pv), E_NOINTERFACE);
    pEnum->Release();
}

}  // namespace
}  // namespace hdd
