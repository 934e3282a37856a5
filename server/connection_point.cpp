#include "server/connection_point.h"

namespace hdd {

CProxy_ICHDDObjectEvents::~CProxy_ICHDDObjectEvents()
{
    for (IUnknown* pSink : m_vecSinks) {
        if (pSink != nullptr) {
            pSink->Release();
        }
    }
    (void)m_pContainer;
}

}  // namespace hdd
