#include "object/connection_point.h"

#include "object/hdd_guids.h"
#include "object/enumerators.h"

namespace hdd {

CProxy_ICHDDObjectEvents::~CProxy_ICHDDObjectEvents()
{
    for (IUnknown* pSink : m_vecSinks) {
        if (pSink != nullptr) {
            pSink->Release();
        }
    }
}

HRESULT CProxy_ICHDDObjectEvents::QueryInterface(REFIID riid, void** ppvObject)
{
    if (ppvObject == nullptr) {
        return E_POINTER;
    }
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IConnectionPoint)) {
        *ppvObject = static_cast<IConnectionPoint*>(this);
        AddRef();
        return S_OK;
    }
    *ppvObject = nullptr;
    return E_NOINTERFACE;
}

ULONG CProxy_ICHDDObjectEvents::AddRef() { return m_pContainer->AddRef(); }

ULONG CProxy_ICHDDObjectEvents::Release() { return m_pContainer->Release(); }

HRESULT CProxy_ICHDDObjectEvents::GetConnectionInterface(IID* pIID)
{
    if (pIID == nullptr) {
        return E_POINTER;
    }
    *pIID = DIID__ICHDDObjectEvents;
    return S_OK;
}

HRESULT CProxy_ICHDDObjectEvents::GetConnectionPointContainer(IConnectionPointContainer** ppCPC)
{
    if (ppCPC == nullptr) {
        return E_POINTER;
    }
    m_pContainer->AddRef();
    *ppCPC = m_pContainer;
    return S_OK;
}

HRESULT CProxy_ICHDDObjectEvents::Advise(IUnknown* pUnkSink, DWORD* pdwCookie)
{
    if (pdwCookie == nullptr) {
        return E_POINTER;
    }
    *pdwCookie = 0;
    if (pUnkSink == nullptr) {
        return E_POINTER;
    }
    IUnknown* pSink = nullptr;
    if (FAILED(pUnkSink->QueryInterface(DIID__ICHDDObjectEvents, reinterpret_cast<void**>(&pSink))) ||
        pSink == nullptr) {
        return CONNECT_E_CANNOTCONNECT;
    }
    // A free slot (left by Unadvise) is reused, so the list does not grow
    // with repeated advise/unadvise pairs.
    size_t slot = 0;
    while (slot < m_vecSinks.size() && m_vecSinks[slot] != nullptr) {
        ++slot;
    }
    if (slot == m_vecSinks.size()) {
        try {
            m_vecSinks.push_back(nullptr);
        } catch (const std::bad_alloc&) {
            pSink->Release();
            return E_OUTOFMEMORY;
        }
    }
    m_vecSinks[slot] = pSink;
    *pdwCookie = static_cast<DWORD>(slot + 1);
    return S_OK;
}

HRESULT CProxy_ICHDDObjectEvents::Unadvise(DWORD dwCookie)
{
    if (dwCookie == 0 || dwCookie > m_vecSinks.size() || m_vecSinks[dwCookie - 1] == nullptr) {
        return CONNECT_E_NOCONNECTION;
    }
    IUnknown* pSink = m_vecSinks[dwCookie - 1];
    m_vecSinks[dwCookie - 1] = nullptr;
    pSink->Release();  // last: the sink may call back into the object
    return S_OK;
}

HRESULT CProxy_ICHDDObjectEvents::EnumConnections(IEnumConnections** ppEnum)
{
    if (ppEnum == nullptr) {
        return E_POINTER;
    }
    *ppEnum = nullptr;
    std::vector<CONNECTDATA> connections;
    try {
        for (size_t i = 0; i < m_vecSinks.size(); ++i) {
            if (m_vecSinks[i] != nullptr) {
                connections.push_back(CONNECTDATA{m_vecSinks[i], static_cast<DWORD>(i + 1)});
            }
        }
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    *ppEnum = CSnapshotEnum<ConnectionItems>::Create(connections);
    return *ppEnum != nullptr ? S_OK : E_OUTOFMEMORY;
}

HRESULT CreateConnectionPointEnumerator(IConnectionPoint* pPoint, IEnumConnectionPoints** ppEnum)
{
    try {
        *ppEnum = CSnapshotEnum<ConnectionPointItems>::Create(std::vector<IConnectionPoint*>{pPoint});
    } catch (const std::bad_alloc&) {
        *ppEnum = nullptr;
    }
    return *ppEnum != nullptr ? S_OK : E_OUTOFMEMORY;
}

}  // namespace hdd
