// The object's IDispatch, served from the type information of ICHDDObject in
// the registered type library, and its IConnectionPointContainer.
//
// The type information is loaded from the library registered for
// LIBID_HDDLib 1.0 and the caller's locale on the first call that needs it,
// and cached in the module. Until the library is registered these calls
// answer the loader's error (TYPE_E_LIBNOTREGISTERED); in the native build,
// which has no type libraries, that is all they ever answer.
#include "object/chdd_object.h"
#include "platform/typelib.h"
#include "server/module.h"

namespace hdd {

HRESULT CCHDDObject::GetTypeInfoCount(UINT* pctinfo)
{
    if (pctinfo == nullptr) {
        return E_POINTER;
    }
    *pctinfo = 1;
    return S_OK;
}

HRESULT CCHDDObject::GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo)
{
    if (ppTInfo == nullptr) {
        return E_POINTER;
    }
    *ppTInfo = nullptr;
    if (iTInfo != 0) {
        return DISP_E_BADINDEX;
    }
    ITypeInfo* pTInfo = nullptr;
    const HRESULT hr = Module().GetTypeInfo(lcid, &pTInfo);
    if (FAILED(hr)) {
        return hr;
    }
    TypeLibs().AddRefTypeInfo(pTInfo);
    *ppTInfo = pTInfo;
    return S_OK;
}

HRESULT CCHDDObject::GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid, DISPID* rgDispId)
{
    if (!IsEqualIID(riid, IID_NULL)) {
        return DISP_E_UNKNOWNINTERFACE;
    }
    if (rgszNames == nullptr || rgDispId == nullptr) {
        return E_POINTER;
    }
    ITypeInfo* pTInfo = nullptr;
    const HRESULT hr = Module().GetTypeInfo(lcid, &pTInfo);
    if (FAILED(hr)) {
        return hr;
    }
    return TypeLibs().DispGetIDsOfNames(pTInfo, rgszNames, cNames, rgDispId);
}

HRESULT CCHDDObject::Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS* pDispParams,
                            VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr)
{
    if (!IsEqualIID(riid, IID_NULL)) {
        return DISP_E_UNKNOWNINTERFACE;
    }
    ITypeInfo* pTInfo = nullptr;
    const HRESULT hr = Module().GetTypeInfo(lcid, &pTInfo);
    if (FAILED(hr)) {
        return hr;
    }
    // The type information describes the vtable of ICHDDObject, so the call
    // goes through that interface pointer.
    return TypeLibs().DispInvoke(static_cast<ICHDDObject*>(this), pTInfo, dispIdMember, wFlags, pDispParams,
                                 pVarResult, pExcepInfo, puArgErr);
}

HRESULT CCHDDObject::EnumConnectionPoints(IEnumConnectionPoints** ppEnum)
{
    if (ppEnum == nullptr) {
        return E_POINTER;
    }
    return CreateConnectionPointEnumerator(&m_connectionPoint, ppEnum);
}

HRESULT CCHDDObject::FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP)
{
    if (ppCP == nullptr) {
        return E_POINTER;
    }
    *ppCP = nullptr;
    if (!IsEqualIID(riid, DIID__ICHDDObjectEvents)) {
        return CONNECT_E_NOCONNECTION;
    }
    m_connectionPoint.AddRef();
    *ppCP = &m_connectionPoint;
    return S_OK;
}

}  // namespace hdd
