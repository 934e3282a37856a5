// The linear and funnel seek tests: one read every 8192 sectors from each
// extent's first sector upwards; the funnel test follows every position P
// with a read at the mirror sector S + (E - 1 - P), so that the two sequences
// close in on each other inside the extent. They differ in nothing else.
#include "disktests/disk_test_run.h"
#include "drive/hdd_constants.h"
#include "object/disk_test_shape.h"

namespace hdd {

namespace {

template <bool bMirror>
bool ReadSweepExtent(DiskTestRun& run, LONG i)
{
    const PartitionExtent& extent = run.Extent(i);
    const ULONGLONG ullBytesPerSector = run.Geometry().BytesPerSector;  // the drive check's, a supported size
    const ULONGLONG ullStart = extent.ullStartingOffset / ullBytesPerSector;
    const ULONGLONG ullEnd = ullStart + extent.ullLength / ullBytesPerSector;
    return run.SweepExtent(ullStart, ullEnd, HDD_SEEK_STEP, bMirror);
}

constexpr DiskTestKind SweepTest(bool (*pfnReadExtent)(DiskTestRun&, LONG))
{
    return DiskTestKind{
        .bDriveCheck = true,
        .bExtentGeometry = false,
        .lReopenFailure = HDD_TEST_ABORTED,
        .pfnExtentGeometryFits = nullptr,
        .pfnReadExtent = pfnReadExtent,
    };
}

constexpr DiskTestKind kLinearSeek = SweepTest(ReadSweepExtent<false>);
constexpr DiskTestKind kFunnelSeek = SweepTest(ReadSweepExtent<true>);

}  // namespace

HRESULT CCHDDObject::HDDLinearSeekTest(BSTR bstrDriveInfo, LONG* plRetVal)
{
    return DiskTestRun(*this, plRetVal).Run(kLinearSeek, bstrDriveInfo);
}

HRESULT CCHDDObject::HDDFunnelSeekTest(BSTR bstrDriveInfo, LONG* plRetVal)
{
    return DiskTestRun(*this, plRetVal).Run(kFunnelSeek, bstrDriveInfo);
}

}  // namespace hdd
