// Bus types by name: the names a machine file and hddiag's --disk accept, and
// the short names shown to people.
#pragma once

#include <optional>
#include <string>

#include "platform/win32.h"

namespace hdd::sim {

// ata, sata, raid, usb, scsi, sas, nvme, atapi, 1394 (any case), or a number
// 0-255; nothing for anything else.
std::optional<DWORD> BusFromName(const std::string& name);

// "SATA", "USB", "NVMe", "file" (a file-backed virtual disk), ...; the number
// for a bus without a name.
std::string BusDisplayName(DWORD bus);

}  // namespace hdd::sim
