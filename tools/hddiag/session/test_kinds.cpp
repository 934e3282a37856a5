#include "tools/hddiag/session/test_kinds.h"

#include "drive/hdd_constants.h"

namespace hddiag {

namespace {

const TestKindInfo kKinds[] = {
    {TestKind::Linear, "linear", "HDDLinearSeekTest", hdd::HDD_TEST_LINEAR},
    {TestKind::Funnel, "funnel", "HDDFunnelSeekTest", hdd::HDD_TEST_FUNNEL},
    {TestKind::Random, "random", "HDDRandomSeekTest", hdd::HDD_TEST_RANDOM},
    {TestKind::Surface, "surface", "HDDSurfaceScanTest", hdd::HDD_TEST_SURFACE},
};

}  // namespace

const TestKindInfo& Describe(TestKind kind)
{
    for (const TestKindInfo& info : kKinds) {
        if (info.kind == kind) {
            return info;
        }
    }
    return kKinds[0];
}

std::optional<TestKind> TestKindFromName(std::string_view name)
{
    for (const TestKindInfo& info : kKinds) {
        if (name == info.name) {
            return info.kind;
        }
    }
    return std::nullopt;
}

const std::vector<TestKind>& AllTestKinds()
{
    static const std::vector<TestKind> all{TestKind::Linear, TestKind::Funnel, TestKind::Random,
                                           TestKind::Surface};
    return all;
}

ULONG MaskOf(const std::vector<TestKind>& kinds)
{
    ULONG mask = 0;
    for (TestKind kind : kinds) {
        mask |= Describe(kind).maskBit;
    }
    return mask;
}

HRESULT CallTest(ICHDDObject& object, TestKind kind, BSTR bstrDriveInfo, LONG* plRetVal)
{
    switch (kind) {
    case TestKind::Linear:
        return object.HDDLinearSeekTest(bstrDriveInfo, plRetVal);
    case TestKind::Funnel:
        return object.HDDFunnelSeekTest(bstrDriveInfo, plRetVal);
    case TestKind::Random:
        return object.HDDRandomSeekTest(bstrDriveInfo, plRetVal);
    case TestKind::Surface:
        return object.HDDSurfaceScanTest(bstrDriveInfo, plRetVal);
    }
    return E_UNEXPECTED;
}

}  // namespace hddiag
