// The class object of CHDDObject.
//
// The module keeps one reference for as long as it is loaded. Clients that
// hold the class object keep the server locked: the lock is taken when the
// count rises from the module's 1 to 2 and dropped when it falls back to 1.
// The class object may be shared by several apartments, so its count is
// atomic.
#pragma once

#include <atomic>

#include "platform/win32.h"

namespace hdd {

class CHDDClassFactory final : public IClassFactory {
public:
    // A new class object with one reference (the module's).
    static HRESULT Create(IClassFactory** ppFactory);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) override;
    HRESULT STDMETHODCALLTYPE LockServer(BOOL fLock) override;

private:
    CHDDClassFactory() = default;
    ~CHDDClassFactory() = default;

    std::atomic<ULONG> m_cRef{1};
};

}  // namespace hdd
