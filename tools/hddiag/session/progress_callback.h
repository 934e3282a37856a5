// The IDispatch the front end hands to SetCallback. The component calls its
// default member with three integers (event kind, value, tag); this object
// passes each call on as one event.
#pragma once

#include <functional>

#include "platform/win32.h"

namespace hddiag {

class ProgressCallback final : public IDispatch {
public:
    using Handler = std::function<void(INT kind, INT value, INT tag)>;
    explicit ProgressCallback(Handler handler) : m_handler(std::move(handler)) {}

    // Lives on the stack of its owner, which outlives its use by the component.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* pctinfo) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid,
                                            DISPID* rgDispId) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags,
                                     DISPPARAMS* pDispParams, VARIANT* pVarResult, EXCEPINFO* pExcepInfo,
                                     UINT* puArgErr) override;

private:
    Handler m_handler;
};

}  // namespace hddiag
