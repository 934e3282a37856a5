// Funnel seek test: position and mirror reads, units and estimates per read.
#include <gtest/gtest.h>

#include <string>

#include "test/support/disk_test_support.h"
#include "support/object_state.h"

namespace hdd {
namespace {

using namespace hdd::testing;

struct FunnelCase {
    const char* what;
    PartSpec part;
    const wchar_t* selector;
    std::vector<ULONGLONG> reads;
    std::vector<INT> percents;
};

TEST(FunnelSeek, MirrorReadsFollowEveryPosition)
{
    const FunnelCase rows[] = {
        // Partition 1 ends at sector 20,000: the extent is 0 to 19,999.
        {"S = 0, E = 20,000", {1, 2048, 17952, L'C'}, L"0-1", {0, 19999, 8192, 11807, 16384, 3615}, {0, 39, 80, 100}},
        // The mirror reads lie as far below E - 1 as P lies above S.
        {"S = 100,000, E = 120,000", {2, 100000, 20000, L'D'}, L"0-2",
         {100000, 119999, 108192, 111807, 116384, 103615}, {0, 39, 80, 100}},
        {"one sector at S", {2, 5000, 1, L'D'}, L"0-2", {5000, 5000}, {0, 100}},
    };
    for (const FunnelCase& row : rows) {
        SCOPED_TRACE(row.what);
        const sim::MachineDescription d = Machine({FixedDisk({row.part})});
        sim::SimMachine m(d);
        ScopedOsApi scope(m);
        ObjectRef object;
        FillVolumeTable(*object, d);
        RecordingDispatch callback;
        LONG set = 0;
        object->SetCallback(&callback, &set);
        const Outcome outcome = RunTest(*object, &CCHDDObject::HDDFunnelSeekTest, row.selector);
        EXPECT_EQ(outcome.status, HDD_STATUS_OK);
        EXPECT_EQ(outcome.ret, 0);
        EXPECT_EQ(SectorsRead(m), row.reads);
        EXPECT_EQ(callback.Values(HDD_EVENT_PERCENT), row.percents);
        EXPECT_EQ(ObjectState::UnitsDone(*object), row.reads.size());
        ExpectTestEnded(*object, m);
    }
}

TEST(FunnelSeek, FailedMirrorReadCountsBothUnits)
{
    const sim::MachineDescription d = Machine({FixedDisk({{1, 2048, 17952, L'C'}})});
    sim::SimMachine m(d);
    m.AddFault(sim::Fault{sim::FaultOp::Read, L"", 0, 0, 2, 0});
    ScopedOsApi scope(m);
    ObjectRef object;
    FillVolumeTable(*object, d);
    RecordingDispatch callback;
    LONG set = 0;
    object->SetCallback(&callback, &set);
    const Outcome outcome = RunTest(*object, &CCHDDObject::HDDFunnelSeekTest, L"0-1");
    EXPECT_EQ(outcome.status, HDD_STATUS_FAILED);
    EXPECT_EQ(outcome.ret, HDD_TEST_READ_ERROR);
    EXPECT_EQ(SectorsRead(m), (std::vector<ULONGLONG>{0, 19999}));
    EXPECT_EQ(ObjectState::UnitsDone(*object), 2u);
    EXPECT_EQ(callback.Values(HDD_EVENT_PERCENT), (std::vector<INT>{0, 100}));
    ExpectTestEnded(*object, m);
}

TEST(FunnelSeek, EitherReadOfAPairCanTriggerTheEstimate)
{
    // Units done before the test decide which read of the first pair reaches
    // 200; the estimate comes right before that read.
    struct Row {
        ULONGLONG unitsBefore;
        std::vector<std::string> trace;
    };
    const Row rows[] = {
        {199, {"%0", "min0", "read0", "read19999", "read8192", "read11807", "read16384", "read3615", "%100"}},
        {198, {"%0", "read0", "min0", "read19999", "read8192", "read11807", "read16384", "read3615", "%100"}},
        {196, {"%0", "read0", "read19999", "read8192", "min0", "read11807", "read16384", "read3615", "%100"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.unitsBefore);
        const sim::MachineDescription d = Machine({FixedDisk({{1, 2048, 17952, L'C'}})});
        sim::SimMachine m(d);
        ScopedOsApi scope(m);
        ObjectRef object;
        FillVolumeTable(*object, d);
        std::vector<std::string> trace;
        m.SetReadObserver([&](LONG, ULONGLONG sector) { trace.push_back("read" + std::to_string(sector)); });
        RecordingDispatch callback;
        callback.onEvent = [&](const CallbackEvent& e) {
            // Percentages 39 and 80 are left out to keep the rows short.
            if (e.kind == HDD_EVENT_MINUTES) {
                trace.push_back("min" + std::to_string(e.value));
            } else if (e.value == 0 || e.value == 100) {
                trace.push_back("%" + std::to_string(e.value));
            }
        };
        LONG set = 0;
        object->SetCallback(&callback, &set);
        ObjectState::UnitsPlanned(*object) = 1000000;
        ObjectState::UnitsDone(*object) = row.unitsBefore;
        const Outcome outcome = RunTest(*object, &CCHDDObject::HDDFunnelSeekTest, L"0-1");
        EXPECT_EQ(outcome.ret, 0);
        EXPECT_EQ(trace, row.trace);
        EXPECT_EQ(ObjectState::UnitsDone(*object), row.unitsBefore + 6);
    }
}

}  // namespace
}  // namespace hdd
