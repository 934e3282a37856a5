#include "scan/scan_engine.h"

namespace hdd::scan {

ScanResult RunScan(OsApi&, const ScanTarget&, const ScanOptions&, RangeMap&, ScanClock&, ScanObserver*)
{
    ScanResult result;
    result.why = "not written yet";
    return result;
}

bool IsDeviceGoneError(DWORD) { return false; }

}  // namespace hdd::scan
