#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

#include "tools/hddiag/host/program.h"
#include "tools/hddiag/host/program_search_posix.h"

extern char** environ;

namespace hddiag::host {

namespace {

// smartctl's JSON for one disk is tens of kilobytes.
constexpr size_t kOutputLimit = 16u << 20;

bool IsExecutableFile(const std::string& path)
{
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

class Fd {
public:
    explicit Fd(int fd = -1) : m_fd(fd) {}
    ~Fd() { Close(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int Get() const { return m_fd; }
    void Close()
    {
        if (m_fd >= 0) {
            close(m_fd);
            m_fd = -1;
        }
    }

private:
    int m_fd;
};

class SpawnActions {
public:
    SpawnActions() { m_ok = posix_spawn_file_actions_init(&m_actions) == 0; }
    ~SpawnActions()
    {
        if (m_ok) {
            posix_spawn_file_actions_destroy(&m_actions);
        }
    }
    SpawnActions(const SpawnActions&) = delete;
    SpawnActions& operator=(const SpawnActions&) = delete;
    bool Ok() const { return m_ok; }
    posix_spawn_file_actions_t* Get() { return &m_actions; }

private:
    posix_spawn_file_actions_t m_actions{};
    bool m_ok = false;
};

}  // namespace

std::string FindProgramOn(const std::string& name, const std::string& path, const std::vector<std::string>& after)
{
    if (name.find('/') != std::string::npos) {
        return IsExecutableFile(name) ? name : std::string();
    }
    std::vector<std::string> dirs;
    size_t start = 0;
    while (start <= path.size()) {
        const size_t colon = path.find(':', start);
        const std::string dir = path.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
        dirs.push_back(dir.empty() ? std::string(".") : dir);
        if (colon == std::string::npos) {
            break;
        }
        start = colon + 1;
    }
    dirs.insert(dirs.end(), after.begin(), after.end());
    for (const std::string& dir : dirs) {
        const std::string candidate = dir + "/" + name;
        if (IsExecutableFile(candidate)) {
            return candidate;
        }
    }
    return {};
}

std::string FindProgram(const std::string& name)
{
    // A normal user's PATH on Debian lacks the sbin folders, where smartctl is.
    const char* path = std::getenv("PATH");
    return FindProgramOn(name, path != nullptr ? path : "", {"/usr/local/sbin", "/usr/sbin", "/sbin"});
}

ProgramRun RunProgram(const std::string& path, const std::vector<std::string>& args, DWORD timeoutMs)
{
    ProgramRun run;
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        run.error = std::string("pipe: ") + std::strerror(errno);
        return run;
    }
    Fd readEnd(fds[0]);
    Fd writeEnd(fds[1]);
    SpawnActions actions;
    if (!actions.Ok() || posix_spawn_file_actions_addopen(actions.Get(), 0, "/dev/null", O_RDONLY, 0) != 0 ||
        posix_spawn_file_actions_adddup2(actions.Get(), writeEnd.Get(), 1) != 0 ||
        posix_spawn_file_actions_addopen(actions.Get(), 2, "/dev/null", O_WRONLY, 0) != 0) {
        run.error = "cannot set up the program's files";
        return run;
    }
    std::vector<std::string> argv0{path};
    argv0.insert(argv0.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : argv0) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, path.c_str(), actions.Get(), nullptr, argv.data(), environ);
    writeEnd.Close();
    if (rc != 0) {
        run.error = std::strerror(rc);
        return run;
    }
    run.started = true;
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    bool late = false;
    char buffer[65536];
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        pollfd ready{readEnd.Get(), POLLIN, 0};
        const int polled = left > 0 ? poll(&ready, 1, static_cast<int>(left)) : 0;
        if (polled < 0 && errno == EINTR) {
            continue;
        }
        if (polled == 0) {
            late = true;
            break;
        }
        const ssize_t n = read(readEnd.Get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        if (run.output.size() < kOutputLimit) {
            run.output.append(buffer, static_cast<size_t>(n));
        }
    }
    readEnd.Close();
    int status = 0;
    // Once its output has ended the program exits; one that lingers past
    // the deadline is stopped like one that hangs.
    while (!late) {
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid) {
            break;
        }
        if (done < 0 && errno != EINTR) {
            run.error = std::string("waitpid: ") + std::strerror(errno);
            return run;
        }
        if (Clock::now() >= deadline) {
            late = true;
            break;
        }
        usleep(1000);
    }
    if (late) {
        kill(pid, SIGKILL);
        // A program stuck inside the kernel dies only when its call returns:
        // wait a moment for it, then leave it to the system.
        for (int i = 0; i < 100 && waitpid(pid, &status, WNOHANG) == 0; ++i) {
            usleep(10000);
        }
        run.error = "stopped after " + std::to_string(timeoutMs / 1000) + " s";
        return run;
    }
    if (WIFEXITED(status)) {
        run.exited = true;
        run.exitStatus = static_cast<ULONG>(WEXITSTATUS(status));
    } else {
        run.error = WIFSIGNALED(status) ? "killed by signal " + std::to_string(WTERMSIG(status)) : "did not exit";
    }
    return run;
}

std::string SmartctlDeviceName(const DiskRow& row) { return row.path; }

}  // namespace hddiag::host
