// The shape of the four disk tests, shared by the tests themselves and by the
// batch plan that counts their reads ahead: the seek step, the random reads
// per item and the surface scan's block.
#pragma once

#include "drive/device.h"

namespace hdd {

// Sectors between read positions of the linear and funnel tests.
constexpr ULONGLONG HDD_SEEK_STEP = 8192;
constexpr unsigned HDD_SEEK_STEP_SHIFT = 13;
static_assert(ULONGLONG{1} << HDD_SEEK_STEP_SHIFT == HDD_SEEK_STEP);

// Reads of the random seek test per selected item.
constexpr LONG HDD_RANDOM_READS = 3000;

// The surface scan reads the first sector of every block of four tracks.
constexpr DWORD HDD_MAX_SURFACE_BLOCK = 256;

// 4 x SectorsPerTrack as a 32-bit product, capped at 256. It is 0 for a
// geometry whose block would never advance a position.
inline ULONGLONG SurfaceBlockSectors(const DriveGeometry& geometry)
{
    const DWORD dwBlock = 4u * geometry.SectorsPerTrack;
    return dwBlock > HDD_MAX_SURFACE_BLOCK ? HDD_MAX_SURFACE_BLOCK : dwBlock;
}

}  // namespace hdd
