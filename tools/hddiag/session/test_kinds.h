// The four disk tests as the front end names them, with the interface method
// and the plan mask bit of each.
#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "object/ichddobject.h"
#include "platform/win32.h"

namespace hddiag {

enum class TestKind { Linear, Funnel, Random, Surface };

struct TestKindInfo {
    TestKind kind;
    const char* name;    // as typed on the command line
    const char* method;  // the interface method that runs it
    ULONG maskBit;       // its bit in StartHDDTest's mask
};

const TestKindInfo& Describe(TestKind kind);
std::optional<TestKind> TestKindFromName(std::string_view name);

// linear, funnel, random, surface: the order of a run when none is given.
const std::vector<TestKind>& AllTestKinds();

ULONG MaskOf(const std::vector<TestKind>& kinds);

// Calls the test's method with the selector.
HRESULT CallTest(ICHDDObject& object, TestKind kind, BSTR bstrDriveInfo, LONG* plRetVal);

}  // namespace hddiag
