// Percent and minutes calls on the client's callback, and the time estimator.
// The recording callback checks every argument of every Invoke.
#include <gtest/gtest.h>

#include <vector>

#include "object/chdd_object.h"
#include "drive/hdd_constants.h"
#include "platform/os_api.h"
#include "platform/sim/sim_machine.h"
#include "support/recording_dispatch.h"
#include "support/object_state.h"

namespace hdd {
namespace {

using testing::CallbackEvent;
using testing::RecordingDispatch;

CallbackEvent Percent(INT n) { return {HDD_EVENT_PERCENT, n, HDD_CALLBACK_TAG}; }
CallbackEvent Minutes(INT n) { return {HDD_EVENT_MINUTES, n, HDD_CALLBACK_TAG}; }

class ProgressEvents : public ::testing::Test {
protected:
    void SetUp() override
    {
        LONG lRet = -7;
        ASSERT_EQ(object.SetCallback(&callback, &lRet), HDD_STATUS_OK);
    }

    sim::SimMachine machine{sim::BuiltinMachine()};
    ScopedOsApi scope{machine};
    RecordingDispatch callback;
    CCHDDObject object;
};

TEST_F(ProgressEvents, FirstZeroOfAFreshObjectReachesTheClient)
{
    EXPECT_EQ(object.FireProgress(0), S_OK);
    EXPECT_EQ(callback.events, (std::vector<CallbackEvent>{Percent(0)}));
}

TEST_F(ProgressEvents, OnlyRisingPercentValuesAreSentAndNoneAbove100)
{
    struct Row {
        const char* name;
        std::vector<INT> fired;
        std::vector<INT> sent;
        LONG lastAfter;
    };
    const Row rows[] = {
        {"repeat", {5, 5}, {5}, 5},
        {"fall", {5, 3}, {5}, 5},
        {"rise", {0, 1, 50, 49, 100}, {0, 1, 50, 100}, 100},
        {"above 100 is stored, not sent", {101, 100, 102}, {}, 102},
        {"100 then above", {99, 100, 101}, {99, 100}, 101},
        {"not above the initial -1", {-1, -2}, {}, -1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        callback.events.clear();
        ObjectState::LastPercent(object) = -1;
        for (INT n : row.fired) {
            object.FireProgress(n);
        }
        EXPECT_EQ(callback.Values(HDD_EVENT_PERCENT), row.sent);
        EXPECT_EQ(callback.Values(HDD_EVENT_MINUTES), std::vector<INT>{});
        EXPECT_EQ(ObjectState::LastPercent(object), row.lastAfter);
    }
}

TEST_F(ProgressEvents, ValuesAreRecordedWithoutACallbackOrAfterAbortFlag)
{
    object.ReleaseCallback();
    EXPECT_EQ(object.FireProgress(5), S_OK);
    EXPECT_EQ(object.FireTimeRemaining(9), S_OK);
    EXPECT_EQ(ObjectState::LastPercent(object), 5);
    EXPECT_EQ(ObjectState::LastMinutes(object), 9);

    LONG lRet = 0;
    object.SetCallback(&callback, &lRet);
    object.FireProgress(5);       // still suppressed: 5 was stored
    object.FireTimeRemaining(9);  // likewise
    EXPECT_TRUE(callback.events.empty());

    // The abort flag alone, with the callback still set, suppresses the call.
    ObjectState::AbortFlag(object) = true;
    EXPECT_EQ(object.FireProgress(6), S_OK);
    EXPECT_EQ(object.FireTimeRemaining(4), S_OK);
    EXPECT_TRUE(callback.events.empty());
    EXPECT_EQ(ObjectState::LastPercent(object), 6);
    EXPECT_EQ(ObjectState::LastMinutes(object), 4);

    ObjectState::AbortFlag(object) = false;
    object.FireProgress(7);
    object.FireTimeRemaining(3);
    EXPECT_EQ(callback.events, (std::vector<CallbackEvent>{Percent(7), Minutes(3)}));
}

TEST_F(ProgressEvents, MinutesAreSentOnAnyChange)
{
    object.FireTimeRemaining(7);
    object.FireTimeRemaining(5);
    object.FireTimeRemaining(5);
    object.FireTimeRemaining(6);
    EXPECT_EQ(callback.events, (std::vector<CallbackEvent>{Minutes(7), Minutes(5), Minutes(6)}));
    EXPECT_EQ(ObjectState::LastMinutes(object), 6);
}

TEST_F(ProgressEvents, AFailedInvokeIsReturnedAndChangesNothingElse)
{
    const HRESULT hrException = static_cast<HRESULT>(0x80020009u);
    callback.invokeResult = hrException;
    EXPECT_EQ(object.FireProgress(10), hrException);
    EXPECT_EQ(object.FireTimeRemaining(2), hrException);
    EXPECT_EQ(ObjectState::LastPercent(object), 10);
    EXPECT_EQ(ObjectState::LastMinutes(object), 2);
    EXPECT_EQ(ObjectState::Callback(object), &callback);

    callback.invokeResult = S_OK;
    EXPECT_EQ(object.FireProgress(11), S_OK);
    EXPECT_EQ(callback.events, (std::vector<CallbackEvent>{Percent(10), Minutes(2), Percent(11)}));
}

TEST_F(ProgressEvents, AbortFromInsideTheCallbackStopsEveryLaterCall)
{
    callback.onEvent = [this](const CallbackEvent&) { object.Abort(); };
    EXPECT_EQ(object.FireProgress(1), S_OK);
    object.FireProgress(2);
    object.FireTimeRemaining(3);
    object.FireProgress(100);
    EXPECT_EQ(callback.events, (std::vector<CallbackEvent>{Percent(1)}));
    EXPECT_EQ(ObjectState::Callback(object), nullptr);
    EXPECT_TRUE(ObjectState::AbortFlag(object));
    EXPECT_EQ(callback.addRefs, 0u);
    EXPECT_EQ(callback.releases, 0u);
}

// ---- the estimator ------------------------------------------------------------

class ProgressEstimate : public ProgressEvents {};

TEST_F(ProgressEstimate, MinutesFollowTheWholeRatioTimesElapsedTime)
{
    constexpr ULONGLONG kAllOnes = 0xFFFFFFFFFFFFFFFFull;
    struct Row {
        const char* name;
        ULONGLONG planned;
        ULONGLONG done;
        DWORD startTick;
        DWORD nowTick;
        INT minutes;
    };
    const Row rows[] = {
        // Ratio 1 (600 / 400), not 1.5: 10 minutes, not 15.
        {"ratio before product", 1000, 400, 0, 600000, 10},
        {"more than half done", 1000, 600, 0, 600000, 0},
        {"exactly half done", 1000, 500, 0, 600000, 10},
        {"ratio 2 of 90 s", 3000, 1000, 0, 90000, 3},
        {"truncated minutes", 3000, 1000, 5000, 5000 + 89999, 2},
        {"start tick counts", 3000, 1000, 1000000, 1090000, 3},
        {"tick counter wrapped", 3000, 1000, 0xFFFFFFFFu - 29999u, 30000, 2},
        {"done equals planned", 1000, 1000, 0, 600000, 0},
        {"done above planned", 1000, 1001, 0, 600000, 0},
        {"nothing done yet", 1000, 0, 0, 600000, 0},
        {"no plan", 0, 0, 0, 600000, 0},
        // (2^64 - 2) * (2^32 - 1) wraps modulo 2^64, then / 60000, low 32 bits.
        {"product wraps", kAllOnes, 1, 1, 0, -909530908},
        // 2^40 + 5 minutes: only the low 32 bits are kept.
        {"minutes cut to 32 bits", (1ull << 40) + 6, 1, 0, 60000, 5},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        callback.events.clear();
        ObjectState::LastMinutes(object) = -1;
        ObjectState::UnitsPlanned(object) = row.planned;
        ObjectState::UnitsDone(object) = row.done;
        ObjectState::StartTick(object) = row.startTick;
        machine.SetTickCount(row.nowTick);

        EXPECT_EQ(object.EstimateTimeRemaining(), S_OK);
        EXPECT_EQ(callback.events, (std::vector<CallbackEvent>{Minutes(row.minutes)}));
        EXPECT_EQ(ObjectState::LastMinutes(object), row.minutes);
        // The estimator only reads the batch counters.
        EXPECT_EQ(ObjectState::UnitsPlanned(object), row.planned);
        EXPECT_EQ(ObjectState::UnitsDone(object), row.done);
        EXPECT_EQ(ObjectState::StartTick(object), row.startTick);
    }
}

TEST_F(ProgressEstimate, AnUnchangedEstimateIsNotSentAgain)
{
    ObjectState::UnitsPlanned(object) = 1000;
    ObjectState::UnitsDone(object) = 800;
    machine.SetTickCount(600000);
    object.EstimateTimeRemaining();
    ObjectState::UnitsDone(object) = 900;
    object.EstimateTimeRemaining();
    EXPECT_EQ(callback.events, (std::vector<CallbackEvent>{Minutes(0)}));

    // A falling estimate is news as much as a rising one.
    ObjectState::UnitsDone(object) = 200;  // ratio 4
    object.EstimateTimeRemaining();
    ObjectState::UnitsDone(object) = 400;  // ratio 1
    object.EstimateTimeRemaining();
    EXPECT_EQ(callback.events, (std::vector<CallbackEvent>{Minutes(0), Minutes(40), Minutes(10)}));
}

}  // namespace
}  // namespace hdd
