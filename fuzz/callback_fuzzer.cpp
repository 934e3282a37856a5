// The object's callback paths: a client that acts from inside its progress
// callback (Abort, test methods and the batch plan called again, the report,
// a changed or dropped callback, a failing callback, advising a sink, and
// releasing its last reference) and between calls. After every call no handle
// is open and the object is idle; the object lives exactly as long as the
// client's references and the call running on it; nothing keeps a reference
// to the client's callback or sink once the object is gone.
//
// Input: a stream of choices, one byte each: top-level operations, and for
// every callback event the action taken inside it.
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_machine.h"
#include "object/hdd_guids.h"
#include "platform/os_api.h"

using namespace hdd;
using namespace hdd::fuzz;

namespace {

using TestMethod = HRESULT (STDMETHODCALLTYPE CCHDDObject::*)(BSTR, LONG*);
constexpr TestMethod kTests[] = {&CCHDDObject::HDDLinearSeekTest, &CCHDDObject::HDDFunnelSeekTest,
                                 &CCHDDObject::HDDRandomSeekTest, &CCHDDObject::HDDSurfaceScanTest};
const wchar_t* const kSelectors[] = {L"0-1", L"0-2", L"0-1,0-2", L"2-1", L"0-5", L"1-1", L"0-9", L"", nullptr};
constexpr HRESULT kInvokeResults[] = {S_OK, S_FALSE, E_FAIL, DISP_E_EXCEPTION, E_OUTOFMEMORY};
constexpr int kMaxSteps = 48;

// A sink for the events interface: answers it, and counts its references.
class EventSink final : public IDispatch {
public:
    LONG refs = 0;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override
    {
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) ||
            IsEqualIID(riid, DIID__ICHDDObjectEvents)) {
            *ppv = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++refs); }
    ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(--refs); }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override
    {
        FUZZ_CHECK(false);  // the events interface has no members: nothing is ever sent
        return E_NOTIMPL;
    }
};

class Client {
public:
    Client(FuzzInput& in, sim::SimMachine& machine)
        : m_in(in), m_machine(machine), m_locks(ServerLockCount()), m_object(new CCHDDObject),
          m_first(&Client::OnEvent, this), m_second(&Client::OnEvent, this)
    {
        m_object->AddRef();
    }

    ~Client()
    {
        while (m_refs > 0) {
            Release();
        }
        // Gone with its last reference: the lock it held, the sinks it held.
        FUZZ_CHECK(ServerLockCount() == m_locks);
        FUZZ_CHECK(m_sink.refs == 0);
        FUZZ_CHECK(m_first.refs == 0 && m_second.refs == 0);
        FUZZ_CHECK(m_machine.OpenHandleCount() == 0);
    }

    void Run()
    {
        BSTR report = nullptr;
        FUZZ_CHECK(m_object->GetHardDiskInfo(&report) == HDD_STATUS_OK);
        SysFreeString(report);
        for (int step = 0; step < kMaxSteps && !m_in.Empty() && m_refs > 0; ++step) {
            TopLevel();
            FUZZ_CHECK(m_machine.OpenHandleCount() == 0);
            FUZZ_CHECK(ServerLockCount() == m_locks + (m_refs > 0 ? 1 : 0));
            if (m_refs > 0) {
                CheckIdle(*m_object, m_machine);
            }
        }
    }

private:
    BSTR Selector()
    {
        const wchar_t* text = kSelectors[m_in.Pick(sizeof kSelectors / sizeof kSelectors[0])];
        return text == nullptr ? nullptr : SysAllocString(text);
    }

    HRESULT Test(bool nested)
    {
        BSTR selection = Selector();
        LONG code = 0x5A5A5A5A;
        const HRESULT status = ((*m_object).*kTests[m_in.Pick(4)])(selection, &code);
        SysFreeString(selection);
        CheckTestAnswer(status, code);
        if (nested) {
            // A test called from the running test's callback is refused.
            FUZZ_CHECK(status == HDD_STATUS_FAILED && code == static_cast<LONG>(E_UNEXPECTED));
        }
        return status;
    }

