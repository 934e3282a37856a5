#include "tools/hddiag/session/result_codes.h"

#include "drive/hdd_constants.h"

namespace hddiag {

std::string ResultCodeName(LONG code)
{
    switch (code) {
    case 0:
        return "S_OK";
    case hdd::HDD_TEST_ABORTED:
        return "HDD_TEST_ABORTED";
    case hdd::HDD_TEST_READ_ERROR:
        return "HDD_TEST_READ_ERROR";
    case hdd::HDD_DRIVE_NOT_TESTABLE:
        return "HDD_DRIVE_NOT_TESTABLE";
    case hdd::HDD_PARTITION_NOT_TESTABLE:
        return "HDD_PARTITION_NOT_TESTABLE";
    case E_INVALIDARG:
        return "E_INVALIDARG";
    case E_OUTOFMEMORY:
        return "E_OUTOFMEMORY";
    case E_UNEXPECTED:
        return "E_UNEXPECTED";
    case E_NOTIMPL:
        return "E_NOTIMPL";
    default:
        return Hex32(static_cast<ULONG>(code));
    }
}

std::string Hex32(ULONG value)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string text = "0x00000000";
    for (int i = 9; i >= 2; --i) {
        text[static_cast<size_t>(i)] = digits[value & 0xF];
        value >>= 4;
    }
    return text;
}

Outcome Classify(HRESULT status, LONG code)
{
    if (code == hdd::HDD_TEST_ABORTED) {
        return Outcome::Aborted;
    }
    if (code == hdd::HDD_TEST_READ_ERROR) {
        return Outcome::Failed;
    }
    if (code != 0) {
        return Outcome::Refused;  // not testable, bad selector, out of memory...
    }
    // A method that failed without saying why (or is not there) did not pass.
    return status == hdd::HDD_STATUS_OK ? Outcome::Passed : Outcome::Failed;
}

const char* OutcomeName(Outcome outcome)
{
    switch (outcome) {
    case Outcome::Passed:
        return "passed";
    case Outcome::Failed:
        return "failed";
    case Outcome::Aborted:
        return "aborted";
    case Outcome::Refused:
        return "refused";
    case Outcome::NotRun:
        return "not run";
    }
    return "?";
}

}  // namespace hddiag
