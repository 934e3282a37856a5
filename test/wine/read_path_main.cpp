// Reads sectors of \\.\PHYSICALDRIVE0 through the component's own read path:
// the drive opened as the component opens it, each sector read by the
// primitive the tests use (a seek with the high and low parts of the byte
// position, then one read of a whole 512-byte sector). Under Wine the drive is a sparse image
// that read_path_test.sh linked in, with a known pattern planted in chosen
// sectors.
//
//   hdd_wine_read_path SECTOR... [zSECTOR...]
//
// A plain sector must hold its pattern; one written "z5" must read as zeros.
// Exits 0 when every sector reads as expected.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "drive/device.h"
#include "drive/device_handle.h"
#include "platform/os_api.h"

namespace {

// The image stands for a drive of 512-byte sectors.
constexpr DWORD kSectorBytes = 512;

// 64 little-endian words; word k is the sector number with k in its top bits.
void Pattern(ULONGLONG ullSector, BYTE* pBytes)
{
    for (ULONGLONG k = 0; k < 64; ++k) {
        const ULONGLONG word = ullSector ^ (k << 48);
        for (int b = 0; b < 8; ++b) {
            pBytes[k * 8 + static_cast<ULONGLONG>(b)] = static_cast<BYTE>(word >> (8 * b));
        }
    }
}

}  // namespace

int main(int argc, char** argv)
{
    hdd::DeviceHandle drive(hdd::OpenPhysicalDrive(0));
    if (!drive.IsOpen()) {
        std::printf("\\\\.\\PHYSICALDRIVE0 does not open: error %lu\n",
                    static_cast<unsigned long>(hdd::Os().GetLastError()));
        return 1;
    }
    int failures = 0;
    for (int i = 1; i < argc; ++i) {
        const bool bZeros = argv[i][0] == 'z';
        const ULONGLONG ullSector = std::strtoull(argv[i] + (bZeros ? 1 : 0), nullptr, 10);
        BYTE expected[kSectorBytes] = {};
        if (!bZeros) {
            Pattern(ullSector, expected);
        }
        std::memset(hdd::SectorBuffer, 0xEE, kSectorBytes);
        hdd::Os().SetLastError(0);
        const bool bRead = hdd::ReadTestSector(drive.Get(), ullSector, kSectorBytes);
        const bool bSame = std::memcmp(hdd::SectorBuffer, expected, sizeof expected) == 0;
        std::printf("sector %llu (byte 0x%llX): %s, %s\n", static_cast<unsigned long long>(ullSector),
                    static_cast<unsigned long long>(ullSector * kSectorBytes), bRead ? "read" : "NOT READ",
                    bSame ? (bZeros ? "zeros" : "its pattern") : "WRONG BYTES");
        failures += bRead && bSame ? 0 : 1;
    }
    return failures == 0 && argc > 1 ? 0 : 1;
}
