// The files a run may leave beside its output: --report (an HTML page) and
// --metrics (OpenMetrics text). Each is written whole under a temporary name
// and then renamed, so a collector never reads half a file.
#pragma once

#include <ostream>
#include <string>

#include "tools/hddiag/options.h"
#include "tools/hddiag/writers/output.h"

namespace hddiag {

// What the files say about the run besides its results.
struct RunInfo {
    std::string machine;  // "builtin", a machine file, or this machine's disks
    std::string version;
    double endTime = 0;  // seconds since 1970 (UTC)
};

// Writes the files the options ask for; false, with a message, when one
// cannot be written.
bool WriteRunFiles(const Options& options, const RunResult& result, std::ostream& err);

// Replaces the file at path with the text; false when that fails.
bool ReplaceFile(const std::string& path, const std::string& text);

}  // namespace hddiag
