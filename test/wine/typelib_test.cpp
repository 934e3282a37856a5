// The type library embedded in the DLL, read back with LoadTypeLibEx.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "object/hdd_guids.h"
#include "wine_support.h"

namespace hdd::wine {
namespace {

std::wstring Text(BSTR bstr)
{
    std::wstring text = bstr != nullptr ? std::wstring(bstr, ::SysStringLen(bstr)) : std::wstring();
    ::SysFreeString(bstr);
    return text;
}

// Name and help string of a type (index) or of the library (-1).
void Documentation(ITypeLib* pLib, INT index, std::wstring& name, std::wstring& doc, std::wstring& helpFile)
{
    BSTR bName = nullptr;
    BSTR bDoc = nullptr;
    BSTR bHelp = nullptr;
    ASSERT_EQ(pLib->GetDocumentation(index, &bName, &bDoc, nullptr, &bHelp), S_OK);
    name = Text(bName);
    doc = Text(bDoc);
    helpFile = Text(bHelp);
}

class TypeLibrary : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(::LoadTypeLibEx(DllPath().c_str(), REGKIND_NONE, &lib), S_OK); }
    void TearDown() override
    {
        if (lib != nullptr) {
            lib->Release();
        }
    }
    ITypeLib* lib = nullptr;
};

TEST_F(TypeLibrary, LibraryAttributesAndItsThreeTypesInOrder)
{
    TLIBATTR* pAttr = nullptr;
    ASSERT_EQ(lib->GetLibAttr(&pAttr), S_OK);
    EXPECT_TRUE(IsEqualGUID(pAttr->guid, LIBID_HDDLib));
    EXPECT_EQ(pAttr->wMajorVerNum, 1);
    EXPECT_EQ(pAttr->wMinorVerNum, 0);
    EXPECT_EQ(pAttr->lcid, 0u);
    // Made for this program's platform: a 64-bit process needs 64-bit vtable offsets.
    EXPECT_EQ(pAttr->syskind, sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32);
    lib->ReleaseTLibAttr(pAttr);

    std::wstring name, doc, helpFile;
    Documentation(lib, -1, name, doc, helpFile);
    EXPECT_EQ(name, L"HDDLib");
    EXPECT_EQ(doc, L"HDD 1.0 Type Library");
    EXPECT_EQ(helpFile, L"");

    const struct {
        const wchar_t* name;
        const wchar_t* doc;
        const GUID* guid;
        TYPEKIND kind;
    } types[] = {
        {L"_ICHDDObjectEvents", L"_ICHDDObjectEvents Interface", &DIID__ICHDDObjectEvents, TKIND_DISPATCH},
        {L"CHDDObject", L"CHDDObject Class", &CLSID_CHDDObject, TKIND_COCLASS},
        {L"ICHDDObject", L"ICHDDObject Interface", &IID_ICHDDObject, TKIND_DISPATCH},  // dual
    };
    ASSERT_EQ(lib->GetTypeInfoCount(), 3u);
    for (UINT i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        Documentation(lib, static_cast<INT>(i), name, doc, helpFile);
        EXPECT_EQ(name, types[i].name);
        EXPECT_EQ(doc, types[i].doc);
        ITypeInfo* pInfo = nullptr;
        ASSERT_EQ(lib->GetTypeInfo(i, &pInfo), S_OK);
        TYPEATTR* pType = nullptr;
        ASSERT_EQ(pInfo->GetTypeAttr(&pType), S_OK);
        EXPECT_TRUE(IsEqualGUID(pType->guid, *types[i].guid));
        EXPECT_EQ(pType->typekind, types[i].kind);
        if (i == 0) {
            // No members, as a compiled library lists it: IDispatch's are
            // not counted as its own.
            EXPECT_EQ(pType->cFuncs, 0);
            EXPECT_EQ(pType->cVars, 0);
            ASSERT_EQ(pType->cImplTypes, 1);
            HREFTYPE ref = 0;
            ITypeInfo* pBase = nullptr;
            ASSERT_EQ(pInfo->GetRefTypeOfImplType(0, &ref), S_OK);
            ASSERT_EQ(pInfo->GetRefTypeInfo(ref, &pBase), S_OK);
            TYPEATTR* pBaseType = nullptr;
            ASSERT_EQ(pBase->GetTypeAttr(&pBaseType), S_OK);
            EXPECT_TRUE(IsEqualGUID(pBaseType->guid, IID_IDispatch));
            pBase->ReleaseTypeAttr(pBaseType);
            pBase->Release();
        }
        if (i == 2) {
            const WORD wanted = TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE | TYPEFLAG_FDISPATCHABLE;
            EXPECT_EQ(pType->wTypeFlags & wanted, wanted);
        }
        pInfo->ReleaseTypeAttr(pType);
        pInfo->Release();
    }
}

