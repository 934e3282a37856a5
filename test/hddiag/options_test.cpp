// The command line: what is accepted, and every refusal with exit status 2
// and a message that says what was wrong.
#include <gtest/gtest.h>

#include <sstream>

#include "tools/hddiag/options/options.h"

namespace hddiag::testing {
namespace {

ParsedCommandLine Parse(std::vector<std::string> args, const std::string& defaultMachine, std::string& out,
                        std::string& err)
{
    args.insert(args.begin(), "hddiag");
    std::vector<const char*> argv;
    for (const std::string& a : args) {
        argv.push_back(a.c_str());
    }
    std::ostringstream o;
    std::ostringstream e;
    ParsedCommandLine parsed = ParseCommandLine(static_cast<int>(argv.size()), argv.data(), defaultMachine, o, e);
    out = o.str();
    err = e.str();
    return parsed;
}

TEST(Options, RefusalsExitWithStatus2AndSayWhy)
{
    struct Case {
        std::vector<std::string> args;
        const char* defaultMachine;
        const char* message;  // part of what standard error says
    };
    const Case cases[] = {
        {{}, "builtin", "subcommand"},
        {{"verify"}, "builtin", "verify"},
        {{"test", "linear"}, "builtin", "selector"},
        {{"test", "sideways", "0-1"}, "builtin", "'sideways' is not a test"},
        {{"test", "linear", "0-1", "0-2"}, "builtin", "0-2"},
        {{"run", "--tests", "linear,bogus"}, "builtin", "'bogus' is not a test"},
        {{"run", "--tests"}, "builtin", "--tests"},
        {{"--trace", "--json", "info"}, "builtin", "excludes"},
        {{"info", "--json", "--trace"}, "builtin", "excludes"},
        {{"--machine", "", "info"}, "builtin", "--machine needs"},
        {{"--machine"}, "builtin", "--machine"},
        {{"--pace", "info"}, "", "--pace needs a simulated machine"},
        {{"--frobnicate", "info"}, "builtin", "--frobnicate"},
        {{"info", "0-1"}, "builtin", "0-1"},
        {{"--linked", "--machine", "builtin", "info"}, "", "--linked is for this machine's disks"},
        {{"--linked", "info"}, "builtin", "--linked is for this machine's disks"},
        {{"--report", "", "info"}, "builtin", "need a file name"},
        {{"run", "--metrics"}, "builtin", "--metrics"},
        // --tests takes one comma-separated list; a second test name is an item.
        {{"run", "--tests", "linear", "funnel"}, "builtin", "'funnel' is a test, not a disk-partition item"},
        {{"run", "0-1,surface", "--tests", "linear"}, "builtin", "'surface' is a test"},
        {{"run", "--slow", "0"}, "builtin", "--slow needs milliseconds from 1 to 3600000"},
        {{"run", "--slow", "3600001"}, "builtin", "--slow needs milliseconds from 1 to 3600000"},
        {{"run", "--slow", "fast"}, "builtin", "--slow"},
        {{"info", "--slow", "800"}, "builtin", "--slow"},
    };
    for (const Case& c : cases) {
        std::string joined;
        for (const std::string& a : c.args) {
            joined += "[" + a + "]";
        }
        SCOPED_TRACE(joined);
        std::string out;
        std::string err;
        const ParsedCommandLine parsed = Parse(c.args, c.defaultMachine, out, err);
        EXPECT_FALSE(parsed.proceed);
        EXPECT_EQ(parsed.exitCode, kExitUsage);
        EXPECT_NE(err.find(c.message), std::string::npos) << err;
        EXPECT_EQ(out, "");
    }
}

// Items may come before or after --tests.
TEST(Options, ItemsOnEitherSideOfTests)
{
    const std::vector<std::vector<std::string>> orders = {
        {"run", "--tests", "linear,surface", "0-1", "0-2"},
        {"run", "0-1", "0-2", "--tests", "linear,surface"},
        {"run", "0-1", "--tests", "linear,surface", "0-2"},
        {"run", "--tests", "linear", "0-1", "--tests", "surface", "0-2"},
    };
    for (const std::vector<std::string>& args : orders) {
        SCOPED_TRACE(args.size() > 2 ? args[1] + " " + args[2] + " " + args[3] : std::string());
        std::string out;
        std::string err;
        const ParsedCommandLine p = Parse(args, "builtin", out, err);
        ASSERT_TRUE(p.proceed) << err;
        EXPECT_EQ(p.options.items, (std::vector<std::string>{"0-1", "0-2"}));
        EXPECT_EQ(p.options.tests, (std::vector<TestKind>{TestKind::Linear, TestKind::Surface}));
    }
}

TEST(Options, HelpAndVersionAreNoError)
{
    struct Case {
        std::vector<std::string> args;
        std::string out;  // part of what standard output says
    };
    const Case cases[] = {
        {{"--help"}, "Usage"},
        {{"run", "--help"}, "Usage"},
        {{"--version"}, std::string("hddiag ") + HDDIAG_VERSION + "\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.back());
        std::string out;
        std::string err;
        const ParsedCommandLine parsed = Parse(c.args, "builtin", out, err);
        EXPECT_FALSE(parsed.proceed);
        EXPECT_EQ(parsed.exitCode, kExitPassed);
        EXPECT_NE(out.find(c.out), std::string::npos) << out;
    }
}

// --color and --view take names; --help shows just the names (and the test
// names), and a wrong name is refused with the names it could have been.
TEST(Options, ColorAndViewByName)
{
    struct Case {
        std::vector<std::string> args;
        bool accepted;
        ColorOption color;
        ViewOption view;
    };
    const Case cases[] = {
        {{"info"}, true, ColorOption::Auto, ViewOption::Auto},
        {{"--color=always", "info"}, true, ColorOption::Always, ViewOption::Auto},
        {{"--color", "never", "--view", "none", "info"}, true, ColorOption::Never, ViewOption::None},
        {{"info", "--view=map", "--color=auto"}, true, ColorOption::Auto, ViewOption::Map},
        {{"--view=lines", "info"}, true, ColorOption::Auto, ViewOption::Lines},
        {{"--view=auto", "info"}, true, ColorOption::Auto, ViewOption::Auto},
        {{"--color=sometimes", "info"}, false, {}, {}},
        {{"--view=bars", "info"}, false, {}, {}},
        {{"--view=1", "info"}, false, {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.front());
        std::string out;
        std::string err;
        const ParsedCommandLine p = Parse(c.args, "builtin", out, err);
        ASSERT_EQ(p.proceed, c.accepted) << err;
        if (c.accepted) {
            EXPECT_EQ(p.options.color, c.color);
            EXPECT_EQ(p.options.view, c.view);
        } else {
            EXPECT_EQ(p.exitCode, kExitUsage);
            EXPECT_NE(err.find("is not one of"), std::string::npos) << err;
        }
    }

    struct HelpLine {
        std::vector<std::string> args;
        const char* line;
    };
    const HelpLine lines[] = {
        {{"--help"}, "--color auto|always|never "},
        {{"--help"}, "--view auto|map|lines|none "},
        {{"run", "--help"}, "--tests LIST "},
        {{"test", "--help"}, "kind linear|funnel|random|surface "},
    };
    for (const auto& [args, line] : lines) {
        SCOPED_TRACE(line);
        std::string out;
        std::string err;
        Parse(args, "builtin", out, err);
        const size_t at = out.find(line);
        ASSERT_NE(at, std::string::npos) << out;
        const std::string rest = out.substr(at, out.find('\n', at) - at);
        EXPECT_EQ(rest.find("value in"), std::string::npos) << rest;
        EXPECT_EQ(rest.find("->"), std::string::npos) << rest;
    }
}

TEST(Options, WhatIsAccepted)
{
    std::string out;
    std::string err;
    {
        const ParsedCommandLine p = Parse({"info"}, "builtin", out, err);
        ASSERT_TRUE(p.proceed) << err;
        EXPECT_EQ(p.options.command, Command::Info);
        EXPECT_EQ(p.options.machine, "builtin");
        EXPECT_FALSE(p.options.trace || p.options.json || p.options.pace);
    }
    {
        // Without --machine on a system with real disks: the real machine.
        const ParsedCommandLine p = Parse({"info"}, "", out, err);
        ASSERT_TRUE(p.proceed) << err;
        EXPECT_EQ(p.options.machine, "");
    }
    {
        // Global options after the command, too.
        const ParsedCommandLine p = Parse({"test", "surface", "0-1,0-2", "--machine", "m.json", "--trace", "--pace"},
                                          "", out, err);
        ASSERT_TRUE(p.proceed) << err;
        EXPECT_EQ(p.options.command, Command::Test);
        EXPECT_EQ(p.options.testKind, TestKind::Surface);
        EXPECT_EQ(p.options.selector, "0-1,0-2");
        EXPECT_EQ(p.options.machine, "m.json");
        EXPECT_TRUE(p.options.trace && p.options.pace);
    }
    {
        const ParsedCommandLine p =
            Parse({"--linked", "run", "--report", "r.html", "--metrics", "m.prom"}, "", out, err);
        ASSERT_TRUE(p.proceed) << err;
        EXPECT_TRUE(p.options.linked);
        EXPECT_EQ(p.options.reportPath, "r.html");
        EXPECT_EQ(p.options.metricsPath, "m.prom");
    }
    {
        const ParsedCommandLine p = Parse({"--json", "run"}, "builtin", out, err);
        ASSERT_TRUE(p.proceed) << err;
        EXPECT_EQ(p.options.command, Command::Run);
        EXPECT_TRUE(p.options.items.empty());
        EXPECT_EQ(p.options.tests, AllTestKinds());
        EXPECT_EQ(MaskOf(p.options.tests), 0xFu);
        EXPECT_EQ(p.options.slowReadMs, 500u);
    }
    {
        // run's --slow and scan's are their own.
        const ParsedCommandLine run = Parse({"run", "--slow", "800", "0-1"}, "builtin", out, err);
        ASSERT_TRUE(run.proceed) << err;
        EXPECT_EQ(run.options.slowReadMs, 800u);
        EXPECT_EQ(run.options.items, (std::vector<std::string>{"0-1"}));
        const ParsedCommandLine scan = Parse({"scan", "1", "--slow", "900"}, "builtin", out, err);
        ASSERT_TRUE(scan.proceed) << err;
        EXPECT_EQ(scan.options.scan.slowMs, 900u);
        EXPECT_EQ(scan.options.slowReadMs, 500u);
    }
    {
        // Tests in the order given, each once.
        const ParsedCommandLine p =
            Parse({"run", "0-1", "0-2,1-1", "--tests", "surface,linear", "--tests", "surface"}, "builtin", out, err);
        ASSERT_TRUE(p.proceed) << err;
        EXPECT_EQ(p.options.items, (std::vector<std::string>{"0-1", "0-2,1-1"}));
        EXPECT_EQ(p.options.tests, (std::vector<TestKind>{TestKind::Surface, TestKind::Linear}));
        EXPECT_EQ(MaskOf(p.options.tests), 0x9u);
    }
}

}  // namespace
}  // namespace hddiag::testing
