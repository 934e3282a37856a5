// Accessors of the type-library and module-host seams.
#include "platform/module_host.h"
#include "platform/typelib.h"

namespace hdd {

namespace {
TypeLibApi* g_pCurrentTypeLibs = nullptr;
ModuleHostApi* g_pCurrentModuleHost = nullptr;
}  // namespace

TypeLibApi& TypeLibs() { return g_pCurrentTypeLibs != nullptr ? *g_pCurrentTypeLibs : PlatformTypeLibs(); }

ScopedTypeLibApi::ScopedTypeLibApi(TypeLibApi& api) : m_previous(g_pCurrentTypeLibs) { g_pCurrentTypeLibs = &api; }

ScopedTypeLibApi::~ScopedTypeLibApi() { g_pCurrentTypeLibs = m_previous; }

ModuleHostApi& ModuleHost()
{
    return g_pCurrentModuleHost != nullptr ? *g_pCurrentModuleHost : PlatformModuleHost();
}

ScopedModuleHostApi::ScopedModuleHostApi(ModuleHostApi& api) : m_previous(g_pCurrentModuleHost)
{
    g_pCurrentModuleHost = &api;
}

ScopedModuleHostApi::~ScopedModuleHostApi() { g_pCurrentModuleHost = m_previous; }

}  // namespace hdd
