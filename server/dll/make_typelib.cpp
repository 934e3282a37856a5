// Writes HDD.tlb, the type library HDDLib 1.0, through ICreateTypeLib2. Run
// under Wine at build time, in place of an IDL compiler that cannot give the
// types in the order _ICHDDObjectEvents, CHDDObject, ICHDDObject with the
// right library identifier and IDispatch as the interface's base.
//
//   make_typelib <output.tlb>
//
// The interface's methods come from object/method_table.h. HDD.idl describes
// the same library for readers; a unit test holds it to that table, and a test
// under Wine reads the written library back and checks every part of it.
#include <cstdio>
#include <string>
#include <vector>

#include "object/hdd_guids.h"
#include "object/method_table.h"
#include "platform/win32.h"
#include "server/dll/dispinterface_fixup.h"

namespace {

using hdd::AutomationType;
using hdd::MethodEntry;
using hdd::ParamDirection;

VARTYPE VarType(AutomationType type)
{
    switch (type) {
    case AutomationType::Bstr:
        return VT_BSTR;
    case AutomationType::Dispatch:
        return VT_DISPATCH;
    case AutomationType::Long:
        return VT_I4;
    case AutomationType::ULong:
        return VT_UI4;
    }
    return VT_EMPTY;
}

#define CHECK(expr)                                                                          \
    do {                                                                                     \
        const HRESULT hr_ = (expr);                                                          \
        if (FAILED(hr_)) {                                                                   \
            std::fprintf(stderr, "make_typelib: %s failed: 0x%08lX\n", #expr, static_cast<ULONG>(hr_)); \
            return 1;                                                                        \
        }                                                                                    \
    } while (0)

ITypeInfo* AsTypeInfo(ICreateTypeInfo* pCreate)
{
    ITypeInfo* pInfo = nullptr;
    pCreate->QueryInterface(IID_ITypeInfo, reinterpret_cast<void**>(&pInfo));
    return pInfo;
}

int DefineInterface(ICreateTypeInfo* pIface, ITypeInfo* pDispatch)
{
    CHECK(pIface->SetGuid(IID_ICHDDObject));
    CHECK(pIface->SetTypeFlags(TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE | TYPEFLAG_FOLEAUTOMATION |
                               TYPEFLAG_FDISPATCHABLE));
    CHECK(pIface->SetDocString(const_cast<LPOLESTR>(L"ICHDDObject Interface")));
    HREFTYPE hrefDispatch = 0;
    CHECK(pIface->AddRefTypeInfo(pDispatch, &hrefDispatch));
    CHECK(pIface->AddImplType(0, hrefDispatch));
    for (UINT i = 0; i < hdd::kICHDDObjectMethodCount; ++i) {
        const MethodEntry& m = hdd::kICHDDObjectMethods[i];
        const UINT count = m.ParamCount();
        std::vector<TYPEDESC> pointees(count);
        std::vector<ELEMDESC> params(count);
        std::vector<LPOLESTR> names{const_cast<LPOLESTR>(m.name)};
        for (UINT p = 0; p < count; ++p) {
            params[p] = ELEMDESC{};
            if (m.params[p].direction == ParamDirection::In) {
                params[p].tdesc.vt = VarType(m.params[p].type);
                params[p].paramdesc.wParamFlags = PARAMFLAG_FIN;
            } else {
                pointees[p] = TYPEDESC{};
                pointees[p].vt = VarType(m.params[p].type);
                params[p].tdesc.vt = VT_PTR;
                params[p].tdesc.lptdesc = &pointees[p];
                params[p].paramdesc.wParamFlags = PARAMFLAG_FOUT | PARAMFLAG_FRETVAL;
            }
            names.push_back(const_cast<LPOLESTR>(m.params[p].name));
        }
        FUNCDESC func{};
        func.memid = m.dispid;
        func.lprgelemdescParam = params.empty() ? nullptr : params.data();
        func.funckind = FUNC_PUREVIRTUAL;
        func.invkind = INVOKE_FUNC;
        func.callconv = CC_STDCALL;
        func.cParams = static_cast<SHORT>(count);
        func.oVft = static_cast<SHORT>((7 + i) * sizeof(void*));  // after IDispatch's seven
        func.elemdescFunc.tdesc.vt = VT_HRESULT;
        CHECK(pIface->AddFuncDesc(i, &func));
        CHECK(pIface->SetFuncAndParamNames(i, names.data(), static_cast<UINT>(names.size())));
        const std::wstring doc = std::wstring(L"method ") + m.name;
        CHECK(pIface->SetFuncDocString(i, const_cast<LPOLESTR>(doc.c_str())));
    }
    CHECK(pIface->LayOut());
    return 0;
}

int Write(const wchar_t* path)
{
    ICreateTypeLib2* pLib = nullptr;
    // Made for the platform this program runs on, as the DLL beside it is:
    // the vtable offsets and the registration key (win32, win64) follow.
    const SYSKIND sysKind = sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32;
    CHECK(::CreateTypeLib2(sysKind, path, &pLib));
    CHECK(pLib->SetGuid(LIBID_HDDLib));
    CHECK(pLib->SetName(const_cast<LPOLESTR>(L"HDDLib")));
    CHECK(pLib->SetVersion(1, 0));
    CHECK(pLib->SetLcid(LOCALE_NEUTRAL));
    CHECK(pLib->SetDocString(const_cast<LPOLESTR>(L"HDD 1.0 Type Library")));

    ITypeLib* pStdOle = nullptr;
    CHECK(::LoadTypeLib(L"stdole2.tlb", &pStdOle));
    ITypeInfo* pDispatch = nullptr;
    CHECK(pStdOle->GetTypeInfoOfGuid(IID_IDispatch, &pDispatch));

    // Created in the library's order; the coclass is filled in last, once
    // the interface it names exists.
    ICreateTypeInfo* pEvents = nullptr;
    ICreateTypeInfo* pClass = nullptr;
    ICreateTypeInfo* pIface = nullptr;
    CHECK(pLib->CreateTypeInfo(const_cast<LPOLESTR>(L"_ICHDDObjectEvents"), TKIND_DISPATCH, &pEvents));
    CHECK(pLib->CreateTypeInfo(const_cast<LPOLESTR>(L"CHDDObject"), TKIND_COCLASS, &pClass));
    CHECK(pLib->CreateTypeInfo(const_cast<LPOLESTR>(L"ICHDDObject"), TKIND_INTERFACE, &pIface));

    CHECK(pEvents->SetGuid(DIID__ICHDDObjectEvents));
    CHECK(pEvents->SetDocString(const_cast<LPOLESTR>(L"_ICHDDObjectEvents Interface")));
    HREFTYPE href = 0;
    CHECK(pEvents->AddRefTypeInfo(pDispatch, &href));
    CHECK(pEvents->AddImplType(0, href));
    CHECK(pEvents->LayOut());

    if (DefineInterface(pIface, pDispatch) != 0) {
        return 1;
    }

    CHECK(pClass->SetGuid(CLSID_CHDDObject));
    CHECK(pClass->SetTypeFlags(TYPEFLAG_FCANCREATE));
    CHECK(pClass->SetDocString(const_cast<LPOLESTR>(L"CHDDObject Class")));
    ITypeInfo* pIfaceInfo = AsTypeInfo(pIface);
    ITypeInfo* pEventsInfo = AsTypeInfo(pEvents);
    if (pIfaceInfo == nullptr || pEventsInfo == nullptr) {
        std::fprintf(stderr, "make_typelib: no ITypeInfo on a created type\n");
        return 1;
    }
    CHECK(pClass->AddRefTypeInfo(pIfaceInfo, &href));
    CHECK(pClass->AddImplType(0, href));
    CHECK(pClass->SetImplTypeFlags(0, IMPLTYPEFLAG_FDEFAULT));
    CHECK(pClass->AddRefTypeInfo(pEventsInfo, &href));
    CHECK(pClass->AddImplType(1, href));
    CHECK(pClass->SetImplTypeFlags(1, IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE));
    CHECK(pClass->LayOut());
    // LayOut adds TYPEFLAG_FDISPATCHABLE to a coclass whose default interface
    // derives from IDispatch; a compiled library keeps only the flags its
    // source gives, here "creatable".
    CHECK(pClass->SetTypeFlags(TYPEFLAG_FCANCREATE));

    CHECK(pLib->SaveAllChanges());
    pIfaceInfo->Release();
    pEventsInfo->Release();
    pEvents->Release();
    pClass->Release();
    pIface->Release();
    pDispatch->Release();
    pStdOle->Release();
    pLib->Release();

    // The saved events dispinterface lists IDispatch's members as its own
    // until its vtable size is corrected (see dispinterface_fixup.h).
    std::string error;
    const int cleared = ClearMemberlessDispinterfaceVtables(path, error);
    if (cleared != 1) {
        std::fprintf(stderr, "make_typelib: correcting _ICHDDObjectEvents: %s\n",
                     cleared < 0 ? error.c_str() : "expected exactly one dispinterface without members");
        return 1;
    }
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_typelib <output.tlb>\n");
        return 2;
    }
    return Write(argv[1]);
}
