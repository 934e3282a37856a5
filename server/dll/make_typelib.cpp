// Writes HDD.tlb, the type library HDDLib 1.0, through ICreateTypeLib2. Run
// under Wine at build time, in place of an IDL compiler that cannot give the
// types in the order _ICHDDObjectEvents, CHDDObject, ICHDDObject with the
// right library identifier and IDispatch as the interface's base.
//
//   make_typelib <output.tlb>
//
// HDD.idl describes the same library for readers; a test under Wine reads
// the written library back and checks every part of it.
#include <cstdio>
#include <string>
#include <vector>

#include "object/hdd_guids.h"
#include "platform/win32.h"

namespace {

struct Param {
    const wchar_t* name;
    VARTYPE vt;       // VT_PTR: pointer to `pointee`
    VARTYPE pointee;
    USHORT flags;
};

struct Method {
    const wchar_t* name;
    std::vector<Param> params;
};

constexpr USHORT kIn = PARAMFLAG_FIN;
constexpr USHORT kRetval = PARAMFLAG_FOUT | PARAMFLAG_FRETVAL;

const std::vector<Method>& Methods()
{
    static const std::vector<Method> methods = {
        {L"HDDLinearSeekTest", {{L"bstrDriveInfo", VT_BSTR, 0, kIn}, {L"plRetVal", VT_PTR, VT_I4, kRetval}}},
        {L"HDDFunnelSeekTest", {{L"bstrDriveInfo", VT_BSTR, 0, kIn}, {L"plRetVal", VT_PTR, VT_I4, kRetval}}},
        {L"HDDRandomSeekTest", {{L"bstrDriveInfo", VT_BSTR, 0, kIn}, {L"plRetVal", VT_PTR, VT_I4, kRetval}}},
        {L"HDDSurfaceScanTest", {{L"bstrDriveInfo", VT_BSTR, 0, kIn}, {L"plRetVal", VT_PTR, VT_I4, kRetval}}},
        {L"SetCallback", {{L"pIDispatch", VT_DISPATCH, 0, kIn}, {L"plRetVal", VT_PTR, VT_I4, kRetval}}},
        {L"ReleaseCallback", {}},
        {L"GetHardDiskInfo", {{L"pbstrHDDInfo", VT_PTR, VT_BSTR, kRetval}}},
        {L"Abort", {}},
        {L"ZornGetLastError", {{L"plRetVal", VT_PTR, VT_I4, kRetval}}},
        {L"StartHDDTest", {{L"bstrItem", VT_BSTR, 0, kIn}, {L"ulSubItem", VT_UI4, 0, kIn}}},
    };
    return methods;
}

#define CHECK(expr)                                                                          \
    do {                                                                                     \
        const HRESULT hr_ = (expr);                                                          \
        if (FAILED(hr_)) {                                                                   \
            std::fprintf(stderr, "make_typelib: %s failed: 0x%08lX\n", #expr, (unsigned long)hr_); \
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
    const std::vector<Method>& methods = Methods();
    for (UINT i = 0; i < methods.size(); ++i) {
        const Method& m = methods[i];
        std::vector<TYPEDESC> pointees(m.params.size());
        std::vector<ELEMDESC> params(m.params.size());
        for (size_t p = 0; p < m.params.size(); ++p) {
            params[p] = ELEMDESC{};
            params[p].tdesc.vt = m.params[p].vt;
            if (m.params[p].vt == VT_PTR) {
                pointees[p] = TYPEDESC{};
                pointees[p].vt = m.params[p].pointee;
                params[p].tdesc.lptdesc = &pointees[p];
            }
            params[p].paramdesc.wParamFlags = m.params[p].flags;
        }
        FUNCDESC func{};
        func.memid = static_cast<MEMBERID>(i + 1);
        func.lprgelemdescParam = params.empty() ? nullptr : params.data();
        func.funckind = FUNC_PUREVIRTUAL;
        func.invkind = INVOKE_FUNC;
        func.callconv = CC_STDCALL;
        func.cParams = static_cast<SHORT>(params.size());
        func.oVft = static_cast<SHORT>((7 + i) * sizeof(void*));
        func.elemdescFunc.tdesc.vt = VT_HRESULT;
        CHECK(pIface->AddFuncDesc(i, &func));
        std::vector<LPOLESTR> names{const_cast<LPOLESTR>(m.name)};
        for (const Param& p : m.params) {
            names.push_back(const_cast<LPOLESTR>(p.name));
        }
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
    CHECK(::CreateTypeLib2(SYS_WIN32, path, &pLib));
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

    CHECK(pLib->SaveAllChanges());
    pIfaceInfo->Release();
    pEventsInfo->Release();
    pEvents->Release();
    pClass->Release();
    pIface->Release();
    pDispatch->Release();
    pStdOle->Release();
    pLib->Release();
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
