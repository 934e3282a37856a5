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
        // CLI11's own refusals, under the same prefix.
        {{"--machine", "builtin", "--disk", "x", "info"}, "", "hddiag: --machine excludes --disk"},
        {{"test", "linear"}, "builtin", "hddiag: selector is required"},
        {{"test", "foo", "0-1"}, "builtin", "hddiag: kind: 'foo' is not a test (linear|funnel|random|surface)"},
        {{"check", "--self-test", "medium"}, "builtin", "hddiag: --self-test: medium not in {short,long}"},
        {{"--frob\nnicate", "info"}, "builtin", "--frob\\nnicate"},
        // Each test at most once, in one list or over several --tests.
        {{"run", "--tests", "linear,funnel,linear"}, "builtin", "--tests names linear twice"},
        {{"run", "--tests", "surface", "--tests", "random,surface"}, "builtin", "--tests names surface twice"},
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
        EXPECT_EQ(err.rfind("hddiag: ", 0), 0u) << err;
        EXPECT_EQ(err.find('\n'), err.size() - 1) << err;
        EXPECT_EQ(out, "");
    }
}

// Byte sizes: k, m or g in either case, alone or with B or iB, all 1024-based.
TEST(Options, ByteSizes)
{
    struct Case {
        const char* text;
        std::optional<ULONGLONG> bytes;
    };
    const Case cases[] = {
        {"4096", 4096},
        {"0", 0},
        {"64k", 64ull << 10},
        {"64K", 64ull << 10},
        {"64kB", 64ull << 10},
        {"64KB", 64ull << 10},
        {"64KiB", 64ull << 10},
        {"64kiB", 64ull << 10},
        {"1m", 1ull << 20},
        {"1MB", 1ull << 20},
        {"1MiB", 1ull << 20},
        {"2g", 2ull << 30},
        {"2GiB", 2ull << 30},
        {"17179869183G", 17179869183ull << 30},
        {"17179869184G", std::nullopt},  // past 2^64
        {"18446744073709551616", std::nullopt},
        {"", std::nullopt},
        {"k", std::nullopt},
        {"-1", std::nullopt},
        {"1.5M", std::nullopt},
        {" 1M", std::nullopt},
        {"1M ", std::nullopt},
        {"1 M", std::nullopt},
        {"1t", std::nullopt},
        {"512B", std::nullopt},
        {"1Mi", std::nullopt},
        {"1MIB", std::nullopt},
        {"1Mb", std::nullopt},
        {"1MBB", std::nullopt},
        {"1kk", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(ParseByteCount(c.text), c.bytes);
    }

    struct Line {
        std::vector<std::string> args;
        DWORD blockSize;     // 0: refused
        DWORD badBlockSize;
        const char* message;  // part of the refusal
    };
    const Line lines[] = {
        {{"scan", "1", "--block-size", "128k"}, 128u << 10, 0, nullptr},
        {{"scan", "1", "--block-size", "1m", "--bad-block-size", "4KiB"}, 1u << 20, 4096, nullptr},
        {{"scan", "1", "--block-size", "64MB"}, 64u << 20, 0, nullptr},
        {{"check", "--block-size", "2MiB"}, 2u << 20, 0, nullptr},
        {{"scan", "1", "--block-size", "1x"}, 0, 0, "--block-size needs a number of bytes, digits with an optional k, m or g"},
        {{"scan", "1", "--bad-block-size", "4 k"}, 0, 0, "--bad-block-size needs a number of bytes, digits"},
        {{"check", "--block-size", "1Mb"}, 0, 0, "(4096, 64k, 1M, 1MiB), not '1Mb'"},
        {{"scan", "1", "--block-size", "1g"}, 0, 0, "--block-size needs a number of bytes from 1 to 64M, not '1g'"},
        {{"scan", "1", "--block-size", "0k"}, 0, 0, "--block-size needs a number of bytes from 1 to 64M"},
        {{"scan", "1", "--bad-block-size", "65M"}, 0, 0, "--bad-block-size needs a number of bytes from 1 to 64M"},
        {{"scan", "1", "--sector-size", "4kb"}, 0, 0, "--sector-size needs a number of bytes, digits"},
        {{"scan", "1", "--sector-size", "1k", "--block-size", "1k"}, 1024, 0, nullptr},
    };
    for (const Line& l : lines) {
        SCOPED_TRACE(l.args[l.args.size() - 1]);
        std::string out;
        std::string err;
        const ParsedCommandLine p = Parse(l.args, "builtin", out, err);
        if (l.message == nullptr) {
            ASSERT_TRUE(p.proceed) << err;
            EXPECT_EQ(p.options.scan.blockSize, l.blockSize);
            EXPECT_EQ(p.options.scan.badBlockSize, l.badBlockSize);
        } else {
            EXPECT_FALSE(p.proceed);
            EXPECT_EQ(p.exitCode, kExitUsage);
            EXPECT_EQ(err.rfind("hddiag: ", 0), 0u) << err;
            EXPECT_NE(err.find(l.message), std::string::npos) << err;
        }
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
        {{"scan", "--help"}, "hddiag.exe only: bytes per sector of a --disk image file"},
        {{"check", "--help"}, "hddiag.exe only: bytes per sector of a --disk image file"},
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
        EXPECT_EQ(err, "");
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
        // Tests in the order given, over several --tests too.
        const ParsedCommandLine p =
            Parse({"run", "0-1", "0-2,1-1", "--tests", "surface", "--tests", "linear"}, "builtin", out, err);
        ASSERT_TRUE(p.proceed) << err;
        EXPECT_EQ(p.options.items, (std::vector<std::string>{"0-1", "0-2,1-1"}));
        EXPECT_EQ(p.options.tests, (std::vector<TestKind>{TestKind::Surface, TestKind::Linear}));
        EXPECT_EQ(MaskOf(p.options.tests), 0x9u);
    }
}

}  // namespace
}  // namespace hddiag::testing
