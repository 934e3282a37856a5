#include "platform/registry.h"

namespace hdd {

namespace {
RegistryApi* g_pCurrentRegistry = nullptr;
}

RegistryApi& Registry() { return g_pCurrentRegistry != nullptr ? *g_pCurrentRegistry : PlatformRegistry(); }

ScopedRegistryApi::ScopedRegistryApi(RegistryApi& api) : m_previous(g_pCurrentRegistry) { g_pCurrentRegistry = &api; }

ScopedRegistryApi::~ScopedRegistryApi() { g_pCurrentRegistry = m_previous; }

}  // namespace hdd
