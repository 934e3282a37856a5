// The public header HDD.h, made by widl from HDD.idl, against the component's
// own declarations: the same methods with the same C++ types in the same
// vtable slots, and the same identifiers. A front end built against HDD.h
// calls the component through these slots.
#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>

// The component's interface under another name, so the header's can stand
// beside it.
#define ICHDDObject ComponentICHDDObject
#include "object/method_table.h"
#undef ICHDDObject

#include "HDD.h"

// HDD_i.c compiled under names of its own (sdk_guids.c).
extern "C" {
extern const IID sdk_IID_ICHDDObject;
extern const GUID sdk_LIBID_HDDLib;
extern const IID sdk_DIID__ICHDDObjectEvents;
extern const CLSID sdk_CLSID_CHDDObject;
}

namespace hdd {
namespace {

using method_table_detail::ParamType;

// ---- the header's member types, against the method table ----------------------
// The compiler already holds the component's members to the table.

template <class Interface, size_t M, size_t... P>
auto PointerIn(std::index_sequence<P...>) -> HRESULT (STDMETHODCALLTYPE Interface::*)(ParamType<M, P>...);

template <class Interface, size_t M>
using TablePointer = decltype(PointerIn<Interface, M>(std::make_index_sequence<kICHDDObjectMethods[M].ParamCount()>()));

static_assert(std::is_base_of_v<IDispatch, ::ICHDDObject>);
static_assert(std::is_polymorphic_v<::ICHDDObject> && sizeof(::ICHDDObject) == sizeof(void*),
              "the header's interface is one vtable pointer");

#define HDD_SDK_METHODS(X)                                                                                   \
    X(0, HDDLinearSeekTest)                                                                                  \
    X(1, HDDFunnelSeekTest) X(2, HDDRandomSeekTest) X(3, HDDSurfaceScanTest) X(4, SetCallback)              \
        X(5, ReleaseCallback) X(6, GetHardDiskInfo) X(7, Abort) X(8, ZornGetLastError) X(9, StartHDDTest)

#define HDD_SDK_CHECK_MEMBER(M, member)                                                                     \
    static_assert(method_table_detail::SameName(kICHDDObjectMethods[M].name, #member),                      \
                  "this list names the table's methods in slot order");                                       \
    static_assert(std::is_same_v<decltype(&::ICHDDObject::member), TablePointer<::ICHDDObject, M>>,           \
                  "HDD.h declares " #member " with other C++ types than the component");
HDD_SDK_METHODS(HDD_SDK_CHECK_MEMBER)
#undef HDD_SDK_CHECK_MEMBER
static_assert(kICHDDObjectMethodCount == 10);

// ---- the slots: calls through the component's declaration reach the
// header's member of the same name ---------------------------------------------

class Recorder final : public ::ICHDDObject {
public:
    const char* called = nullptr;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override { return Record("QueryInterface"); }
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return Record("GetTypeInfoCount"); }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return Record("GetTypeInfo"); }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override
    {
        return Record("GetIDsOfNames");
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override
    {
        return Record("Invoke");
    }
    HRESULT STDMETHODCALLTYPE HDDLinearSeekTest(BSTR, LONG*) override { return Record("HDDLinearSeekTest"); }
    HRESULT STDMETHODCALLTYPE HDDFunnelSeekTest(BSTR, LONG*) override { return Record("HDDFunnelSeekTest"); }
    HRESULT STDMETHODCALLTYPE HDDRandomSeekTest(BSTR, LONG*) override { return Record("HDDRandomSeekTest"); }
    HRESULT STDMETHODCALLTYPE HDDSurfaceScanTest(BSTR, LONG*) override { return Record("HDDSurfaceScanTest"); }
    HRESULT STDMETHODCALLTYPE SetCallback(IDispatch*, LONG*) override { return Record("SetCallback"); }
    HRESULT STDMETHODCALLTYPE ReleaseCallback() override { return Record("ReleaseCallback"); }
    HRESULT STDMETHODCALLTYPE GetHardDiskInfo(BSTR*) override { return Record("GetHardDiskInfo"); }
    HRESULT STDMETHODCALLTYPE Abort() override { return Record("Abort"); }
    HRESULT STDMETHODCALLTYPE ZornGetLastError(LONG*) override { return Record("ZornGetLastError"); }
    HRESULT STDMETHODCALLTYPE StartHDDTest(BSTR, ULONG) override { return Record("StartHDDTest"); }

private:
    HRESULT Record(const char* name)
    {
        called = name;
        return S_OK;
    }
};

// Calls a member of the component's declaration with null and zero arguments.
template <class... Args>
void CallSlot(ComponentICHDDObject* pObject, HRESULT (STDMETHODCALLTYPE ComponentICHDDObject::*pMember)(Args...))
{
    (void)(pObject->*pMember)(Args{}...);
}

template <size_t... M>
void ExpectEverySlot(Recorder& recorder, std::index_sequence<M...>)
{
    // As a client does: the header's object used through the other
    // declaration of the same interface.
    auto* pObject = reinterpret_cast<ComponentICHDDObject*>(static_cast<::ICHDDObject*>(&recorder));
    (
        [&] {
            const auto& member = std::get<M>(kICHDDObjectMembers);
            SCOPED_TRACE(member.name);
            recorder.called = nullptr;
            CallSlot(pObject, member.pointer);
            ASSERT_NE(recorder.called, nullptr);
            EXPECT_EQ(std::string(recorder.called), member.name);
        }(),
        ...);
}

TEST(SdkHeader, EverySlotOfTheComponentReachesTheHeadersMemberOfThatName)
{
    Recorder recorder;
    ExpectEverySlot(recorder, std::make_index_sequence<kICHDDObjectMethodCount>());
}

TEST(SdkHeader, IdentifiersAreTheComponents)
{
    const struct {
        const char* name;
        const GUID& header;   // the header's own __uuidof, or HDD_i.c
        const GUID& component;
    } cases[] = {
        {"IID_ICHDDObject (HDD_i.c)", sdk_IID_ICHDDObject, IID_ICHDDObject},
        {"IID_ICHDDObject (__uuidof)", __uuidof(::ICHDDObject), IID_ICHDDObject},
        {"CLSID_CHDDObject (HDD_i.c)", sdk_CLSID_CHDDObject, CLSID_CHDDObject},
        {"CLSID_CHDDObject (__uuidof)", __uuidof(CHDDObject), CLSID_CHDDObject},
        {"DIID__ICHDDObjectEvents (HDD_i.c)", sdk_DIID__ICHDDObjectEvents, DIID__ICHDDObjectEvents},
        {"DIID__ICHDDObjectEvents (__uuidof)", __uuidof(_ICHDDObjectEvents), DIID__ICHDDObjectEvents},
        {"LIBID_HDDLib (HDD_i.c)", sdk_LIBID_HDDLib, LIBID_HDDLib},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_TRUE(IsEqualGUID(c.header, c.component));
    }
}

}  // namespace
}  // namespace hdd
