#include "tools/hddiag/options/options.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <map>

#include "platform/sim/bus_names.h"
#include "tools/hddiag/session/report.h"
#include "tools/hddiag/text/text_escape.h"

namespace hddiag {

namespace {

const char* const kTestNames = "linear|funnel|random|surface";

std::string CheckTestName(const std::string& name)
{
    return TestKindFromName(name) ? std::string() : "'" + name + "' is not a test (" + kTestNames + ")";
}

// Maps a name to its enum value; its empty description keeps CLI11's mapping
// out of --help, and a wrong name is refused with the names there are.
template <typename Enum>
CLI::Validator ByName(std::map<std::string, Enum> names, std::string list)
{
    return CLI::Validator(
        [names = std::move(names), list = std::move(list)](std::string& value) -> std::string {
            const auto found = names.find(value);
            if (found == names.end()) {
                return "'" + value + "' is not one of " + list;
            }
            value = std::to_string(static_cast<int>(found->second));
            return {};
        },
        "");
}

// The one way a command line is refused: a single "hddiag: " line on
// standard error and exit status 2. Printable keeps a typed newline or
// escape sequence (CLI11 quotes what was typed) from breaking that line.
ParsedCommandLine Refused(std::ostream& err, const std::string& why)
{
    err << "hddiag: " << Printable(why) << '\n';
    ParsedCommandLine parsed;
    parsed.exitCode = kExitUsage;
    return parsed;
}

// What scan takes from the global options, then its own.
bool CheckScanCommand(Options& o, const CLI::App& scan, const ScanOptionTexts& texts, std::string& error)
{
    if (o.trace || o.linked || o.seed) {
        error = "--trace, --linked and --seed are for info, test and run; scan reads the disks itself";
        return false;
    }
    return CheckScanOptions(scan, texts, o.scan, error);
}

CLI::App* AddHealthCommand(CLI::App& app, Options& o)
{
    CLI::App* health = app.add_subcommand(
        "health", "each disk's SMART health through smartctl: good, warning or failing, with the reasons "
                  "(exit status 1 when a disk is failing)");
    health->add_option("disks", o.healthDisks, "disk numbers or device names (default: every disk)")
        ->type_name("DISK...");
    return health;
}

CLI::App* AddCheckCommand(CLI::App& app, Options& o, ScanOptionTexts& texts)
{
    CLI::App* check = app.add_subcommand(
        "check", "is the disk failing? its health, the drive's own self-test, a read of every sector and its "
                 "health again: one verdict per disk (exit status 1 when a disk is failing)");
    check->add_option("disks", o.checkDisks, "disk numbers or devices (/dev/sdb) (default: every disk)")
        ->type_name("DISK...");
    check->add_option("--self-test", o.selfTest, "have the drive run its own self-test first, and wait for it")
        ->check(CLI::IsMember({"short", "long"}))
        ->type_name("short|long");
    check->add_flag("--no-scan", o.noScan, "do not read the disk's sectors (health and the self-test only)");
    AddScanReadOptions(*check, o.scan, texts);
    return check;
}

bool CheckCheckCommand(Options& o, const CLI::App& check, const ScanOptionTexts& texts, std::string& error)
{
    if (o.trace || o.linked || o.seed) {
        error = "--trace, --linked and --seed are for info, test and run; check reads the disks itself";
        return false;
    }
    o.checkDisks = SplitItems(o.checkDisks);
    return CheckScanReadOptions(check, texts, o.scan, error);
}

}  // namespace

DiskOption ParseDiskOption(const std::string& text)
{
    DiskOption disk;
    disk.path = text;
    const size_t colon = text.rfind(':');
    if (colon != std::string::npos && colon != 0) {
        if (const std::optional<DWORD> bus = hdd::sim::BusFromName(text.substr(colon + 1))) {
            disk.path = text.substr(0, colon);
            disk.bus = *bus;
        }
    }
    return disk;
}

ParsedCommandLine ParseCommandLine(int argc, const char* const* argv, const std::string& defaultMachine,
                                   std::ostream& out, std::ostream& err)
{
    ParsedCommandLine parsed;
    Options& o = parsed.options;

    CLI::App app{"Hard-disk diagnostics through the HDD component.", "hddiag"};
    app.require_subcommand(1);
    app.fallthrough();  // global options may follow the command too
    std::string machine;
    app.add_option("--machine", machine,
                   "simulated machine: 'builtin' or a JSON machine file" +
                       std::string(defaultMachine.empty() ? " (default: this machine's disks)"
                                                          : " (default: " + defaultMachine + ")"))
        ->type_name("FILE|builtin");
    std::vector<std::string> disks;
    app.add_option("--disk", disks,
                   "a block device or disk image as the next disk, read-only (repeatable; BUS: sata (default), "
                   "ata, raid, usb, scsi, sas, nvme, atapi, 1394)")
        ->type_name("PATH[:BUS]")
        ->allow_extra_args(false)
        ->excludes("--machine");
    unsigned int seed = 0;
    app.add_option("--seed", seed, "random words from a generator with this seed, so that a run repeats")
        ->type_name("N");
    CLI::Option* trace = app.add_flag("--trace", o.trace,
                                      "print only 'read', 'event' and 'result' lines on standard output");
    CLI::Option* json = app.add_flag("--json", o.json, "print the report and the results as JSON");
    trace->excludes(json);
    app.add_flag("--pace", o.pace, "let the simulated machine's reads take real time");
    app.add_flag("--linked", o.linked,
                 "without --machine: test this machine's disks through the component linked into hddiag, "
                 "which times every read, instead of the installed one");
    app.add_option("--report", o.reportPath, "also write the results as one HTML page")->type_name("FILE.html");
    app.add_option("--metrics", o.metricsPath, "also write the results as OpenMetrics text (textfile collector)")
        ->type_name("FILE.prom");
    const char* const colorNames = "auto|always|never";
    app.add_option("--color", o.color, "colour on standard error (auto: on a terminal, without NO_COLOR or TERM=dumb)")
        ->transform(ByName<ColorOption>(
            {{"auto", ColorOption::Auto}, {"always", ColorOption::Always}, {"never", ColorOption::Never}}, colorNames))
        ->type_name(colorNames);
    const char* const viewNames = "auto|map|lines|none";
    app.add_option("--view", o.view,
                   "progress on standard error: the live map, plain lines, or nothing (auto: the map on a terminal)")
        ->transform(ByName<ViewOption>({{"auto", ViewOption::Auto},
                                        {"map", ViewOption::Map},
                                        {"lines", ViewOption::Lines},
                                        {"none", ViewOption::None}},
                                       viewNames))
        ->type_name(viewNames);
    std::vector<std::string> smartctlTypes;
    app.add_option("--smartctl-type", smartctlTypes,
                   "smartctl's device type for one disk (-d TYPE: sat, sat,12, usbjmicron, nvme, ...; repeatable)")
        ->type_name("DISK=TYPE")
        ->allow_extra_args(false);
    app.set_version_flag("--version", std::string("hddiag ") + HDDIAG_VERSION);

    CLI::App* info = app.add_subcommand("info", "show the disk report");
    CLI::App* test = app.add_subcommand("test", "run one test on a drive selector");
    std::string kind;
    test->add_option("kind", kind, "the test")->required()->check(CheckTestName, "")->type_name(kTestNames);
    test->add_option("selector", o.selector, "disk-partition items, comma-separated, of one disk")->required();
    CLI::App* run = app.add_subcommand("run", "report, plan, and every chosen test on every item");
    run->add_option("items", o.items, "disk-partition items (default: every reported partition)");
    std::vector<std::string> tests;
    // One word per --tests, so items may follow it: run --tests linear 0-1.
    run->add_option("--tests", tests, "the tests to run, in order, comma-separated (default: linear,funnel,random,surface)")
        ->delimiter(',')
        ->allow_extra_args(false)
        ->check(CheckTestName, "")
        ->type_name("LIST");
    run->add_option("--slow", o.slowReadMs,
                    "reads taking at least this long are slow: counted per disk, with the slowest (default " +
                        std::to_string(kSlowReadMs) + ")")
        ->type_name("MS");
    ScanOptionTexts scanTexts;
    CLI::App* scan = AddScanCommand(app, o.scan, scanTexts);
    CLI::App* health = AddHealthCommand(app, o);
    ScanOptionTexts checkTexts;
    CLI::App* check = AddCheckCommand(app, o, checkTexts);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        // --help and --version: their text on standard output, exit 0.
        if (e.get_exit_code() == static_cast<int>(CLI::ExitCodes::Success)) {
            app.exit(e, out, err);
            return parsed;
        }
        const std::vector<std::string> rest = app.remaining();
        if (dynamic_cast<const CLI::RequiredError*>(&e) != nullptr && app.get_subcommands().empty() &&
            !rest.empty()) {
            return Refused(err, "unknown command '" + rest.front() +
                                    "' (expected info, test, run, scan, health or check)");
        }
        return Refused(err, e.what());
    }

