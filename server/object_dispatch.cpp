// PLACEHOLDER: replaced by the server-frame work.
#include "object/chdd_object.h"

namespace hdd {

HRESULT CCHDDObject::GetTypeInfoCount(UINT*) { return E_NOTIMPL; }
HRESULT CCHDDObject::GetTypeInfo(UINT, LCID, ITypeInfo**) { return E_NOTIMPL; }
HRESULT CCHDDObject::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) { return E_NOTIMPL; }
HRESULT CCHDDObject::Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) { return E_NOTIMPL; }
HRESULT CCHDDObject::EnumConnectionPoints(IEnumConnectionPoints**) { return E_NOTIMPL; }
HRESULT CCHDDObject::FindConnectionPoint(REFIID, IConnectionPoint**) { return E_NOTIMPL; }

}  // namespace hdd
