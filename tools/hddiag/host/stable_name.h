// A device's name that survives its renaming, for telling a scan's map which
// disk it belongs to when the disk has no serial: /dev/sdb may be /dev/sdc
// after the next boot, but its /dev/disk/by-id link stays.
#pragma once

#include <string>

namespace hddiag::host {

// The first, by name, of the links in `folder` that lead to the block device
// at `path`; empty for an image file, a device without such a link, and on
// Windows.
std::string StableDeviceName(const std::string& path, const std::string& folder = "/dev/disk/by-id");

}  // namespace hddiag::host
