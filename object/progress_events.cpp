// Progress (percent) and time-remaining (minutes) calls on the client's
// callback object, and the estimator that feeds the minutes call.
#include "object/chdd_object.h"
#include "drive/hdd_constants.h"
#include "platform/os_api.h"

namespace hdd {

namespace {

constexpr DISPID HDD_CALLBACK_MEMBER = 0;                 // the callback's default member
constexpr LCID HDD_CALLBACK_LOCALE = LOCALE_USER_DEFAULT;  // 0x400
constexpr ULONGLONG HDD_MS_PER_MINUTE = 60000;

// Calls the default member of the callback with (kind, value, tag). IDispatch
// takes positional arguments last-first, so the tag is element 0.
HRESULT InvokeCallback(IDispatch* pCallback, INT nKind, INT nValue)
{
    VARIANT args[3];
    for (VARIANT& arg : args) {
        VariantInit(&arg);
        arg.vt = VT_INT;
    }
    args[0].intVal = HDD_CALLBACK_TAG;
    args[1].intVal = nValue;
    args[2].intVal = nKind;

    DISPPARAMS params{};
    params.rgvarg = args;
    params.rgdispidNamedArgs = nullptr;
    params.cArgs = 3;
    params.cNamedArgs = 0;

    VARIANT result;
    VariantInit(&result);
    const HRESULT hr = pCallback->Invoke(HDD_CALLBACK_MEMBER, IID_NULL, HDD_CALLBACK_LOCALE, DISPATCH_METHOD,
                                         &params, &result, nullptr, nullptr);
    VariantClear(&result);
    for (VARIANT& arg : args) {
        VariantClear(&arg);
    }
    return hr;
}

}  // namespace

HRESULT CCHDDObject::FireProgress(INT nPercent)
{
    // Only a rising value is news; the value is kept even when nothing is sent.
    if (nPercent <= m_nLastPercent) {
        return 0;
    }
    m_nLastPercent = nPercent;
    if (m_pCallback == nullptr) {
        return 0;
    }
    if (nPercent > 100) {
        return 0;
    }
    if (m_bAbort) {
        return 0;
    }
    return InvokeCallback(m_pCallback, HDD_EVENT_PERCENT, nPercent);
}

HRESULT CCHDDObject::FireTimeRemaining(INT nMinutes)
{
    // Any change is news, a falling estimate as much as a rising one.
    if (nMinutes == m_nLastMinutes) {
        return 0;
    }
    m_nLastMinutes = nMinutes;
    if (m_pCallback == nullptr) {
        return 0;
    }
    if (m_bAbort) {
        return 0;
    }
    return InvokeCallback(m_pCallback, HDD_EVENT_MINUTES, nMinutes);
}

HRESULT CCHDDObject::EstimateTimeRemaining()
{
    // Modular subtraction absorbs a wrap of the 32-bit tick counter.
    const DWORD dwElapsed = static_cast<DWORD>(Os().GetTickCount() - m_dwStartTick);
    const ULONGLONG ullDone = m_ullUnitsDone;
    const ULONGLONG ullPlanned = m_ullUnitsPlanned;

    // The whole-number ratio of remaining to done work is taken first and only
    // then scaled by the elapsed time, so the estimate moves in whole
    // multiples of it (0 once more than half the work is done). The product
    // wraps modulo 2^64.
    ULONGLONG ullProduct = 0;
    if (ullPlanned >= ullDone && ullDone != 0) {
        const ULONGLONG ullRatio = (ullPlanned - ullDone) / ullDone;
        ullProduct = ullRatio * static_cast<ULONGLONG>(dwElapsed);
    }
    const INT nMinutes = static_cast<INT>(static_cast<DWORD>(ullProduct / HDD_MS_PER_MINUTE));
    FireTimeRemaining(nMinutes);
    return 0;
}

}  // namespace hdd
