// Running another program as health runs smartctl: its output and exit
// status come back, arguments arrive as they were given (on Windows through
// one quoted command line), and a program that hangs is stopped instead of
// holding up hddiag.
#include <gtest/gtest.h>

#include <chrono>

#include "tools/hddiag/host/program.h"

namespace hddiag::testing {
namespace {

using host::ProgramRun;
using host::RunProgram;

// The test program: a path, or on Windows its name, found beside the tests
// as smartctl.exe is found beside hddiag.exe.
std::string Child() { return host::FindProgram(HDD_TEST_CHILD); }

struct Case {
    const char* name;
    std::vector<std::string> steps;  // the test program's arguments
    bool exited;
    ULONG status;
    std::string output;
    const char* error;  // the start of the reason, when it did not exit
};

TEST(RunProgram, GivesOutputAndStatusOrStopsWhatHangs)
{
    const std::string child = Child();
    ASSERT_FALSE(child.empty()) << HDD_TEST_CHILD << " not found";
    const Case cases[] = {
        {"output and status", {"out", "abc", "exit", "3"}, true, 3, "abc", ""},
        {"arguments with spaces, quotes and backslashes",
         {"out", "C:\\Program Files\\a b\"c\\", "out", "", "out", " \\\\x\\\""},
         true, 0, "C:\\Program Files\\a b\"c\\ \\\\x\\\"", ""},
        {"standard error dropped", {"err", "gone", "out", "kept"}, true, 0, "kept", ""},
        {"more output than a pipe holds", {"fill", "300000"}, true, 0, std::string(300000, 'x'), ""},
        {"hangs while writing", {"out", "part", "sleep", "60000"}, false, 0, "part", "stopped after 3 s"},
        {"closes its output, then hangs", {"close", "sleep", "60000"}, false, 0, "", "stopped after 3 s"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto start = std::chrono::steady_clock::now();
        const ProgramRun run = RunProgram(child, c.steps, 3000);
        const auto took = std::chrono::steady_clock::now() - start;
        EXPECT_TRUE(run.started) << run.error;
        EXPECT_EQ(run.exited, c.exited) << run.error;
        EXPECT_EQ(run.exitStatus, c.status);
        EXPECT_EQ(run.output, c.output);
        EXPECT_EQ(run.error.rfind(c.error, 0), 0u) << run.error;
        EXPECT_LT(took, std::chrono::seconds(30)) << "a hung program must not hold up hddiag";
    }
}

TEST(RunProgram, AProgramThatCannotBeFoundOrStartedSaysSo)
{
    EXPECT_EQ(host::FindProgram("hddiag-no-such-program"), "");
    const ProgramRun run = RunProgram(Child() + "-missing", {"out", "x"}, 3000);
    EXPECT_FALSE(run.started);
    EXPECT_FALSE(run.error.empty());
}

}  // namespace
}  // namespace hddiag::testing
