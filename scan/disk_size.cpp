#include "scan/disk_size.h"

namespace hdd::scan {

bool QueryDiskSize(OsApi&, const std::wstring&, DiskSize&, DWORD& error)
{
    error = ERROR_NOT_SUPPORTED;
    return false;
}

}  // namespace hdd::scan
