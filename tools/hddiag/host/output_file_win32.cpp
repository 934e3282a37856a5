// Windows: the new file gets a random name beside the target, made with
// CREATE_NEW (which fails on anything already there, a link included), and
// MoveFileExW puts it over the target once it is whole.
#include "platform/win32.h"

#include <algorithm>

#include "tools/hddiag/host/output_file.h"

namespace hddiag::host {

namespace {

// Command-line text is in the ANSI code page.
std::wstring Wide(const std::string& text)
{
    const int n = MultiByteToWideChar(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), wide.data(), n);
    return wide;
}

std::string ErrorText(DWORD error) { return "error " + std::to_string(error); }

// \\.\X, \\?\GLOBALROOT\... name devices, whatever answers for them.
bool IsDeviceNamespace(const std::string& path)
{
    if (path.size() < 4) {
        return false;
    }
    const auto slash = [](char c) { return c == '\\' || c == '/'; };
    return slash(path[0]) && slash(path[1]) && (path[2] == '.' || path[2] == '?') && slash(path[3]);
}

std::wstring RandomSuffix()
{
    static const wchar_t digits[] = L"0123456789abcdef";
    std::wstring suffix = L".";
    for (int word = 0; word < 2; ++word) {
        unsigned int bits = 0;
        if (rand_s(&bits) != 0) {
            bits = GetTickCount() ^ GetCurrentProcessId() ^ static_cast<unsigned int>(word) << 16;
        }
        for (int i = 0; i < 8; ++i, bits >>= 4) {
            suffix += digits[bits & 0x0F];
        }
    }
    return suffix + L".tmp";
}

class WinNewFile final : public NewFile {
public:
    WinNewFile(std::string target, std::wstring temporary, HANDLE file)
        : m_target(std::move(target)), m_temporary(std::move(temporary)), m_file(file)
    {
    }
    ~WinNewFile() override
    {
        Close();
        if (!m_committed) {
            DeleteFileW(m_temporary.c_str());
        }
    }
    const std::string& Target() const override { return m_target; }
    bool Write(const std::string& text, std::string& error) override
    {
        size_t done = 0;
        while (done < text.size()) {
            DWORD written = 0;
            const DWORD chunk = static_cast<DWORD>(std::min<size_t>(text.size() - done, 1u << 20));
            if (!WriteFile(m_file, text.data() + done, chunk, &written, nullptr) || written == 0) {
                error = ErrorText(GetLastError());
                return false;
            }
            done += written;
        }
        if (!FlushFileBuffers(m_file)) {
            error = ErrorText(GetLastError());
            return false;
        }
        return true;
    }
    bool Commit(std::string& error) override
    {
        Close();
        if (!MoveFileExW(m_temporary.c_str(), Wide(m_target).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            error = ErrorText(GetLastError());
            return false;
        }
        m_committed = true;
        return true;
    }

private:
    void Close()
    {
        if (m_file != INVALID_HANDLE_VALUE) {
            CloseHandle(m_file);
            m_file = INVALID_HANDLE_VALUE;
        }
    }

    std::string m_target;
    std::wstring m_temporary;
    HANDLE m_file;
    bool m_committed = false;
};

}  // namespace

PathFacts InspectPath(const std::string& path)
{
    PathFacts facts;
    if (IsDeviceNamespace(path)) {
        facts.kind = FileKind::Device;
        return facts;
    }
    HANDLE h = CreateFileW(Wide(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        return facts;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileType(h) != FILE_TYPE_DISK) {
        facts.kind = FileKind::Device;  // NUL, CON, COM1, pipes
    } else if (GetFileInformationByHandle(h, &info)) {
        facts.id = {info.dwVolumeSerialNumber,
                    static_cast<ULONGLONG>(info.nFileIndexHigh) << 32 | info.nFileIndexLow};
        facts.kind = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? FileKind::Directory : FileKind::Regular;
    } else {
        facts.kind = FileKind::Other;
    }
    CloseHandle(h);
    return facts;
}

std::vector<std::string> FilesBehindDisks(const std::vector<DiskOption>&, bool) { return {}; }

std::unique_ptr<NewFile> CreateBeside(const std::string& path, std::string& error)
{
    const size_t slash = path.find_last_of("\\/:");
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.empty() || name == "." || name == "..") {
        error = "names a folder, not a file";
        return nullptr;
    }
    const std::wstring base = Wide(path.substr(0, slash == std::string::npos ? 0 : slash + 1)) + L"." + Wide(name);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::wstring temporary = base + RandomSuffix();
        HANDLE h = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            return std::make_unique<WinNewFile>(path, temporary, h);
        }
        const DWORD code = GetLastError();
        if (code != ERROR_FILE_EXISTS && code != ERROR_ALREADY_EXISTS) {
            error = code == ERROR_PATH_NOT_FOUND || code == ERROR_DIRECTORY
                        ? "its folder does not exist"
                        : "no file can be made beside it: " + ErrorText(code);
            return nullptr;
        }
    }
    error = "no free temporary name";
    return nullptr;
}

}  // namespace hddiag::host
