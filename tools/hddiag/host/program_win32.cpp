#include "platform/win32.h"
#include "tools/hddiag/host/program.h"

namespace hddiag::host {

namespace {

constexpr size_t kOutputLimit = 16u << 20;

std::wstring Wide(const std::string& text)
{
    if (text.empty()) {
        return {};
    }
    const int n = MultiByteToWideChar(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), wide.data(), n);
    return wide;
}

std::string Narrow(const std::wstring& text)
{
    if (text.empty()) {
        return {};
    }
    const int n =
        WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), narrow.data(), n, nullptr, nullptr);
    return narrow;
}

bool IsFile(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

class Handle {
public:
    explicit Handle(HANDLE h = nullptr) : m_h(h) {}
    ~Handle() { Close(); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE Get() const { return m_h; }
    HANDLE* Out() { return &m_h; }
    void Close()
    {
        if (m_h != nullptr && m_h != INVALID_HANDLE_VALUE) {
            CloseHandle(m_h);
        }
        m_h = nullptr;
    }

private:
    HANDLE m_h;
};

// One argument as the C runtime splits a command line back into arguments.
std::wstring Quote(const std::wstring& arg)
{
    if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) {
        return arg;
    }
    std::wstring quoted = L"\"";
    size_t backslashes = 0;
    for (const wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, L'\\');
    return quoted + L"\"";
}

}  // namespace

std::string FindProgram(const std::string& name)
{
    const std::wstring exe = Wide(name) + L".exe";
    wchar_t self[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
    if (length > 0 && length < MAX_PATH) {
        std::wstring beside(self, length);
        const size_t slash = beside.find_last_of(L"\\/");
        beside = (slash == std::wstring::npos ? std::wstring() : beside.substr(0, slash + 1)) + exe;
        if (IsFile(beside)) {
            return Narrow(beside);
        }
    }
    wchar_t found[MAX_PATH];
    const DWORD n = SearchPathW(nullptr, exe.c_str(), nullptr, MAX_PATH, found, nullptr);
    return n > 0 && n < MAX_PATH ? Narrow(std::wstring(found, n)) : std::string();
}

ProgramRun RunProgram(const std::string& path, const std::vector<std::string>& args, DWORD timeoutMs)
{
    ProgramRun run;
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    Handle readEnd, writeEnd;
    if (!CreatePipe(readEnd.Out(), writeEnd.Out(), &inherit, 0) ||
        !SetHandleInformation(readEnd.Get(), HANDLE_FLAG_INHERIT, 0)) {
        run.error = "cannot make a pipe (error " + std::to_string(GetLastError()) + ")";
        return run;
    }
    Handle nul(CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                           OPEN_EXISTING, 0, nullptr));
    std::wstring commandLine = Quote(Wide(path));
    for (const std::string& a : args) {
        commandLine += L" " + Quote(Wide(a));
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nul.Get();
    startup.hStdOutput = writeEnd.Get();
    startup.hStdError = nul.Get();
    PROCESS_INFORMATION process{};
    const std::wstring program = Wide(path);
    if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                        nullptr, &startup, &process)) {
        run.error = "cannot start it (error " + std::to_string(GetLastError()) + ")";
        return run;
    }
    Handle processHandle(process.hProcess);
    Handle threadHandle(process.hThread);
    writeEnd.Close();
    run.started = true;
    // The pipe is polled, so that a program that hangs can be stopped.
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    const auto stop = [&run, &processHandle, timeoutMs]() {
        TerminateProcess(processHandle.Get(), 1);
        WaitForSingleObject(processHandle.Get(), 1000);
        run.error = "stopped after " + std::to_string(timeoutMs / 1000) + " s";
        return run;
    };
    char buffer[65536];
    for (;;) {
        DWORD available = 0;
        if (!PeekNamedPipe(readEnd.Get(), nullptr, 0, nullptr, &available, nullptr)) {
            break;  // the program has closed its end
        }
        if (available > 0) {
            DWORD got = 0;
            if (!ReadFile(readEnd.Get(), buffer, sizeof buffer, &got, nullptr) || got == 0) {
                break;
            }
            if (run.output.size() < kOutputLimit) {
                run.output.append(buffer, got);
            }
            continue;
        }
        if (GetTickCount64() >= deadline) {
            return stop();
        }
        Sleep(10);
    }
    // Once its output has ended the program exits; one that lingers past the
    // deadline is stopped like one that hangs.
    const ULONGLONG now = GetTickCount64();
    if (WaitForSingleObject(processHandle.Get(), static_cast<DWORD>(now < deadline ? deadline - now : 0)) != WAIT_OBJECT_0) {
        return stop();
    }
    DWORD code = 0;
    if (GetExitCodeProcess(processHandle.Get(), &code)) {
        run.exited = true;
        run.exitStatus = code;
    } else {
        run.error = "no exit status (error " + std::to_string(GetLastError()) + ")";
    }
    return run;
}

std::string SmartctlDeviceName(const DiskRow& row)
{
    // \\.\PhysicalDriveN is /dev/pdN to smartctl.
    const std::string prefix = "PhysicalDrive";
    if (row.device.compare(0, prefix.size(), prefix) == 0) {
        return "/dev/pd" + row.device.substr(prefix.size());
    }
    return row.path;
}

}  // namespace hddiag::host
