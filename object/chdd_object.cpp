// CCHDDObject: construction, destruction, COM identity and the small methods
// (SetCallback, ReleaseCallback, Abort, ZornGetLastError).
#include "object/chdd_object.h"

#include "drive/hdd_constants.h"
#include "platform/os_api.h"
#include "object/server_lock.h"

namespace hdd {

namespace {

// Room for the volume table, so that filling it rarely reallocates.
constexpr size_t HDD_VOLUME_TABLE_RESERVE = 416;

}  // namespace

CCHDDObject::CCHDDObject()
{
    m_vecVolumes.reserve(HDD_VOLUME_TABLE_RESERVE);
    // Taken last: a failed reservation throws before the lock is held.
    LockServer();
}

CCHDDObject::~CCHDDObject()
{
    // The callback was never referenced, so it is only forgotten.
    m_pCallback = nullptr;
    std::vector<VolumeEntry>().swap(m_vecVolumes);
    std::vector<std::wstring>().swap(m_vecItems);
    // m_hDrive holds no open handle between calls; the connection point frees
    // its sink list in its own destructor.
    UnlockServer();
}

// ---- IUnknown ---------------------------------------------------------------

HRESULT CCHDDObject::QueryInterface(REFIID riid, void** ppvObject)
{
    if (m_pUnkOuter != nullptr) {
        return m_pUnkOuter->QueryInterface(riid, ppvObject);
    }
    return InternalQueryInterface(riid, ppvObject);
}

ULONG CCHDDObject::AddRef()
{
    if (m_pUnkOuter != nullptr) {
        return m_pUnkOuter->AddRef();
    }
    return InternalAddRef();
}

ULONG CCHDDObject::Release()
{
    if (m_pUnkOuter != nullptr) {
        return m_pUnkOuter->Release();
    }
    return InternalRelease();
}

HRESULT CCHDDObject::InternalQueryInterface(REFIID riid, void** ppvObject)
{
    if (ppvObject == nullptr) {
        return E_POINTER;
    }
    IUnknown* pInterface = nullptr;
    if (IsEqualIID(riid, IID_IUnknown)) {
        // Aggregated, the object's own identity is the inner unknown; the
        // outer object answers IUnknown for the aggregate.
        pInterface = m_pUnkOuter != nullptr ? static_cast<IUnknown*>(&m_innerUnknown)
                                            : static_cast<IUnknown*>(static_cast<ICHDDObject*>(this));
    } else if (IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, IID_ICHDDObject)) {
        pInterface = static_cast<ICHDDObject*>(this);
    } else if (IsEqualIID(riid, IID_IConnectionPointContainer)) {
        pInterface = static_cast<IConnectionPointContainer*>(this);
    }
    if (pInterface == nullptr) {
        *ppvObject = nullptr;
        return E_NOINTERFACE;
    }
    // The reference goes through the interface handed out, so an interface
    // taken from the inner unknown counts on the controlling one.
    pInterface->AddRef();
    *ppvObject = pInterface;
    return S_OK;
}

ULONG CCHDDObject::InternalAddRef() { return ++m_cRef; }

ULONG CCHDDObject::InternalRelease()
{
    const ULONG cRef = --m_cRef;
    if (cRef == 0) {
        delete this;
    }
    return cRef;
}

// ---- test calls ---------------------------------------------------------------

bool CCHDDObject::BeginTestCall()
{
    if (m_bTestRunning) {
        return false;
    }
    // An object that nobody references (made directly, not through COM)
    // cannot be released from a callback, and is not kept alive.
    m_bKeptAlive = m_pUnkOuter != nullptr || m_cRef != 0;
    if (m_bKeptAlive) {
        AddRef();
    }
    m_bTestRunning = true;
    return true;
}

void CCHDDObject::EndTestCall()
{
    m_bTestRunning = false;
    if (m_bKeptAlive) {
        m_bKeptAlive = false;
        Release();  // may destroy the object
    }
}

// ---- the small methods --------------------------------------------------------

HRESULT CCHDDObject::SetCallback(IDispatch* pIDispatch, LONG* plRetVal)
{
    if (plRetVal == nullptr) {
        return HDD_STATUS_FAILED;
    }
    *plRetVal = 0;
    if (pIDispatch == nullptr) {
        *plRetVal = E_INVALIDARG;
        return HDD_STATUS_FAILED;
    }
    // Stored without a reference; the client keeps its callback alive.
    m_pCallback = pIDispatch;
    return HDD_STATUS_OK;
}

HRESULT CCHDDObject::ReleaseCallback()
{
    m_pCallback = nullptr;
    return HDD_STATUS_OK;
}

HRESULT CCHDDObject::Abort()
{
    // No progress call from now on, and the running test stops at its next step.
    m_pCallback = nullptr;
    m_bAbort = true;
    return HDD_STATUS_OK;
}

HRESULT CCHDDObject::ZornGetLastError(LONG* plRetVal)
{
    if (plRetVal == nullptr) {
        return HDD_STATUS_FAILED;
    }
    // No copy is kept: whatever the thread's last-error value holds now.
    *plRetVal = static_cast<LONG>(Os().GetLastError());
    return HDD_STATUS_OK;
}

}  // namespace hdd
