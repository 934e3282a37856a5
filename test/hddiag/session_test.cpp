// The session's call order, its verdicts, and Ctrl-C turned into Abort at the
// component's next callback; against a scripted stand-in for the object.
#include <gtest/gtest.h>

#include <sstream>

#include "fake_object.h"
#include "tools/hddiag/latency/batch_estimate.h"
#include "tools/hddiag/writers/output.h"
#include "tools/hddiag/view/progress_view.h"
#include "tools/hddiag/view/time_left.h"
#include "tools/hddiag/session/session.h"
#include "tools/hddiag/writers/trace_writer.h"
#include "tools/hddiag/session/result_codes.h"
#if !defined(_WIN32)
#include <cerrno>

#include "platform/linux/win32_errors.h"
#endif

namespace hddiag::testing {
namespace {

class EventLog final : public SessionObserver {
public:
    std::vector<std::string> lines;
    void OnTestStart(const TestRecord& r, size_t i, size_t n) override
    {
        lines.push_back("start " + r.selector + " " + std::to_string(i) + "/" + std::to_string(n));
    }
    void OnEvent(INT kind, INT value, INT tag) override
    {
        lines.push_back("event " + std::to_string(kind) + " " + std::to_string(value) + " " + std::to_string(tag));
    }
    void OnTestEnd(const TestRecord& r, size_t, size_t) override
    {
        lines.push_back(std::string("end ") + OutcomeName(r.outcome));
    }
};

std::vector<TestCall> TwoByTwo()
{
    return {{TestKind::Linear, "0-1"}, {TestKind::Linear, "0-2"}, {TestKind::Surface, "0-1"},
            {TestKind::Surface, "0-2"}};
}

TEST(Session, MakesTheClientCallsInOrderAndReleasesTheCallback)
{
    FakeObject object;
    EventLog log;
    {
        Session session(object, nullptr);
        session.AddObserver(&log);
        LONG code = -1;
        ASSERT_TRUE(session.Connect(code));
        EXPECT_EQ(code, 0);
        const ReportRecord report = session.Report([] {
            return std::vector<VolumeLetter>{{'C', 0, 1}, {'D', 0, 2}};
        });
        ASSERT_EQ(report.items.size(), 2u);
        EXPECT_EQ(report.items[1].letter, 'D');
        session.Plan(DefaultSelectors(report.items), 0x9);
        const std::vector<TestRecord> records = session.RunTests(TwoByTwo());
        ASSERT_EQ(records.size(), 4u);
        for (const TestRecord& r : records) {
            EXPECT_EQ(r.outcome, Outcome::Passed);
        }
        EXPECT_FALSE(session.Interrupted());
    }
    EXPECT_EQ(object.calls, (std::vector<std::string>{"SetCallback", "GetHardDiskInfo", "StartHDDTest 0-1,0-2 9",
                                                      "HDDLinearSeekTest 0-1", "HDDLinearSeekTest 0-2",
                                                      "HDDSurfaceScanTest 0-1", "HDDSurfaceScanTest 0-2",
                                                      "ReleaseCallback"}));
    EXPECT_EQ(object.callback, nullptr);
    EXPECT_EQ(object.abortCalls, 0);
    // Observers see each callback between the test's start and end.
    ASSERT_EQ(log.lines.size(), 4u * 6u);
    EXPECT_EQ(std::vector<std::string>(log.lines.begin(), log.lines.begin() + 6),
              (std::vector<std::string>{"start 0-1 0/4", "event 0 0 2", "event 0 50 2", "event 1 3 2",
                                        "event 0 100 2", "end passed"}));
}

TEST(Session, CtrlCCallsAbortFromTheNextCallbackAndStopsTheRun)
{
    struct Case {
        const char* name;
        bool before;            // pressed before the session starts testing
        size_t test;            // else: during this test...
        size_t step;            // ...just before this step's callback
        size_t expectAbortStep; // step of that test at which Abort came
        std::vector<Outcome> outcomes;
        std::vector<std::string> testCalls;
    };
    const std::vector<Case> cases = {
        {"before any test", true, 0, 0, static_cast<size_t>(-1),
         {Outcome::NotRun, Outcome::NotRun, Outcome::NotRun, Outcome::NotRun},
         {}},
        {"at the first callback", false, 0, 0, 0,
         {Outcome::Aborted, Outcome::NotRun, Outcome::NotRun, Outcome::NotRun},
         {"HDDLinearSeekTest 0-1"}},
        {"between two callbacks", false, 0, 1, 1,
         {Outcome::Aborted, Outcome::NotRun, Outcome::NotRun, Outcome::NotRun},
         {"HDDLinearSeekTest 0-1"}},
        {"in the second test", false, 1, 2, 2,
         {Outcome::Passed, Outcome::Aborted, Outcome::NotRun, Outcome::NotRun},
         {"HDDLinearSeekTest 0-1", "HDDLinearSeekTest 0-2"}},
        // Only the final 100 is left: Abort comes too late to stop that test,
        // but no further test starts.
        {"before the final 100", false, 2, 4, 4,
         {Outcome::Passed, Outcome::Passed, Outcome::Passed, Outcome::NotRun},
         {"HDDLinearSeekTest 0-1", "HDDLinearSeekTest 0-2", "HDDSurfaceScanTest 0-1"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeObject object;
        object.script.push_back({0, 75});  // steps 0..3, then 4 before the final 100
        std::atomic<bool> interrupt{c.before};
        object.beforeStep = [&](size_t step) {
            if (!c.before && object.testsStarted == c.test + 1 && step == c.step) {
                interrupt = true;
            }
        };
        Session session(object, &interrupt);
        LONG code = 0;
        ASSERT_TRUE(session.Connect(code));
        object.calls.clear();
        const std::vector<TestRecord> records = session.RunTests(TwoByTwo());
        std::vector<Outcome> outcomes;
        for (const TestRecord& r : records) {
            outcomes.push_back(r.outcome);
        }
        EXPECT_EQ(outcomes, c.outcomes);
        EXPECT_EQ(object.calls, c.testCalls);
        EXPECT_TRUE(session.Interrupted());
        EXPECT_EQ(object.abortCalls, c.before ? 0 : 1);
        EXPECT_EQ(object.abortStep, c.expectAbortStep);
    }
}

TEST(Session, CallbackRejectsCallsThatAreNotTheProgressProtocol)
{
    std::vector<std::vector<INT>> seen;
    ProgressCallback callback([&](INT k, INT v, INT t) { seen.push_back({k, v, t}); });
    VARIANT args[3];
    for (VARIANT& v : args) {
        VariantInit(&v);
    }
    args[0].vt = VT_INT;
    args[0].intVal = 2;
    args[1].vt = VT_I4;  // a VT_I4 value is read too
    args[1].lVal = 42;
    args[2].vt = VT_INT;
    args[2].intVal = 0;
    DISPPARAMS params{args, nullptr, 3, 0};
    EXPECT_EQ(callback.Invoke(0, IID_NULL, 0x400, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(seen, (std::vector<std::vector<INT>>{{0, 42, 2}}));

    EXPECT_EQ(callback.Invoke(7, IID_NULL, 0x400, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr),
              DISP_E_MEMBERNOTFOUND);
    DISPPARAMS two{args, nullptr, 2, 0};
    EXPECT_EQ(callback.Invoke(0, IID_NULL, 0x400, DISPATCH_METHOD, &two, nullptr, nullptr, nullptr), E_INVALIDARG);
    args[1].vt = VT_BSTR;
    args[1].bstrVal = nullptr;
    EXPECT_EQ(callback.Invoke(0, IID_NULL, 0x400, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr), E_INVALIDARG);
    EXPECT_EQ(seen.size(), 1u);

    void* p = nullptr;
    EXPECT_EQ(callback.QueryInterface(IID_IDispatch, &p), S_OK);
    EXPECT_EQ(p, static_cast<IDispatch*>(&callback));
    EXPECT_EQ(callback.QueryInterface(IID_IClassFactory, &p), E_NOINTERFACE);
    EXPECT_EQ(p, nullptr);
}

TEST(Session, VerdictsAndExitStatus)
{
    struct Case {
        HRESULT status;
        LONG code;
        Outcome outcome;
        const char* name;
    };
    const Case cases[] = {
        {0, 0, Outcome::Passed, "S_OK"},
        {1, hdd::HDD_TEST_ABORTED, Outcome::Aborted, "HDD_TEST_ABORTED"},
        {1, hdd::HDD_TEST_READ_ERROR, Outcome::Failed, "HDD_TEST_READ_ERROR"},
        {1, hdd::HDD_DRIVE_NOT_TESTABLE, Outcome::Refused, "HDD_DRIVE_NOT_TESTABLE"},
        {1, hdd::HDD_PARTITION_NOT_TESTABLE, Outcome::Refused, "HDD_PARTITION_NOT_TESTABLE"},
        {1, E_INVALIDARG, Outcome::Refused, "E_INVALIDARG"},
        {1, E_OUTOFMEMORY, Outcome::Refused, "E_OUTOFMEMORY"},
        {1, 0x12345678, Outcome::Refused, "0x12345678"},
        {1, 0, Outcome::Failed, "S_OK"},           // failed without a reason
        {E_NOTIMPL, 0, Outcome::Failed, "S_OK"},  // a method that is not there
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Classify(c.status, c.code), c.outcome);
        EXPECT_EQ(ResultCodeName(c.code), c.name);
        RunResult result;
        result.tests = {{TestKind::Linear, "0-1", 0, 0, Outcome::Passed}, {TestKind::Random, "0-2", c.status, c.code,
                                                                           Classify(c.status, c.code)}};
        EXPECT_EQ(ExitCodeFor(result), c.outcome == Outcome::Passed ? 0 : 1);
    }
    RunResult none;
    EXPECT_EQ(ExitCodeFor(none), 0);  // nothing to test: nothing failed
    none.interrupted = true;
    EXPECT_EQ(ExitCodeFor(none), 1);
}

// A failed read is named by its code and what the code means; every code the
// Linux machine's errno table can give has a meaning.
TEST(Session, ReadErrorMeanings)
{
    struct Case {
        DWORD error;
        const char* text;
    };
    const Case cases[] = {
        {23, "error 23 (data error: CRC)"},        // EIO, EILSEQ
        {21, "error 21 (the device is not ready)"},  // ENXIO, ENODEV, ENOMEDIUM
        {27, "error 27 (sector not found)"},       // past the end
        {31, "error 31 (the device is not functioning)"},
        {0, "error 0 (no error code given)"},
        {1117, "error 1117 (I/O device error)"},   // Windows' own read failure
        {4242, "error 4242"},                      // not in the table: the number alone
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.error);
        EXPECT_EQ(Win32ErrorText(c.error), c.text);
    }
#if !defined(_WIN32)
    for (int error = 0; error < 200; ++error) {
        const DWORD code = hdd::blockdev::Win32ErrorFromErrno(error);
        EXPECT_NE(Win32ErrorMeaning(code), nullptr) << "errno " << error << " gives " << code << " without a meaning";
    }
#endif
}

#if !defined(_WIN32)
// Each errno a disk read or open can end with, as the summary names it: the
// block layer's read failures (a medium error is ENODATA) and the opens'.
TEST(Session, ErrnoRows)
{
    struct Row {
        int error;
        const char* name;
        const char* text;
    };
    const Row rows[] = {
        {ENODATA, "ENODATA", "error 23 (data error: CRC)"},
        {EIO, "EIO", "error 23 (data error: CRC)"},
        {EILSEQ, "EILSEQ", "error 23 (data error: CRC)"},
        {EREMOTEIO, "EREMOTEIO", "error 1117 (I/O device error)"},
        {ENOLINK, "ENOLINK", "error 1117 (I/O device error)"},
        {EBADE, "EBADE", "error 1117 (I/O device error)"},
        {ENOSPC, "ENOSPC", "error 1117 (I/O device error)"},
        {EREMCHG, "EREMCHG", "error 1117 (I/O device error)"},
        {EAGAIN, "EAGAIN", "error 170 (the device is busy)"},
        {ETOOMANYREFS, "ETOOMANYREFS", "error 170 (the device is busy)"},
        {ETIMEDOUT, "ETIMEDOUT", "error 121 (the device timed out)"},
        {ETIME, "ETIME", "error 121 (the device timed out)"},
        {ENXIO, "ENXIO", "error 21 (the device is not ready)"},
        {ENODEV, "ENODEV", "error 21 (the device is not ready)"},
        {ENOMEDIUM, "ENOMEDIUM", "error 21 (the device is not ready)"},
        {EOVERFLOW, "EOVERFLOW", "error 27 (sector not found)"},
        {ENOENT, "ENOENT", "error 2 (file not found)"},
        {ENOTDIR, "ENOTDIR", "error 3 (path not found)"},
        {ELOOP, "ELOOP", "error 3 (path not found)"},
        {EACCES, "EACCES", "error 5 (access denied)"},
        {EPERM, "EPERM", "error 5 (access denied)"},
        {EROFS, "EROFS", "error 5 (access denied)"},
        {EISDIR, "EISDIR", "error 5 (access denied)"},
        {EBUSY, "EBUSY", "error 32 (sharing violation)"},
        {EINVAL, "EINVAL", "error 87 (invalid parameter)"},
        {ENOMEM, "ENOMEM", "error 8 (not enough memory)"},
        {EMFILE, "EMFILE", "error 4 (too many open files)"},
        {ENFILE, "ENFILE", "error 4 (too many open files)"},
        {ENAMETOOLONG, "ENAMETOOLONG", "error 206 (file name too long)"},
        {EBADF, "EBADF", "error 6 (invalid handle)"},
        {EOPNOTSUPP, "EOPNOTSUPP", "error 50 (request not supported)"},
        {ENOTTY, "ENOTTY", "error 1 (incorrect function)"},
        {ENOEXEC, "ENOEXEC (no row)", "error 31 (the device is not functioning)"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(Win32ErrorText(hdd::blockdev::Win32ErrorFromErrno(row.error)), row.text);
    }
}
#endif

TEST(Session, TraceLines)
{
    std::ostringstream out;
    TraceWriter trace(out);
    trace.Read(0, 0);
    trace.Read(3, 18446744073709551615ull);
    trace.OnEvent(1, 12, 2);
    trace.OnEvent(-1, -2147483647 - 1, 2);
    trace.OnTestEnd({TestKind::Surface, "0-1", 1, hdd::HDD_PARTITION_NOT_TESTABLE, Outcome::Refused}, 0, 1);
    trace.OnTestEnd({TestKind::Funnel, "0-1", E_NOTIMPL, 0, Outcome::Failed}, 0, 1);
    EXPECT_EQ(out.str(),
              "read 0 0\n"
              "read 3 18446744073709551615\n"
              "event 1 12 2\n"
              "event -1 -2147483648 2\n"
              "result HDDSurfaceScanTest 1 0xA0010003\n"
              "result HDDFunnelSeekTest -2147467263 0x00000000\n");
}

TEST(Session, ProgressAsPlainTextAndAsABar)
{
    const TestRecord record{TestKind::Random, "0-2", 0, 0, Outcome::Passed};
    {
        std::ostringstream err;
        ProgressView view(err, false);
        view.OnTestStart(record, 1, 3);
        for (INT p : {0, 3, 9, 10, 11, 25}) {
            view.OnEvent(0, p, 2);
        }
        view.OnEvent(1, 7, 2);
        view.OnEvent(1, 7, 2);
        view.OnEvent(0, 100, 2);
        view.OnTestEnd(record, 1, 3);
        EXPECT_EQ(err.str(),
                  "random 0-2 [2/3]   0%\n"
                  "random 0-2 [2/3]  10%\n"
                  "random 0-2 [2/3]  25%\n"
                  "random 0-2 [2/3] 100%, about 7 min left (HDD.dll)\n");
    }
    {
        std::ostringstream err;
        ProgressView view(err, true);
        view.OnTestStart(record, 0, 1);
        view.OnEvent(1, 12, 2);
        view.OnEvent(0, 50, 2);
        view.OnEvent(1, 0, 2);
        view.OnTestEnd(record, 0, 1);
        const std::string text = err.str();
        EXPECT_NE(text.find("\rrandom 0-2 [###############...............]  50%, about 12 min left (HDD.dll)"),
                  std::string::npos)
            << text;
        // A shorter line is padded over the longer one before it.
        EXPECT_NE(text.find("\rrandom 0-2 [###############...............]  50%, about 0 min left (HDD.dll) "),
                  std::string::npos)
            << text;
        EXPECT_EQ(text.substr(text.size() - 1), "\n");
        EXPECT_NE(text.find(": passed"), std::string::npos);
        EXPECT_EQ(text.find('\n'), text.size() - 1);  // one line, redrawn in place
    }
}

class ManualClock final : public LatencyClock {
public:
    ULONGLONG now = 0;
    ULONGLONG NowNanoseconds() override { return now; }
};

TEST(Session, ExpectedReadsFollowTheTestShapes)
{
    struct Row {
        TestKind kind;
        ULONGLONG sectors;
        double reads;
    };
    const Row rows[] = {
        {TestKind::Linear, 8192, 1},   {TestKind::Linear, 8193, 2},     {TestKind::Funnel, 8193, 4},
        {TestKind::Random, 1, 3000},   {TestKind::Random, 0, 0},        {TestKind::Surface, 2520, 10},
        {TestKind::Linear, 0, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(Describe(row.kind).name) + " " + std::to_string(row.sectors));
        EXPECT_DOUBLE_EQ(ExpectedReads(row.kind, row.sectors), row.reads);
    }
}

TEST(Session, HddiagsEstimateWeighsTestsByTheirReads)
{
    ManualClock clock;
    BatchEstimate estimate(clock);
    // 0-1 of 4 MiB: 1 linear read; 0-2 of 12 MiB: 3 linear reads; 9-9 is not reported.
    const std::vector<ReportItem> items{{0, 1, 4, 'C'}, {0, 2, 12, 'D'}};
    estimate.Plan({{TestKind::Linear, "0-1"}, {TestKind::Linear, "0-2,9-9"}}, items);
    EXPECT_EQ(estimate.SecondsLeft(), -1);
    clock.now = 5000000000;
    estimate.OnTestStart({}, 0, 2);
    EXPECT_EQ(estimate.SecondsLeft(), -1);  // nothing done yet
    clock.now = 7000000000;
    estimate.OnEvent(0, 100, 2);
    EXPECT_EQ(estimate.SecondsLeft(), 6);  // a quarter done in 2 s
    estimate.OnEvent(1, 7, 2);             // the component's minutes change nothing
    estimate.OnTestStart({}, 1, 2);
    clock.now = 9000000000;
    estimate.OnEvent(0, 50, 2);
    EXPECT_EQ(estimate.SecondsLeft(), 2);  // 2.5 of 4 reads in 4 s
}

TEST(Session, ProgressOfARefusedTestAndHddiagsEstimate)
{
    const TestRecord refused{TestKind::Linear, "0-3", 1, static_cast<LONG>(0xA0010003), Outcome::Refused};
    for (bool terminal : {false, true}) {
        SCOPED_TRACE(terminal ? "terminal" : "plain");
        std::ostringstream err;
        ProgressView view(err, terminal);
        view.OnTestStart(refused, 0, 1);
        view.OnEvent(0, 100, 2);
        view.OnTestEnd(refused, 0, 1);
        const std::string text = err.str();
        // What stays on the screen: the last line drawn.
        const std::string last = text.substr(terminal ? text.rfind('\r') : 0);
        EXPECT_EQ(last.substr(0, last.find_last_not_of(" \n") + 1),
                  std::string(terminal ? "\r" : "") + "linear 0-3: refused (HDD_PARTITION_NOT_TESTABLE)")
            << text;
        EXPECT_EQ(text.substr(text.size() - 1), "\n");
    }
    ManualClock clock;
    BatchEstimate estimate(clock);
    estimate.Plan({{TestKind::Random, "0-2"}}, {{0, 2, 100, 'D'}});
    std::ostringstream err;
    ProgressView view(err, false, &estimate);
    const TestRecord record{TestKind::Random, "0-2", 0, 0, Outcome::Passed};
    estimate.OnTestStart(record, 0, 1);
    view.OnTestStart(record, 0, 1);
    clock.now = 3600000000000;  // an hour
    estimate.OnEvent(0, 20, 2);
    view.OnEvent(0, 20, 2);
    view.OnEvent(1, 2, 2);
    // One figure, and whose: the measured one wins over the component's.
    EXPECT_EQ(err.str(), "random 0-2  20%, 4 h 00 min left (hddiag)\n");
}

TEST(Session, OneTimeLeftFigureSaysWhoseItIs)
{
    const struct {
        INT minutes;
        LONGLONG seconds;
        const char* text;
    } cases[] = {
        {-1, -1, ""},
        {65, -1, "about 65 min left (HDD.dll)"},
        {0, -1, "about 0 min left (HDD.dll)"},
        {65, 6300, "1 h 45 min left (hddiag)"},
        {-1, 0, "0 s left (hddiag)"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(TimeLeftText(c.minutes, c.seconds), c.text) << c.minutes << " " << c.seconds;
    }
}

}  // namespace
}  // namespace hddiag::testing
