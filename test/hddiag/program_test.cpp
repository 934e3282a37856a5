// Running another program as health runs smartctl: its output and exit
// status come back, and one that hangs is stopped instead of hanging hddiag.
#include <gtest/gtest.h>

#include <chrono>

#include "tools/hddiag/host/program.h"

namespace hddiag::testing {
namespace {

using host::ProgramRun;
using host::RunProgram;

struct Case {
    const char* name;
    const char* script;  // for /bin/sh -c
    bool exited;
    ULONG status;
    const char* output;
    const char* error;  // the start of the reason, when it did not exit
};

TEST(RunProgram, GivesOutputAndStatusOrStopsWhatHangs)
{
    const Case cases[] = {
        {"output and status", "printf 'a\\nb'; exit 3", true, 3, "a\nb", ""},
        {"silent success", "exit 0", true, 0, "", ""},
        {"standard error dropped", "echo gone >&2; echo kept", true, 0, "kept\n", ""},
        {"killed by a signal", "kill -9 $$", false, 0, "", "killed by signal 9"},
        {"hangs while writing", "echo part; exec sleep 30", false, 0, "part\n", "stopped after"},
        {"closes its output, then hangs", "exec >&-; exec sleep 30", false, 0, "", "stopped after"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto start = std::chrono::steady_clock::now();
        const ProgramRun run = RunProgram("/bin/sh", {"-c", c.script}, 500);
        const auto took = std::chrono::steady_clock::now() - start;
        EXPECT_TRUE(run.started);
        EXPECT_EQ(run.exited, c.exited) << run.error;
        EXPECT_EQ(run.exitStatus, c.status);
        EXPECT_EQ(run.output, c.output);
        EXPECT_EQ(run.error.rfind(c.error, 0), 0u) << run.error;
        EXPECT_LT(took, std::chrono::seconds(10)) << "a hung program must not hold up hddiag";
    }
}

TEST(RunProgram, AProgramThatCannotStartSaysWhy)
{
    const ProgramRun run = RunProgram("/nonexistent/smartctl", {"--json"}, 500);
    EXPECT_FALSE(run.started);
    EXPECT_FALSE(run.error.empty());
    EXPECT_EQ(host::FindProgram("/nonexistent/smartctl"), "");
}

}  // namespace
}  // namespace hddiag::testing
