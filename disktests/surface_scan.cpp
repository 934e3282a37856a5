// Surface scan: the first sector of every block of four tracks, in ascending
// order, over each extent from its own first sector to its end.
#include "drive/hdd_constants.h"
#include "object/disk_test_shape.h"
#include "disktests/disk_test_run.h"

namespace hdd {

namespace {

// A block of 0 sectors would never advance, and the reads take whole sectors
// of a supported size (0 would also leave nothing to divide the extent by).
bool SurfaceGeometryFits(const DriveGeometry& geometry)
{
    return SurfaceBlockSectors(geometry) != 0 && IsSupportedSectorSize(geometry.BytesPerSector);
}

bool ReadSurfaceExtent(DiskTestRun& run, LONG i)
{
    const DriveGeometry& geometry = run.Geometry();  // this extent's check
    const ULONGLONG ullBlock = SurfaceBlockSectors(geometry);
    const ULONGLONG ullBytesPerSector = geometry.BytesPerSector;
    const PartitionExtent& extent = run.Extent(i);
    const ULONGLONG ullStart = extent.ullStartingOffset / ullBytesPerSector;
    const ULONGLONG ullEnd = ullStart + extent.ullLength / ullBytesPerSector;
    return run.SweepExtent(ullStart, ullEnd, ullBlock, false);
}

constexpr DiskTestKind kSurfaceScan{
    .bDriveCheck = true,
    .bExtentGeometry = true,
    .lReopenFailure = HDD_DRIVE_NOT_TESTABLE,
    .pfnExtentGeometryFits = SurfaceGeometryFits,
    .pfnReadExtent = ReadSurfaceExtent,
};

}  // namespace

HRESULT CCHDDObject::HDDSurfaceScanTest(BSTR bstrDriveInfo, LONG* plRetVal)
{
    return DiskTestRun(*this, plRetVal).Run(kSurfaceScan, bstrDriveInfo);
}

}  // namespace hdd
