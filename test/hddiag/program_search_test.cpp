// Where smartctl is found on POSIX: PATH first, then the sbin folders a
// normal user's PATH lacks. Hermetic: a folder of its own, PATH given.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "tools/hddiag/host/program_search_posix.h"

namespace hddiag::testing {
namespace {

TEST(FindProgram, PathFirstThenTheFoldersAfterIt)
{
    const std::filesystem::path root = std::filesystem::temp_directory_path() / "hddiag_program_search";
    std::filesystem::remove_all(root);
    const std::string sbin = (root / "sbin").string();
    const std::string bin = (root / "bin").string();
    const std::string other = (root / "other").string();
    for (const std::string& dir : {sbin, bin, other}) {
        std::filesystem::create_directories(dir);
    }
    const auto program = [](const std::string& path, mode_t mode) {
        std::ofstream(path) << "#!/bin/sh\n";
        chmod(path.c_str(), mode);
    };
    program(sbin + "/smartctl", 0755);
    program(other + "/smartctl", 0755);
    program(bin + "/smartctl-data", 0644);  // not executable
    std::filesystem::create_directories(bin + "/smartctl-dir");

    struct Row {
        const char* what;
        std::string name;
        std::string path;
        std::vector<std::string> after;
        std::string found;
    };
    const Row rows[] = {
        {"on PATH", "smartctl", bin + ":" + sbin, {}, sbin + "/smartctl"},
        {"PATH without sbin: found after it", "smartctl", bin, {sbin}, sbin + "/smartctl"},
        {"PATH wins over the folders after it", "smartctl", other, {sbin}, other + "/smartctl"},
        {"an empty PATH", "smartctl", "", {"/nonexistent", sbin}, sbin + "/smartctl"},
        {"nowhere", "smartctl", bin, {bin + "/smartctl-dir"}, ""},
        {"a file that is not executable", "smartctl-data", bin, {}, ""},
        {"a folder of the name", "smartctl-dir", bin, {}, ""},
        {"a path is taken as it is", sbin + "/smartctl", bin, {}, sbin + "/smartctl"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(host::FindProgramOn(row.name, row.path, row.after), row.found);
    }
    std::filesystem::remove_all(root);
}

}  // namespace
}  // namespace hddiag::testing
