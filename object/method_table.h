// The methods of ICHDDObject, written down once: names, DISPIDs, parameter
// names, automation types and directions. The type-library writer builds the
// library from this table; the compiler holds the C++ interface to it (below),
// and a unit test holds the interface's slot order and HDD.idl to it.
#pragma once

#include <array>
#include <cstddef>
#include <tuple>
#include <type_traits>
#include <utility>

#include "object/ichddobject.h"

namespace hdd {

// The automation type of a parameter's value.
enum class AutomationType { Bstr, Dispatch, Long, ULong };

// [in] passes the value itself; [out, retval] a pointer to where it goes.
enum class ParamDirection { In, OutRetval };

struct MethodParam {
    const wchar_t* name;  // null: no parameter in this place
    AutomationType type;
    ParamDirection direction;
};

struct MethodEntry {
    const wchar_t* name;
    DISPID dispid;
    std::array<MethodParam, 2> params;

    constexpr UINT ParamCount() const
    {
        UINT count = 0;
        while (count < params.size() && params[count].name != nullptr) {
            ++count;
        }
        return count;
    }
};

namespace method_table_detail {
constexpr MethodParam In(const wchar_t* name, AutomationType type)
{
    return {name, type, ParamDirection::In};
}
constexpr MethodParam Retval(const wchar_t* name, AutomationType type)
{
    return {name, type, ParamDirection::OutRetval};
}
}  // namespace method_table_detail

// In slot order after the seven IDispatch slots, which is DISPID order.
inline constexpr MethodEntry kICHDDObjectMethods[] = {
    {L"HDDLinearSeekTest", 1,
     {method_table_detail::In(L"bstrDriveInfo", AutomationType::Bstr),
      method_table_detail::Retval(L"plRetVal", AutomationType::Long)}},
    {L"HDDFunnelSeekTest", 2,
     {method_table_detail::In(L"bstrDriveInfo", AutomationType::Bstr),
      method_table_detail::Retval(L"plRetVal", AutomationType::Long)}},
    {L"HDDRandomSeekTest", 3,
     {method_table_detail::In(L"bstrDriveInfo", AutomationType::Bstr),
      method_table_detail::Retval(L"plRetVal", AutomationType::Long)}},
    {L"HDDSurfaceScanTest", 4,
     {method_table_detail::In(L"bstrDriveInfo", AutomationType::Bstr),
      method_table_detail::Retval(L"plRetVal", AutomationType::Long)}},
    {L"SetCallback", 5,
     {method_table_detail::In(L"pIDispatch", AutomationType::Dispatch),
      method_table_detail::Retval(L"plRetVal", AutomationType::Long)}},
    {L"ReleaseCallback", 6, {}},
    {L"GetHardDiskInfo", 7, {method_table_detail::Retval(L"pbstrHDDInfo", AutomationType::Bstr)}},
    {L"Abort", 8, {}},
    {L"ZornGetLastError", 9, {method_table_detail::Retval(L"plRetVal", AutomationType::Long)}},
    {L"StartHDDTest", 10,
     {method_table_detail::In(L"bstrItem", AutomationType::Bstr),
      method_table_detail::In(L"ulSubItem", AutomationType::ULong)}},
};

inline constexpr UINT kICHDDObjectMethodCount = static_cast<UINT>(std::size(kICHDDObjectMethods));

// ---- the C++ interface against the table ------------------------------------------

// One member of ICHDDObject as the compiler sees it. `name` is the member's
// own spelling (made by the macro below), so a renamed member cannot keep an
// old name here.
template <class Pointer>
struct InterfaceMember {
    using PointerType = Pointer;
    const char* name;
    DISPID dispid;  // its HDD_DISPID_ constant
    Pointer pointer;
};

#define HDD_ICHDDOBJECT_MEMBER(member) \
    InterfaceMember { #member, HDD_DISPID_##member, &ICHDDObject::member }
// The members in the table's order; a unit test checks that this is their
// slot order.
inline constexpr std::tuple kICHDDObjectMembers{
    HDD_ICHDDOBJECT_MEMBER(HDDLinearSeekTest), HDD_ICHDDOBJECT_MEMBER(HDDFunnelSeekTest),
    HDD_ICHDDOBJECT_MEMBER(HDDRandomSeekTest), HDD_ICHDDOBJECT_MEMBER(HDDSurfaceScanTest),
    HDD_ICHDDOBJECT_MEMBER(SetCallback),       HDD_ICHDDOBJECT_MEMBER(ReleaseCallback),
    HDD_ICHDDOBJECT_MEMBER(GetHardDiskInfo),   HDD_ICHDDOBJECT_MEMBER(Abort),
    HDD_ICHDDOBJECT_MEMBER(ZornGetLastError),  HDD_ICHDDOBJECT_MEMBER(StartHDDTest),
};
#undef HDD_ICHDDOBJECT_MEMBER

namespace method_table_detail {

template <AutomationType>
struct ValueType;
template <>
struct ValueType<AutomationType::Bstr> {
    using type = BSTR;
};
template <>
struct ValueType<AutomationType::Dispatch> {
    using type = IDispatch*;
};
template <>
struct ValueType<AutomationType::Long> {
    using type = LONG;
};
template <>
struct ValueType<AutomationType::ULong> {
    using type = ULONG;
};

template <size_t M, size_t P>
using ParamType = std::conditional_t<kICHDDObjectMethods[M].params[P].direction == ParamDirection::In,
                                     typename ValueType<kICHDDObjectMethods[M].params[P].type>::type,
                                     typename ValueType<kICHDDObjectMethods[M].params[P].type>::type*>;

template <size_t M, size_t... P>
auto MemberPointerType(std::index_sequence<P...>) -> HRESULT (STDMETHODCALLTYPE ICHDDObject::*)(ParamType<M, P>...);

// The type a pointer to method M has when its C++ parameters are the ones its
// table row describes.
template <size_t M>
using ExpectedPointer =
    decltype(MemberPointerType<M>(std::make_index_sequence<kICHDDObjectMethods[M].ParamCount()>()));

constexpr bool SameName(const wchar_t* wide, const char* narrow)
{
    for (; *wide != L'\0' || *narrow != '\0'; ++wide, ++narrow) {
        if (*wide != static_cast<wchar_t>(*narrow)) {
            return false;
        }
    }
    return true;
}

template <size_t M>
struct CheckMember {
    using Member = std::tuple_element_t<M, std::remove_const_t<decltype(kICHDDObjectMembers)>>;
    static constexpr const Member& member = std::get<M>(kICHDDObjectMembers);
    static_assert(SameName(kICHDDObjectMethods[M].name, member.name),
                  "the method table and ICHDDObject name different methods in this place");
    static_assert(kICHDDObjectMethods[M].dispid == static_cast<DISPID>(M + 1), "DISPIDs run 1 to 10 in slot order");
    static_assert(kICHDDObjectMethods[M].dispid == member.dispid, "the table's DISPID is not HDD_DISPID_<method>");
    static_assert(std::is_same_v<typename Member::PointerType, ExpectedPointer<M>>,
                  "the method's C++ parameters differ from the types and directions of its table row");
    static constexpr bool checked = true;
};

template <size_t... M>
constexpr bool CheckMembers(std::index_sequence<M...>)
{
    return (CheckMember<M>::checked && ...);
}

}  // namespace method_table_detail

static_assert(std::tuple_size_v<std::remove_const_t<decltype(kICHDDObjectMembers)>> == kICHDDObjectMethodCount);
static_assert(method_table_detail::CheckMembers(std::make_index_sequence<kICHDDObjectMethodCount>()));

}  // namespace hdd
