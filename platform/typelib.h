// The type-library seam: loading type information for IDispatch, forwarding
// IDispatch calls to it, and loading and (un)registering the component's
// type library. On Windows it is oleaut32. The native build has no type
// libraries: there the loaders answer TYPE_E_LIBNOTREGISTERED or
// TYPE_E_CANTLOADLIBRARY and the forwarders E_NOTIMPL, so the object's
// IDispatch reports what a client on Windows sees before registration.
//
// Type information and libraries are opaque to the component: it only holds
// and releases them through this seam.
#pragma once

#include "platform/seam.h"
#include "platform/win32.h"

namespace hdd {

class TypeLibApi {
public:
    virtual ~TypeLibApi() = default;

    // The type information of `iid` from the registered library `libid`
    // (LoadRegTypeLib + GetTypeInfoOfGuid).
    virtual HRESULT LoadRegisteredTypeInfo(REFGUID libid, WORD wMajor, WORD wMinor, LCID lcid, REFIID iid,
                                           ITypeInfo** ppTInfo) = 0;
    virtual void AddRefTypeInfo(ITypeInfo* pTInfo) = 0;
    virtual void ReleaseTypeInfo(ITypeInfo* pTInfo) = 0;
    virtual HRESULT DispGetIDsOfNames(ITypeInfo* pTInfo, LPOLESTR* rgszNames, UINT cNames, DISPID* rgDispId) = 0;
    virtual HRESULT DispInvoke(void* pThis, ITypeInfo* pTInfo, DISPID dispIdMember, WORD wFlags,
                               DISPPARAMS* pDispParams, VARIANT* pVarResult, EXCEPINFO* pExcepInfo,
                               UINT* puArgErr) = 0;

    // Loads a library from a file (or a module's type-library resource 1)
    // without registering it.
    virtual HRESULT LoadTypeLibFile(LPCWSTR szPath, ITypeLib** ppTLib) = 0;
    virtual void ReleaseTypeLib(ITypeLib* pTLib) = 0;
    // Registers the library under szPath. Per user: RegisterTypeLibForUser,
    // looked up in OLEAUT32.DLL at the time of the call, or RegisterTypeLib
    // when the module or the function is not there.
    virtual HRESULT RegisterTypeLib(ITypeLib* pTLib, LPCWSTR szPath, bool bPerUser) = 0;
    // S_OK when a registration exists for the library's identifier, version,
    // locale and system kind (win32 or win64: a 64-bit system's two servers
    // share the library's key); S_FALSE when none does.
    virtual HRESULT IsTypeLibRegistered(ITypeLib* pTLib) = 0;
    // Removes the registration for the library's identifier, version, locale
    // and system kind (per user as for registration).
    virtual HRESULT UnregisterTypeLib(ITypeLib* pTLib, bool bPerUser) = 0;
};

TypeLibApi& PlatformTypeLibs();
inline TypeLibApi& TypeLibs() { return Seam<TypeLibApi, PlatformTypeLibs>::Current(); }

using ScopedTypeLibApi = Seam<TypeLibApi, PlatformTypeLibs>::Scoped;

}  // namespace hdd
