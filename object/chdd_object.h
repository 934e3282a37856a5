// CCHDDObject: the one object clients create. It carries the state that lasts
// between calls and implements ICHDDObject.
//
// Where the methods live (each folder sees only the folders below it):
//   object/     identity, small methods, progress events, the batch plan, the
//               drive selector over the object's state, the connection point
//   info/       GetHardDiskInfo, DescribeVolume
//   disktests/  the four test methods and their shared frame
//   server/     IDispatch over the type library
#pragma once

#include <string>
#include <vector>

#include "drive/drive_selector.h"
#include "drive/volume_entry.h"
#include "object/connection_point.h"
#include "object/ichddobject.h"
#include "platform/win32.h"

namespace hdd {

class CCHDDObject : public ICHDDObject, public IConnectionPointContainer {
public:
    CCHDDObject();
    virtual ~CCHDDObject();
    CCHDDObject(const CCHDDObject&) = delete;
    CCHDDObject& operator=(const CCHDDObject&) = delete;

    // IUnknown: delegates to the controlling unknown when aggregated.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // The object's own (non-delegating) identity.
    HRESULT InternalQueryInterface(REFIID riid, void** ppvObject);
    ULONG InternalAddRef();
    ULONG InternalRelease();
    // The non-delegating IUnknown handed to an aggregating outer object.
    IUnknown* GetInnerUnknown() { return &m_innerUnknown; }
    // Makes pUnkOuter the controlling unknown (aggregation); call before use.
    void SetOuterUnknown(IUnknown* pUnkOuter) { m_pUnkOuter = pUnkOuter; }

    // IDispatch, served from the type library.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* pctinfo) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid,
                                            DISPID* rgDispId) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags,
                                     DISPPARAMS* pDispParams, VARIANT* pVarResult, EXCEPINFO* pExcepInfo,
                                     UINT* puArgErr) override;

    // ICHDDObject
    HRESULT STDMETHODCALLTYPE HDDLinearSeekTest(BSTR bstrDriveInfo, LONG* plRetVal) override;
    HRESULT STDMETHODCALLTYPE HDDFunnelSeekTest(BSTR bstrDriveInfo, LONG* plRetVal) override;
    HRESULT STDMETHODCALLTYPE HDDRandomSeekTest(BSTR bstrDriveInfo, LONG* plRetVal) override;
    HRESULT STDMETHODCALLTYPE HDDSurfaceScanTest(BSTR bstrDriveInfo, LONG* plRetVal) override;
    HRESULT STDMETHODCALLTYPE SetCallback(IDispatch* pIDispatch, LONG* plRetVal) override;
    HRESULT STDMETHODCALLTYPE ReleaseCallback() override;
    HRESULT STDMETHODCALLTYPE GetHardDiskInfo(BSTR* pbstrHDDInfo) override;
    HRESULT STDMETHODCALLTYPE Abort() override;
    HRESULT STDMETHODCALLTYPE ZornGetLastError(LONG* plRetVal) override;
    HRESULT STDMETHODCALLTYPE StartHDDTest(BSTR bstrItem, ULONG ulSubItem) override;

    // IConnectionPointContainer
    HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints** ppEnum) override;
    HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) override;

    // Progress and time-remaining events.
    HRESULT FireProgress(INT nPercent);
    HRESULT FireTimeRemaining(INT nMinutes);
    HRESULT EstimateTimeRemaining();

    // Disk report.
    std::wstring DescribeVolume(WCHAR chLetter);

    // Drive selector.
    HRESULT ParseDriveSelector(LONG* plResult, BSTR bstrDriveInfo, LONG* pnDisk, PartitionExtent* pExtents);
    HRESULT ResolvePartitionExtents(LONG* plResult, LONG nDisk, PartitionExtent* pExtents);
    HANDLE OpenPartitionVolume(LONG nDisk, LONG nPartition);

    // A disk test call begins: false when a test is already running on this
    // object (a test method called from its callback). Otherwise the object
    // is kept alive until EndTestCall, as a client may release its last
    // reference from inside the callback.
    bool BeginTestCall();
    // The test call ends; may destroy the object.
    void EndTestCall();

private:
    // The shared frame of the four disk tests works on the object's state.
    friend class DiskTestRun;
    // The unit tests' one way in to the state (test/support/object_state.h).
    friend struct ObjectState;

    // ---- state, in declaration order ----------------------------------------
    bool m_bAbort = false;
    HANDLE m_hDrive = INVALID_HANDLE_VALUE;  // the drive of the extent under test; none between calls
    ULONGLONG m_ullUnitsDone = 0;
    ULONGLONG m_ullUnitsPlanned = 0;
    IDispatch* m_pCallback = nullptr;  // not reference-counted
    std::vector<std::wstring> m_vecItems;
    LONG m_nItemCount = 0;
    LONG m_nLastPercent = -1;
    DWORD m_dwStartTick = 0;
    LONG m_nLastMinutes = -1;
    VolumeTable m_vecVolumes;

    struct InnerUnknown : public IUnknown {
        explicit InnerUnknown(CCHDDObject* pOwner) : m_pOwner(pOwner) {}
        HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override
        {
            return m_pOwner->InternalQueryInterface(riid, ppvObject);
        }
        ULONG STDMETHODCALLTYPE AddRef() override { return m_pOwner->InternalAddRef(); }
        ULONG STDMETHODCALLTYPE Release() override { return m_pOwner->InternalRelease(); }
        CCHDDObject* m_pOwner;
    };

    ULONG m_cRef = 0;  // plain count: the object lives in one apartment
    bool m_bTestRunning = false;
    bool m_bKeptAlive = false;  // BeginTestCall took a reference
    IUnknown* m_pUnkOuter = nullptr;
    InnerUnknown m_innerUnknown{this};
    CProxy_ICHDDObjectEvents m_connectionPoint{this};
};

}  // namespace hdd
