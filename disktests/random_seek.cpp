// Random seek test: 3000 reads at random sectors of the whole disk for every
// selected extent; the extents decide only how many rounds are made.
#include "drive/hdd_constants.h"
#include "disktests/disk_test_run.h"
#include "object/disk_test_shape.h"

namespace hdd {

namespace {

// The disk's size in sectors by its geometry, as a 64-bit product: a 32-bit
// one would confine the reads of a disk of 2 TiB or more to a fraction of it.
ULONGLONG DiskSectors(const DriveGeometry& geometry)
{
    return static_cast<ULONGLONG>(geometry.SectorsPerTrack) * geometry.TracksPerCylinder *
           static_cast<ULONGLONG>(geometry.Cylinders.QuadPart);
}

// A disk of no sectors leaves nothing to draw from, and the reads take whole
// sectors of a supported size.
bool RandomGeometryFits(const DriveGeometry& geometry)
{
    return DiskSectors(geometry) != 0 && IsSupportedSectorSize(geometry.BytesPerSector);
}

bool ReadRandomExtent(DiskTestRun& run, LONG i)
{
    const ULONGLONG ullDisk = DiskSectors(run.Geometry());  // this extent's check
    const LONG n = run.ItemCount();                          // at least 1 here
    const ULONGLONG ullRounds = static_cast<ULONGLONG>(static_cast<LONGLONG>(n * HDD_RANDOM_READS));
    const LONG nBase = (100 / n) * i;
    for (ULONGLONG j = 0; j < static_cast<ULONGLONG>(HDD_RANDOM_READS); ++j) {
        if (run.AbortRequested()) {
            return false;
        }
        run.ReportPercent(static_cast<LONG>(static_cast<DWORD>(j * 100 / ullRounds)) + nBase);
        const ULONGLONG ullSector = RandomInRange(0, ullDisk - 1);
        if (ullSector == HDD_RANDOM_FAILED) {
            return run.Fail(HDD_TEST_READ_ERROR);  // before the unit is counted
        }
        if (!run.CountedRead(ullSector)) {
            return false;
        }
    }
    return true;
}

constexpr DiskTestKind kRandomSeek{
    .bDriveCheck = false,
    .bExtentGeometry = true,
    .lReopenFailure = HDD_DRIVE_NOT_TESTABLE,
    .pfnExtentGeometryFits = RandomGeometryFits,
    .pfnReadExtent = ReadRandomExtent,
};

}  // namespace

HRESULT CCHDDObject::HDDRandomSeekTest(BSTR bstrDriveInfo, LONG* plRetVal)
{
    return DiskTestRun(*this, plRetVal).Run(kRandomSeek, bstrDriveInfo);
}

}  // namespace hdd
