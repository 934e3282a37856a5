// The files a run may leave beside its output: --report (an HTML page) and
// --metrics (OpenMetrics text), and the health's own metrics file beside
// the tests' (for `health`, --metrics names it). They are checked and created before the
// first test, so a bad path costs no testing, and written whole at the end
// under a new name that is then renamed over the target, so a collector never
// reads half a file.
#pragma once

#include <memory>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "tools/hddiag/host/output_file.h"
#include "tools/hddiag/options/options.h"
#include "tools/hddiag/writers/output.h"

namespace hddiag {

// What the files say about the run besides its results.
struct RunInfo {
    std::string machine;  // "builtin", a machine file, or this machine's disks
    std::string version;
    double endTime = 0;  // seconds since 1970 (UTC)
};

// Why the file at path must not be written over (a device, a folder, a file
// this run reads); empty when it may be.
std::string OutputRefusal(const std::string& path, const std::vector<std::string>& inputs);

// Whether two new files would replace one file: the same existing file under
// any names, or the same name in the same folder.
bool SameOutputTarget(const host::NewFile& a, const host::NewFile& b);

// The first two outputs (option, prepared file or null) that would replace
// one file, named in error; false then.
bool OutputsDiffer(const std::vector<std::pair<const char*, const host::NewFile*>>& outputs, std::string& error);

// 'path', escaped for a message.
std::string QuotedPath(const std::string& path);

// Checks the output named by option (--report, ...) against OutputRefusal and
// makes its new file; an empty path asks for no file. False with the reason.
bool PrepareOutputFile(const char* option, const std::string& path, const std::vector<std::string>& inputs,
                       std::unique_ptr<host::NewFile>& file, std::string& error);

// Writes a prepared file (null: none) and puts it in place; a failure names
// the file on err as missing.
void WriteOutputFile(host::NewFile* file, const char* what, const std::string& text, std::ostream& err);

class RunFiles {
public:
    // Refuses an output that is a device, a folder, a file this run reads
    // (inputs: disks, images, the machine file; symlinks and hard links are
    // seen through) or the other output, and one whose new file cannot be
    // made. False with the reason; nothing has been written then.
    bool Prepare(const Options& options, const std::vector<std::string>& inputs, std::string& error);

    // Writes each prepared file and puts it in place. One that cannot be
    // written is named on err as missing; it does not change the run's outcome.
    void Write(const Options& options, const RunResult& result, std::ostream& err);

private:
    void Reset();

    std::unique_ptr<host::NewFile> m_report;
    std::unique_ptr<host::NewFile> m_metrics;
    std::unique_ptr<host::NewFile> m_health;
};

}  // namespace hddiag
