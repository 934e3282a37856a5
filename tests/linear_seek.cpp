// Linear seek test: one read every 8192 sectors, from each extent's first
// sector upwards.
#include "object/hdd_constants.h"
#include "tests/test_frame.h"

namespace hdd {

namespace {

bool ReadLinearExtent(DiskTestRun& run, LONG i)
{
    const PartitionExtent& extent = run.Extent(i);
    const ULONGLONG ullBytesPerSector = run.Geometry().BytesPerSector;  // the drive check's, not 0
    const ULONGLONG ullStart = extent.ullStartingOffset / ullBytesPerSector;
    const ULONGLONG ullEnd = ullStart + extent.ullLength / ullBytesPerSector;
    return run.SweepExtent(ullStart, ullEnd, HDD_SEEK_STEP, false);
}

constexpr DiskTestKind kLinearSeek{
    .bDriveCheck = true,
    .bExtentGeometry = false,
    .lReopenFailure = HDD_TEST_ABORTED,
    .pfnExtentGeometryFits = nullptr,
    .pfnReadExtent = ReadLinearExtent,
};

}  // namespace

HRESULT CCHDDObject::HDDLinearSeekTest(BSTR bstrDriveInfo, LONG* plRetVal)
{
    return DiskTestRun(*this, plRetVal).Run(kLinearSeek, bstrDriveInfo);
}

}  // namespace hdd