TEST_F(TypeLibrary, CoclassIsCreatableWithItsDefaultAndSourceInterfaces)
{
    ITypeInfo* pClass = nullptr;
    ASSERT_EQ(lib->GetTypeInfoOfGuid(CLSID_CHDDObject, &pClass), S_OK);
    TYPEATTR* pType = nullptr;
    ASSERT_EQ(pClass->GetTypeAttr(&pType), S_OK);
    EXPECT_EQ(pType->wTypeFlags, TYPEFLAG_FCANCREATE);  // and nothing else
    ASSERT_EQ(pType->cImplTypes, 2);
    pClass->ReleaseTypeAttr(pType);
    const struct {
        const GUID* guid;
        INT flags;
    } impl[] = {
        {&IID_ICHDDObject, IMPLTYPEFLAG_FDEFAULT},
        {&DIID__ICHDDObjectEvents, IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE},
    };
    for (UINT i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        INT flags = 0;
        ASSERT_EQ(pClass->GetImplTypeFlags(i, &flags), S_OK);
        EXPECT_EQ(flags, impl[i].flags);
        HREFTYPE ref = 0;
        ITypeInfo* pRef = nullptr;
        ASSERT_EQ(pClass->GetRefTypeOfImplType(i, &ref), S_OK);
        ASSERT_EQ(pClass->GetRefTypeInfo(ref, &pRef), S_OK);
        TYPEATTR* pRefType = nullptr;
        ASSERT_EQ(pRef->GetTypeAttr(&pRefType), S_OK);
        EXPECT_TRUE(IsEqualGUID(pRefType->guid, *impl[i].guid));
        pRef->ReleaseTypeAttr(pRefType);
        pRef->Release();
    }
    pClass->Release();
}

