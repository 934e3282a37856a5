// The Win32 last-error code that stands for a Linux errno value: one table,
// so every call of the Linux machine fails the way Windows would.
#pragma once

#include "platform/win32.h"

namespace hdd::blockdev {

// Codes the native platform header does not declare.
constexpr DWORD kErrorTooManyOpenFiles = 4;
constexpr DWORD kErrorNotReady = 21;
constexpr DWORD kErrorGenFailure = 31;
constexpr DWORD kErrorSharingViolation = 32;
constexpr DWORD kErrorSemTimeout = 121;
constexpr DWORD kErrorBusy = 170;
constexpr DWORD kErrorFilenameTooLong = 206;
constexpr DWORD kErrorIoDevice = 1117;

DWORD Win32ErrorFromErrno(int error);

}  // namespace hdd::blockdev
