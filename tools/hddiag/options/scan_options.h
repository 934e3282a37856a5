// The scan command's own options: what it reads, what it writes, and how.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/win32.h"

namespace CLI {
class App;
}

namespace hddiag {

struct ScanCommandOptions {
    std::vector<std::string> targets;  // as typed: "1", "1-2"; commas split them too
    std::string mapPath;               // --map: a file, or with several disks a folder
    std::string badBlocksPath;         // --bad-blocks
    DWORD badBlockSize = 0;            // --bad-block-size; 0: the drive's sector size
    DWORD blockSize = 1u << 20;        // --block-size: bytes per read
    DWORD slowMs = 500;                // --slow: reads at or above this are slow areas
    double saveIntervalSeconds = 30;   // --save-interval
    bool scrape = true;                // --no-scrape clears it
    bool mapForce = false;             // --map-force: a map of another disk's identity is resumed
    DWORD sectorSize = 0;              // --sector-size for image files (Windows); 0: 512
};

// The largest block one read may ask for.
constexpr DWORD kMaxScanBlockSize = 64u << 20;

// The sized options as typed, read once the whole line is parsed so that
// each refusal names its option.
struct ScanOptionTexts {
    std::string blockSize;
    std::string badBlockSize;
    std::string sectorSize;
    bool noScrape = false;
};

// Adds "scan" and its options to the command line; the values land in scan
// and texts.
CLI::App* AddScanCommand(CLI::App& app, ScanCommandOptions& scan, ScanOptionTexts& texts);

// The options of how disks are read, which check shares: --map, --map-force,
// --block-size, --slow, --save-interval, --no-scrape, --sector-size.
void AddScanReadOptions(CLI::App& command, ScanCommandOptions& scan, ScanOptionTexts& texts);
bool CheckScanReadOptions(const CLI::App& command, const ScanOptionTexts& texts, ScanCommandOptions& scan,
                          std::string& error);

// Checks what CLI11 cannot once the line is parsed; false with the message.
bool CheckScanOptions(const CLI::App& command, const ScanOptionTexts& texts, ScanCommandOptions& scan,
                      std::string& error);

// "1048576", "64k", "1M", "1MB", "1GiB": bytes, 1024-based; nullopt when
// not digits with an optional k, m or g (either case) and B or iB after it.
std::optional<ULONGLONG> ParseByteCount(const std::string& text);

}  // namespace hddiag
