// A disk's identity: udev's properties first, sysfs for what they lack, on
// made-up sysfs folders of the shapes the kernel gives (ATA behind SCSI,
// NVMe, a SCSI disk with only its serial number page, a loop device).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "disk_images.h"
#include "platform/linux/disk_identity.h"

namespace hdd::blockdev {
void PrintTo(const DiskIdentity& d, std::ostream* out)
{
    *out << "{" << d.device << " | " << d.model << " | " << d.serial << " | " << d.wwn << "}";
}
}  // namespace hdd::blockdev

namespace hdd::linuxtest {
namespace {

using blockdev::DiskIdentity;
using Files = std::map<std::string, std::string>;  // path under the disk's folder -> contents
using Properties = std::map<std::string, std::string>;

TEST(DiskIdentity, UdevFirstThenSysfs)
{
    const std::string page80("\x00\x80\x00\x0c  ZA1B2C3D  ", 16);
    struct Row {
        const char* name;
        Files sysfs;
        Properties udev;
        DiskIdentity expected;
    };
    const Row rows[] = {
        {"sda",
         {{"device/vendor", "ATA     \n"}, {"device/model", "Samsung SSD 860\n"}, {"device/wwid", "t10.ATA  x\n"}},
         {{"ID_MODEL_ENC", "Samsung\\x20SSD\\x20860\\x20EVO\\x20500GB\\x20\\x20\\x20"},
          {"ID_MODEL", "Samsung_SSD_860_EVO_500GB"},
          {"ID_SERIAL_SHORT", "S3Z1NB0K123456A"},
          {"ID_WWN", "0x5002538e40a0b1c2"}},
         {"sda", "Samsung SSD 860 EVO 500GB", "S3Z1NB0K123456A", "0x5002538e40a0b1c2"}},
        // No udev database (a container): sysfs alone; a T10 id is no WWN.
        {"sda",
         {{"device/vendor", "ATA     \n"}, {"device/model", "Samsung SSD 860\n"}, {"device/wwid", "t10.ATA  x\n"}},
         {},
         {"sda", "ATA Samsung SSD 860", "", ""}},
        {"nvme0n1",
         {{"device/model", "WDC WDS500G2B0C-00PXH0 \n"},
          {"device/serial", "  20123A456789 \n"},
          {"wwid", "eui.e8238fa6bf530001001b448b4a1b2c3d\n"}},
         {{"ID_MODEL", "WDC WDS500G2B0C-00PXH0"}},
         {"nvme0n1", "WDC WDS500G2B0C-00PXH0", "20123A456789", "eui.e8238fa6bf530001001b448b4a1b2c3d"}},
        {"sdb",
         {{"device/vendor", "SEAGATE \n"},
          {"device/model", "ST4000NM0023\n"},
          {"device/vpd_pg80", page80},
          {"device/wwid", "naa.5000c500a1b2c3d40000000000000000\n"}},
         {{"ID_SERIAL_SHORT", ""}},
         {"sdb", "SEAGATE ST4000NM0023", "ZA1B2C3D", "0x5000c500a1b2c3d4"}},
        {"loop3", {{"loop/backing_file", "/srv/disk.img\n"}}, {}, {"loop3", "loop of /srv/disk.img", "", ""}},
        {"vda", {{"device/vendor", "0x1af4\n"}, {"serial", "vm-disk-7\n"}}, {}, {"vda", "", "vm-disk-7", ""}},
        // udev's model wins over sysfs's; its undecoded form when the encoded one is missing.
        {"sdc", {{"device/model", "Short\n"}}, {{"ID_MODEL", "Long_Model_Name"}}, {"sdc", "Long_Model_Name", "", ""}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.name) + (row.udev.empty() ? " (sysfs only)" : ""));
        const TempDir dir;
        const std::filesystem::path block = std::filesystem::path(dir.Path()) / row.name;
        for (const auto& [file, text] : row.sysfs) {
            std::filesystem::create_directories((block / file).parent_path());
            std::ofstream(block / file, std::ios::binary) << text;
        }
        DiskIdentity identity;
        identity.device = row.name;
        blockdev::FillFromUdev(
            [&row](const char* key) {
                const auto it = row.udev.find(key);
                return it == row.udev.end() ? std::string() : it->second;
            },
            identity);
        blockdev::FillFromSysfs(block, identity);
        EXPECT_EQ(identity, row.expected);
    }
}

}  // namespace
}  // namespace hdd::linuxtest
