// Names and verdicts for what a test method hands back.
#pragma once

#include <string>

#include "platform/win32.h"

namespace hddiag {

enum class Outcome { Passed, Failed, Aborted, Refused, NotRun };

// "S_OK", "HDD_TEST_READ_ERROR", ... or the hex form for a code we do not know.
std::string ResultCodeName(LONG code);

// Why a test with this result code read nothing or stopped, in a few words
// ("a selected partition cannot be resolved: ..."). Null for S_OK and for a
// code not in the table.
const char* ResultCodeMeaning(LONG code);

// What a Win32 error code of a failed read means, in a few words ("data
// error: CRC" for 23): the codes the Linux machine's errno table produces and
// those Windows gives for raw disk reads. Null for a code not in the table.
const char* Win32ErrorMeaning(DWORD error);

// "error 23 (data error: CRC)", or "error 1234" for a code not in the table.
std::string Win32ErrorText(DWORD error);

// "0x%08X" of the code's 32 bits.
std::string Hex32(ULONG value);

// The verdict on one test call from its status and its result code.
Outcome Classify(HRESULT status, LONG code);
const char* OutcomeName(Outcome outcome);

}  // namespace hddiag
