// Result codes, progress event kinds and the test mask bits.
#pragma once

#include "platform/win32.h"

namespace hdd {

// Result codes delivered through plRetVal (customer bit, facility 1).
constexpr LONG HDD_TEST_ABORTED = static_cast<LONG>(0x20010000u);
constexpr LONG HDD_TEST_READ_ERROR = static_cast<LONG>(0x20010001u);
constexpr LONG HDD_DRIVE_NOT_TESTABLE = static_cast<LONG>(0xA0010001u);
constexpr LONG HDD_PARTITION_NOT_TESTABLE = static_cast<LONG>(0xA0010003u);

// Method status: 0 when the method did its work, 1 when it failed.
constexpr HRESULT HDD_STATUS_OK = 0;
constexpr HRESULT HDD_STATUS_FAILED = 1;

// The callback's arguments: event kind, value, tag.
constexpr INT HDD_EVENT_PERCENT = 0;
constexpr INT HDD_EVENT_MINUTES = 1;
constexpr INT HDD_CALLBACK_TAG = 2;

// Bits of StartHDDTest's test mask.
constexpr ULONG HDD_TEST_LINEAR = 0x1;
constexpr ULONG HDD_TEST_RANDOM = 0x2;
constexpr ULONG HDD_TEST_FUNNEL = 0x4;
constexpr ULONG HDD_TEST_SURFACE = 0x8;

}  // namespace hdd
