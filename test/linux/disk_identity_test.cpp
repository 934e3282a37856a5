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

// The ATA information page (VPD 0x89) as libata gives it: IDENTIFY data
// from byte 60, strings two characters a word with each word's bytes swapped.
std::string AtaInformationPage(const std::string& model, const std::string& serial, char command = '\xEC')
{
    std::string page(572, '\0');
    page[1] = '\x89';
    page[2] = '\x02';
    page[3] = '\x38';
    page[56] = command;
    const auto put = [&page](size_t word, size_t words, std::string text) {
        text.resize(2 * words, ' ');
        for (size_t i = 0; i < text.size(); ++i) {
            page[60 + 2 * word + (i ^ 1)] = text[i];
        }
    };
    put(10, 10, serial);
    put(27, 20, model);
    return page;
}

TEST(DiskIdentity, UdevFirstThenSysfs)
{
    const std::string page80("\x00\x80\x00\x0c  ZA1B2C3D  ", 16);
    const std::string longModel = "ACCEPTANCE-SATA-DISK-LONG-MODEL-NAME-40C";  // all 40 characters
    const Files ataSysfs = {{"device/vendor", "ATA     \n"}, {"device/model", "Samsung SSD 860\n"},
                            {"device/wwid", "t10.ATA  x\n"},
                            {"device/vpd_pg89", AtaInformationPage("Samsung SSD 860 EVO 500GB", "S3Z1NB0K123456A")}};
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
        // No udev database (a container): the IDENTIFY data in full; a T10 id is no WWN.
        {"sda", ataSysfs, {}, {"sda", "Samsung SSD 860 EVO 500GB", "S3Z1NB0K123456A", ""}},
        {"sdb", {{"device/vpd_pg89", AtaInformationPage(longModel, "SERIAL-OF-20-CHARS-X")}}, {},
         {"sdb", longModel, "SERIAL-OF-20-CHARS-X", ""}},
        // udev's model and serial stay, whatever the page says.
        {"sda", ataSysfs, {{"ID_MODEL", "From_Udev"}, {"ID_SERIAL_SHORT", "U1"}}, {"sda", "From_Udev", "U1", ""}},
        // Without the page (or with one that is not an ATA information page):
        // sysfs's 16-character product field, without libata's vendor "ATA".
        {"sda",
         {{"device/vendor", "ATA     \n"}, {"device/model", "Samsung SSD 860\n"}, {"device/wwid", "t10.ATA  x\n"}},
         {},
         {"sda", "Samsung SSD 860", "", ""}},
        {"sdd",
         {{"device/vendor", "ATA     \n"},
          {"device/model", "Short Model\n"},
          {"device/vpd_pg89", AtaInformationPage("Other", "S2", '\x12')}},
         {},
         {"sdd", "Short Model", "", ""}},
        {"sde",
         {{"device/vendor", "ATA     \n"},
          {"device/model", "Short Model\n"},
          {"device/vpd_pg89", AtaInformationPage("Other", "S2").substr(0, 300)}},
         {},
         {"sde", "Short Model", "", ""}},
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
