// The server's lock count. Every object and enumerator the server hands out
// holds one count for its lifetime, as does a client's LockServer; the server
// may be unloaded when the count is 0. The module object reads it.
#pragma once

#include "platform/win32.h"

namespace hdd {

LONG LockServer();
LONG UnlockServer();
LONG ServerLockCount();

}  // namespace hdd
