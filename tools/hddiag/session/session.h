// One client session on the component's object: callback, report, plan and
// test calls, in the order a client makes them. Ctrl-C is honoured the only
// way the interface allows: Abort from inside the next progress callback.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "object/ichddobject.h"
#include "tools/hddiag/session/progress_callback.h"
#include "tools/hddiag/session/report.h"
#include "tools/hddiag/session/result_codes.h"
#include "tools/hddiag/session/test_kinds.h"

namespace hddiag {

struct TestCall {
    TestKind kind;
    std::string selector;
};

struct TestRecord {
    TestKind kind = TestKind::Linear;
    std::string selector;
    HRESULT status = 0;
    LONG code = 0;
    Outcome outcome = Outcome::NotRun;
};

struct ReportRecord {
    HRESULT status = 0;
    std::string text;
    bool parsed = true;  // the text had the report's form
    std::vector<ReportItem> items;
};

struct PlanRecord {
    bool made = false;
    std::string items;
    ULONG mask = 0;
    HRESULT status = 0;
};

class SessionObserver {
public:
    virtual ~SessionObserver() = default;
    virtual void OnTestStart(const TestRecord&, size_t /*index*/, size_t /*count*/) {}
    virtual void OnEvent(INT /*kind*/, INT /*value*/, INT /*tag*/) {}
    virtual void OnTestEnd(const TestRecord&, size_t /*index*/, size_t /*count*/) {}
};

class Session {
public:
    // interrupt: set (by a signal handler) when the user asks to stop.
    Session(ICHDDObject& object, const std::atomic<bool>* interrupt);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    void AddObserver(SessionObserver* observer) { m_observers.push_back(observer); }

    // SetCallback with this session's callback; false (and the code) when refused.
    bool Connect(LONG& code);
    // ReleaseCallback; also done by the destructor while connected.
    void Disconnect();

    // GetHardDiskInfo, its items, and the letters from letterSource.
    ReportRecord Report(const std::function<std::vector<VolumeLetter>()>& letterSource);

    // StartHDDTest over the items with the mask.
    PlanRecord Plan(const std::vector<std::string>& items, ULONG mask);

    // Runs the calls in order. After a Ctrl-C the remaining calls are not made.
    std::vector<TestRecord> RunTests(const std::vector<TestCall>& calls);

    bool Interrupted() const { return m_interrupted; }
    bool AbortSent() const { return m_abortSent; }

private:
    void OnCallback(INT kind, INT value, INT tag);
    bool InterruptRequested();

    ICHDDObject& m_object;
    const std::atomic<bool>* m_interrupt;
    ProgressCallback m_callback;
    std::vector<SessionObserver*> m_observers;
    bool m_connected = false;
    bool m_interrupted = false;
    bool m_abortSent = false;
};

}  // namespace hddiag