    void Plan()
    {
        BSTR selection = Selector();
        const HRESULT status = m_object->StartHDDTest(selection, m_in.Byte());
        SysFreeString(selection);
        FUZZ_CHECK(status == HDD_STATUS_OK || status == HDD_STATUS_FAILED);
    }

    void Report()
    {
        BSTR report = nullptr;
        FUZZ_CHECK(m_object->GetHardDiskInfo(&report) == HDD_STATUS_OK && report != nullptr);
        SysFreeString(report);
    }

    void SetCallback()
    {
        const size_t which = m_in.Pick(3);
        LONG result = 0x5A5A5A5A;
        FuzzCallback* callbacks[] = {&m_first, &m_second, nullptr};
        const HRESULT status = m_object->SetCallback(callbacks[which], &result);
        if (which == 2) {
            FUZZ_CHECK(status == HDD_STATUS_FAILED && result == static_cast<LONG>(E_INVALIDARG));
        } else {
            FUZZ_CHECK(status == HDD_STATUS_OK && result == 0);
        }
    }

    void Release()
    {
        const ULONG left = m_object->Release();
        --m_refs;
        if (m_refs == 0 && !m_inCallback) {
            FUZZ_CHECK(left == 0);
        }
    }

    // Advises the sink when it is not advised, else unadvises it.
    void ToggleSink()
    {
        IConnectionPointContainer* container = nullptr;
        FUZZ_CHECK(m_object->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&container)) ==
                   S_OK);
        IConnectionPoint* point = nullptr;
        FUZZ_CHECK(container->FindConnectionPoint(DIID__ICHDDObjectEvents, &point) == S_OK);
        if (m_cookie == 0) {
            FUZZ_CHECK(point->Advise(&m_sink, &m_cookie) == S_OK && m_cookie != 0);
        } else {
            FUZZ_CHECK(point->Unadvise(m_cookie) == S_OK);
            m_cookie = 0;
        }
        point->Release();
        container->Release();
    }

    void Common(size_t choice, bool nested)
    {
        switch (choice) {
        case 0:
            (void)Test(nested);
            break;
        case 1:
            Plan();
            break;
        case 2:
            Report();
            break;
        case 3:
            SetCallback();
            break;
        case 4:
            FUZZ_CHECK(m_object->ReleaseCallback() == HDD_STATUS_OK);
            break;
        case 5:
            FUZZ_CHECK(m_object->Abort() == HDD_STATUS_OK);
            break;
        case 6: {
            LONG error = 0x5A5A5A5A;
            FUZZ_CHECK(m_object->ZornGetLastError(&error) == HDD_STATUS_OK);
            break;
        }
        case 7:
            m_object->AddRef();
            ++m_refs;
            break;
        case 8:
            Release();
            break;
        case 9:
            ToggleSink();
            break;
        case 10:
            m_first.result = kInvokeResults[m_in.Pick(5)];
            m_second.result = kInvokeResults[m_in.Pick(5)];
            break;
        default:
            break;  // nothing
        }
    }

    void TopLevel() { Common(m_in.Pick(11), false); }

    static void OnEvent(void* context, INT, INT)
    {
        auto* self = static_cast<Client*>(context);
        if (self->m_refs == 0 || self->m_in.Empty()) {
            return;  // a client that let go calls nothing more
        }
        self->m_inCallback = true;
        // While a test runs the object stays, even without a client reference.
        FUZZ_CHECK(ServerLockCount() == self->m_locks + 1);
        self->Common(self->m_in.Pick(16), true);
        self->m_inCallback = false;
    }

    FuzzInput& m_in;
    sim::SimMachine& m_machine;
    LONG m_locks;
    CCHDDObject* m_object;
    LONG m_refs = 1;
    bool m_inCallback = false;
    FuzzCallback m_first;
    FuzzCallback m_second;
    EventSink m_sink;
    DWORD m_cookie = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput in(data, size);
    sim::SimMachine machine(SmallMachine());
    machine.SetRecording(false);
    ScopedOsApi scope(machine);
    Client client(in, machine);
    client.Run();
    return 0;
}
