// hddiag's command line.
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "platform/win32.h"
#include "tools/hddiag/latency/latency_recorder.h"
#include "tools/hddiag/options/smartctl_type.h"
#include "tools/hddiag/options/scan_options.h"
#include "tools/hddiag/session/test_kinds.h"

namespace hddiag {

constexpr int kExitPassed = 0;
constexpr int kExitFailed = 1;      // a test failed, was refused or aborted
constexpr int kExitUsage = 2;       // bad command line or unreadable machine file
constexpr int kExitComponent = 3;   // the component could not be created or answered nothing
constexpr int kExitInterrupted = 130;  // scan: stopped by SIGINT or SIGTERM, its maps saved

enum class Command { Info, Test, Run, Scan, Health, Check };

// --disk PATH[:BUS]: a block device or image file and the bus it reports.
struct DiskOption {
    std::string path;
    DWORD bus = BusTypeSata;
};

// PATH[:BUS]: the text after the last colon is the bus when it names one (as
// a machine file does: sata, usb, ...), else part of the path.
DiskOption ParseDiskOption(const std::string& text);

// --color and --view: auto decides from standard error and the environment.
enum class ColorOption { Auto, Always, Never };
enum class ViewOption { Auto, Map, Lines, None };

struct Options {
    Command command = Command::Info;
    std::string machine;  // "builtin", a machine file, or empty for the real machine
    std::vector<DiskOption> disks;      // --disk, in order; empty: this computer's disks
    std::optional<unsigned int> seed;   // --seed: repeatable random words
    bool trace = false;
    bool json = false;
    bool pace = false;
    // Without --machine: the component linked into hddiag on this machine's
    // disks, so its reads can be timed, instead of the installed one.
    bool linked = false;
    std::string reportPath;   // --report: an HTML page of the run
    std::string metricsPath;  // --metrics: OpenMetrics text for a textfile collector
    ColorOption color = ColorOption::Auto;
    ViewOption view = ViewOption::Auto;
    // test
    TestKind testKind = TestKind::Linear;
    std::string selector;
    // run
    std::vector<std::string> items;  // as typed; empty: every reported partition
    std::vector<TestKind> tests;     // without repeats, in the order given
    DWORD slowReadMs = kSlowReadMs;  // --slow: reads at or above this are slow reads
    // health
    std::vector<std::string> healthDisks;  // disk numbers or device names; empty: every disk
    std::vector<SmartctlType> smartctlTypes;  // --smartctl-type, for info, run, health and check
    // scan (and check, which reads disks as scan does)
    ScanCommandOptions scan;
    // check
    std::vector<std::string> checkDisks;  // disk numbers or devices; empty: every disk
    std::string selfTest;                 // "", "short" or "long"
    bool noScan = false;
};

struct ParsedCommandLine {
    bool proceed = false;  // false: stop with exitCode (help shown, or a usage error reported)
    int exitCode = kExitPassed;
    Options options;
};

// defaultMachine applies when --machine is not given.
ParsedCommandLine ParseCommandLine(int argc, const char* const* argv, const std::string& defaultMachine,
                                   std::ostream& out, std::ostream& err);

}  // namespace hddiag
