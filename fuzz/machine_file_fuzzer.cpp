// The machine-file loader: any text is either a machine or the loader's own
// error naming the place. A machine it accepts passes validation again and
// carries the component: the disk report, the batch plan over what the
// report lists and, on small disks, the four tests, with the file's faults
// in play.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_machine.h"
#include "platform/os_api.h"
#include "platform/sim/machine_description.h"

using namespace hdd;
using namespace hdd::fuzz;

namespace {

// Disks up to this size get the four tests (a few hundred reads each).
constexpr ULONGLONG kTestedDiskBytes = 64 * kMiB;

// Every byte range a test could sweep lies in the first 64 MiB, so that even
// reads that fail with last error 0 (and so count as done) end soon.
bool SmallEnoughToTest(const sim::MachineDescription& description)
{
    for (const sim::SimDisk& d : description.disks) {
        if (d.size > kTestedDiskBytes) {
            return false;
        }
        for (const sim::SimPartition& p : d.partitions) {
            if (p.offset > kTestedDiskBytes || p.length > kTestedDiskBytes - p.offset) {
                return false;
            }
        }
    }
    for (const sim::SimVolume& v : description.volumes) {
        ULONGLONG end = v.extents.empty() ? 0 : v.extents.front().offset;
        for (const sim::SimExtent& e : v.extents) {
            end += e.length > kTestedDiskBytes ? kTestedDiskBytes + 1 : e.length;
            if (end > kTestedDiskBytes || e.offset > kTestedDiskBytes) {
                return false;
            }
        }
    }
    return true;
}

void RunComponent(const sim::MachineDescription& description)
{
    sim::SimMachine machine(description);
    machine.SetRecording(false);
    ScopedOsApi scope(machine);
    ClientObject object;
    FuzzCallback callback;
    LONG set = 0;
    object->SetCallback(&callback, &set);

    BSTR report = nullptr;
    FUZZ_CHECK(object->GetHardDiskInfo(&report) == HDD_STATUS_OK);
    FUZZ_CHECK(report != nullptr);
    const std::wstring items(report, SysStringLen(report));
    SysFreeString(report);
    CheckIdle(*object, machine);
    if (items.empty()) {
        return;
    }
    BSTR all = SysAllocString(items.c_str());
    const HRESULT plan = object->StartHDDTest(all, 0xF);
    FUZZ_CHECK(plan == HDD_STATUS_OK || plan == HDD_STATUS_FAILED);
    SysFreeString(all);
    CheckIdle(*object, machine);

    // The first item alone, on a small disk, through every test.
    const std::wstring first = items.substr(0, items.find(L','));
    if (!SmallEnoughToTest(description)) {
        return;
    }
    using TestMethod = HRESULT (STDMETHODCALLTYPE CCHDDObject::*)(BSTR, LONG*);
    for (TestMethod test : {&CCHDDObject::HDDLinearSeekTest, &CCHDDObject::HDDFunnelSeekTest,
                            &CCHDDObject::HDDRandomSeekTest, &CCHDDObject::HDDSurfaceScanTest}) {
        BSTR selection = SysAllocString(first.c_str());
        LONG code = 0x5A5A5A5A;
        const HRESULT status = ((*object).*test)(selection, &code);
        CheckTestAnswer(status, code);
        SysFreeString(selection);
        CheckIdle(*object, machine);
    }
    FUZZ_CHECK(callback.refs == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    sim::MachineDescription description;
    try {
        description = sim::ParseMachine(text);
    } catch (const sim::MachineError& e) {
        // "place: problem", the place never empty.
        const std::string what = e.what();
        const size_t colon = what.find(": ");
        FUZZ_CHECK(colon != std::string::npos && colon > 0 && colon + 2 < what.size());
        return 0;
    }
    // Anything else thrown escapes and ends the run as a crash.
    sim::ValidateMachine(description);
    RunComponent(description);
    return 0;
}
