// The unit tests' one way in to an object's private state: a named accessor
// for each field a test sets up or checks. Nothing in the component uses it.
#pragma once

#include <string>
#include <vector>

#include "object/chdd_object.h"

namespace hdd {

// Each takes a const object for reading and a mutable one for setting up.
struct ObjectState {
    template <typename Object>
    static auto& AbortFlag(Object& o) { return o.m_bAbort; }
    template <typename Object>
    static auto& DriveHandle(Object& o) { return o.m_hDrive; }
    template <typename Object>
    static auto& UnitsDone(Object& o) { return o.m_ullUnitsDone; }
    template <typename Object>
    static auto& UnitsPlanned(Object& o) { return o.m_ullUnitsPlanned; }
    template <typename Object>
    static auto& Callback(Object& o) { return o.m_pCallback; }
    template <typename Object>
    static auto& Items(Object& o) { return o.m_vecItems; }
    template <typename Object>
    static auto& ItemCount(Object& o) { return o.m_nItemCount; }
    template <typename Object>
    static auto& LastPercent(Object& o) { return o.m_nLastPercent; }
    template <typename Object>
    static auto& StartTick(Object& o) { return o.m_dwStartTick; }
    template <typename Object>
    static auto& LastMinutes(Object& o) { return o.m_nLastMinutes; }
    template <typename Object>
    static auto& Volumes(Object& o) { return o.m_vecVolumes; }
};

}  // namespace hdd
