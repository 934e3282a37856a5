// PLACEHOLDER: replaced by the automation-object work.
#include "object/chdd_object.h"
#include "server/module.h"

namespace hdd {

CCHDDObject::CCHDDObject() { Module().Lock(); }
CCHDDObject::~CCHDDObject() { Module().Unlock(); }
HRESULT CCHDDObject::QueryInterface(REFIID riid, void** ppvObject) { return InternalQueryInterface(riid, ppvObject); }
ULONG CCHDDObject::AddRef() { return InternalAddRef(); }
ULONG CCHDDObject::Release() { return InternalRelease(); }
HRESULT CCHDDObject::InternalQueryInterface(REFIID, void**) { return E_NOTIMPL; }
ULONG CCHDDObject::InternalAddRef() { return ++m_cRef; }
ULONG CCHDDObject::InternalRelease()
{
    ULONG c = --m_cRef;
    if (c == 0) delete this;
    return c;
}
HRESULT CCHDDObject::SetCallback(IDispatch*, LONG*) { return E_NOTIMPL; }
HRESULT CCHDDObject::ReleaseCallback() { return E_NOTIMPL; }
HRESULT CCHDDObject::Abort() { return E_NOTIMPL; }
HRESULT CCHDDObject::ZornGetLastError(LONG*) { return E_NOTIMPL; }
HRESULT CCHDDObject::FireProgress(INT) { return E_NOTIMPL; }
HRESULT CCHDDObject::FireTimeRemaining(INT) { return E_NOTIMPL; }
HRESULT CCHDDObject::EstimateTimeRemaining() { return E_NOTIMPL; }
HRESULT CCHDDObject::GetHardDiskInfo(BSTR*) { return E_NOTIMPL; }
std::wstring CCHDDObject::DescribeVolume(WCHAR) { return {}; }

}  // namespace hdd
