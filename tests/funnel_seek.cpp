// Funnel seek test: the linear test's positions P, each followed by a read at
// the mirror sector E - 1 - P, so the two sequences close in on each other.
#include "object/hdd_constants.h"
#include "tests/test_frame.h"

namespace hdd {

namespace {

bool ReadFunnelExtent(DiskTestRun& run, LONG i)
{
    const PartitionExtent& extent = run.Extent(i);
    const ULONGLONG ullBytesPerSector = run.Geometry().BytesPerSector;  // the drive check's, not 0
    const ULONGLONG ullStart = extent.ullStartingOffset / ullBytesPerSector;
    const ULONGLONG ullEnd = ullStart + extent.ullLength / ullBytesPerSector;
    return run.SweepExtent(ullStart, ullEnd, HDD_SEEK_STEP, true);
}

constexpr DiskTestKind kFunnelSeek{
    .bDriveCheck = true,
    .bExtentGeometry = false,
    .lReopenFailure = HDD_TEST_ABORTED,
    .pfnExtentGeometryFits = nullptr,
    .pfnReadExtent = ReadFunnelExtent,
};

}  // namespace

HRESULT CCHDDObject::HDDFunnelSeekTest(BSTR bstrDriveInfo, LONG* plRetVal)
{
    return DiskTestRun(*this, plRetVal).Run(kFunnelSeek, bstrDriveInfo);
}

}  // namespace hdd
