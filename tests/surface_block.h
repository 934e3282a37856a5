// The block of the surface scan: four tracks, at most 256 sectors.
#pragma once

#include "drive/device.h"

namespace hdd {

constexpr DWORD HDD_MAX_SURFACE_BLOCK = 256;

// 4 x SectorsPerTrack as a 32-bit product, capped at 256. It is 0 for a
// geometry whose block would never advance a position.
inline ULONGLONG SurfaceBlockSectors(const DriveGeometry& geometry)
{
    const DWORD dwBlock = 4u * geometry.SectorsPerTrack;
    return dwBlock > HDD_MAX_SURFACE_BLOCK ? HDD_MAX_SURFACE_BLOCK : dwBlock;
}

}  // namespace hdd
