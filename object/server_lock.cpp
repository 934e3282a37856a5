#include "object/server_lock.h"

#include <atomic>

namespace hdd {

namespace {

std::atomic<LONG> g_nLockCount{0};

}  // namespace

LONG LockServer() { return ++g_nLockCount; }
LONG UnlockServer() { return --g_nLockCount; }
LONG ServerLockCount() { return g_nLockCount.load(); }

}  // namespace hdd
