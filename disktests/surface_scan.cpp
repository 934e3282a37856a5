// Surface scan: the first sector of every block of four tracks, in ascending
// order. Extent i covers as many sectors as its length, starting at 0 for the
// first extent and at the previous extent's length in sectors after it.
#include "drive/hdd_constants.h"
#include "object/disk_test_shape.h"
#include "disktests/disk_test_run.h"

namespace hdd {

namespace {

// A block of 0 sectors would never advance, and a sector size of 0 leaves
// nothing to divide the lengths by.
bool SurfaceGeometryFits(const DriveGeometry& geometry)
{
    return SurfaceBlockSectors(geometry) != 0 && geometry.BytesPerSector != 0;
}

bool ReadSurfaceExtent(DiskTestRun& run, LONG i)
{
    const DriveGeometry& geometry = run.Geometry();  // this extent's check
    const ULONGLONG ullBlock = SurfaceBlockSectors(geometry);
    const ULONGLONG ullBytesPerSector = geometry.BytesPerSector;
    const ULONGLONG ullStart = i == 0 ? 0 : run.Extent(i - 1).ullLength / ullBytesPerSector;
    const ULONGLONG ullEnd = ullStart + run.Extent(i).ullLength / ullBytesPerSector;
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
