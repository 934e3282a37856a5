// Names and verdicts for what a test method hands back.
#pragma once

#include <string>

#include "platform/win32.h"

namespace hddiag {

enum class Outcome { Passed, Failed, Aborted, Refused, NotRun };

// "S_OK", "HDD_TEST_READ_ERROR", ... or the hex form for a code we do not know.
std::string ResultCodeName(LONG code);

// "0x%08X" of the code's 32 bits.
std::string Hex32(ULONG value);

// The verdict on one test call from its status and its result code.
Outcome Classify(HRESULT status, LONG code);
const char* OutcomeName(Outcome outcome);

}  // namespace hddiag
