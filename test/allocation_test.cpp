// Heap use of the disk tests: what a test call allocates does not depend on
// how many sectors it reads. Global operator new is replaced in this file to
// count allocations; it counts only while a test here switches counting on.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>

#include "test/support/disk_test_support.h"
#include "support/object_state.h"

namespace {

bool g_bCounting = false;
size_t g_nAllocations = 0;

void* CountedAlloc(std::size_t n)
{
    if (g_bCounting) {
        ++g_nAllocations;
    }
    return std::malloc(n != 0 ? n : 1);
}

}  // namespace

void* operator new(std::size_t n)
{
    if (void* p = CountedAlloc(n)) {
        return p;
    }
    throw std::bad_alloc();
}
void* operator new[](std::size_t n) { return operator new(n); }
void* operator new(std::size_t n, const std::nothrow_t&) noexcept { return CountedAlloc(n); }
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept { return CountedAlloc(n); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

namespace hdd {
namespace {

using namespace hdd::testing;

struct Measured {
    size_t allocations;
    ULONGLONG reads;
};

// Allocations and reads of one call, on an object that has run the same
// test once already (the item list's room is reserved by the first call).
Measured Measure(const NamedTest& test, ULONGLONG partitionSectors)
{
    const sim::MachineDescription d =
        Machine({FixedDisk({{2, 100000, partitionSectors, L'D'}, {3, 200000 + partitionSectors, 8192, L'E'}})});
    sim::SimMachine m(d);
    m.SetRecording(false);
    ScopedOsApi scope(m);
    ObjectRef object;
    FillVolumeTable(*object, d);
    ObjectState::UnitsPlanned(*object) = 1000;  // estimates every 200 units too
    const Bstr selector(L"0-2,0-3");
    LONG ret = kJunk;
    EXPECT_EQ(((*object).*test.method)(selector, &ret), HDD_STATUS_OK);

    const ULONGLONG readsBefore = m.ReadCount();
    g_nAllocations = 0;
    g_bCounting = true;
    const HRESULT status = ((*object).*test.method)(selector, &ret);
    g_bCounting = false;
    EXPECT_EQ(status, HDD_STATUS_OK);
    EXPECT_EQ(ret, 0);
    return Measured{g_nAllocations, m.ReadCount() - readsBefore};
}

TEST(AllocationPerTest, DoesNotGrowWithTheExtents)
{
    for (const NamedTest& test : kAllTests) {
        SCOPED_TRACE(test.name);
        const Measured small = Measure(test, 4 * 8192);
        const Measured large = Measure(test, 1000 * 8192);
        EXPECT_EQ(large.allocations, small.allocations) << small.reads << " and " << large.reads << " reads";
        EXPECT_LT(large.allocations, 64u);  // opens and item texts, nothing per read
        EXPECT_GE(large.reads, 1000u);
        if (test.method != &CCHDDObject::HDDRandomSeekTest) {
            EXPECT_GT(large.reads, 100 * small.reads / 5);
        }
    }
}

}  // namespace
}  // namespace hdd
