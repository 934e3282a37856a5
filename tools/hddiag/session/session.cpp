#include "tools/hddiag/session/session.h"

#include "drive/hdd_constants.h"

namespace hddiag {

namespace {

// An automation string owned for the length of one call.
class OwnedBstr {
public:
    explicit OwnedBstr(const std::string& text) : m_bstr(SysAllocString(Widen(text).c_str())) {}
    OwnedBstr() = default;
    ~OwnedBstr() { SysFreeString(m_bstr); }
    OwnedBstr(const OwnedBstr&) = delete;
    OwnedBstr& operator=(const OwnedBstr&) = delete;
    BSTR Get() const { return m_bstr; }
    BSTR* Out() { return &m_bstr; }

private:
    BSTR m_bstr = nullptr;
};

}  // namespace

Session::Session(ICHDDObject& object, const std::atomic<bool>* interrupt)
    : m_object(object),
      m_interrupt(interrupt),
      m_callback([this](INT kind, INT value, INT tag) { OnCallback(kind, value, tag); })
{
}

Session::~Session() { Disconnect(); }

bool Session::Connect(LONG& code)
{
    code = 0;
    const HRESULT status = m_object.SetCallback(&m_callback, &code);
    m_connected = status == hdd::HDD_STATUS_OK;
    if (!m_connected && code == 0) {
        code = status;
    }
    return m_connected;
}

void Session::Disconnect()
{
    if (m_connected) {
        m_object.ReleaseCallback();
        m_connected = false;
    }
}

ReportRecord Session::Report(const std::function<std::vector<VolumeLetter>()>& letterSource)
{
    ReportRecord report;
    OwnedBstr text;
    report.status = m_object.GetHardDiskInfo(text.Out());
    if (report.status != hdd::HDD_STATUS_OK) {
        return report;
    }
    if (text.Get() != nullptr) {
        report.text = Narrow(text.Get(), SysStringLen(text.Get()));
    }
    report.parsed = ParseReport(report.text, report.items);
    if (!report.items.empty() && letterSource) {
        AssignLetters(report.items, letterSource());
    }
    return report;
}

PlanRecord Session::Plan(const std::vector<std::string>& items, ULONG mask)
{
    PlanRecord plan;
    plan.made = true;
    plan.items = JoinItems(items);
    plan.mask = mask;
    OwnedBstr bstrItem(plan.items);
    plan.status = m_object.StartHDDTest(bstrItem.Get(), mask);
    return plan;
}

std::vector<TestRecord> Session::RunTests(const std::vector<TestCall>& calls)
{
    std::vector<TestRecord> records;
    records.reserve(calls.size());
    for (const TestCall& call : calls) {
        TestRecord record;
        record.kind = call.kind;
        record.selector = call.selector;
        records.push_back(record);
    }
    for (size_t i = 0; i < records.size(); ++i) {
        TestRecord& record = records[i];
        // A Ctrl-C between tests (or one that Abort already answered) ends the run.
        if (InterruptRequested()) {
            break;
        }
        for (SessionObserver* observer : m_observers) {
            observer->OnTestStart(record, i, records.size());
        }
        OwnedBstr selector(record.selector);
        record.code = 0;
        record.status = CallTest(m_object, record.kind, selector.Get(), &record.code);
        record.outcome = Classify(record.status, record.code);
        for (SessionObserver* observer : m_observers) {
            observer->OnTestEnd(record, i, records.size());
        }
    }
    return records;
}

bool Session::InterruptRequested()
{
    if (m_interrupt != nullptr && m_interrupt->load()) {
        m_interrupted = true;
    }
    return m_interrupted;
}

void Session::OnCallback(INT kind, INT value, INT tag)
{
    for (SessionObserver* observer : m_observers) {
        observer->OnEvent(kind, value, tag);
    }
    // Abort clears the component's callback, so it is called once at most.
    if (!m_abortSent && InterruptRequested()) {
        m_abortSent = true;
        m_object.Abort();
    }
}

}  // namespace hddiag
