#include "server/module.h"

#include "object/hdd_guids.h"
#include "platform/typelib.h"
#include "server/class_factory.h"

namespace hdd {

CHDDModule& Module()
{
    static CHDDModule module;
    return module;
}

CHDDModule::CHDDModule() { m_cs.Init(); }

// Nothing is released here: at process exit the libraries that own the cached
// objects may be gone already. An orderly unload calls Term first.
CHDDModule::~CHDDModule() = default;

HRESULT CHDDModule::GetClassObject(IClassFactory** ppFactory)
{
    *ppFactory = nullptr;
    if (!m_cs.IsInitialized()) {
        return E_UNEXPECTED;
    }
    CriticalSectionLock lock(m_cs);
    if (m_pClassObject == nullptr) {
        // The module's own reference: clients' references come on top of it.
        HRESULT hr = CHDDClassFactory::Create(&m_pClassObject);
        if (FAILED(hr)) {
            return hr;
        }
    }
    m_pClassObject->AddRef();
    *ppFactory = m_pClassObject;
    return S_OK;
}

HRESULT CHDDModule::GetTypeInfo(LCID lcid, ITypeInfo** ppTInfo)
{
    *ppTInfo = nullptr;
    if (!m_cs.IsInitialized()) {
        return E_UNEXPECTED;
    }
    CriticalSectionLock lock(m_cs);
    if (m_pTypeInfo == nullptr) {
        ITypeInfo* pTInfo = nullptr;
        HRESULT hr = TypeLibs().LoadRegisteredTypeInfo(LIBID_HDDLib, 1, 0, lcid, IID_ICHDDObject, &pTInfo);
        if (FAILED(hr)) {
            return hr;
        }
        m_pTypeInfo = pTInfo;
    }
    *ppTInfo = m_pTypeInfo;
    return S_OK;
}

void CHDDModule::Term()
{
    // Taken out first, so that the release (which may reenter the module
    // through the lock count) finds nothing cached.
    IClassFactory* pClassObject = m_pClassObject;
    ITypeInfo* pTypeInfo = m_pTypeInfo;
    m_pClassObject = nullptr;
    m_pTypeInfo = nullptr;
    if (pClassObject != nullptr) {
        pClassObject->Release();
    }
    if (pTypeInfo != nullptr) {
        TypeLibs().ReleaseTypeInfo(pTypeInfo);
    }
}

}  // namespace hdd
