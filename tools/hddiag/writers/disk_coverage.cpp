#include "tools/hddiag/writers/disk_coverage.h"

#include <algorithm>
#include <cctype>

#include "platform/sim/bus_names.h"
#include "tools/hddiag/writers/output.h"

namespace hddiag {

namespace {

// The component's contract (drive/device.cpp, object/test_plan.cpp): it
// tests ATA, SATA and RAID disks with fixed media.
bool TestsTakeBus(DWORD bus) { return bus == BusTypeAta || bus == BusTypeSata || bus == BusTypeRAID; }

std::string ShellWord(const std::string& word)
{
    const bool plain = !word.empty() && std::all_of(word.begin(), word.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) != 0 || std::string("_./:@%+=,-").find(c) != std::string::npos;
    });
    if (plain) {
        return word;
    }
    std::string quoted = "'";
    for (char c : word) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

std::string DiskOptionText(const DiskOption& disk)
{
    if (disk.bus == BusTypeSata) {
        return disk.path;
    }
    std::string bus = hdd::sim::BusDisplayName(disk.bus);
    std::transform(bus.begin(), bus.end(), bus.begin(),
                   [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); });
    return disk.path + ":" + bus;
}

bool InReport(const std::vector<ReportItem>& items, LONG disk)
{
    return std::any_of(items.begin(), items.end(), [disk](const ReportItem& item) { return item.disk == disk; });
}

// Why an accepted disk's tests did not run to an end.
std::string NotRunReason(const DiskCoverage& disk, const RunResult& result)
{
    if (disk.outcomes == std::array<size_t, 5>{}) {
        return "none of its partitions is among this run's items";
    }
    const size_t stopped = disk.outcomes[static_cast<size_t>(Outcome::Aborted)] +
                           disk.outcomes[static_cast<size_t>(Outcome::NotRun)];
    if (stopped > 0) {
        return "Ctrl-C stopped the run before its tests ended";
    }
    for (const TestRecord& test : result.tests) {
        if (test.outcome == Outcome::Refused && TestedDisk(test.selector) == disk.disk) {
            return "its tests were refused (" + ResultCodeName(test.code) + ")";
        }
    }
    return "no test ran to its end";
}

}  // namespace

size_t DiskCoverage::Tests() const
{
    size_t ran = 0;
    for (size_t i = 0; i < outcomes.size(); ++i) {
        ran += i == static_cast<size_t>(Outcome::NotRun) ? 0 : outcomes[i];
    }
    return ran;
}

std::string DiskCommandPrefix(const Options& options)
{
    std::string prefix = "hddiag";
    if (!options.machine.empty()) {
        prefix += " --machine " + ShellWord(options.machine);
    }
    for (const DiskOption& disk : options.disks) {
        prefix += " --disk " + ShellWord(DiskOptionText(disk));
    }
    return prefix;
}

std::string NotInReportReason(const DiskRow& row)
{
    if (!TestsTakeBus(row.busType)) {
        return "its bus is " + (row.bus.empty() ? std::string("unknown") : row.bus) +
               "; the tests take ATA, SATA and RAID disks only";
    }
    if (row.media != FixedMedia) {
        return (row.media == RemovableMedia ? std::string("removable media")
                                            : "media type " + std::to_string(row.media)) +
               "; the tests take fixed disks only";
    }
    if (!row.problem.empty()) {
        return row.problem;
    }
    if (row.volumes.empty()) {
        return "no partitions; the tests read partitions";
    }
    if (std::none_of(row.volumes.begin(), row.volumes.end(), [](const DiskVolume& v) { return v.letter != 0; })) {
        return "no partition has a drive letter";
    }
    return "the component's report names none of its partitions";
}

size_t TestsRun(const RunResult& result)
{
    return static_cast<size_t>(std::count_if(result.tests.begin(), result.tests.end(), [](const TestRecord& t) {
        return t.outcome == Outcome::Passed || t.outcome == Outcome::Failed;
    }));
}

std::vector<DiskCoverage> CoverDisks(const RunResult& result, const std::string& prefix)
{
    std::vector<DiskCoverage> disks;
    for (const DiskRow& row : result.disks) {
        DiskCoverage disk;
        disk.disk = row.disk;
        disk.device = row.device;
        disk.bus = row.bus;
        if (row.size != 0 && row.bytesPerSector != 0) {
            disk.sectors = row.size / row.bytesPerSector;
        }
        for (size_t i = 0; i < result.tests.size(); ++i) {
            if (TestedDisk(result.tests[i].selector) != row.disk) {
                continue;
            }
            ++disk.outcomes[static_cast<size_t>(result.tests[i].outcome)];
            const LatencySummary* latency = result.LatencyOf(i);
            if (latency == nullptr) {
                continue;
            }
            disk.timed = true;
            disk.reads += latency->reads;
            disk.slowReads += latency->slowReads;
            if (!latency->slowest.empty() && latency->slowest.front().nanoseconds > disk.slowest.nanoseconds) {
                disk.slowest = latency->slowest.front();
            }
        }
        const bool ranToAnEnd = disk.outcomes[static_cast<size_t>(Outcome::Passed)] +
                                    disk.outcomes[static_cast<size_t>(Outcome::Failed)] >
                                0;
        if (!ranToAnEnd) {
            disk.notTested =
                InReport(result.report.items, row.disk) ? NotRunReason(disk, result) : NotInReportReason(row);
        }
        if (const DiskHealth* health = FindHealth(result.health, row.disk)) {
            disk.health = HealthSummary(*health);
        }
        for (const char* command : kFullReadCommands) {
            disk.fullRead.push_back(prefix + " " + command + " " + std::to_string(row.disk));
        }
        disks.push_back(std::move(disk));
    }
    return disks;
}

}  // namespace hddiag
