// A client callback for tests: an IDispatch that checks every argument of
// every Invoke the component makes and records the events it receives.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "platform/win32.h"

namespace hdd::testing {

struct CallbackEvent {
    INT kind;
    INT value;
    INT tag;
    bool operator==(const CallbackEvent&) const = default;
};

inline std::ostream& operator<<(std::ostream& os, const CallbackEvent& e)
{
    return os << "(" << e.kind << "," << e.value << "," << e.tag << ")";
}

class RecordingDispatch final : public IDispatch {
public:
    // Runs inside Invoke after the event is recorded (for re-entrant calls).
    std::function<void(const CallbackEvent&)> onEvent;
    // What Invoke returns.
    HRESULT invokeResult = S_OK;

    std::vector<CallbackEvent> events;
    ULONG addRefs = 0;
    ULONG releases = 0;

    std::vector<INT> Values(INT kind) const
    {
        std::vector<INT> out;
        for (const CallbackEvent& e : events) {
            if (e.kind == kind) {
                out.push_back(e.value);
            }
        }
        return out;
    }

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
    ULONG STDMETHODCALLTYPE AddRef() override { return ++addRefs; }
    ULONG STDMETHODCALLTYPE Release() override { return ++releases; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* pctinfo) override
    {
        if (pctinfo != nullptr) {
            *pctinfo = 0;
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }

    HRESULT STDMETHODCALLTYPE Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags,
                                     DISPPARAMS* pDispParams, VARIANT* pVarResult, EXCEPINFO* pExcepInfo,
                                     UINT* puArgErr) override
    {
        EXPECT_EQ(dispIdMember, 0);
        EXPECT_TRUE(IsEqualIID(riid, IID_NULL));
        EXPECT_EQ(lcid, 0x400u);
        EXPECT_EQ(wFlags, DISPATCH_METHOD);
        EXPECT_EQ(pExcepInfo, nullptr);
        EXPECT_EQ(puArgErr, nullptr);
        EXPECT_NE(pVarResult, nullptr);
        if (pVarResult != nullptr) {
            EXPECT_EQ(pVarResult->vt, VT_EMPTY);  // initialised by the caller
            // Give the caller something to clear.
            pVarResult->vt = VT_BSTR;
            pVarResult->bstrVal = SysAllocString(L"result");
        }
        if (pDispParams == nullptr) {
            ADD_FAILURE() << "no parameters";
            return E_INVALIDARG;
        }
        EXPECT_EQ(pDispParams->cArgs, 3u);
        EXPECT_EQ(pDispParams->cNamedArgs, 0u);
        EXPECT_EQ(pDispParams->rgdispidNamedArgs, nullptr);
        if (pDispParams->cArgs != 3 || pDispParams->rgvarg == nullptr) {
            return E_INVALIDARG;
        }
        for (UINT i = 0; i < 3; ++i) {
            EXPECT_EQ(pDispParams->rgvarg[i].vt, VT_INT) << "argument " << i;
        }
        // Arguments stand last-first: element 2 is the client's first parameter.
        const CallbackEvent e{pDispParams->rgvarg[2].intVal, pDispParams->rgvarg[1].intVal,
                              pDispParams->rgvarg[0].intVal};
        events.push_back(e);
        if (onEvent) {
            onEvent(e);
        }
        return invokeResult;
    }
};

}  // namespace hdd::testing