    for (const std::string& disk : disks) {
        o.disks.push_back(ParseDiskOption(disk));
        if (o.disks.back().path.empty()) {
            return Refused(err, "--disk needs a path");
        }
    }
    if (app.count("--seed") > 0) {
        o.seed = seed;
    }
    o.machine = app.count("--machine") > 0 ? machine : (o.disks.empty() ? defaultMachine : std::string());
    if (app.count("--machine") > 0 && machine.empty()) {
        return Refused(err, "--machine needs 'builtin' or a machine file");
    }
    if (o.linked && !o.machine.empty()) {
        return Refused(err, "--linked is for this machine's disks, not a simulated machine");
    }
    if ((app.count("--report") > 0 && o.reportPath.empty()) || (app.count("--metrics") > 0 && o.metricsPath.empty())) {
        return Refused(err, "--report and --metrics need a file name");
    }
    if (o.pace && o.machine.empty()) {
        return Refused(err, "--pace needs a simulated machine (--machine)");
    }
    for (const std::string& text : smartctlTypes) {
        std::string error;
        SmartctlType type;
        if (!ParseSmartctlType(text, type, error)) {
            return Refused(err, error);
        }
        o.smartctlTypes.push_back(std::move(type));
    }
    if (!o.smartctlTypes.empty() && (scan->parsed() || test->parsed())) {
        return Refused(err, "--smartctl-type is for health, info and run, which read SMART");
    }
    if (scan->parsed()) {
        o.command = Command::Scan;
        std::string error;
        if (!CheckScanCommand(o, *scan, scanTexts, error)) {
            return Refused(err, error);
        }
    } else if (check->parsed()) {
        o.command = Command::Check;
        std::string error;
        if (!CheckCheckCommand(o, *check, checkTexts, error)) {
            return Refused(err, error);
        }
    } else if (info->parsed()) {
        o.command = Command::Info;
    } else if (health->parsed()) {
        o.command = Command::Health;
    } else if (test->parsed()) {
        o.command = Command::Test;
        o.testKind = *TestKindFromName(kind);
    } else {
        o.command = Command::Run;
        if (run->count("--tests") > 0 && tests.empty()) {
            return Refused(err, std::string("--tests needs at least one of ") + kTestNames);
        }
        // "--tests linear funnel" leaves funnel among the items.
        for (const std::string& item : SplitItems(o.items)) {
            if (TestKindFromName(item)) {
                return Refused(err, "'" + item + "' is a test, not a disk-partition item; list the tests with "
                                    "commas: --tests linear,funnel");
            }
        }
        // A test given twice is most likely a typo for another one.
        for (const std::string& name : tests) {
            const TestKind k = *TestKindFromName(name);
            if (std::find(o.tests.begin(), o.tests.end(), k) != o.tests.end()) {
                return Refused(err, "--tests names " + name + " twice; each test runs at most once");
            }
            o.tests.push_back(k);
        }
        if (o.tests.empty()) {
            o.tests = AllTestKinds();
        }
        if (o.slowReadMs == 0 || o.slowReadMs > 3600000) {
            return Refused(err, "--slow needs milliseconds from 1 to 3600000");
        }
    }
    parsed.proceed = true;
    return parsed;
}

}  // namespace hddiag
