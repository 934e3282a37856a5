// Shared pieces of the fuzz harnesses: reading structured choices from the
// fuzzer's bytes, the invariant check that stops a run, and the codes each
// method may answer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "drive/hdd_constants.h"
#include "platform/win32.h"

// An invariant of the component; a broken one ends the run as a crash, so
// the fuzzer keeps the input.
#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: invariant broken: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)

namespace hdd::fuzz {

// Takes choices from the front of the input; past its end every choice is 0.
class FuzzInput {
public:
    FuzzInput(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}

    bool Empty() const { return m_pos >= m_size; }
    size_t Left() const { return Empty() ? 0 : m_size - m_pos; }
    uint8_t Byte() { return Empty() ? 0 : m_data[m_pos++]; }
    uint32_t Word()
    {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i) {
            v = (v << 8) | Byte();
        }
        return v;
    }
    // A value in [0, n).
    size_t Pick(size_t n) { return n == 0 ? 0 : Byte() % n; }
    // The rest as text of 16-bit units, little-endian (surrogates and NULs as
    // they come), or of 32-bit units where wchar_t is wider.
    std::wstring RestAsText(bool wide32)
    {
        std::wstring text;
        const size_t unit = wide32 && sizeof(wchar_t) == 4 ? 4 : 2;
        while (Left() >= unit) {
            uint32_t v = 0;
            for (size_t i = 0; i < unit; ++i) {
                v |= static_cast<uint32_t>(Byte()) << (8 * i);
            }
            text += static_cast<wchar_t>(v);
        }
        return text;
    }
    std::string RestAsBytes()
    {
        std::string bytes(reinterpret_cast<const char*>(m_data + m_pos), Left());
        m_pos = m_size;
        return bytes;
    }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;
};

// What a test method may store in *plRetVal when it fails: its own codes, a
// selection it cannot use, no memory, a call from inside the running test.
inline bool IsDocumentedTestCode(LONG code)
{
    switch (code) {
    case HDD_TEST_ABORTED:
    case HDD_TEST_READ_ERROR:
    case HDD_DRIVE_NOT_TESTABLE:
    case HDD_PARTITION_NOT_TESTABLE:
    case static_cast<LONG>(E_INVALIDARG):
    case static_cast<LONG>(E_OUTOFMEMORY):
    case static_cast<LONG>(E_UNEXPECTED):
        return true;
    default:
        return false;
    }
}

// Status 0 with code 0, or status 1 with a documented code.
inline void CheckTestAnswer(HRESULT status, LONG code)
{
    if (!(status == HDD_STATUS_OK ? code == 0 : status == HDD_STATUS_FAILED && IsDocumentedTestCode(code))) {
        std::fprintf(stderr, "test method answered status %ld, code 0x%08lX\n", static_cast<long>(status),
                     static_cast<unsigned long>(static_cast<DWORD>(code)));
    }
    FUZZ_CHECK(status == HDD_STATUS_OK || status == HDD_STATUS_FAILED);
    FUZZ_CHECK(status == HDD_STATUS_OK ? code == 0 : IsDocumentedTestCode(code));
}

// A client's callback: counts its events and references, and lets the
// harness act from inside each call.
class FuzzCallback final : public IDispatch {
public:
    using ActionFn = void (*)(void* context, INT kind, INT value);
    FuzzCallback(ActionFn action, void* context) : m_fn(action), m_context(context) {}
    FuzzCallback() = default;

    LONG refs = 0;  // net references the component holds (it should hold none)
    ULONG events = 0;
    HRESULT result = S_OK;  // what Invoke answers

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override
    {
        if (ppv == nullptr) {
            return E_POINTER;
        }
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch)) {
            *ppv = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++refs); }
    ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(--refs); }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* pctinfo) override
    {
        if (pctinfo != nullptr) {
            *pctinfo = 0;
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID dispIdMember, REFIID, LCID, WORD wFlags, DISPPARAMS* pDispParams,
                                     VARIANT* pVarResult, EXCEPINFO*, UINT*) override
    {
        // The component's one call shape: DISPID 0, a method, three integers
        // (kind, value, tag, last first), a result to fill.
        FUZZ_CHECK(dispIdMember == 0);
        FUZZ_CHECK(wFlags == DISPATCH_METHOD);
        FUZZ_CHECK(pDispParams != nullptr && pDispParams->cArgs == 3 && pDispParams->cNamedArgs == 0);
        FUZZ_CHECK(pDispParams->rgvarg[0].vt == VT_INT && pDispParams->rgvarg[0].intVal == HDD_CALLBACK_TAG);
        FUZZ_CHECK(pDispParams->rgvarg[1].vt == VT_INT && pDispParams->rgvarg[2].vt == VT_INT);
        const INT kind = pDispParams->rgvarg[2].intVal;
        const INT value = pDispParams->rgvarg[1].intVal;
        FUZZ_CHECK(kind == HDD_EVENT_PERCENT || kind == HDD_EVENT_MINUTES);
        FUZZ_CHECK(kind != HDD_EVENT_PERCENT || (value >= 0 && value <= 100));
        FUZZ_CHECK(pVarResult != nullptr && pVarResult->vt == VT_EMPTY);
        // Something for the caller to clear.
        pVarResult->vt = VT_BSTR;
        pVarResult->bstrVal = SysAllocString(L"x");
        ++events;
        if (m_fn != nullptr) {
            m_fn(m_context, kind, value);
        }
        return result;
    }

private:
    ActionFn m_fn = nullptr;
    void* m_context = nullptr;
};

}  // namespace hdd::fuzz
