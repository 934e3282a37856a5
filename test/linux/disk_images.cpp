#include "disk_images.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tools/hddiag/app.h"

extern char** environ;

namespace hdd::linuxtest {

TempDir::TempDir()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "hdd_linux_XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        ADD_FAILURE() << "mkdtemp failed";
    }
    m_path = pattern;
}

TempDir::~TempDir()
{
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

CommandResult RunCommand(const std::vector<std::string>& argv, const std::string& input)
{
    CommandResult result;
    TempDir dir;
    const std::string in = dir.File("stdin");
    const std::string out = dir.File("stdout");
    std::ofstream(in, std::ios::binary) << input;

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, in.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    std::vector<char*> args;
    for (const std::string& a : argv) {
        args.push_back(const_cast<char*>(a.c_str()));
    }
    args.push_back(nullptr);
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        result.out = argv[0] + ": cannot be started";
        return result;
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::ifstream o(out, std::ios::binary);
    std::ostringstream text;
    text << o.rdbuf();
    result.out = text.str();
    return result;
}

void MakeImage(const std::string& path, ULONGLONG bytes, const std::string& script)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc).close();
    std::filesystem::resize_file(path, bytes);
    const CommandResult r = RunCommand({"sfdisk", "-q", "--no-reread", "--no-tell-kernel", path}, script);
    ASSERT_EQ(r.status, 0) << "sfdisk: " << r.out;
}

void PatchFile(const std::string& path, ULONGLONG offset, const std::string& bytes)
{
    std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(static_cast<std::streamoff>(offset));
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(f.good()) << "cannot patch " << path;
}

std::string Sha256(const std::string& path)
{
    const CommandResult r = RunCommand({"sha256sum", "-b", path});
    return r.status == 0 ? r.out.substr(0, 64) : std::string();
}

LoopDevice::LoopDevice(const std::string& file, DWORD sectorBytes, bool readOnly)
{
    if (::geteuid() != 0) {
        m_reason = "attaching a loop device needs root";
        return;
    }
    std::vector<std::string> argv = {"losetup", "-f", "--show", "-b", std::to_string(sectorBytes)};
    if (readOnly) {
        argv.push_back("-r");
    }
    argv.push_back(file);
    const CommandResult r = RunCommand(argv);
    if (r.status != 0 || r.out.rfind("/dev/", 0) != 0) {
        m_reason = "the kernel refused a loop device: " + r.out;
        return;
    }
    m_path = r.out.substr(0, r.out.find('\n'));
}

LoopDevice::~LoopDevice()
{
    if (!m_path.empty()) {
        RunCommand({"losetup", "-d", m_path});
    }
}

HddiagRun Hddiag(const std::vector<std::string>& args)
{
    std::vector<const char*> argv = {"hddiag"};
    for (const std::string& a : args) {
        argv.push_back(a.c_str());
    }
    std::ostringstream out;
    std::ostringstream err;
    hddiag::AppIo io{out, err, false, nullptr, {}};
    HddiagRun run;
    run.code = hddiag::RunHddiag(static_cast<int>(argv.size()), argv.data(), io);
    run.out = out.str();
    run.err = err.str();
    return run;
}

}  // namespace hdd::linuxtest
