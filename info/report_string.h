// The disk report hands its text out as an automation string. The allocation
// goes through a replaceable function so that tests can make it fail.
#pragma once

#include "platform/win32.h"

namespace hdd {

using ReportStringAllocator = BSTR (*)(const OLECHAR* psz);

// Installs pfnAlloc (null: SysAllocString) and returns the previous one.
// Not thread-safe: for tests, before the calls begin.
ReportStringAllocator SetReportStringAllocator(ReportStringAllocator pfnAlloc);

}  // namespace hdd
