// The object's one connection point, for _ICHDDObjectEvents. The events
// interface has no members: nothing is ever sent through it, but clients can
// advise and unadvise sinks as with any connection point.
//
// The point is part of the object: its AddRef and Release are the object's.
#pragma once

#include <vector>

#include "platform/win32.h"

namespace hdd {

class CProxy_ICHDDObjectEvents final : public IConnectionPoint {
public:
    explicit CProxy_ICHDDObjectEvents(IConnectionPointContainer* pContainer) : m_pContainer(pContainer) {}
    ~CProxy_ICHDDObjectEvents();
    CProxy_ICHDDObjectEvents(const CProxy_ICHDDObjectEvents&) = delete;
    CProxy_ICHDDObjectEvents& operator=(const CProxy_ICHDDObjectEvents&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* pIID) override;
    HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer** ppCPC) override;
    // The sink must answer QueryInterface for _ICHDDObjectEvents; the point
    // keeps that interface (one reference) until Unadvise or destruction.
    HRESULT STDMETHODCALLTYPE Advise(IUnknown* pUnkSink, DWORD* pdwCookie) override;
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD dwCookie) override;
    // A snapshot of the advised sinks at the time of the call.
    HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections** ppEnum) override;

private:
    IConnectionPointContainer* m_pContainer;  // the owning object; not reference-counted
    std::vector<IUnknown*> m_vecSinks;        // advised sinks, one reference each; cookie = index + 1
};

// An enumerator over the container's one connection point.
HRESULT CreateConnectionPointEnumerator(IConnectionPoint* pPoint, IEnumConnectionPoints** ppEnum);

}  // namespace hdd
