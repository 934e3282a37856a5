#include "server/class_factory.h"

#include <new>

#include "object/chdd_object.h"
#include "server/module.h"

namespace hdd {

HRESULT CHDDClassFactory::Create(IClassFactory** ppFactory)
{
    *ppFactory = new (std::nothrow) CHDDClassFactory();
    return *ppFactory != nullptr ? S_OK : E_OUTOFMEMORY;
}

HRESULT CHDDClassFactory::QueryInterface(REFIID riid, void** ppvObject)
{
    if (ppvObject == nullptr) {
        return E_POINTER;
    }
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
        *ppvObject = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }
    *ppvObject = nullptr;
    return E_NOINTERFACE;
}

ULONG CHDDClassFactory::AddRef()
{
    const ULONG cRef = ++m_cRef;
    if (cRef == 2) {
        Module().Lock();  // a client now holds the class object
    }
    return cRef;
}

ULONG CHDDClassFactory::Release()
{
    const ULONG cRef = --m_cRef;
    if (cRef == 1) {
        Module().Unlock();  // only the module's own reference is left
    } else if (cRef == 0) {
        delete this;
    }
    return cRef;
}

HRESULT CHDDClassFactory::CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppvObject)
{
    if (ppvObject == nullptr) {
        return E_POINTER;
    }
    *ppvObject = nullptr;
    // An aggregated object can be handed only to its outer object, as its
    // inner IUnknown.
    if (pUnkOuter != nullptr && !IsEqualIID(riid, IID_IUnknown)) {
        return CLASS_E_NOAGGREGATION;
    }
    CCHDDObject* pObject = nullptr;
    try {
        pObject = new (std::nothrow) CCHDDObject();
    } catch (const std::bad_alloc&) {
        pObject = nullptr;  // the constructor's reservation ran out of memory
    }
    if (pObject == nullptr) {
        return E_OUTOFMEMORY;
    }
    if (pUnkOuter != nullptr) {
        pObject->SetOuterUnknown(pUnkOuter);
    }
    // Held across the query, so that a failed query frees the object.
    IUnknown* pInner = pObject->GetInnerUnknown();
    pInner->AddRef();
    const HRESULT hr = pInner->QueryInterface(riid, ppvObject);
    pInner->Release();
    return hr;
}

HRESULT CHDDClassFactory::LockServer(BOOL fLock)
{
    if (fLock) {
        Module().Lock();
    } else {
        Module().Unlock();
    }
    return S_OK;
}

}  // namespace hdd
