// The small simulated machine the object harnesses run on, and one object
// held the way a client holds it.
#pragma once

#include "fuzz/fuzz_support.h"
#include "object/chdd_object.h"
#include "object/server_lock.h"
#include "platform/sim/sim_machine.h"
#include "test/support/object_state.h"

namespace hdd::fuzz {

constexpr ULONGLONG kMiB = 1048576;

// Disk 0 (SATA): C: partition 1, D: partition 2, an unlettered partition 3.
// Disk 1 (USB): E:. Disk 2 (SATA): F:. S: spans disks 0 and 2 as partition
// 5; R: is in the drive mask but never opens. Small enough that a random
// seek test of 26 items stays quick.
inline sim::MachineDescription SmallMachine()
{
    auto disk = [](DWORD bus, std::vector<sim::SimPartition> parts) {
        sim::SimDisk d;
        d.bus = bus;
        d.cylinders = 2;
        d.tracksPerCylinder = 255;
        d.sectorsPerTrack = 63;
        d.size = sim::GeometryBytes(d);
        d.partitions = std::move(parts);
        return d;
    };
    sim::MachineDescription m;
    m.disks.push_back(disk(BusTypeSata, {{1, kMiB, 4 * kMiB, L'C'}, {2, 5 * kMiB, 2 * kMiB, L'D'},
                                         {3, 7 * kMiB, kMiB, 0}}));
    m.disks.push_back(disk(BusTypeUsb, {{1, kMiB, 2 * kMiB, L'E'}}));
    m.disks.push_back(disk(BusTypeSata, {{1, kMiB, 3 * kMiB, L'F'}}));
    m.volumes.push_back(sim::SimVolume{L'S', 5, {{0, 9 * kMiB, kMiB}, {2, 5 * kMiB, kMiB}}});
    m.unopenableLetters.push_back(L'R');
    return m;
}

// The object with one client reference; checks on release that it is gone.
class ClientObject {
public:
    ClientObject() : m_locks(ServerLockCount()), m_p(new CCHDDObject) { m_p->AddRef(); }
    ~ClientObject()
    {
        if (m_p != nullptr) {
            FUZZ_CHECK(m_p->Release() == 0);
        }
        FUZZ_CHECK(ServerLockCount() == m_locks);
    }
    ClientObject(const ClientObject&) = delete;
    ClientObject& operator=(const ClientObject&) = delete;
    CCHDDObject& operator*() const { return *m_p; }
    CCHDDObject* operator->() const { return m_p; }

private:
    LONG m_locks;
    CCHDDObject* m_p;
};

// What every call leaves behind between calls.
inline void CheckIdle(const CCHDDObject& object, const sim::SimMachine& machine)
{
    FUZZ_CHECK(machine.OpenHandleCount() == 0);
    FUZZ_CHECK(ObjectState::DriveHandle(object) == INVALID_HANDLE_VALUE);
    FUZZ_CHECK(ObjectState::Items(object).empty());
    FUZZ_CHECK(ObjectState::LastPercent(object) == -1);
}

}  // namespace hdd::fuzz
