#include "platform/os_api.h"

namespace hdd {

namespace {
OsApi* g_pCurrent = nullptr;
}

OsApi& Os() { return g_pCurrent != nullptr ? *g_pCurrent : PlatformOs(); }

ScopedOsApi::ScopedOsApi(OsApi& api) : m_previous(g_pCurrent) { g_pCurrent = &api; }

ScopedOsApi::~ScopedOsApi() { g_pCurrent = m_previous; }

}  // namespace hdd
