#include "disktests/disk_test_run.h"

#include <cstring>
#include <new>

#include "drive/device_handle.h"
#include "drive/hdd_constants.h"
#include "platform/os_api.h"

namespace hdd {

namespace {

// Units between two time estimates of a planned batch.
constexpr ULONGLONG HDD_ESTIMATE_EVERY = 200;
constexpr INT HDD_PERCENT_DONE = 100;

}  // namespace

HRESULT DiskTestRun::Run(const DiskTestKind& kind, BSTR bstrDriveInfo)
{
    if (!m_object.BeginTestCall()) {
        // Called from the running test's callback: this call would take over
        // the running test's drive handle and items, so it is refused without
        // touching anything of that test.
        if (m_plRetVal != nullptr) {
            *m_plRetVal = E_UNEXPECTED;
        }
        return HDD_STATUS_FAILED;
    }
    Body(kind, bstrDriveInfo);
    End();
    const HRESULT status = m_status;
    m_object.EndTestCall();  // may destroy the object
    return status;
}

void DiskTestRun::Body(const DiskTestKind& kind, BSTR bstrDriveInfo)
{
    m_status = HDD_STATUS_OK;
    m_object.m_bAbort = false;
    if (m_plRetVal == nullptr) {
        m_status = HDD_STATUS_FAILED;
        return;
    }
    *m_plRetVal = 0;
    m_nDisk = -1;
    for (PartitionExtent& extent : m_extents) {
        extent = PartitionExtent{};
    }
    m_ullSectorTotal = 0;
    m_ullSectorsDone = 0;
    m_nComputedPercent = 0;
    std::memset(SectorBuffer, 0, sizeof SectorBuffer);
    std::memset(&m_geometry, 0, sizeof m_geometry);
    try {
        m_object.m_vecItems.reserve(HDD_ITEM_RESERVE);
    } catch (const std::bad_alloc&) {
        Fail(E_OUTOFMEMORY);
        return;
    }

    LONG lParse = 0;
    if (m_object.ParseDriveSelector(&lParse, bstrDriveInfo, &m_nDisk, m_extents) != HDD_STATUS_OK) {
        Fail(lParse);
        return;
    }

    if (kind.bDriveCheck) {
        if (!CheckDrive()) {
            return;
        }
        if (!kind.bExtentGeometry) {
            m_object.FireProgress(0);
            Os().Sleep(0);
        }
        // The drive check's sector size measures the whole selection.
        const ULONGLONG ullBytesPerSector = m_geometry.BytesPerSector;
        for (LONG i = 0; i < m_object.m_nItemCount && i < HDD_MAX_EXTENTS; ++i) {
            m_ullSectorTotal += m_extents[i].ullLength / ullBytesPerSector;
        }
    }
    (void)ReadExtents(kind);
}

bool DiskTestRun::CheckDrive()
{
    DeviceHandle drive(OpenPhysicalDrive(m_nDisk));
    if (drive.Get() == INVALID_HANDLE_VALUE) {
        return Fail(HDD_DRIVE_NOT_TESTABLE);
    }
    const bool bTestable = QueryDriveGeometry(drive.Get(), m_geometry);
    drive.Close();
    // The reads take whole sectors into the sector buffer: only the sizes
    // it is made for (a size of 0 would also leave nothing to divide by).
    if (!bTestable || !IsSupportedSectorSize(m_geometry.BytesPerSector)) {
        return Fail(HDD_DRIVE_NOT_TESTABLE);
    }
    return true;
}

bool DiskTestRun::ReadExtents(const DiskTestKind& kind)
{
    HANDLE& hDrive = m_object.m_hDrive;
    for (LONG i = 0; i < m_object.m_nItemCount && i < HDD_MAX_EXTENTS; ++i) {
        hDrive = OpenPhysicalDrive(m_nDisk);
        if (hDrive == INVALID_HANDLE_VALUE) {
            return Fail(kind.lReopenFailure);
        }
        if (kind.bExtentGeometry) {
            if (!QueryDriveGeometry(hDrive, m_geometry) || !kind.pfnExtentGeometryFits(m_geometry)) {
                return Fail(HDD_DRIVE_NOT_TESTABLE);
            }
            m_object.FireProgress(0);
            Os().Sleep(0);
        }
        if (!kind.pfnReadExtent(*this, i)) {
            return false;
        }
        CloseDrive();
    }
    return true;
}

void DiskTestRun::End()
{
    CloseDrive();
    m_object.m_vecItems.clear();  // the capacity stays for the next test
    m_object.FireProgress(HDD_PERCENT_DONE);
    m_object.m_nLastPercent = -1;
    m_object.m_nLastMinutes = -1;
}

void DiskTestRun::CloseDrive()
{
    HANDLE& hDrive = m_object.m_hDrive;
    if (DeviceHandle::IsOpenHandle(hDrive)) {
        Os().CloseHandle(hDrive);
    }
    hDrive = INVALID_HANDLE_VALUE;
}

bool DiskTestRun::Fail(LONG lCode)
{
    *m_plRetVal = lCode;
    m_status = HDD_STATUS_FAILED;
    return false;
}

bool DiskTestRun::AbortRequested()
{
    if (!m_object.m_bAbort) {
        return false;
    }
    Fail(HDD_TEST_ABORTED);
    return true;
}

void DiskTestRun::ReportPercent(LONG nPercent)
{
    // The value handed on is one less than the one computed.
    if (nPercent > m_nComputedPercent) {
        m_object.FireProgress(nPercent - 1);
    }
    m_nComputedPercent = nPercent;
}

bool DiskTestRun::CountedRead(ULONGLONG ullSector)
{
    CCHDDObject& object = m_object;
    object.m_ullUnitsDone += 1;
    if (object.m_ullUnitsPlanned != 0 && object.m_ullUnitsDone % HDD_ESTIMATE_EVERY == 0) {
        object.EstimateTimeRemaining();
    }
    // In the drive's own sectors, as the geometry record of this call gives them.
    if (!ReadTestSector(object.m_hDrive, ullSector, m_geometry.BytesPerSector)) {
        return Fail(HDD_TEST_READ_ERROR);
    }
    Os().Sleep(0);
    return true;
}

bool DiskTestRun::SweepExtent(ULONGLONG ullStart, ULONGLONG ullEnd, ULONGLONG ullStep, bool bMirror)
{
    if (ullStart >= ullEnd) {
        return true;  // shorter than one sector: nothing to read
    }
    ULONGLONG ullPos = ullStart;
    for (;;) {
        if (AbortRequested()) {
            return false;
        }
        // The total covers the extent being read, so it is not 0 here unless
        // an extent's own geometry changed the sector size under the test.
        const ULONGLONG ullQuotient = m_ullSectorTotal != 0 ? m_ullSectorsDone * 100 / m_ullSectorTotal : 0;
        const LONG nPercent = static_cast<LONG>(static_cast<DWORD>(ullQuotient));
        // The full step counts also for a last, shorter one.
        m_ullSectorsDone += ullStep;
        ReportPercent(nPercent);
        if (!CountedRead(ullPos)) {
            return false;
        }
        // The mirror lies as far below the last sector as P lies above the
        // first, so the two reads close in on the extent's middle.
        if (bMirror && !CountedRead(ullStart + (ullEnd - 1 - ullPos))) {
            return false;
        }
        if (ullStep >= ullEnd - ullPos) {
            return true;  // the next position lies at or past the end (or would wrap)
        }
        ullPos += ullStep;
    }
}

}  // namespace hdd
