// The frame shared by the four disk tests: its start, the drive checks, the
// ending on every path, aborts, and calls made from inside the callback.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "drive/device.h"
#include "server/module.h"
#include "test/support/disk_test_support.h"
#include "support/object_state.h"

namespace hdd {
namespace {

using namespace hdd::testing;

// Disk 0: partitions 2 and 3 of 10,000 sectors each on D: and E:.
sim::MachineDescription TwoPartitions(DWORD media = FixedMedia, DWORD bytesPerSector = 512)
{
    sim::SimDisk disk = FixedDisk({{2, 100000, 10000, L'D'}, {3, 200000, 10000, L'E'}}, 63, bytesPerSector);
    disk.media = media;
    return Machine({disk});
}

// Reads of one iteration of each test.
size_t ReadsPerIteration(TestMethod method) { return method == &CCHDDObject::HDDFunnelSeekTest ? 2 : 1; }

class DiskTestRunTest : public ::testing::Test {
protected:
    void Start(const sim::MachineDescription& d, const std::vector<sim::Fault>& faults = {})
    {
        scope.reset();
        machine = std::make_unique<sim::SimMachine>(d);
        for (const sim::Fault& f : faults) {
            machine->AddFault(f);
        }
        scope = std::make_unique<ScopedOsApi>(*machine);
        object = std::make_unique<ObjectRef>();
        FillVolumeTable(**object, d);
        callback.events.clear();
        callback.onEvent = nullptr;
        LONG set = 0;
        (*object)->SetCallback(&callback, &set);
    }
    CCHDDObject& Object() { return **object; }

