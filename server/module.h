// The module object: the server lock count and what lives as long as the
// loaded server.
#pragma once

#include <atomic>

#include "platform/win32.h"

namespace hdd {

class CHDDModule {
public:
    LONG Lock() { return ++m_nLockCount; }
    LONG Unlock() { return --m_nLockCount; }
    LONG GetLockCount() const { return m_nLockCount.load(); }

private:
    std::atomic<LONG> m_nLockCount{0};
};

CHDDModule& Module();

}  // namespace hdd
