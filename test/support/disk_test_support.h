// Shared pieces of the disk-test unit tests: simulated disks laid out in
// sectors, an object held the way a client holds it, and the checks every
// test call ends with.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "object/chdd_object.h"
#include "drive/hdd_constants.h"
#include "platform/os_api.h"
#include "platform/sim/sim_machine.h"
#include "test/support/recording_dispatch.h"
#include "support/object_state.h"

namespace hdd::testing {

constexpr ULONGLONG kSector = 512;

// A partition given in 512-byte sectors.
struct PartSpec {
    DWORD number;
    ULONGLONG firstSector;
    ULONGLONG sectors;
    WCHAR letter;
};

// A fixed SATA disk with 255 heads, large enough for its partitions plus
// margin; its geometry describes at least its size.
inline sim::SimDisk FixedDisk(const std::vector<PartSpec>& parts, DWORD sectorsPerTrack = 63,
                              DWORD bytesPerSector = 512, ULONGLONG minSectors = 0)
{
    sim::SimDisk disk;
    disk.bus = BusTypeSata;
    disk.media = FixedMedia;
    disk.tracksPerCylinder = 255;
    disk.sectorsPerTrack = sectorsPerTrack;
    disk.bytesPerSector = bytesPerSector;
    ULONGLONG endSector = minSectors;
    for (const PartSpec& p : parts) {
        disk.partitions.push_back(sim::SimPartition{p.number, p.firstSector * kSector, p.sectors * kSector, p.letter});
        if (p.firstSector + p.sectors > endSector) {
            endSector = p.firstSector + p.sectors;
        }
    }
    // Whole cylinders, and readable up to the end of the last one, so that
    // every sector the geometry describes can be read.
    const ULONGLONG wanted = (endSector + 65536) * kSector;
    const ULONGLONG perCylinder =
        255ull * (sectorsPerTrack == 0 ? 63 : sectorsPerTrack) * (bytesPerSector == 0 ? 512 : bytesPerSector);
    const ULONGLONG cylinders = (wanted + perCylinder - 1) / perCylinder;
    disk.cylinders = static_cast<LONGLONG>(cylinders);
    disk.size = cylinders * perCylinder;
    return disk;
}

inline sim::MachineDescription Machine(std::vector<sim::SimDisk> disks)
{
    sim::MachineDescription d;
    d.disks = std::move(disks);
    return d;
}

// Fills the volume table with every lettered partition of the machine, as
// the disk report would for disks on an accepted bus.
inline void FillVolumeTable(CCHDDObject& object, const sim::MachineDescription& d)
{
    ObjectState::Volumes(object).clear();
    for (size_t disk = 0; disk < d.disks.size(); ++disk) {
        for (const sim::SimPartition& p : d.disks[disk].partitions) {
            if (p.letter != 0) {
                ObjectState::Volumes(object).push_back(
                    VolumeEntry{static_cast<LONG>(disk), static_cast<LONG>(p.number), p.letter});
            }
        }
    }
}

// A new object with one reference, released at the end like a client's.
class ObjectRef {
public:
    ObjectRef() : m_p(new CCHDDObject) { m_p->AddRef(); }
    ~ObjectRef()
    {
        if (m_p != nullptr) {
            m_p->Release();
        }
    }
    ObjectRef(const ObjectRef&) = delete;
    ObjectRef& operator=(const ObjectRef&) = delete;
    CCHDDObject* operator->() const { return m_p; }
    CCHDDObject& operator*() const { return *m_p; }
    CCHDDObject* Get() const { return m_p; }
    // Gives up the reference without releasing it (the test released it).
    void Forget() { m_p = nullptr; }

private:
    CCHDDObject* m_p;
};

class Bstr {
public:
    explicit Bstr(const wchar_t* text) : m_b(text != nullptr ? SysAllocString(text) : nullptr) {}
    Bstr(const wchar_t* text, UINT length) : m_b(SysAllocStringLen(text, length)) {}
    ~Bstr() { SysFreeString(m_b); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    operator BSTR() const { return m_b; }

private:
    BSTR m_b;
};

using TestMethod = HRESULT (STDMETHODCALLTYPE CCHDDObject::*)(BSTR, LONG*);

struct NamedTest {
    const char* name;
    TestMethod method;
};

inline const NamedTest kLinear{"linear", &CCHDDObject::HDDLinearSeekTest};
inline const NamedTest kFunnel{"funnel", &CCHDDObject::HDDFunnelSeekTest};
inline const NamedTest kRandom{"random", &CCHDDObject::HDDRandomSeekTest};
inline const NamedTest kSurface{"surface", &CCHDDObject::HDDSurfaceScanTest};
inline const NamedTest kAllTests[] = {kLinear, kFunnel, kRandom, kSurface};

constexpr LONG kJunk = 0x5A5A5A5A;  // out-parameters start with this

struct Outcome {
    HRESULT status;
    LONG ret;
};

inline Outcome RunTest(CCHDDObject& object, TestMethod method, const wchar_t* selector)
{
    const Bstr text(selector);
    LONG ret = kJunk;
    const HRESULT status = (object.*method)(text, &ret);
    return Outcome{status, ret};
}

// Sectors of disk 0 read, in order.
inline std::vector<ULONGLONG> SectorsRead(const sim::SimMachine& m, LONG disk = 0)
{
    std::vector<ULONGLONG> out;
    for (const sim::SectorRead& r : m.Reads()) {
        if (r.disk == disk) {
            out.push_back(r.sector);
        }
    }
    return out;
}

// What every test call leaves behind, whatever its outcome.
inline void ExpectTestEnded(const CCHDDObject& object, const sim::SimMachine& m)
{
    EXPECT_EQ(m.OpenHandleCount(), 0u);
    EXPECT_EQ(ObjectState::DriveHandle(object), INVALID_HANDLE_VALUE);
    EXPECT_TRUE(ObjectState::Items(object).empty());
    EXPECT_EQ(ObjectState::LastPercent(object), -1);
    EXPECT_EQ(ObjectState::LastMinutes(object), -1);
}

// One test call on a fresh object over a machine: its outcome, the sectors
// of disk 0 read, the percents the client saw and the units counted.
struct MachineRun {
    Outcome outcome;
    std::vector<ULONGLONG> reads;
    std::vector<INT> percents;
    ULONGLONG units;
};

inline MachineRun RunOnMachine(const sim::MachineDescription& d, TestMethod method, const wchar_t* selector,
                               const std::vector<sim::Fault>& faults = {})
{
    sim::SimMachine m(d);
    for (const sim::Fault& f : faults) {
        m.AddFault(f);
    }
    ScopedOsApi scope(m);
    ObjectRef object;
    FillVolumeTable(*object, d);
    RecordingDispatch callback;
    LONG set = 0;
    object->SetCallback(&callback, &set);
    MachineRun run{RunTest(*object, method, selector), SectorsRead(m), callback.Values(HDD_EVENT_PERCENT),
                   ObjectState::UnitsDone(*object)};
    ExpectTestEnded(*object, m);
    return run;
}

inline std::vector<INT> Range(INT first, INT last)
{
    std::vector<INT> out;
    for (INT v = first; v <= last; ++v) {
        out.push_back(v);
    }
    return out;
}

inline std::vector<INT> Concat(std::vector<INT> a, const std::vector<INT>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

}  // namespace hdd::testing