    std::unique_ptr<sim::SimMachine> machine;
    std::unique_ptr<ScopedOsApi> scope;
    RecordingDispatch callback;
    std::unique_ptr<ObjectRef> object;
};

TEST_F(DiskTestRunTest, NullResultPointerStillRunsTheEnding)
{
    for (const NamedTest& test : kAllTests) {
        SCOPED_TRACE(test.name);
        Start(TwoPartitions());
        ObjectState::AbortFlag(Object()) = true;
        const Bstr selector(L"0-2");
        EXPECT_EQ((Object().*test.method)(selector, nullptr), HDD_STATUS_FAILED);
        EXPECT_TRUE(machine->Calls().empty());
        EXPECT_FALSE(ObjectState::AbortFlag(Object()));  // cleared before anything else
        EXPECT_EQ(callback.Values(HDD_EVENT_PERCENT), (std::vector<INT>{100}));
        ExpectTestEnded(Object(), *machine);
    }
}

TEST_F(DiskTestRunTest, SelectorOutcomes)
{
    std::wstring tooMany;
    for (int i = 0; i < 27; ++i) {
        tooMany += L"0-2,";
    }
    struct Row {
        const wchar_t* selector;
        LONG seekTests;  // linear, funnel, surface
        LONG random;
    };
    const Row rows[] = {
        {nullptr, E_INVALIDARG, E_INVALIDARG},
        {tooMany.c_str(), E_INVALIDARG, E_INVALIDARG},
        {L"abc", HDD_PARTITION_NOT_TESTABLE, HDD_PARTITION_NOT_TESTABLE},
        // No items: disk -1 fails the drive check; the random test has none.
        {L"", HDD_DRIVE_NOT_TESTABLE, 0},
    };
    for (const Row& row : rows) {
        for (const NamedTest& test : kAllTests) {
            SCOPED_TRACE(::testing::Message() << test.name << " "
                                              << ::testing::PrintToString(std::wstring(row.selector ? row.selector : L"(null)")));
            Start(TwoPartitions());
            const Outcome outcome = RunTest(Object(), test.method, row.selector);
            const LONG expected = test.method == &CCHDDObject::HDDRandomSeekTest ? row.random : row.seekTests;
            EXPECT_EQ(outcome.ret, expected);
            EXPECT_EQ(outcome.status, expected == 0 ? HDD_STATUS_OK : HDD_STATUS_FAILED);
            EXPECT_TRUE(SectorsRead(*machine).empty());
            EXPECT_EQ(callback.Values(HDD_EVENT_PERCENT), (std::vector<INT>{100}));
            ExpectTestEnded(Object(), *machine);
            if (row.selector == tooMany.c_str()) {
                EXPECT_TRUE(machine->Calls().empty());
            }
        }
    }
}

TEST_F(DiskTestRunTest, EachDeviceFailureHasItsCode)
{
    const std::wstring drive = L"\\\\.\\PHYSICALDRIVE0";
    struct Row {
        const char* what;
        sim::MachineDescription machine;
        std::vector<sim::Fault> faults;
        LONG linearFunnel;
        LONG random;
        LONG surface;
    };
    const Row rows[] = {
        {"drive does not open", TwoPartitions(), {{sim::FaultOp::Open, drive, 0, -1, 1, 0}}, HDD_DRIVE_NOT_TESTABLE,
         HDD_DRIVE_NOT_TESTABLE, HDD_DRIVE_NOT_TESTABLE},
        {"removable media", TwoPartitions(RemovableMedia), {}, HDD_DRIVE_NOT_TESTABLE, HDD_DRIVE_NOT_TESTABLE,
         HDD_DRIVE_NOT_TESTABLE},
        {"first geometry request fails", TwoPartitions(),
         {{sim::FaultOp::Ioctl, drive, IOCTL_DISK_GET_DRIVE_GEOMETRY, -1, 1, 0}}, HDD_DRIVE_NOT_TESTABLE,
         HDD_DRIVE_NOT_TESTABLE, HDD_DRIVE_NOT_TESTABLE},
        // Every test reads whole sectors, of 512 to 4096 bytes, a power of two.
        {"sector size 0", TwoPartitions(FixedMedia, 0), {}, HDD_DRIVE_NOT_TESTABLE, HDD_DRIVE_NOT_TESTABLE,
         HDD_DRIVE_NOT_TESTABLE},
        {"sector size 8192", TwoPartitions(FixedMedia, 8192), {}, HDD_DRIVE_NOT_TESTABLE, HDD_DRIVE_NOT_TESTABLE,
         HDD_DRIVE_NOT_TESTABLE},
        {"sector size 520", TwoPartitions(FixedMedia, 520), {}, HDD_DRIVE_NOT_TESTABLE, HDD_DRIVE_NOT_TESTABLE,
         HDD_DRIVE_NOT_TESTABLE},
        {"second open fails", TwoPartitions(), {{sim::FaultOp::Open, drive, 0, -1, 2, 0}}, HDD_TEST_ABORTED,
         HDD_DRIVE_NOT_TESTABLE, HDD_DRIVE_NOT_TESTABLE},
        {"first seek fails", TwoPartitions(), {{sim::FaultOp::Seek, L"", 0, 0, 1, 0}}, HDD_TEST_READ_ERROR,
         HDD_TEST_READ_ERROR, HDD_TEST_READ_ERROR},
        {"first read fails", TwoPartitions(), {{sim::FaultOp::Read, L"", 0, 0, 1, 0}}, HDD_TEST_READ_ERROR,
         HDD_TEST_READ_ERROR, HDD_TEST_READ_ERROR},
    };
    for (const Row& row : rows) {
        for (const NamedTest& test : kAllTests) {
            SCOPED_TRACE(::testing::Message() << row.what << ", " << test.name);
            Start(row.machine, row.faults);
            const Outcome outcome = RunTest(Object(), test.method, L"0-2,0-3");
            const LONG expected = test.method == &CCHDDObject::HDDRandomSeekTest    ? row.random
                                  : test.method == &CCHDDObject::HDDSurfaceScanTest ? row.surface
                                                                                     : row.linearFunnel;
            EXPECT_EQ(outcome.ret, expected);
            EXPECT_EQ(outcome.status, expected == 0 ? HDD_STATUS_OK : HDD_STATUS_FAILED);
            ExpectTestEnded(Object(), *machine);
            if (expected == HDD_TEST_READ_ERROR) {
                EXPECT_EQ(ObjectState::UnitsDone(Object()), 1u);
                EXPECT_EQ(ObjectState::DriveHandle(Object()), INVALID_HANDLE_VALUE);
            }
        }
    }
}

TEST_F(DiskTestRunTest, AbortFromTheFirstCallbackReadsNothing)
{
    for (const NamedTest& test : kAllTests) {
        SCOPED_TRACE(test.name);
        Start(TwoPartitions());
        callback.onEvent = [&](const CallbackEvent&) { Object().Abort(); };
        const Outcome outcome = RunTest(Object(), test.method, L"0-2,0-3");
        EXPECT_EQ(outcome.status, HDD_STATUS_FAILED);
        EXPECT_EQ(outcome.ret, HDD_TEST_ABORTED);
        EXPECT_TRUE(SectorsRead(*machine).empty());
        EXPECT_EQ(ObjectState::UnitsDone(Object()), 0u);
        EXPECT_EQ(callback.Values(HDD_EVENT_PERCENT), (std::vector<INT>{0}));  // not even the 100
        EXPECT_TRUE(ObjectState::AbortFlag(Object()));
        ExpectTestEnded(Object(), *machine);
    }
}

TEST_F(DiskTestRunTest, AbortFromALaterCallbackFinishesThatIteration)
{
    for (const NamedTest& test : kAllTests) {
        SCOPED_TRACE(test.name);
        Start(TwoPartitions());
        ULONGLONG readsAtAbort = 0;
        callback.onEvent = [&](const CallbackEvent& e) {
            if (e.value > 0) {
                readsAtAbort = machine->ReadCount();
                Object().Abort();
            }
        };
        const Outcome outcome = RunTest(Object(), test.method, L"0-2,0-3");
        EXPECT_EQ(outcome.ret, HDD_TEST_ABORTED);
        EXPECT_GT(readsAtAbort, 0u);
        EXPECT_EQ(machine->ReadCount(), readsAtAbort + ReadsPerIteration(test.method));
        EXPECT_EQ(callback.events.size(), 2u);
        ExpectTestEnded(Object(), *machine);
    }
}

TEST_F(DiskTestRunTest, NestedTestCallsAreRefusedWithoutTouchingTheRunningTest)
{
    for (const NamedTest& running : kAllTests) {
        SCOPED_TRACE(running.name);
        Start(TwoPartitions());
        bool nestedDone = false;
        callback.onEvent = [&](const CallbackEvent& e) {
            if (nestedDone || e.value != 0) {
                return;
            }
            nestedDone = true;
            CCHDDObject& o = Object();
            const bool abortBefore = ObjectState::AbortFlag(o);
            const HANDLE driveBefore = ObjectState::DriveHandle(o);
            const std::vector<std::wstring> itemsBefore = ObjectState::Items(o);
            const LONG countBefore = ObjectState::ItemCount(o);
            const LONG percentBefore = ObjectState::LastPercent(o);
            const LONG minutesBefore = ObjectState::LastMinutes(o);
            const ULONGLONG doneBefore = ObjectState::UnitsDone(o);
            const size_t handlesBefore = machine->OpenHandleCount();
            for (const NamedTest& nested : kAllTests) {
                SCOPED_TRACE(nested.name);
                const Outcome outcome = RunTest(o, nested.method, L"0-3");
                EXPECT_EQ(outcome.status, HDD_STATUS_FAILED);
                EXPECT_EQ(outcome.ret, static_cast<LONG>(E_UNEXPECTED));
                EXPECT_EQ((o.*nested.method)(nullptr, nullptr), HDD_STATUS_FAILED);
            }
            EXPECT_EQ(ObjectState::AbortFlag(o), abortBefore);
            EXPECT_EQ(ObjectState::DriveHandle(o), driveBefore);
            EXPECT_EQ(ObjectState::Items(o), itemsBefore);
            EXPECT_EQ(ObjectState::ItemCount(o), countBefore);
            EXPECT_EQ(ObjectState::LastPercent(o), percentBefore);
            EXPECT_EQ(ObjectState::LastMinutes(o), minutesBefore);
            EXPECT_EQ(ObjectState::UnitsDone(o), doneBefore);
            EXPECT_EQ(machine->OpenHandleCount(), handlesBefore);
            // The small methods and the report stay callable.
            LONG lastError = kJunk;
            EXPECT_EQ(o.ZornGetLastError(&lastError), HDD_STATUS_OK);
            BSTR report = nullptr;
            o.GetHardDiskInfo(&report);
            SysFreeString(report);
            LONG set = kJunk;
            EXPECT_EQ(o.SetCallback(&callback, &set), HDD_STATUS_OK);
        };
        const Outcome outcome = RunTest(Object(), running.method, L"0-2,0-3");
        EXPECT_TRUE(nestedDone);
        EXPECT_EQ(outcome.status, HDD_STATUS_OK);
        EXPECT_EQ(outcome.ret, 0);
        EXPECT_FALSE(SectorsRead(*machine).empty());
        EXPECT_EQ(callback.Values(HDD_EVENT_PERCENT).front(), 0);
        ExpectTestEnded(Object(), *machine);
        // After the test the same methods run again.
        EXPECT_EQ(RunTest(Object(), running.method, L"0-3").ret, 0);
    }
}

TEST_F(DiskTestRunTest, ObjectOutlivesTheClientsLastReleaseDuringATest)
{
    for (const NamedTest& test : kAllTests) {
        SCOPED_TRACE(test.name);
        Start(TwoPartitions());
        const LONG locksBefore = Module().GetLockCount();
        CCHDDObject* client = object->Get();
        object->Forget();  // the client's one reference is released below
        bool released = false;
        callback.onEvent = [&](const CallbackEvent&) {
            if (!released) {
                released = true;
                EXPECT_EQ(client->Release(), 1u);  // the running test's own reference remains
            }
        };
        const Bstr selector(L"0-2,0-3");
        LONG ret = kJunk;
        EXPECT_EQ((client->*test.method)(selector, &ret), HDD_STATUS_OK);
        EXPECT_EQ(ret, 0);
        EXPECT_TRUE(released);
        EXPECT_EQ(Module().GetLockCount(), locksBefore - 1);  // gone once the test returned
        EXPECT_EQ(machine->OpenHandleCount(), 0u);
        EXPECT_FALSE(callback.events.empty());
    }
}

TEST_F(DiskTestRunTest, EveryTestStartsAfresh)
{
    for (const NamedTest& test : kAllTests) {
        SCOPED_TRACE(test.name);
        Start(TwoPartitions());
        // An abort while no test runs clears the callback but not the next test.
        Object().Abort();
        std::memset(SectorBuffer, 0xAB, sizeof SectorBuffer);
        EXPECT_EQ(RunTest(Object(), test.method, L"0-2").ret, 0);
        EXPECT_TRUE(callback.events.empty());
        EXPECT_EQ(SectorBuffer[HDD_SECTOR_BUFFER_SIZE - 1], 0);  // zero-filled at the start
        EXPECT_GE(ObjectState::Items(Object()).capacity(), HDD_ITEM_RESERVE);
        EXPECT_EQ(ObjectState::ItemCount(Object()), 1);  // kept until the next parse

        LONG set = 0;
        Object().SetCallback(&callback, &set);
        for (int round = 0; round < 2; ++round) {
            callback.events.clear();
            EXPECT_EQ(RunTest(Object(), test.method, L"0-2,0-3").ret, 0);
            EXPECT_EQ(callback.Values(HDD_EVENT_PERCENT).front(), 0) << "round " << round;
            EXPECT_EQ(ObjectState::ItemCount(Object()), 2);
            ExpectTestEnded(Object(), *machine);
        }
    }
}

}  // namespace
}  // namespace hdd
