// The fault sweep: for the disk report, the batch plan and each of the four
// tests, every device call the component makes (open, request, seek, read,
// random draw) is made to fail in turn, with its natural code and with last
// error 0. Whatever fails, the method answers status 0 or 1 with one of its
// documented codes, reads nothing the clean run would not read, leaves no
// handle open, and the object goes away with its last release.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "object/server_lock.h"
#include "test/support/disk_test_support.h"

namespace hdd {
namespace {

using namespace hdd::testing;

// At most this many call sites of one kind are failed per method, evenly
// spaced from the first to the last; below it, every one.
constexpr size_t kSitesPerKind = 512;

constexpr wchar_t kSelector[] = L"0-1,0-2";
constexpr ULONG kAllTestsMask = HDD_TEST_LINEAR | HDD_TEST_RANDOM | HDD_TEST_FUNNEL | HDD_TEST_SURFACE;

// Disk 0 (SATA) with C: and D:; disk 1 (USB) with E:, which the report leaves out.
sim::MachineDescription SweepMachine()
{
    sim::SimDisk usb = FixedDisk({{1, 2048, 8192, L'E'}});
    usb.bus = BusTypeUsb;
    return Machine({FixedDisk({{1, 2048, 49152, L'C'}, {2, 53248, 32768, L'D'}}), usb});
}

struct Result {
    HRESULT status = 0;
    LONG code = 0;                  // the tests' *plRetVal
    std::vector<std::wstring> report;  // GetHardDiskInfo's items
    size_t volumes = 0;             // entries of the volume table after GetHardDiskInfo
    ULONGLONG unitsPlanned = 0;     // StartHDDTest
    std::vector<ULONGLONG> reads;   // sectors of disk 0, in order
};

struct Operation {
    const char* name;
    bool reportFirst;  // the volume table comes from a report made before any fault
    std::function<void(CCHDDObject&, Result&)> call;
    const NamedTest* test;  // one of the four tests, or null
};

std::vector<std::wstring> Items(BSTR report)
{
    std::vector<std::wstring> items;
    const std::wstring text = report == nullptr ? L"" : std::wstring(report, SysStringLen(report));
    size_t start = 0;
    while (start < text.size()) {
        const size_t comma = std::min(text.find(L',', start), text.size());
        items.push_back(text.substr(start, comma - start));
        start = comma + 1;
    }
    return items;
}

void CallReport(CCHDDObject& object, Result& r)
{
    BSTR report = nullptr;
    r.status = object.GetHardDiskInfo(&report);
    r.report = Items(report);
    r.volumes = ObjectState::Volumes(object).size();
    SysFreeString(report);
}

std::vector<Operation> Operations()
{
    std::vector<Operation> ops;
    ops.push_back({"GetHardDiskInfo", false, CallReport, nullptr});
    ops.push_back({"StartHDDTest", true,
                   [](CCHDDObject& object, Result& r) {
                       const Bstr items(kSelector);
                       r.status = object.StartHDDTest(items, kAllTestsMask);
                       r.unitsPlanned = ObjectState::UnitsPlanned(object);
                   },
                   nullptr});
    for (const NamedTest& test : kAllTests) {
        ops.push_back({test.name, true,
                       [&test](CCHDDObject& object, Result& r) {
                           const Outcome outcome = RunTest(object, test.method, kSelector);
                           r.status = outcome.status;
                           r.code = outcome.ret;
                       },
                       &test});
    }
    return ops;
}

// Calls of the operation by the kind of fault that can fail them.
struct Sites {
    ULONGLONG count[5] = {};
    static size_t Index(sim::FaultOp op) { return static_cast<size_t>(op); }
};

constexpr sim::FaultOp kFaultOps[] = {sim::FaultOp::Open, sim::FaultOp::Ioctl, sim::FaultOp::Seek,
                                      sim::FaultOp::Read, sim::FaultOp::Random};
const char* const kFaultOpNames[] = {"open", "ioctl", "seek", "read", "random"};

// One call of the operation on a fresh machine and object, with the fault
// (if any) armed after the set-up, so that it counts the operation's calls
// only. Checks what every call must leave behind.
Result RunOnce(const Operation& op, const sim::Fault* fault, Sites* sites)
{
    sim::SimMachine m(SweepMachine());
    ScopedOsApi scope(m);
    const LONG locks = ServerLockCount();
    CCHDDObject* object = new CCHDDObject;
    object->AddRef();
    RecordingDispatch callback;
    LONG set = 0;
    object->SetCallback(&callback, &set);
    if (op.reportFirst) {
        Result ignored;
        CallReport(*object, ignored);
    }
    m.SetRecording(sites != nullptr);
    m.ClearCalls();
    Result r;
    m.SetReadObserver([&r](LONG disk, ULONGLONG sector) {
        if (disk == 0) {
            r.reads.push_back(sector);
        }
    });
    if (fault != nullptr) {
        m.AddFault(*fault);
    }
    op.call(*object, r);

    EXPECT_EQ(m.OpenHandleCount(), 0u);
    EXPECT_EQ(ObjectState::DriveHandle(*object), INVALID_HANDLE_VALUE);
    EXPECT_TRUE(ObjectState::Items(*object).empty());
    EXPECT_EQ(object->Release(), 0u);
    EXPECT_EQ(ServerLockCount(), locks);

    if (sites != nullptr) {
        for (const sim::CallRecord& c : m.Calls()) {
            switch (c.kind) {
            case sim::CallKind::Open:
                ++sites->count[Sites::Index(sim::FaultOp::Open)];
                break;
            case sim::CallKind::Ioctl:
                ++sites->count[Sites::Index(sim::FaultOp::Ioctl)];
                break;
            case sim::CallKind::Seek:
                sites->count[Sites::Index(sim::FaultOp::Seek)] += c.disk >= 0 ? 1 : 0;
                break;
            case sim::CallKind::Read:
                sites->count[Sites::Index(sim::FaultOp::Read)] += c.disk >= 0 ? 1 : 0;
                break;
            case sim::CallKind::Random:
                ++sites->count[Sites::Index(sim::FaultOp::Random)];
                break;
            case sim::CallKind::Close:
                break;
            }
        }
    }
    return r;
}

bool IsPrefix(const std::vector<ULONGLONG>& part, const std::vector<ULONGLONG>& whole)
{
    return part.size() <= whole.size() && std::equal(part.begin(), part.end(), whole.begin());
}

bool IsSubsequence(const std::vector<ULONGLONG>& part, const std::vector<ULONGLONG>& whole)
{
    size_t i = 0;
    for (size_t j = 0; i < part.size() && j < whole.size(); ++j) {
        i += part[i] == whole[j] ? 1 : 0;
    }
    return i == part.size();
}

// A report item "disk-partition-MiB" as the clean report has it, or with the
// disk 255 or the partition 0 that a failed lookup of the volume gives.
bool SameItem(const std::wstring& item, const std::wstring& clean)
{
    const size_t a = clean.find(L'-');
    const size_t b = clean.find(L'-', a + 1);
    const std::wstring disk = clean.substr(0, a);
    const std::wstring partition = clean.substr(a + 1, b - a - 1);
    const std::wstring size = clean.substr(b);
    for (const std::wstring& d : {disk, std::wstring(L"255")}) {
        for (const std::wstring& p : {partition, std::wstring(L"0")}) {
            if (item == d + L"-" + p + size) {
                return true;
            }
        }
    }
    return false;
}

bool IsSubsequence(const std::vector<std::wstring>& part, const std::vector<std::wstring>& whole)
{
    size_t i = 0;
    for (size_t j = 0; i < part.size() && j < whole.size(); ++j) {
        i += SameItem(part[i], whole[j]) ? 1 : 0;
    }
    return i == part.size();
}

// What a call under a fault may answer, against the clean call.
void CheckAnswer(const Operation& op, const Result& clean, const Result& r, bool zeroError)
{
    if (op.test == nullptr && std::string(op.name) == "GetHardDiskInfo") {
        // A volume or drive that does not answer is left out of the report,
        // or named with an unknown disk or partition.
        EXPECT_EQ(r.status, HDD_STATUS_OK);
        EXPECT_TRUE(r.reads.empty());
        EXPECT_TRUE(IsSubsequence(r.report, clean.report));
        EXPECT_EQ(r.volumes, r.report.size());
        return;
    }
    EXPECT_TRUE(r.status == HDD_STATUS_OK || r.status == HDD_STATUS_FAILED) << r.status;
    if (op.test == nullptr) {  // StartHDDTest
        EXPECT_TRUE(r.reads.empty());
        if (r.status == HDD_STATUS_OK) {
            EXPECT_EQ(r.unitsPlanned, clean.unitsPlanned);
        }
        return;
    }
    if (r.status == HDD_STATUS_OK) {
        EXPECT_EQ(r.code, 0);
    } else {
        const LONG documented[] = {HDD_TEST_ABORTED, HDD_TEST_READ_ERROR, HDD_DRIVE_NOT_TESTABLE,
                                   HDD_PARTITION_NOT_TESTABLE};
        EXPECT_NE(std::find(std::begin(documented), std::end(documented), r.code), std::end(documented))
            << std::hex << r.code;
    }
    if (zeroError) {
        // A seek that fails with last error 0 counts as done without its read.
        EXPECT_TRUE(IsSubsequence(r.reads, clean.reads));
    } else if (r.status == HDD_STATUS_OK) {
        EXPECT_EQ(r.reads, clean.reads);
    } else {
        EXPECT_TRUE(IsPrefix(r.reads, clean.reads));
    }
}

// The n-th of `count` evenly spaced call numbers from 1 to total.
ULONGLONG SiteNumber(size_t n, size_t count, ULONGLONG total)
{
    return count <= 1 ? 1 : 1 + (total - 1) * n / (count - 1);
}

TEST(FaultSweep, EveryDeviceCallFailedInTurn)
{
    ULONGLONG totalSites = 0;
    ULONGLONG coveredSites = 0;
    ULONGLONG runs = 0;
    for (const Operation& op : Operations()) {
        SCOPED_TRACE(op.name);
        Sites sites;
        const Result clean = RunOnce(op, nullptr, &sites);
        if (op.test != nullptr) {
            ASSERT_EQ(clean.status, HDD_STATUS_OK);
            ASSERT_EQ(clean.code, 0);
            ASSERT_FALSE(clean.reads.empty());
        }
        ULONGLONG opTotal = 0;
        ULONGLONG opCovered = 0;
        for (const sim::FaultOp kind : kFaultOps) {
            const ULONGLONG total = sites.count[Sites::Index(kind)];
            const size_t count = static_cast<size_t>(std::min<ULONGLONG>(total, kSitesPerKind));
            opTotal += total;
            opCovered += count;
            for (size_t n = 0; n < count && !::testing::Test::HasFailure(); ++n) {
                sim::Fault fault;
                fault.op = kind;
                fault.nth = SiteNumber(n, count, total);
                // A failed random draw always answers a nonzero code.
                for (const bool zeroError : {false, true}) {
                    if (zeroError && kind == sim::FaultOp::Random) {
                        continue;
                    }
                    SCOPED_TRACE(std::string(kFaultOpNames[Sites::Index(kind)]) + " call " +
                                 std::to_string(fault.nth) + " of " + std::to_string(total) +
                                 (zeroError ? ", last error 0" : ", natural code"));
                    fault.zeroError = zeroError;
                    CheckAnswer(op, clean, RunOnce(op, &fault, nullptr), zeroError);
                    ++runs;
                }
            }
        }
        std::printf("fault sweep: %-18s %5llu of %5llu call sites\n", op.name,
                    static_cast<unsigned long long>(opCovered), static_cast<unsigned long long>(opTotal));
        totalSites += opTotal;
        coveredSites += opCovered;
    }
    std::printf("fault sweep: %llu of %llu device call sites failed in turn (every one up to %zu per kind and "
                "method, evenly spaced beyond), %llu runs\n",
                static_cast<unsigned long long>(coveredSites), static_cast<unsigned long long>(totalSites),
                kSitesPerKind, static_cast<unsigned long long>(runs));
    RecordProperty("covered", std::to_string(coveredSites));
    RecordProperty("total", std::to_string(totalSites));
}

}  // namespace
}  // namespace hdd
