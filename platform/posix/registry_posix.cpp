// Without a Windows registry, the platform registry of this build is one
// process-wide in-memory registry: registration "succeeds" into memory and
// is gone at exit.
#include "platform/memory_registry.h"

namespace hdd {

RegistryApi& PlatformRegistry()
{
    static MemoryRegistry registry;
    return registry;
}

}  // namespace hdd
