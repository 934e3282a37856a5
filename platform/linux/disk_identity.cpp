#include "platform/linux/disk_identity.h"

#include <libudev.h>

#include <fstream>
#include <iterator>
#include <memory>

#include "platform/linux/sysfs_text.h"

namespace hdd::blockdev {

namespace fs = std::filesystem;

namespace {

bool StartsWith(const std::string& text, const std::string& prefix) { return text.rfind(prefix, 0) == 0; }

int HexValue(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// udev's *_ENC values escape blanks and odd bytes as \xHH.
std::string DecodeUdev(const std::string& text)
{
    std::string decoded;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 3 < text.size() && text[i + 1] == 'x' && HexValue(text[i + 2]) >= 0 &&
            HexValue(text[i + 3]) >= 0) {
            decoded += static_cast<char>(HexValue(text[i + 2]) * 16 + HexValue(text[i + 3]));
            i += 3;
        } else {
            decoded += text[i];
        }
    }
    return decoded;
}

std::string ReadBinary(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// An ATA string of IDENTIFY data: two characters a word, the first in the
// word's high byte; padded with blanks (or NULs).
std::string AtaString(const std::string& identify, size_t firstWord, size_t words)
{
    std::string text;
    for (size_t w = firstWord; w < firstWord + words; ++w) {
        text += identify[2 * w + 1];
        text += identify[2 * w];
    }
    const size_t end = text.find('\0');
    return TrimBlanks(end == std::string::npos ? text : text.substr(0, end));
}

// The ATA information page libata offers for an ATA disk: a header whose
// byte 1 is the page code 0x89, the command that fetched the data at byte 56
// (IDENTIFY DEVICE or IDENTIFY PACKET DEVICE), and the 512 bytes of IDENTIFY
// data from byte 60, with the 40-character model in words 27-46 and the
// serial in words 10-19. sysfs's device/model is the SCSI product field, cut
// at 16 characters.
struct AtaIdentity {
    std::string model;
    std::string serial;
};
AtaIdentity AtaInformationPage(const fs::path& file)
{
    constexpr size_t kIdentifyAt = 60;
    constexpr size_t kIdentifyBytes = 512;
    const std::string page = ReadBinary(file);
    if (page.size() < kIdentifyAt + kIdentifyBytes || static_cast<unsigned char>(page[1]) != 0x89) {
        return {};
    }
    const unsigned char command = static_cast<unsigned char>(page[56]);
    if (command != 0xEC && command != 0xA1) {
        return {};
    }
    const std::string identify = page.substr(kIdentifyAt, kIdentifyBytes);
    return {AtaString(identify, 27, 20), AtaString(identify, 10, 10)};
}

std::string SysfsModel(const fs::path& block)
{
    if (StartsWith(block.filename().string(), "loop")) {
        const std::string backing = ReadSysfsLine(block / "loop" / "backing_file");
        return backing.empty() ? std::string() : "loop of " + backing;
    }
    const fs::path device = block / "device";
    std::string model = ReadSysfsLine(device / "model");
    if (model.empty()) {
        model = ReadSysfsLine(device / "name");  // MMC cards
    }
    const std::string vendor = ReadSysfsLine(device / "vendor");
    // PCI ids (virtio's "0x1af4") name no maker a person would know, and
    // "ATA" is the placeholder libata writes for every ATA disk.
    if (!vendor.empty() && !StartsWith(vendor, "0x") && vendor != "ATA" && !StartsWith(model, vendor)) {
        model = model.empty() ? vendor : vendor + " " + model;
    }
    return model;
}

// The unit serial number page: a 4-byte header (byte 1 the page code 0x80,
// bytes 2-3 the length), then the number in ASCII.
std::string SerialPage(const fs::path& file)
{
    const std::string page = ReadBinary(file);
    if (page.size() < 4 || static_cast<unsigned char>(page[1]) != 0x80) {
        return {};
    }
    const size_t length = static_cast<size_t>(static_cast<unsigned char>(page[2])) << 8 |
                          static_cast<unsigned char>(page[3]);
    return TrimBlanks(page.substr(4, length));
}

// NVMe and MMC have device/serial, virtio disks serial beside size.
std::string SysfsSerial(const fs::path& block)
{
    for (const fs::path& file : {block / "device" / "serial", block / "serial"}) {
        const std::string serial = ReadSysfsLine(file);
        if (!serial.empty()) {
            return serial;
        }
    }
    return SerialPage(block / "device" / "vpd_pg80");
}

// udev writes an NAA name as 0x and its first 16 hex digits; EUI-64 and
// NVMe names as sysfs has them. A T10 vendor id is no world wide name.
std::string SysfsWwn(const fs::path& block)
{
    std::string wwid = ReadSysfsLine(block / "wwid");
    if (wwid.empty()) {
        wwid = ReadSysfsLine(block / "device" / "wwid");
    }
    if (StartsWith(wwid, "naa.")) {
        return "0x" + wwid.substr(4, 16);
    }
    if (StartsWith(wwid, "eui.") || StartsWith(wwid, "nvme.")) {
        return wwid;
    }
    return {};
}

struct UdevUnref {
    void operator()(udev* u) const { udev_unref(u); }
};
struct UdevDeviceUnref {
    void operator()(udev_device* d) const { udev_device_unref(d); }
};

}  // namespace

void FillFromUdev(const UdevProperty& property, DiskIdentity& identity)
{
    std::string model = TrimBlanks(DecodeUdev(property("ID_MODEL_ENC")));
    if (model.empty()) {
        model = property("ID_MODEL");
    }
    const std::pair<std::string, std::string*> fields[] = {
        {model, &identity.model}, {property("ID_SERIAL_SHORT"), &identity.serial}, {property("ID_WWN"), &identity.wwn}};
    for (const auto& [value, field] : fields) {
        if (!value.empty()) {
            *field = value;
        }
    }
}

void FillFromSysfs(const fs::path& block, DiskIdentity& identity)
{
    const AtaIdentity ata = AtaInformationPage(block / "device" / "vpd_pg89");
    if (identity.model.empty()) {
        identity.model = ata.model;
    }
    if (identity.serial.empty()) {
        identity.serial = ata.serial;
    }
    if (identity.model.empty()) {
        identity.model = SysfsModel(block);
    }
    if (identity.serial.empty()) {
        identity.serial = SysfsSerial(block);
    }
    if (identity.wwn.empty()) {
        identity.wwn = SysfsWwn(block);
    }
}

DiskIdentity IdentifyDisk(const std::string& name, const fs::path& block)
{
    DiskIdentity identity;
    identity.device = name;
    const std::unique_ptr<udev, UdevUnref> context(udev_new());
    if (context) {
        const std::unique_ptr<udev_device, UdevDeviceUnref> device(
            udev_device_new_from_subsystem_sysname(context.get(), "block", name.c_str()));
        if (device) {
            FillFromUdev(
                [&device](const char* key) {
                    const char* value = udev_device_get_property_value(device.get(), key);
                    return value != nullptr ? std::string(value) : std::string();
                },
                identity);
        }
    }
    FillFromSysfs(block, identity);
    return identity;
}

}  // namespace hdd::blockdev
