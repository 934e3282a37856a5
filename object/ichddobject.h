// ICHDDObject: the component's dual interface. Slot order after the seven
// IDispatch slots equals the DISPID order 1 to 10. object/method_table.h lists
// the same methods for the type library and holds this declaration to it.
#pragma once

#include "object/hdd_guids.h"
#include "platform/win32.h"

enum HDD_DISPID : DISPID {
    HDD_DISPID_HDDLinearSeekTest = 1,
    HDD_DISPID_HDDFunnelSeekTest = 2,
    HDD_DISPID_HDDRandomSeekTest = 3,
    HDD_DISPID_HDDSurfaceScanTest = 4,
    HDD_DISPID_SetCallback = 5,
    HDD_DISPID_ReleaseCallback = 6,
    HDD_DISPID_GetHardDiskInfo = 7,
    HDD_DISPID_Abort = 8,
    HDD_DISPID_ZornGetLastError = 9,
    HDD_DISPID_StartHDDTest = 10,
};

struct ICHDDObject : public IDispatch {
    virtual HRESULT STDMETHODCALLTYPE HDDLinearSeekTest(BSTR bstrDriveInfo, LONG* plRetVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE HDDFunnelSeekTest(BSTR bstrDriveInfo, LONG* plRetVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE HDDRandomSeekTest(BSTR bstrDriveInfo, LONG* plRetVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE HDDSurfaceScanTest(BSTR bstrDriveInfo, LONG* plRetVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetCallback(IDispatch* pIDispatch, LONG* plRetVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE ReleaseCallback() = 0;
    virtual HRESULT STDMETHODCALLTYPE GetHardDiskInfo(BSTR* pbstrHDDInfo) = 0;
    virtual HRESULT STDMETHODCALLTYPE Abort() = 0;
    virtual HRESULT STDMETHODCALLTYPE ZornGetLastError(LONG* plRetVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE StartHDDTest(BSTR bstrItem, ULONG ulSubItem) = 0;

protected:
    ~ICHDDObject() = default;
};
