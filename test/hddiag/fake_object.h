// A stand-in for the component's object that plays scripted progress events
// through the client's callback and behaves like the component on Abort:
// the callback is dropped and the test stops at its next step.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "drive/hdd_constants.h"
#include "object/ichddobject.h"
#include "tools/hddiag/session/report.h"

namespace hddiag::testing {

class FakeObject final : public ICHDDObject {
public:
    struct Event {
        INT kind;
        INT value;
    };

    // What the object says and does.
    std::wstring report = L"0-1-100,0-2-200";
    HRESULT reportStatus = 0;
    HRESULT planStatus = 0;
    std::vector<Event> script = {{0, 0}, {0, 50}, {1, 3}};  // per test, then the final 100
    LONG finishCode = 0;                                   // of every test that is not aborted
    // Runs before step i of a test; step script.size() comes before the final 100.
    std::function<void(size_t step)> beforeStep;

    // What the client did.
    std::vector<std::string> calls;
    size_t testsStarted = 0;
    IDispatch* callback = nullptr;
    int abortCalls = 0;
    size_t abortStep = static_cast<size_t>(-1);  // step of the running test at the first Abort

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** ppv) override
    {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override
    {
        return E_NOTIMPL;
    }

    HRESULT STDMETHODCALLTYPE HDDLinearSeekTest(BSTR s, LONG* r) override { return Test("HDDLinearSeekTest", s, r); }
    HRESULT STDMETHODCALLTYPE HDDFunnelSeekTest(BSTR s, LONG* r) override { return Test("HDDFunnelSeekTest", s, r); }
    HRESULT STDMETHODCALLTYPE HDDRandomSeekTest(BSTR s, LONG* r) override { return Test("HDDRandomSeekTest", s, r); }
    HRESULT STDMETHODCALLTYPE HDDSurfaceScanTest(BSTR s, LONG* r) override
    {
        return Test("HDDSurfaceScanTest", s, r);
    }
    HRESULT STDMETHODCALLTYPE SetCallback(IDispatch* p, LONG* r) override
    {
        calls.push_back("SetCallback");
        *r = 0;
        callback = p;
        return 0;
    }
    HRESULT STDMETHODCALLTYPE ReleaseCallback() override
    {
        calls.push_back("ReleaseCallback");
        callback = nullptr;
        return 0;
    }
    HRESULT STDMETHODCALLTYPE GetHardDiskInfo(BSTR* p) override
    {
        calls.push_back("GetHardDiskInfo");
        *p = SysAllocString(report.c_str());
        return reportStatus;
    }
    HRESULT STDMETHODCALLTYPE Abort() override
    {
        if (abortCalls++ == 0) {
            abortStep = m_step;
        }
        callback = nullptr;
        m_abort = true;
        return 0;
    }
    HRESULT STDMETHODCALLTYPE ZornGetLastError(LONG* r) override
    {
        *r = 0;
        return 0;
    }
    HRESULT STDMETHODCALLTYPE StartHDDTest(BSTR items, ULONG mask) override
    {
        calls.push_back("StartHDDTest " + Narrow(items, SysStringLen(items)) + " " + std::to_string(mask));
        return planStatus;
    }

private:
    HRESULT Test(const char* method, BSTR selector, LONG* plRetVal)
    {
        calls.push_back(std::string(method) + " " + Narrow(selector, SysStringLen(selector)));
        ++testsStarted;
        m_abort = false;
        *plRetVal = finishCode;
        for (m_step = 0;; ++m_step) {
            if (beforeStep) {
                beforeStep(m_step);
            }
            if (m_abort) {
                *plRetVal = hdd::HDD_TEST_ABORTED;
                break;
            }
            if (m_step == script.size()) {
                break;
            }
            Send(script[m_step]);
        }
        Send({hdd::HDD_EVENT_PERCENT, 100});
        return *plRetVal == 0 ? 0 : 1;
    }

    void Send(Event e)
    {
        if (callback == nullptr || m_abort) {
            return;
        }
        VARIANT args[3];
        for (VARIANT& v : args) {
            VariantInit(&v);
            v.vt = VT_INT;
        }
        args[2].intVal = e.kind;  // last-first
        args[1].intVal = e.value;
        args[0].intVal = hdd::HDD_CALLBACK_TAG;
        DISPPARAMS params{args, nullptr, 3, 0};
        VARIANT result;
        VariantInit(&result);
        callback->Invoke(0, IID_NULL, 0x400, DISPATCH_METHOD, &params, &result, nullptr, nullptr);
        VariantClear(&result);
    }

    bool m_abort = false;
    size_t m_step = 0;
};

}  // namespace hddiag::testing
