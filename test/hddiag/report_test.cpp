// Reading the component's report, matching letters to it, and the items a
// run uses.
#include <gtest/gtest.h>

#include "tools/hddiag/session/report.h"
#include "tools/hddiag/session/result_codes.h"

namespace hddiag::testing {
namespace {

TEST(Report, ParsesItemsAndRefusesWhatIsNotAReport)
{
    struct Case {
        const char* text;
        bool ok;
        std::vector<std::vector<LONGLONG>> items;  // disk, partition, size
    };
    const Case cases[] = {
        {"", true, {}},
        {"0-1-100000,0-2-376938", true, {{0, 1, 100000}, {0, 2, 376938}}},
        {"255-0-7", true, {{255, 0, 7}}},
        {"-1--2-3", true, {{-1, -2, 3}}},
        {"1-2-9223372036854775807", true, {{1, 2, 9223372036854775807LL}}},
        {"0-1", false, {}},
        {"0-1-5,", false, {{0, 1, 5}}},
        {",0-1-5", false, {}},
        {"0-1-5-6", false, {}},
        {"a-b-c", false, {}},
        {"0-1-5 ", false, {}},
        {"2147483648-1-5", false, {}},
        {"0-1-9223372036854775808", false, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        std::vector<ReportItem> items;
        EXPECT_EQ(ParseReport(c.text, items), c.ok);
        std::vector<std::vector<LONGLONG>> got;
        for (const ReportItem& i : items) {
            got.push_back({i.disk, i.partition, i.sizeMiB});
        }
        EXPECT_EQ(got, c.items);
    }
}

TEST(Report, LettersFollowTheReportsLetterOrder)
{
    struct Case {
        const char* name;
        std::vector<VolumeLetter> letters;
        const char* report;
        std::string expected;  // one letter per item, '?' for none
    };
    const Case cases[] = {
        {"one disk", {{'C', 0, 1}, {'D', 0, 2}, {'E', 1, 1}}, "0-1-100,0-2-200", "CD"},
        {"skipped letters", {{'A', 255, 0}, {'C', 0, 1}}, "0-1-100", "C"},
        // A volume over two disks gives one item per extent, all named 255.
        {"spanned volume", {{'C', 0, 1}, {'F', 255, 1}}, "0-1-100,255-1-50,255-1-60", "CFF"},
        {"no answer", {{'C', 0, 1}}, "0-2-100", "?"},
        {"same numbers on two letters", {{'G', 255, 0}, {'H', 255, 0}}, "255-0-1", "G"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<ReportItem> items;
        ASSERT_TRUE(ParseReport(c.report, items));
        AssignLetters(items, c.letters);
        std::string got;
        for (const ReportItem& i : items) {
            got += i.letter != 0 ? i.letter : '?';
        }
        EXPECT_EQ(got, c.expected);
    }
}

TEST(Report, DefaultSelectorsNameEveryPartitionOnce)
{
    std::vector<ReportItem> items;
    ASSERT_TRUE(ParseReport("0-1-100,255-1-50,255-1-60,0-2-5,1-1-9", items));
    EXPECT_EQ(DefaultSelectors(items), (std::vector<std::string>{"0-1", "255-1", "0-2", "1-1"}));
    EXPECT_EQ(JoinItems(DefaultSelectors(items)), "0-1,255-1,0-2,1-1");
    EXPECT_EQ(JoinItems({}), "");
}

TEST(Report, ItemsFromTheCommandLine)
{
    EXPECT_EQ(SplitItems({" 0-1 , ,0-2", "1-1", ",,", ""}), (std::vector<std::string>{"0-1", "0-2", "1-1"}));
    EXPECT_TRUE(SplitItems({}).empty());
}

TEST(Report, TextAtTheInterface)
{
    const wchar_t text[] = L"0-1\u00e9\u4e2d";
    EXPECT_EQ(Narrow(text, 5), "0-1??");
    EXPECT_EQ(Narrow(text, 0), "");
    EXPECT_EQ(Widen("0-1,2-3"), L"0-1,2-3");
    EXPECT_EQ(Hex32(0), "0x00000000");
    EXPECT_EQ(Hex32(0xA0010003u), "0xA0010003");
    EXPECT_EQ(Hex32(0xFFFFFFFFu), "0xFFFFFFFF");
}

}  // namespace
}  // namespace hddiag::testing
