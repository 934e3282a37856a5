// The drive selector through the four test methods and StartHDDTest, on a
// small simulated machine whose volume table comes from the disk report.
//
// Input: [method] [test mask] [flags] [fault op] [fault nth] then the
// selection text as 16-bit units (little-endian), or 32-bit units with flag
// 0x02. Flags: 0x01 a null text, 0x04 arm the fault, 0x08 the fault leaves
// last error 0, 0x10 the callback aborts at its first event, 0x20 no callback.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_machine.h"
#include "platform/os_api.h"

using namespace hdd;
using namespace hdd::fuzz;

namespace {

using TestMethod = HRESULT (STDMETHODCALLTYPE CCHDDObject::*)(BSTR, LONG*);
constexpr TestMethod kTests[] = {&CCHDDObject::HDDLinearSeekTest, &CCHDDObject::HDDFunnelSeekTest,
                                 &CCHDDObject::HDDRandomSeekTest, &CCHDDObject::HDDSurfaceScanTest};
constexpr sim::FaultOp kFaultOps[] = {sim::FaultOp::Open, sim::FaultOp::Ioctl, sim::FaultOp::Seek,
                                      sim::FaultOp::Read, sim::FaultOp::Random};

// Aborts at the first event and notes how many reads had been made.
struct AbortOnFirstEvent {
    CCHDDObject* object;
    const ULONGLONG* reads;
    ULONGLONG readsAtAbort = 0;
    INT percent = 0;  // of the event it aborted at
    static void Act(void* context, INT, INT value)
    {
        auto* self = static_cast<AbortOnFirstEvent*>(context);
        self->readsAtAbort = *self->reads;
        self->percent = value;
        self->object->Abort();
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput in(data, size);
    const size_t method = in.Pick(5);
    const ULONG mask = in.Byte();
    const uint8_t flags = in.Byte();
    const sim::FaultOp faultOp = kFaultOps[in.Pick(5)];
    const ULONGLONG faultNth = in.Byte();
    const std::wstring text = in.RestAsText((flags & 0x02) != 0);

    sim::SimMachine machine(SmallMachine());
    machine.SetRecording(false);
    ScopedOsApi scope(machine);
    ClientObject object;
    BSTR report = nullptr;
    FUZZ_CHECK(object->GetHardDiskInfo(&report) == HDD_STATUS_OK);
    SysFreeString(report);

    ULONGLONG reads = 0;
    AbortOnFirstEvent aborter{&*object, &reads};
    FuzzCallback callback((flags & 0x10) != 0 ? &AbortOnFirstEvent::Act : nullptr, &aborter);
    if ((flags & 0x20) == 0) {
        LONG set = -1;
        FUZZ_CHECK(object->SetCallback(&callback, &set) == HDD_STATUS_OK && set == 0);
    }
    if ((flags & 0x04) != 0) {
        sim::Fault fault;
        fault.op = faultOp;
        fault.nth = faultNth;
        fault.zeroError = (flags & 0x08) != 0 && faultOp != sim::FaultOp::Random;
        machine.AddFault(fault);
    }
    machine.SetReadObserver([&reads](LONG, ULONGLONG) { ++reads; });

    // SysAllocStringLen keeps NULs inside the text; the selector stops at the first.
    BSTR selection = (flags & 0x01) != 0 ? nullptr : SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    if (method < 4) {
        LONG code = 0x5A5A5A5A;
        const HRESULT status = ((*object).*kTests[method])(selection, &code);
        CheckTestAnswer(status, code);
        if ((flags & 0x10) != 0 && callback.events != 0) {
            // Nothing is read, and nothing is sent, after an abort.
            FUZZ_CHECK(callback.events == 1);
            FUZZ_CHECK(reads == aborter.readsAtAbort);
            // Unless it came with the ending's 100, the abort is seen before
            // the next read; opening the next extent's drive can fail first.
            FUZZ_CHECK(aborter.percent == 100 || status == HDD_STATUS_OK || code == HDD_TEST_ABORTED ||
                       code == HDD_DRIVE_NOT_TESTABLE);
        }
    } else {
        const HRESULT status = object->StartHDDTest(selection, mask);
        FUZZ_CHECK(status == HDD_STATUS_OK || status == HDD_STATUS_FAILED);
        FUZZ_CHECK(reads == 0);  // the plan only measures
        FUZZ_CHECK(callback.events == 0);
    }
    SysFreeString(selection);
    CheckIdle(*object, machine);
    FUZZ_CHECK(callback.refs == 0);
    return 0;
}
