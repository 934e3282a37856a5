// Slow areas kept in a map's comment lines: written and read back, others'
// comments and broken lines skipped, and lists of two runs merged.
#include <gtest/gtest.h>

#include "scan/map_file.h"
#include "scan/slow_area_lines.h"

namespace hdd::testing {
namespace {

using scan::SlowArea;

TEST(SlowAreaLines, SurviveAMapFileAndMerge)
{
    const std::vector<SlowArea> areas = {{2944, 128, 600000000}, {90112, 8, 812000000}};
    std::vector<std::string> comments = {"Written by hddiag, scan of 0"};
    for (const SlowArea& a : areas) {
        comments.push_back(scan::SlowAreaComment(a));
    }
    scan::RangeMap map(1 << 20);
    const std::string text = scan::WriteMapFile(map, scan::MapIdentity{"d", "m", "s", 1 << 20, 512, 0, 1 << 20}, comments);
    EXPECT_EQ(scan::ReadSlowAreaComments(text), areas);

    // Lines of other tools and people, and broken ones, are not areas.
    const std::string others = "# slow_area: first=1 sectors=0 worst_ns=5\n#slow_area: first=7 sectors=2 worst_ns=9\n"
                               "# slow_area: first=x sectors=2 worst_ns=9\n0x0 + 1\n# slow_areas: first=1 sectors=1 worst_ns=1\n"
                               "# slow_area: first=18446744073709551615 sectors=2 worst_ns=1\n";
    EXPECT_EQ(scan::ReadSlowAreaComments(others), (std::vector<SlowArea>{{7, 2, 9}}));

    struct Row {
        const char* name;
        std::vector<SlowArea> earlier;
        std::vector<SlowArea> now;
        std::vector<SlowArea> merged;
    };
    const Row rows[] = {
        {"apart", {{100, 8, 5}}, {{10, 2, 7}}, {{10, 2, 7}, {100, 8, 5}}},
        {"touching", {{100, 8, 5}}, {{108, 2, 7}}, {{100, 10, 7}}},
        {"the same area read again", {{100, 8, 9}}, {{100, 8, 5}}, {{100, 8, 9}}},
        {"one inside the other", {{100, 100, 5}}, {{120, 2, 7}}, {{100, 100, 7}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(scan::MergeSlowAreas(row.earlier, row.now), row.merged);
    }
}

}  // namespace
}  // namespace hdd::testing
