// PLACEHOLDER: replaced by the selector, test frame and disk tests work.
#include "object/chdd_object.h"

namespace hdd {

HRESULT CCHDDObject::HDDLinearSeekTest(BSTR, LONG*) { return E_NOTIMPL; }
HRESULT CCHDDObject::HDDFunnelSeekTest(BSTR, LONG*) { return E_NOTIMPL; }
HRESULT CCHDDObject::HDDRandomSeekTest(BSTR, LONG*) { return E_NOTIMPL; }
HRESULT CCHDDObject::HDDSurfaceScanTest(BSTR, LONG*) { return E_NOTIMPL; }
HRESULT CCHDDObject::StartHDDTest(BSTR, ULONG) { return E_NOTIMPL; }
HRESULT CCHDDObject::ParseDriveSelector(LONG*, BSTR, LONG*, PartitionExtent*) { return E_NOTIMPL; }
HRESULT CCHDDObject::ResolvePartitionExtents(LONG*, LONG, PartitionExtent*) { return E_NOTIMPL; }
HANDLE CCHDDObject::OpenPartitionVolume(LONG, LONG) { return INVALID_HANDLE_VALUE; }

}  // namespace hdd
