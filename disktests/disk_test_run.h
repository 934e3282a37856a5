// The frame shared by the four disk tests: start, selector, drive check,
// extent loop, the bookkeeping around every read, and the ending that runs on
// every path. A test supplies only what sets it apart (DiskTestKind).
#pragma once

#include "drive/device.h"
#include "drive/drive_selector.h"
#include "object/chdd_object.h"
#include "drive/hdd_constants.h"
#include "platform/win32.h"

namespace hdd {

class DiskTestRun;

struct DiskTestKind {
    // Open, check and close the drive once before the extents, and sum the
    // extents' sectors for a sector-based percentage.
    bool bDriveCheck;
    // Check the geometry again on each extent's own handle; FireProgress(0)
    // then follows for every extent instead of once after the drive check.
    bool bExtentGeometry;
    // Stored when the drive cannot be reopened for an extent.
    LONG lReopenFailure;
    // Whether a fixed-media geometry of an extent's check can drive this
    // test's arithmetic (unused without bExtentGeometry).
    bool (*pfnExtentGeometryFits)(const DriveGeometry& geometry);
    // The reads of extent i, on the extent's handle; false once a failure
    // code is stored.
    bool (*pfnReadExtent)(DiskTestRun& run, LONG i);
};

class DiskTestRun {
public:
    DiskTestRun(CCHDDObject& object, LONG* plRetVal) : m_object(object), m_plRetVal(plRetVal) {}
    DiskTestRun(const DiskTestRun&) = delete;
    DiskTestRun& operator=(const DiskTestRun&) = delete;

    // The whole test call.
    HRESULT Run(const DiskTestKind& kind, BSTR bstrDriveInfo);

    // ---- for the tests' read patterns ---------------------------------------
    const PartitionExtent& Extent(LONG i) const { return m_extents[i]; }
    const DriveGeometry& Geometry() const { return m_geometry; }
    LONG ItemCount() const { return m_object.m_nItemCount; }

    // Stores HDD_TEST_ABORTED when an abort was requested.
    bool AbortRequested();
    // Hands p - 1 to FireProgress when p rises above the last computed percent.
    void ReportPercent(LONG nPercent);
    // One counted read of a sector of the drive (its size from the call's
    // geometry record): the unit, the estimate every 200 units of a plan, the
    // read and the yield. False (HDD_TEST_READ_ERROR stored) when it failed.
    bool CountedRead(ULONGLONG ullSector);
    // Stores a failure code; always false.
    bool Fail(LONG lCode);

    // Reads positions S, S + step, ... below E, one iteration each: the abort
    // check, the sector-based percentage, then a read at the position and,
    // with bMirror, one at S + (E - 1 - position).
    bool SweepExtent(ULONGLONG ullStart, ULONGLONG ullEnd, ULONGLONG ullStep, bool bMirror);

private:
    void Body(const DiskTestKind& kind, BSTR bstrDriveInfo);
    bool CheckDrive();
    bool ReadExtents(const DiskTestKind& kind);
    // Closes the drive of the extent under test, if open; none is left.
    void CloseDrive();
    void End();

    CCHDDObject& m_object;
    LONG* m_plRetVal;
    HRESULT m_status = HDD_STATUS_OK;
    LONG m_nDisk = -1;
    PartitionExtent m_extents[HDD_MAX_EXTENTS];
    DriveGeometry m_geometry{};
    ULONGLONG m_ullSectorTotal = 0;
    ULONGLONG m_ullSectorsDone = 0;
    LONG m_nComputedPercent = 0;
};

}  // namespace hdd
