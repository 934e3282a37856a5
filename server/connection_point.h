// The object's one connection point, for _ICHDDObjectEvents. The events
// interface has no members: nothing is ever sent through it.
#pragma once

#include <vector>

#include "platform/win32.h"

namespace hdd {

class CProxy_ICHDDObjectEvents {
public:
    explicit CProxy_ICHDDObjectEvents(IConnectionPointContainer* pContainer) : m_pContainer(pContainer) {}
    ~CProxy_ICHDDObjectEvents();

private:
    IConnectionPointContainer* m_pContainer;  // the owning object; not reference-counted
    std::vector<IUnknown*> m_vecSinks;        // advised sinks, one reference each; cookie = index + 1
};

}  // namespace hdd
