// The module object: the server lock count and what lives as long as the
// loaded server (the per-user flag, the cached class object and type
// information, and the critical section that guards their creation).
#pragma once

#include <atomic>

#include "object/server_lock.h"
#include "platform/critical_section.h"
#include "platform/win32.h"

namespace hdd {

class CHDDModule {
public:
    CHDDModule();
    ~CHDDModule();
    CHDDModule(const CHDDModule&) = delete;
    CHDDModule& operator=(const CHDDModule&) = delete;

    // The server lock count, kept with the objects that hold it.
    LONG Lock() { return LockServer(); }
    LONG Unlock() { return UnlockServer(); }
    LONG GetLockCount() const { return ServerLockCount(); }

    // False when the critical section could not be initialised: the server
    // then refuses to load.
    bool IsInitialized() const { return m_cs.IsInitialized(); }

    HMODULE GetModuleInstance() const { return m_hInstance; }
    void SetModuleInstance(HMODULE hInstance) { m_hInstance = hInstance; }

    bool IsPerUser() const { return m_bPerUser.load(); }
    // The server only ever sets it (DllInstall); tests clear it again.
    void SetPerUser(bool bPerUser = true) { m_bPerUser = bPerUser; }

    // The class object of CHDDObject, created on the first request and kept;
    // the answer carries a reference for the caller.
    HRESULT GetClassObject(IClassFactory** ppFactory);

    // The type information of ICHDDObject, loaded from the registered library
    // for lcid on first use and kept; the answer is not AddRef'd (it lives
    // until Term). A failed load is not kept, so a later call tries again.
    HRESULT GetTypeInfo(LCID lcid, ITypeInfo** ppTInfo);

    // At unload: releases the cached class object and type information.
    void Term();

private:
    std::atomic<bool> m_bPerUser{false};
    HMODULE m_hInstance = nullptr;
    IClassFactory* m_pClassObject = nullptr;
    ITypeInfo* m_pTypeInfo = nullptr;
    CriticalSection m_cs;
};

CHDDModule& Module();

}  // namespace hdd
