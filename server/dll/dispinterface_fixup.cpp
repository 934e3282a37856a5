#include "server/dll/dispinterface_fixup.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/win32.h"

namespace {

// The parts of the saved file's layout that lead to the type records.
constexpr size_t kHeaderSize = 0x54;
constexpr size_t kHeaderFlags = 0x14;         // 32-bit
constexpr size_t kHeaderTypeCount = 0x20;     // 32-bit
constexpr uint32_t kHelpDllFlag = 0x100;      // one more 32-bit field behind the header
constexpr size_t kSegmentEntrySize = 16;      // offset, length, two reserved words
constexpr size_t kTypeRecordSize = 0x64;      // one per type, in the first segment
constexpr size_t kRecordKind = 0x00;          // 32-bit, TYPEKIND in the low 4 bits
constexpr size_t kRecordMemberCounts = 0x18;  // 32-bit: variables << 16 | functions
constexpr size_t kRecordTypeFlags = 0x30;     // 32-bit
constexpr size_t kRecordVtableSize = 0x4E;    // 16-bit

uint32_t Read32(const std::vector<unsigned char>& file, size_t at)
{
    uint32_t value = 0;
    std::memcpy(&value, file.data() + at, sizeof value);
    return value;
}

bool LoadBytes(const wchar_t* path, std::vector<unsigned char>& file)
{
    FILE* stream = ::_wfopen(path, L"rb");
    if (stream == nullptr) {
        return false;
    }
    unsigned char chunk[4096];
    size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, stream)) > 0) {
        file.insert(file.end(), chunk, chunk + got);
    }
    const bool ok = std::ferror(stream) == 0;
    std::fclose(stream);
    return ok;
}

bool StoreBytes(const wchar_t* path, const std::vector<unsigned char>& file)
{
    FILE* stream = ::_wfopen(path, L"wb");
    if (stream == nullptr) {
        return false;
    }
    const bool written = std::fwrite(file.data(), 1, file.size(), stream) == file.size();
    return std::fclose(stream) == 0 && written;
}

}  // namespace

int ClearMemberlessDispinterfaceVtables(const wchar_t* path, std::string& error)
{
    std::vector<unsigned char> file;
    if (!LoadBytes(path, file)) {
        error = "cannot read the type library";
        return -1;
    }
    if (file.size() < kHeaderSize || std::memcmp(file.data(), "MSFT", 4) != 0) {
        error = "not a type library file";
        return -1;
    }
    const size_t types = Read32(file, kHeaderTypeCount);
    if (types > file.size() / kTypeRecordSize) {
        error = "type count exceeds the file";
        return -1;
    }
    const size_t typeOffsets = kHeaderSize + ((Read32(file, kHeaderFlags) & kHelpDllFlag) != 0 ? 4 : 0);
    const size_t segments = typeOffsets + 4 * types;
    if (segments + kSegmentEntrySize > file.size()) {
        error = "type library header is cut short";
        return -1;
    }
    const size_t records = Read32(file, segments);
    const size_t recordsLength = Read32(file, segments + 4);
    if (recordsLength != types * kTypeRecordSize || records > file.size() || recordsLength > file.size() - records) {
        error = "type records are not where the header says";
        return -1;
    }
    int cleared = 0;
    for (size_t i = 0; i < types; ++i) {
        const size_t record = records + i * kTypeRecordSize;
        const bool dispinterface = (Read32(file, record + kRecordKind) & 0xF) == TKIND_DISPATCH;
        const bool dual = (Read32(file, record + kRecordTypeFlags) & TYPEFLAG_FDUAL) != 0;
        if (dispinterface && !dual && Read32(file, record + kRecordMemberCounts) == 0) {
            file[record + kRecordVtableSize] = 0;
            file[record + kRecordVtableSize + 1] = 0;
            ++cleared;
        }
    }
    if (cleared > 0 && !StoreBytes(path, file)) {
        error = "cannot write the type library";
        return -1;
    }
    return cleared;
}