TEST_F(TypeLibrary, InterfaceMethodsDispidsParametersAndHelpStrings)
{
    ITypeInfo* pDisp = nullptr;
    ASSERT_EQ(lib->GetTypeInfoOfGuid(IID_ICHDDObject, &pDisp), S_OK);
    // The vtable side of the dual interface.
    HREFTYPE ref = 0;
    ITypeInfo* pVtbl = nullptr;
    ASSERT_EQ(pDisp->GetRefTypeOfImplType(static_cast<UINT>(-1), &ref), S_OK);
    ASSERT_EQ(pDisp->GetRefTypeInfo(ref, &pVtbl), S_OK);
    TYPEATTR* pType = nullptr;
    ASSERT_EQ(pVtbl->GetTypeAttr(&pType), S_OK);
    EXPECT_EQ(pType->typekind, TKIND_INTERFACE);
    EXPECT_TRUE(IsEqualGUID(pType->guid, IID_ICHDDObject));
    ASSERT_EQ(pType->cFuncs, 10);
    pVtbl->ReleaseTypeAttr(pType);

    // Its base is IDispatch.
    ITypeInfo* pBase = nullptr;
    ASSERT_EQ(pVtbl->GetRefTypeOfImplType(0, &ref), S_OK);
    ASSERT_EQ(pVtbl->GetRefTypeInfo(ref, &pBase), S_OK);
    ASSERT_EQ(pBase->GetTypeAttr(&pType), S_OK);
    EXPECT_TRUE(IsEqualGUID(pType->guid, IID_IDispatch));
    pBase->ReleaseTypeAttr(pType);
    pBase->Release();

    constexpr USHORT kIn = PARAMFLAG_FIN;
    constexpr USHORT kRetval = PARAMFLAG_FOUT | PARAMFLAG_FRETVAL;
    const struct {
        const wchar_t* name;
        std::vector<std::wstring> params;
        std::vector<USHORT> flags;
        std::vector<VARTYPE> types;  // VT_PTR | pointee for pointers
    } methods[] = {
        {L"HDDLinearSeekTest", {L"bstrDriveInfo", L"plRetVal"}, {kIn, kRetval}, {VT_BSTR, VT_PTR | VT_I4}},
        {L"HDDFunnelSeekTest", {L"bstrDriveInfo", L"plRetVal"}, {kIn, kRetval}, {VT_BSTR, VT_PTR | VT_I4}},
        {L"HDDRandomSeekTest", {L"bstrDriveInfo", L"plRetVal"}, {kIn, kRetval}, {VT_BSTR, VT_PTR | VT_I4}},
        {L"HDDSurfaceScanTest", {L"bstrDriveInfo", L"plRetVal"}, {kIn, kRetval}, {VT_BSTR, VT_PTR | VT_I4}},
        {L"SetCallback", {L"pIDispatch", L"plRetVal"}, {kIn, kRetval}, {VT_DISPATCH, VT_PTR | VT_I4}},
        {L"ReleaseCallback", {}, {}, {}},
        {L"GetHardDiskInfo", {L"pbstrHDDInfo"}, {kRetval}, {VT_PTR | VT_BSTR}},
        {L"Abort", {}, {}, {}},
        {L"ZornGetLastError", {L"plRetVal"}, {kRetval}, {VT_PTR | VT_I4}},
        {L"StartHDDTest", {L"bstrItem", L"ulSubItem"}, {kIn, kIn}, {VT_BSTR, VT_UI4}},
    };
    for (UINT i = 0; i < 10; ++i) {
        SCOPED_TRACE(std::string(methods[i].name, methods[i].name + wcslen(methods[i].name)));
        FUNCDESC* pFunc = nullptr;
        ASSERT_EQ(pVtbl->GetFuncDesc(i, &pFunc), S_OK);
        EXPECT_EQ(pFunc->memid, static_cast<MEMBERID>(i + 1));
        EXPECT_EQ(pFunc->oVft, static_cast<SHORT>((7 + i) * sizeof(void*)));  // 28 + 4i, 56 + 8i
        EXPECT_EQ(pFunc->funckind, FUNC_PUREVIRTUAL);
        EXPECT_EQ(pFunc->invkind, INVOKE_FUNC);
        EXPECT_EQ(pFunc->elemdescFunc.tdesc.vt, VT_HRESULT);
        ASSERT_EQ(static_cast<size_t>(pFunc->cParams), methods[i].params.size());
        for (SHORT p = 0; p < pFunc->cParams; ++p) {
            const ELEMDESC& e = pFunc->lprgelemdescParam[p];
            EXPECT_EQ(e.paramdesc.wParamFlags, methods[i].flags[p]) << p;
            VARTYPE vt = e.tdesc.vt;
            if (vt == VT_PTR) {
                vt = static_cast<VARTYPE>(VT_PTR | e.tdesc.lptdesc->vt);
            }
            EXPECT_EQ(vt, methods[i].types[p]) << p;
        }
        BSTR names[4] = {};
        UINT count = 0;
        ASSERT_EQ(pVtbl->GetNames(pFunc->memid, names, 4, &count), S_OK);
        ASSERT_EQ(count, methods[i].params.size() + 1);
        EXPECT_EQ(Text(names[0]), methods[i].name);
        for (UINT p = 1; p < count; ++p) {
            EXPECT_EQ(Text(names[p]), methods[i].params[p - 1]);
        }
        BSTR doc = nullptr;
        ASSERT_EQ(pVtbl->GetDocumentation(pFunc->memid, nullptr, &doc, nullptr, nullptr), S_OK);
        EXPECT_EQ(Text(doc), std::wstring(L"method ") + methods[i].name);
        pVtbl->ReleaseFuncDesc(pFunc);
    }
    pVtbl->Release();
    pDisp->Release();
}

}  // namespace
}  // namespace hdd::wine
