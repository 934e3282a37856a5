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

const char* ResultCodeMeaning(LONG code)
{
    switch (code) {
    case hdd::HDD_TEST_ABORTED:
        return "the test was stopped on request";
    case hdd::HDD_TEST_READ_ERROR:
        return "a read failed";
    case hdd::HDD_DRIVE_NOT_TESTABLE:
        return "the physical drive does not open, is not fixed media, or has a geometry the test cannot read by";
    case hdd::HDD_PARTITION_NOT_TESTABLE:
        return "a selected partition cannot be resolved: it is not in the disk report, its volume does not open "
               "or lies on another disk, or its partition information cannot be read";
    case E_INVALIDARG:
        return "no selection was given, or one of more than 26 items";
    case E_OUTOFMEMORY:
        return "memory ran out while the selection was read";
    case E_UNEXPECTED:
        return "the test was started from inside another test's callback";
    case E_NOTIMPL:
        return "the component does not have this test";
    default:
        return nullptr;
    }
}

const char* Win32ErrorMeaning(DWORD error)
{
    struct Meaning {
        DWORD error;
        const char* text;
    };
    static constexpr Meaning kMeanings[] = {
        {0, "no error code given"},
        {1, "incorrect function"},
        {2, "file not found"},
        {3, "path not found"},
        {4, "too many open files"},
        {5, "access denied"},
        {6, "invalid handle"},
        {8, "not enough memory"},
        {21, "the device is not ready"},
        {23, "data error: CRC"},
        {27, "sector not found"},
        {31, "the device is not functioning"},
        {32, "sharing violation"},
        {38, "reached the end of the file"},
        {50, "request not supported"},
        {55, "the device does not exist"},
        {87, "invalid parameter"},
        {121, "the device timed out"},
        {170, "the device is busy"},
        {206, "file name too long"},
        {1117, "I/O device error"},
        {1167, "the device is not connected"},
    };
    for (const Meaning& row : kMeanings) {
        if (row.error == error) {
            return row.text;
        }
    }
    return nullptr;
}

std::string Win32ErrorText(DWORD error)
{
    const char* meaning = Win32ErrorMeaning(error);
    std::string text = "error " + std::to_string(error);
    return meaning != nullptr ? text + " (" + meaning + ")" : text;
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
