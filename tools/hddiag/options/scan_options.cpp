#include "tools/hddiag/options/scan_options.h"

#include <CLI/CLI.hpp>
#include <cctype>

#include "tools/hddiag/session/report.h"

namespace hddiag {

namespace {

const char* const kByteCountForms =
    "digits with an optional k, m or g (1024-based, either case) and an optional B or iB after it "
    "(4096, 64k, 1M, 1MiB)";

bool SizeOption(const std::string& name, const std::string& text, DWORD& value, std::string& error)
{
    if (text.empty()) {
        return true;
    }
    const std::optional<ULONGLONG> bytes = ParseByteCount(text);
    if (!bytes) {
        error = name + " needs a number of bytes, " + kByteCountForms + ", not '" + text + "'";
        return false;
    }
    if (*bytes == 0 || *bytes > kMaxScanBlockSize) {
        error = name + " needs a number of bytes from 1 to 64M, not '" + text + "'";
        return false;
    }
    value = static_cast<DWORD>(*bytes);
    return true;
}

}  // namespace

std::optional<ULONGLONG> ParseByteCount(const std::string& text)
{
    size_t i = 0;
    ULONGLONG value = 0;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])) != 0) {
        if (value > (~0ull - 9) / 10) {
            return std::nullopt;
        }
        value = value * 10 + static_cast<ULONGLONG>(text[i] - '0');
        ++i;
    }
    if (i == 0) {
        return std::nullopt;
    }
    if (i == text.size()) {
        return value;
    }
    // Binary multiples only: a size must be whole sectors, and 1000-based
    // ones seldom are.
    unsigned shift = 0;
    switch (std::tolower(static_cast<unsigned char>(text[i]))) {
    case 'k':
        shift = 10;
        break;
    case 'm':
        shift = 20;
        break;
    case 'g':
        shift = 30;
        break;
    default:
        return std::nullopt;
    }
    const std::string rest = text.substr(i + 1);
    if (!rest.empty() && rest != "B" && rest != "iB") {
        return std::nullopt;
    }
    if (value > (~0ull >> shift)) {
        return std::nullopt;
    }
    return value << shift;
}

void AddScanReadOptions(CLI::App& command, ScanCommandOptions& scan, ScanOptionTexts& texts)
{
    command.add_option("--map", scan.mapPath,
                        "map file to resume from and save to (GNU ddrescue's mapfile format); with several disks "
                        "a folder holding one map per disk")
        ->type_name("FILE|DIR");
    command.add_flag("--map-force", scan.mapForce,
                     "resume a --map whose serial, model or device is not this disk's (its size and sector size "
                     "must still match)");
    command.add_option("--block-size", texts.blockSize,
                        "bytes per read, a multiple of the sector size (default 1M)")
        ->type_name("N");
    command.add_option("--slow", scan.slowMs, "reads taking at least this long are listed as slow areas (default 500)")
        ->type_name("MS");
    command.add_option("--save-interval", scan.saveIntervalSeconds,
                        "seconds between saves of the map (default 30)")
        ->type_name("SECONDS");
    command.add_flag("--no-scrape", texts.noScrape, "stop after the trim: the inside of each bad area stays untried");
    command.add_option("--sector-size", texts.sectorSize,
                        "hddiag.exe only: bytes per sector of a --disk image file (default 512)")
        ->type_name("N");
}

CLI::App* AddScanCommand(CLI::App& app, ScanCommandOptions& scan, ScanOptionTexts& texts)
{
    CLI::App* command = app.add_subcommand(
        "scan", "read every sector of disks or partitions, list the unreadable ones, and resume from a map file");
    command->add_option("targets", scan.targets,
                        "disk numbers (1) or single partitions (1-2); targets on different disks are scanned at "
                        "the same time");
    command->add_option("--bad-blocks", scan.badBlocksPath,
                        "also write the unreadable units, one decimal number a line, for e2fsck -l")
        ->type_name("FILE");
    command->add_option("--bad-block-size", texts.badBlockSize,
                        "bytes per unit of --bad-blocks (default: the drive's sector size; for e2fsck -l the file "
                        "system's block size)")
        ->type_name("N");
    AddScanReadOptions(*command, scan, texts);
    return command;
}

bool CheckScanReadOptions(const CLI::App& command, const ScanOptionTexts& texts, ScanCommandOptions& scan,
                          std::string& error)
{
    scan.scrape = !texts.noScrape;
    if (!SizeOption("--block-size", texts.blockSize, scan.blockSize, error) ||
        !SizeOption("--sector-size", texts.sectorSize, scan.sectorSize, error)) {
        return false;
    }
    if (scan.sectorSize != 0 && (scan.sectorSize < 512 || scan.sectorSize > 65536 ||
                                 (scan.sectorSize & (scan.sectorSize - 1)) != 0)) {
        error = "--sector-size must be a power of two from 512 to 65536";
        return false;
    }
    if (scan.slowMs == 0 || scan.slowMs > 3600000) {
        error = "--slow needs milliseconds from 1 to 3600000";
        return false;
    }
    if (!(scan.saveIntervalSeconds >= 0.01 && scan.saveIntervalSeconds <= 86400)) {
        error = "--save-interval needs seconds from 0.01 to 86400";
        return false;
    }
    if (command.count("--map") > 0 && scan.mapPath.empty()) {
        error = "--map needs a file or folder name";
        return false;
    }
    return true;
}

bool CheckScanOptions(const CLI::App& command, const ScanOptionTexts& texts, ScanCommandOptions& scan,
                      std::string& error)
{
    if (!CheckScanReadOptions(command, texts, scan, error) ||
        !SizeOption("--bad-block-size", texts.badBlockSize, scan.badBlockSize, error)) {
        return false;
    }
    if (command.count("--bad-blocks") > 0 && scan.badBlocksPath.empty()) {
        error = "--bad-blocks needs a file name";
        return false;
    }
    scan.targets = SplitItems(scan.targets);
    if (scan.targets.empty()) {
        error = "scan needs at least one target: a disk number (1) or one partition (1-2); a scan reads every "
                "sector and may take hours, so it never picks disks by itself";
        return false;
    }
    return true;
}

}  // namespace hddiag
