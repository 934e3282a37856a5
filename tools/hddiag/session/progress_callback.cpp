#include "tools/hddiag/session/progress_callback.h"

namespace hddiag {

namespace {

bool ReadInt(const VARIANT& v, INT& out)
{
    if (v.vt == VT_INT) {
        out = v.intVal;
        return true;
    }
    if (v.vt == VT_I4) {
        out = v.lVal;
        return true;
    }
    return false;
}

}  // namespace

HRESULT ProgressCallback::QueryInterface(REFIID riid, void** ppvObject)
{
    if (ppvObject == nullptr) {
        return E_POINTER;
    }
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch)) {
        *ppvObject = static_cast<IDispatch*>(this);
        return S_OK;
    }
    *ppvObject = nullptr;
    return E_NOINTERFACE;
}

HRESULT ProgressCallback::GetTypeInfoCount(UINT* pctinfo)
{
    if (pctinfo == nullptr) {
        return E_POINTER;
    }
    *pctinfo = 0;
    return S_OK;
}

HRESULT ProgressCallback::GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo)
{
    if (ppTInfo != nullptr) {
        *ppTInfo = nullptr;
    }
    return E_NOTIMPL;
}

HRESULT ProgressCallback::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) { return E_NOTIMPL; }

HRESULT ProgressCallback::Invoke(DISPID dispIdMember, REFIID, LCID, WORD, DISPPARAMS* pDispParams, VARIANT*,
                                 EXCEPINFO*, UINT*)
{
    if (dispIdMember != DISPID_VALUE) {
        return DISP_E_MEMBERNOTFOUND;
    }
    if (pDispParams == nullptr || pDispParams->cArgs != 3 || pDispParams->rgvarg == nullptr) {
        return E_INVALIDARG;
    }
    // The arguments stand last-first.
    INT kind = 0;
    INT value = 0;
    INT tag = 0;
    if (!ReadInt(pDispParams->rgvarg[2], kind) || !ReadInt(pDispParams->rgvarg[1], value) ||
        !ReadInt(pDispParams->rgvarg[0], tag)) {
        return E_INVALIDARG;
    }
    if (m_handler) {
        m_handler(kind, value, tag);
    }
    return S_OK;
}

}  // namespace hddiag
